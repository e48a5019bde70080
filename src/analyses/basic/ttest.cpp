#include "analyses/basic/ttest.h"

#include <algorithm>
#include <climits>
#include <cmath>
#include <new>
#include <stdexcept>

#include "analyses/basic/descriptive.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/run_frame.h"
#include "numeric/distributions.h"
#include "numeric/sorting.h"

namespace quorix {

void t_test_core(const StatsRow& a, const StatsRow& b, int mode, int n_a, int n_b, double test_value,
                 TTestResult& result, double residual_a, double residual_b) {
    const bool two_groups = mode == kTTestTwoGroups;
    const double s_a = a[kStatStdDev];
    const double s_b = two_groups ? b[kStatStdDev] : 0;
    const double na = n_a;
    const double nb = n_b;
    result = TTestResult();
    if (!two_groups && n_a > 0) result.se = s_a / std::sqrt(na);
    double d = two_groups ? mean_difference(a[kStatMean], residual_a, b[kStatMean], residual_b) : a[kStatMean];
    if (mode != kTTestNoTestValue) d -= test_value;
    // A mean and a test value close together differ exactly; the residual follows.
    if (!two_groups && residual_a != 0) d += residual_a;
    result.df = two_groups ? (na - 1) + (nb - 1) : na - 1;
    double variance = 0;  // of the difference
    if (result.df > 0) {
        double weight = n_a > 0 ? 1 / na : 0;
        if (two_groups && n_b > 0) weight += 1 / nb;
        const double b_sum = two_groups ? s_b * s_b * (nb - 1) : 0;
        variance = (s_a * s_a * (na - 1) + b_sum) / result.df * weight;
        if (variance > 0) result.t = d / std::sqrt(variance);
    }
    if (!two_groups) return;
    result.se = std::sqrt(variance);
    if (n_a > 0 && n_b > 0) {
        const double a_share = s_a * s_a / na;
        const double sum = a_share + s_b * s_b / nb;
        if (sum > 0) {
            const double c = a_share / sum;
            result.se_unequal = std::sqrt(sum);
            result.t_unequal = d / result.se_unequal;
            // A term whose denominator is not positive counts as 0.
            const double term_a = n_a > 1 ? c * c / (na - 1) : 0;
            const double term_b = n_b > 1 ? (1 - c) * (1 - c) / (nb - 1) : 0;
            const double terms = term_a + term_b;
            result.df_unequal = terms > 0 ? 1 / terms : 0;
        }
    }
}

double t_test_p(double t, int df) { return f_upper_p(1, df, t * t); }

void t_test_p_pair(double t1, int df1, double t2, int df2, double& p1, double& p2) {
    const int numerator[2] = {1, 1};
    const int denominator[2] = {df1, df2};
    const double f[2] = {t1 * t1, t2 * t2};
    double p[2];
    f_upper_p_each(2, numerator, denominator, f, p);
    p1 = p[0];
    p2 = p[1];
}

int rounded_df(double df) {
    const double rounded = df + 0.5;
    if (std::isnan(rounded)) return 0;
    if (rounded >= static_cast<double>(INT_MAX)) return INT_MAX;
    if (rounded <= static_cast<double>(INT_MIN)) return INT_MIN;
    return static_cast<int>(rounded);
}

int t_result_text(std::string& text, long df, double mean, double test_value, double t, double se, double p) {
    const size_t start = text.size();
    text += "\n    DIFFERENCE       STD. ERR        t        DF         p\n";
    text += "------------------------------------------------------------\n";
    append_printf(text, "%8.3f -%8.3f   %8.3f  %9.3f %7ld  %10.3f\n", mean, test_value, se, t, df, p);
    return static_cast<int>(text.size() - start);
}

void write_ttest_stat(int df, int cases, double mean, double test_value, double t, double se, double p) {
    xml_printf("<TTESTSTAT>\n");
    xml_printf("%s%5d%s\n", "<Cases>", cases, "</Cases>");
    xml_printf("%s%15.3f%s\n", "<Mean>", mean, "</Mean>");
    xml_printf("%s%15.3f%s\n", "<DMean>", test_value, "</DMean>");
    xml_printf("%s%15.3f%s\n", "<tStat>", t, "</tStat>");
    xml_printf("%s%15.3f%s\n", "<STD>", se, "</STD>");
    xml_printf("%s%d%s\n", "<DF>", df, "</DF>");
    xml_printf("%s%15.3f%s\n", "<pValue>", p, "</pValue>");
    xml_printf("</TTESTSTAT>\n");
}

namespace {

enum class Channel { log, console };

struct TTestKind {
    const char* analysis;  // <Analysis>
    const char* title;     // <anaName>
    int variable_count;
    const char* table;     // the table element
    const char* heading;   // the report's title
    Channel memory_channel;
    Channel grouping_channel;
};

const TTestKind kOneSample{"TTEST1", "One-Sample T Test", 1, "TTest1Tbl", "\nONE-SAMPLE T-TEST\n\n", Channel::log,
                           Channel::log};
const TTestKind kPaired{"TTEST2", "Paired T Test", 2, "TTest2Tbl", "\nPAIRED-SAMPLES T-TEST\n\n", Channel::log,
                        Channel::log};
const TTestKind kMatched{"TTEST3", "Matched T Test", 2, "TTest3Tbl", "\nMATCHED-SAMPLES T-TEST\n\n",
                         Channel::console, Channel::console};
const TTestKind kIndependent{"TTEST4", "Independent T Test", 2, "TTest4Tbl", "\nINDEPENDENT-SAMPLES T-TEST\n\n",
                             Channel::console, Channel::log};

constexpr char kNoUsedCases[] = "No used cases were found for this variable.\n";

// The XML head with the table opened, and the report's title and case counts.
void begin_test(const RunContext& context, const TTestKind& kind, std::string& report) {
    ResultHead head;
    head.analysis = kind.analysis;
    head.title = kind.title;
    head.variable_count = kind.variable_count;
    write_result_head(context, head);
    xml_printf("<%s>\n", kind.table);
    report += kind.heading;
    case_count_lines(report, kind.variable_count, context.path.c_str(), context.header.case_count, -1, -1);
}

void end_table(const TTestKind& kind) {
    xml_printf("</%s>\n", kind.table);
    write_result_end();
}

// Ends a test that cannot go on: its message, the table closed, -1.
int stop(const TTestKind& kind, Channel channel, const char* message) {
    if (channel == Channel::log)
        channel_printf(kLogChannel, "%s\n", message);
    else
        console_printf("%s", message);
    end_table(kind);
    return -1;
}

int memory_failure(const TTestKind& kind) {
    return stop(kind, kind.memory_channel,
                kind.memory_channel == Channel::log ? " Not enough memory!" : " Do not have enough memory space");
}

// A driver's body, with running out of memory anywhere in it reported as
// the test reports it.
template <typename Body>
int guarded(const TTestKind& kind, Body&& body) {
    try {
        return body();
    } catch (const std::bad_alloc&) {
        return memory_failure(kind);
    } catch (const std::length_error&) {
        return memory_failure(kind);
    }
}

std::vector<double> differences(const std::vector<double>& first, const std::vector<double>& second) {
    std::vector<double> result(std::min(first.size(), second.size()));
    for (size_t i = 0; i < result.size(); ++i) result[i] = first[i] - second[i];
    return result;
}

// The printed figures of one test of a mean against the test value.
struct TTestStat {
    int df = 0;
    int cases = 0;
    double mean = 0;
    double test_value = 0;
    double t = 0;
    double se = 0;
    double p = 0;
};

// The test of a sample's mean (one-sample) or of the differences (paired and
// matched) against the test value.
// residual is the mean's residual (describe_sample).
TTestStat mean_test(const StatsRow& row, int n, double test_value, double residual) {
    TTestResult result;
    t_test_core(row, row, kTTestOneSample, n, n, test_value, result, residual);
    TTestStat stat;
    stat.df = n - 1;
    stat.cases = n;
    stat.mean = row[kStatMean];
    stat.test_value = test_value;
    stat.t = result.t;
    stat.se = result.se;
    stat.p = t_test_p(result.t, stat.df);
    return stat;
}

void stat_text(std::string& report, const TTestStat& stat) {
    t_result_text(report, stat.df, stat.mean, stat.test_value, stat.t, stat.se, stat.p);
}

void stat_xml(const TTestStat& stat) {
    write_ttest_stat(stat.df, stat.cases, stat.mean, stat.test_value, stat.t, stat.se, stat.p);
}

// The differences of the paired and matched tests: their statistics and test.
struct DifferenceTest {
    StatsRow row{};
    TTestStat stat;
};

// The differences are reordered.
DifferenceTest difference_test(std::vector<double>& values, double test_value) {
    DifferenceTest test;
    double residual = 0;
    describe_sample(values.data(), values.size(), test.row, &residual);
    test.stat = mean_test(test.row, static_cast<int>(values.size()), test_value, residual);
    return test;
}

void difference_text(std::string& report, const DifferenceTest& test) {
    report += "\nDIFFERENCE\n";
    stats_block_text(report, test.row);
    stat_text(report, test.stat);
}

void difference_xml(const DifferenceTest& test) {
    write_stats_block(test.row);
    stat_xml(test.stat);
}

struct TwoGroups {
    double value[2] = {0, 0};           // the grouping values, ascending
    std::vector<double> members[2];     // the test variable's values, in case order
};

enum class GroupSplit { ok, constant, more_than_two };

// Splits the test variable's values by the grouping values, case by case (the
// columns of the used cases, in case order), in one pass and in place: the
// cases of the first grouping value read are moved to the front of values,
// the others to the front of grouping, and the two vectors become the groups.
//
// The distinct grouping values are those count_distinct would find, taken from
// the first case of each number and every NaN (each NaN a value of its own, as
// there): that short list has the same numbers, the same first zero and the
// same NaNs at the same places among the numbers read before them.
GroupSplit split_groups(std::vector<double>& values, std::vector<double>& grouping, TwoGroups& groups) {
    const size_t n = std::min(values.size(), grouping.size());
    double* const y = values.data();
    double* const g = grouping.data();
    double seen[2] = {0, 0};
    int seen_count = 0;
    size_t first = 0;  // cases equal to seen[0], moved to the front of values
    size_t other = 0;  // the others, moved to the front of grouping
    size_t c = 0;
    // Until a second grouping value turns up.
    for (; c < n && seen_count < 2; ++c) {
        const double v = g[c];
        const double value = y[c];
        if (seen_count == 0 || !(v == seen[0])) seen[seen_count++] = v;
        if (v == seen[0])
            y[first++] = value;
        else
            g[other++] = value;
    }
    // Then without branches: each case's value is stored at both fronts and
    // kept by one of them (a slot at or below c has been read already), and a
    // third value is only noted.
    const double s0 = seen[0];
    const double s1 = seen[1];
    unsigned stray = 0;
    for (; c < n; ++c) {
        const double v = g[c];
        const double value = y[c];
        const unsigned is_first = v == s0;
        stray |= (is_first | (v == s1)) ^ 1u;
        y[first] = value;
        g[other] = value;
        first += is_first;
        other += is_first ^ 1u;
    }
    if (stray) return GroupSplit::more_than_two;
    if (seen_count < 2) return GroupSplit::constant;

    double distinct[2];
    count_distinct(seen, 2, distinct, nullptr);
    groups.value[0] = distinct[0];
    groups.value[1] = distinct[1];
    // The first group holds the cases equal to distinct[0]: those of seen[0],
    // or of seen[1] when that is the smaller number. A NaN there (seen[0] a
    // NaN) is equal to no case: the front of values is then empty, as the
    // first group must be.
    const bool exchanged = !(distinct[0] == s0) && !std::isnan(distinct[0]);
    values.resize(first);
    grouping.resize(other);
    groups.members[exchanged ? 1 : 0].swap(values);
    groups.members[exchanged ? 0 : 1].swap(grouping);
    return GroupSplit::ok;
}

// The grouping variable's messages end the run with -1, as the matched test's
// unequal groups do: the test could not be run, which is what -1 stands for
// besides a memory failure. A 0 would tell the caller (and rkstat's exit
// status) that the test ran, and any other value prints the frame's
// "undeclared error number" line.
int grouping_failure(const TTestKind& kind, GroupSplit split) {
    return stop(kind, kind.grouping_channel,
                split == GroupSplit::constant ? " The grouping variable is constant!"
                                              : " The grouping variable has more than two values!");
}

// A grouped test (matched or independent) once it is opened.
struct GroupedTest {
    std::string report;
    std::string name, group_name;  // of the test variable and the grouping variable
    TwoGroups groups;
};

// The grouped tests' opening: the head, the compare line (compare_format takes
// the two names and the test value), the cases missing in either variable
// left out and the values split into the two groups. False once the failure
// is reported and the table closed: the run's status is then -1.
bool open_grouped_test(RunContext& context, const TTestKind& kind, int variable, int group, double test_value,
                       const char* compare_format, GroupedTest& test) {
    begin_test(context, kind, test.report);
    const int variables[2] = {variable, group};
    test.name = variable_name(context.header, variable);
    test.group_name = variable_name(context.header, group);
    // The used cases' values of both variables, then split into the groups in place.
    std::vector<double> columns[2];
    if (read_complete_cases(context, variables, 2, columns) < 0) {
        memory_failure(kind);
        return false;
    }
    append_printf(test.report, compare_format, test.name.c_str(), test.group_name.c_str(), test_value);
    const GroupSplit split = split_groups(columns[0], columns[1], test.groups);
    if (split != GroupSplit::ok) {
        grouping_failure(kind, split);
        return false;
    }
    return true;
}

// Both groups' statistics (residuals[k] the mean residual of group k), in one
// pass over them; the members are reordered.
void describe_groups(GroupedTest& test, int variable, StatsRow (&rows)[2], double (&residuals)[2]) {
    double* values[2];
    size_t counts[2];
    StatsRow* targets[2];
    for (int k = 0; k < 2; ++k) {
        values[k] = test.groups.members[k].data();
        counts[k] = test.groups.members[k].size();
        rows[k] = StatsRow{};
        rows[k][kStatId] = variable;
        targets[k] = &rows[k];
    }
    describe_samples(values, counts, targets, 2, residuals);
}

// Each group's <Item> and report block.
void groups_output(GroupedTest& test, const TTestKind& kind, int variable, const StatsRow (&rows)[2]) {
    const char* name = test.name.c_str();
    const char* group_name = test.group_name.c_str();
    for (int k = 0; k < 2; ++k) {
        const double group_value = test.groups.value[k];
        xml_printf("<Item>\n");
        xml_printf("%s%5.0d%s\n", "<ID>", variable, "</ID>");
        xml_printf("%s%s on %s %15.3f%s\n", "<Name>", name, group_name, group_value, "</Name>");
        if (&kind == &kIndependent)
            append_printf(test.report, "\n %9s on %9s (%6.2f)\r\n", name, group_name, group_value);
        else
            append_printf(test.report, " %9s on %9s (%6.2f)\n", name, group_name, group_value);
        write_stats_block(rows[k]);
        stats_block_text(test.report, rows[k]);
        xml_printf("</Item>\n");
    }
}

// One variable's statistics block, for the one-sample and paired tests.
struct VariableSummary {
    int variable = 0;
    std::string name;
    int cases = 0;
    bool empty = true;
    StatsRow row{};
    double residual = 0;  // of the mean
};

// values are reordered.
VariableSummary summarize(const RunContext& context, int variable, std::vector<double>& values) {
    VariableSummary summary;
    summary.variable = variable;
    summary.name = variable_name(context.header, variable);
    summary.cases = static_cast<int>(values.size());
    summary.empty = values.empty();
    summary.row[kStatId] = variable;
    if (!summary.empty) describe_sample(values.data(), values.size(), summary.row, &summary.residual);
    return summary;
}

}  // namespace

int one_sample_driver(RunContext& context, int variable, double test_value) {
    const TTestKind& kind = kOneSample;
    return guarded(kind, [&] {
        std::string report;
        begin_test(context, kind, report);
        std::vector<double> values;
        if (read_complete_cases(context, &variable, 1, &values) < 0) return memory_failure(kind);
        const VariableSummary sample = summarize(context, variable, values);
        const TTestStat stat = sample.empty ? TTestStat() : mean_test(sample.row, sample.cases, test_value, sample.residual);
        context.found_nothing = sample.empty;

        append_printf(report, " Compare %9s with test value =%8.3f\n", sample.name.c_str(), test_value);
        if (sample.empty) {
            report += kNoUsedCases;
        } else {
            stats_block_text(report, sample.row);
            stat_text(report, stat);
            xml_printf("%s%d%s\n", "<ID>", variable, "</ID>");
            xml_printf("%s%s%s\n", "<Name>", sample.name.c_str(), "</Name>");
            write_stats_block(sample.row);
            stat_xml(stat);
        }
        end_table(kind);
        channel_write(kReportChannel, report);
        channel_printf(kLogChannel, "T-TEST DONE !\n");
        return 0;
    });
}

int paired_sample_driver(RunContext& context, int first, int second, double test_value) {
    const TTestKind& kind = kPaired;
    return guarded(kind, [&] {
        std::string report;
        begin_test(context, kind, report);
        const int variables[2] = {first, second};
        std::vector<double> values[2];
        if (read_complete_cases(context, variables, 2, values) < 0) return memory_failure(kind);
        std::vector<double> paired = differences(values[0], values[1]);
        const VariableSummary samples[2] = {summarize(context, first, values[0]), summarize(context, second, values[1])};
        const DifferenceTest difference = difference_test(paired, test_value);
        context.found_nothing = paired.empty();

        append_printf(report, " Compare %9s with %-9s using test value =%8.3f\r\n", samples[0].name.c_str(),
                      samples[1].name.c_str(), test_value);
        for (const VariableSummary& sample : samples) {
            append_printf(report, "\n Variable %9s\n", sample.name.c_str());
            if (sample.empty) {
                report += kNoUsedCases;
                continue;
            }
            xml_printf("<Item>\n");
            xml_printf("%s%d%s\n", "<ID>", sample.variable, "</ID>");
            xml_printf("%s%s%s\n", "<Name>", sample.name.c_str(), "</Name>");
            write_stats_block(sample.row);
            xml_printf("</Item>\n");
            stats_block_text(report, sample.row);
        }
        difference_xml(difference);
        difference_text(report, difference);
        end_table(kind);
        channel_write(kReportChannel, report);
        console_printf("\n T-Test DONE !\n");
        return 0;
    });
}

int matched_sample_driver(RunContext& context, int variable, int group, double test_value) {
    const TTestKind& kind = kMatched;
    return guarded(kind, [&] {
        GroupedTest test;
        if (!open_grouped_test(context, kind, variable, group, test_value,
                               " %9s is paired by %-9s using test value =%8.3f\r\n", test))
            return -1;
        const std::vector<double>* members = test.groups.members;
        if (members[0].size() != members[1].size())
            return stop(kind, Channel::console, " The two groups are not the same size!");
        std::vector<double> matched = differences(members[0], members[1]);
        StatsRow rows[2];
        double residuals[2];
        describe_groups(test, variable, rows, residuals);
        const DifferenceTest difference = difference_test(matched, test_value);

        groups_output(test, kind, variable, rows);
        difference_xml(difference);
        difference_text(test.report, difference);
        end_table(kind);
        channel_write(kReportChannel, test.report);
        console_printf("\nT-TEST DONE !\n");
        return 0;
    });
}

namespace {

// The pooled and the unequal-variances tests of the difference of the group
// means against the test value.
struct IndependentTests {
    TTestResult result;
    int df = 0, df_unequal = 0;
    double p = 0, p_unequal = 0;
};

IndependentTests independent_tests(const StatsRow (&rows)[2], const double (&residuals)[2], const int (&n)[2],
                                   double test_value) {
    IndependentTests tests;
    t_test_core(rows[0], rows[1], kTTestTwoGroups, n[0], n[1], test_value, tests.result, residuals[0],
                residuals[1]);
    tests.df = rounded_df(tests.result.df);
    tests.df_unequal = rounded_df(tests.result.df_unequal);
    t_test_p_pair(tests.result.t, tests.df, tests.result.t_unequal, tests.df_unequal, tests.p, tests.p_unequal);
    return tests;
}

}  // namespace

int independent_sample_driver(RunContext& context, int variable, int group, double test_value) {
    const TTestKind& kind = kIndependent;
    return guarded(kind, [&] {
        GroupedTest test;
        if (!open_grouped_test(context, kind, variable, group, test_value,
                               " %9s is grouped by %-9s using test value =%8.3f\n", test))
            return -1;
        const std::vector<double>* members = test.groups.members;
        const int n[2] = {static_cast<int>(members[0].size()), static_cast<int>(members[1].size())};
        StatsRow rows[2];
        double residuals[2];
        describe_groups(test, variable, rows, residuals);
        const IndependentTests tests = independent_tests(rows, residuals, n, test_value);
        const TTestResult& result = tests.result;

        xml_printf("%s%d%s\n", "<nGROUPS>", 2, "</nGROUPS>");
        groups_output(test, kind, variable, rows);
        std::string& report = test.report;
        report += "\nVARIANCE                 t        DF           p\n";
        report += "--------------------------------------------------\n";
        append_printf(report, "EQUAL           %12.3f  %8.1f   %9.3f\r\n", result.t, result.df, tests.p);
        append_printf(report, "UNEQUAL         %12.3f  %8.1f   %9.3f\n", result.t_unequal, result.df_unequal,
                      tests.p_unequal);
        const double mean = rows[0][kStatMean];
        xml_printf("<Equal>\n");
        write_ttest_stat(tests.df, n[1], mean, test_value, result.t, result.se, tests.p);
        xml_printf("</Equal>\n");
        xml_printf("<unEqual>\n");
        write_ttest_stat(tests.df_unequal, n[1], mean, test_value, result.t_unequal, result.se_unequal,
                         tests.p_unequal);
        xml_printf("</unEqual>\n");
        channel_write(kReportChannel, report);
        end_table(kind);
        channel_printf(kLogChannel, "%s\n", "T-TEST DONE !");
        return 0;
    });
}

}  // namespace quorix
