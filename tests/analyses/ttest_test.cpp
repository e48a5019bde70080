// t-tests: the shared computation against worked values and R's t.test, the
// four drivers' printed results against R, and whole runs (including the
// grouping-variable and group-size stops) against golden files.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "analyses/basic/descriptive.h"
#include "analyses/basic/ttest.h"
#include "analyses/registry.h"
#include "data_tools.h"
#include "support/test_files.h"

namespace quorix {
namespace {

// One t-test run: its variables (the grouping variable second for the
// grouped tests) and test value.
struct TTestCall {
    AnalysisId id;
    std::vector<int> variables;
    double test_value;
    std::vector<int32_t> selection;
};

int run_ttest(const std::string& path, const std::string& run, const TTestCall& call) {
    AnalysisArguments arguments{{}, call.selection};
    const bool grouped = call.id == AnalysisId::independent_sample || call.id == AnalysisId::matched_sample;
    if (grouped)
        arguments.values = {variables_argument({call.variables[0]}), variables_argument({call.variables[1]})};
    else
        arguments.values = {variables_argument(call.variables)};
    arguments.values.push_back(number_argument(call.test_value));
    return run_analysis(call.id, path, run, arguments);
}

using testing::describe;
using testing::ScratchDir;
using testing::TestVariable;

void expect_relative(double actual, double expected, double tolerance, const char* what) {
    EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected)) << what;
}

TEST(TTestCore, WorkedExamples) {
    // One-sample 1, 2, 3, 4 against 2. R: t.test(1:4, mu = 2)
    const StatsRow sample = describe({1, 2, 3, 4});
    TTestResult one;
    t_test_core(sample, sample, kTTestOneSample, 4, 4, 2, one);
    EXPECT_NEAR(one.se, 0.6454972243679028, 1e-15);
    EXPECT_NEAR(one.t, 0.7745966692414834, 1e-14);
    EXPECT_EQ(one.df, 3);
    expect_relative(t_test_p(one.t, 3), 0.49502534605971099, 1e-9, "p");
    // Mode 3 leaves the test value out: t of the mean itself, 2.5 / 0.645.
    TTestResult own_mean;
    t_test_core(sample, sample, kTTestNoTestValue, 4, 4, 2, own_mean);
    EXPECT_NEAR(own_mean.t, 2.5 / 0.6454972243679028, 1e-13);

    // {1, 2, 3} against {4, 5, 6}. R: t.test(1:3, 4:6, var.equal = TRUE) and the Welch form.
    const StatsRow a = describe({1, 2, 3});
    const StatsRow b = describe({4, 5, 6});
    TTestResult two;
    t_test_core(a, b, kTTestTwoGroups, 3, 3, 0, two);
    EXPECT_NEAR(two.se, 0.81649658092772603, 1e-15);
    EXPECT_NEAR(two.t, -3.6742346141747673, 1e-14);
    EXPECT_EQ(two.df, 4);
    EXPECT_NEAR(two.t_unequal, -3.6742346141747673, 1e-14);
    EXPECT_NEAR(two.df_unequal, 4, 1e-14);
    EXPECT_NEAR(two.se_unequal, 0.81649658092772603, 1e-15);
    expect_relative(t_test_p(two.t, 4), 0.021311641128756727, 1e-9, "p");
}

TEST(TTestCore, DegenerateSamplesGiveZeros) {
    const StatsRow single = describe({5});
    TTestResult one;
    t_test_core(single, single, kTTestOneSample, 1, 1, 2, one);
    EXPECT_EQ(one.df, 0);
    EXPECT_EQ(one.t, 0);
    const StatsRow empty = describe({});
    t_test_core(empty, empty, kTTestOneSample, 0, 0, 2, one);
    EXPECT_EQ(one.se, 0);
    EXPECT_EQ(one.df, -1);
    // Constant groups: no variance, so t, t' and df' stay 0.
    const StatsRow threes = describe({3, 3, 3});
    TTestResult two;
    t_test_core(threes, threes, kTTestTwoGroups, 3, 3, 1, two);
    EXPECT_EQ(two.t, 0);
    EXPECT_EQ(two.t_unequal, 0);
    EXPECT_EQ(two.df_unequal, 0);
    // One case against several: the one-case group's Welch term counts 0.
    TTestResult lone;
    t_test_core(single, describe({1, 2, 3, 4, 5}), kTTestTwoGroups, 1, 5, 0, lone);
    EXPECT_NEAR(lone.df_unequal, 4, 1e-12);
    EXPECT_EQ(rounded_df(std::numeric_limits<double>::quiet_NaN()), 0);
    EXPECT_EQ(rounded_df(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(rounded_df(120.49), 120);
    EXPECT_EQ(rounded_df(120.5), 121);
}

// 300 cases: x with system-missing values, y, a grouping g of 200 and 100
// cases, x2 (x doubled in g's second group) and g2 alternating 1, 2.
// R: i <- 0:299; x <- ((i * 7919) %% 1009) / 50 + (i %% 7) * 0.3
//    y <- x * 0.8 + ((i * 104729) %% 997) / 100 + 1; g <- 1 + (i %% 3 == 0)
//    x2 <- ifelse(g == 2, 2 * x, x); x[i %% 37 == 5] <- NA; x2[i %% 37 == 5] <- NA; g2 <- 1 + (i %% 2)
// (y is computed before x loses its NA cases.)
std::vector<TestVariable> random_samples() {
    TestVariable x{"x", {}}, y{"y", {}}, g{"g", {}}, x2{"x2", {}}, g2{"g2", {}};
    for (int i = 0; i < 300; ++i) {
        const double xi = ((i * 7919) % 1009) / 50.0 + (i % 7) * 0.3;
        const double gi = i % 3 == 0 ? 2 : 1;
        const bool missing = i % 37 == 5;
        x.values.push_back(missing ? 1e35 : xi);
        y.values.push_back(xi * 0.8 + ((i * 104729) % 997) / 100.0 + 1);
        g.values.push_back(gi);
        x2.values.push_back(missing ? 1e35 : gi == 2 ? 2 * xi : xi);
        g2.values.push_back(1 + i % 2);
    }
    return {x, y, g, x2, g2};
}

struct RExpected {
    double t, df, se, p;
};
// t.test(x, mu = 10)
constexpr RExpected kOneSample{2.9314466956722876, 291, 0.34344162675859813, 0.0036415404748964637};
// t.test(x, y, paired = TRUE, mu = -3.3)
constexpr RExpected kPaired{-2.042296853557569, 291, 0.18417686682580797, 0.042023287703333051};
// t.test(x2[g == 1], x2[g == 2], var.equal = TRUE, mu = -9)
constexpr RExpected kPooled{-2.525325653121075, 290, 1.03366593956094, 0.012092105883078991};
// t.test(x2[g == 1], x2[g == 2], mu = -9); p at the rounded df: 2 * pt(-abs(t), 120)
constexpr RExpected kWelch{-2.0533112091003849, 120.02551999115555, 1.2712846948682501, 0.042215744576404798};
// t.test(y[g2 == 1], y[g2 == 2], paired = TRUE, mu = -0.2)
constexpr RExpected kMatched{-0.30218269870876485, 149, 0.5133759609541606, 0.76293418881186603};

void expect_r(const TTestResult& r, const RExpected& expected, bool unequal = false) {
    expect_relative(unequal ? r.t_unequal : r.t, expected.t, 1e-10, "t");
    expect_relative(unequal ? r.df_unequal : r.df, expected.df, 1e-10, "df");
    expect_relative(unequal ? r.se_unequal : r.se, expected.se, 1e-10, "SE");
    const int df = rounded_df(unequal ? r.df_unequal : r.df);
    expect_relative(t_test_p(unequal ? r.t_unequal : r.t, df), expected.p, 1e-6, "p");
}

TEST(TTestCore, RandomSamplesAgainstR) {
    const std::vector<TestVariable> v = random_samples();
    const std::vector<double>& sx = v[0].values;
    const std::vector<double>& sy = v[1].values;
    const std::vector<double>& sg = v[2].values;
    const std::vector<double>& sx2 = v[3].values;
    std::vector<double> x, differences, group[2], matched;
    for (size_t i = 0; i < sx.size(); ++i) {
        if (sx[i] != 1e35) {
            x.push_back(sx[i]);
            differences.push_back(sx[i] - sy[i]);
            group[sg[i] == 1 ? 0 : 1].push_back(sx2[i]);
        }
        if (i % 2 == 0) matched.push_back(sy[i] - sy[i + 1]);
    }
    TTestResult r;
    const int n = static_cast<int>(x.size());
    t_test_core(describe(x), {}, kTTestOneSample, n, n, 10, r);
    expect_r(r, kOneSample);
    const int pairs = static_cast<int>(differences.size());
    t_test_core(describe(differences), {}, kTTestOneSample, pairs, pairs, -3.3, r);
    expect_r(r, kPaired);
    t_test_core(describe(group[0]), describe(group[1]), kTTestTwoGroups, static_cast<int>(group[0].size()),
                static_cast<int>(group[1].size()), -9, r);
    expect_r(r, kPooled);
    expect_r(r, kWelch, true);
    t_test_core(describe(matched), {}, kTTestOneSample, 150, 150, -0.2, r);
    expect_r(r, kMatched);
}

// The <TTESTSTAT> elements of a result document, in order: cases, t, SE, df, p.
struct PrintedStat {
    double cases, t, se, df, p;
};

double element_value(const std::string& text, const std::string& element, size_t from) {
    const size_t at = text.find("<" + element + ">", from);
    return at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + element.size() + 2, nullptr);
}

std::vector<PrintedStat> printed_stats(const std::string& xml) {
    std::vector<PrintedStat> stats;
    for (size_t at = xml.find("<TTESTSTAT>"); at != std::string::npos; at = xml.find("<TTESTSTAT>", at + 1))
        stats.push_back({element_value(xml, "Cases", at), element_value(xml, "tStat", at),
                         element_value(xml, "STD", at), element_value(xml, "DF", at),
                         element_value(xml, "pValue", at)});
    return stats;
}

// Printed to three decimals; the df element holds the rounded df.
void expect_printed(const PrintedStat& printed, const RExpected& expected, double cases) {
    EXPECT_EQ(printed.cases, cases);
    EXPECT_NEAR(printed.t, expected.t, 0.0005);
    EXPECT_NEAR(printed.se, expected.se, 0.0005);
    EXPECT_EQ(printed.df, std::floor(expected.df + 0.5));
    EXPECT_NEAR(printed.p, expected.p, 0.0005);
}

struct RandomRun {
    ScratchDir dir;
    std::string path = dir.file("random.rkd");
    RandomRun() { testing::write_numeric_file(path, random_samples()); }
    // The run's result document; the run's status in status.
    std::string xml(const char* run, const TTestCall& steps, int& status) {
        testing::record_run(dir, path, run, [&] { status = run_ttest(path, run, steps); });
        return testing::read_text(result_file_names(path, run).xml);
    }
};

TEST(TTestDrivers, PrintedResultsAgainstR) {
    RandomRun data;
    // Each driver's result blocks with the second group's (or all) cases; independent has pooled and Welch.
    const struct {
        const char* run;
        TTestCall steps;
        std::vector<RExpected> expected;
        double cases;
    } runs[] = {
        {"one", TTestCall{AnalysisId::one_sample, {1}, 10, {}}, {kOneSample}, 292},
        {"paired", TTestCall{AnalysisId::paired_sample, {1, 2}, -3.3, {}}, {kPaired}, 292},
        {"independent", TTestCall{AnalysisId::independent_sample, {4, 3}, -9, {}}, {kPooled, kWelch}, 97},
        {"matched", TTestCall{AnalysisId::matched_sample, {2, 5}, -0.2, {}}, {kMatched}, 150},
    };
    for (const auto& r : runs) {
        int status = 1;
        const std::vector<PrintedStat> stats = printed_stats(data.xml(r.run, r.steps, status));
        EXPECT_EQ(status, 0) << r.run;
        ASSERT_EQ(stats.size(), r.expected.size()) << r.run;
        for (size_t i = 0; i < stats.size(); ++i) expect_printed(stats[i], r.expected[i], r.cases);
    }
}

// The sample file of the golden runs, made as the Java test makes it.
std::string import_groups(const ScratchDir& dir) {
    const std::string path = dir.file("groups.rkd");
    ImportOptions options;
    std::string error;
    EXPECT_TRUE(parse_missing_codes("x=99", options, error)) << error;
    EXPECT_TRUE(import_csv(std::string(QUORIX_GOLDEN_DIR) + "/ttest/groups.csv", path, options, error)) << error;
    return path;
}

// Variables of groups.csv, 1-based.
enum { kX = 1, kY, kG, kG3, kGm, kOne, kE };

TEST(TTestDrivers, RunsAgainstGoldenFiles) {
    ScratchDir dir;
    const std::string path = import_groups(dir);
    const struct {
        const char* golden;
        const char* run;
        int status;
        TTestCall steps;
    } runs[] = {
        // Cases 0-4, 8 and 9 (41 is not in the file): x is missing in cases 4 and 8.
        {"one_sample", "one", 0, TTestCall{AnalysisId::one_sample, {kX}, 5, {0, 1, 2, 3, 4, 8, 9, 41}}},
        {"paired", "paired", 0, TTestCall{AnalysisId::paired_sample, {kX, kY}, 0.5, {}}},
        {"independent", "independent", 0, TTestCall{AnalysisId::independent_sample, {kX, kG}, 0, {}}},
        {"matched", "matched", 0, TTestCall{AnalysisId::matched_sample, {kY, kG}, -0.2, {}}},
        // Runs that stop: no cases, three groups, a constant and an unequal matching variable.
        {"one_sample_empty", "empty", kFoundNothing, TTestCall{AnalysisId::one_sample, {kE}, 0, {}}},
        {"independent_three", "three", -1, TTestCall{AnalysisId::independent_sample, {kX, kG3}, 0, {}}},
        {"matched_constant", "constant", -1, TTestCall{AnalysisId::matched_sample, {kY, kOne}, 0, {}}},
        {"matched_unequal", "unequal", -1, TTestCall{AnalysisId::matched_sample, {kY, kGm}, 0, {}}},
    };
    for (const auto& r : runs)
        testing::expect_golden(std::string("ttest/") + r.golden + ".txt", testing::record_run(dir, path, r.run, [&] {
                                   EXPECT_EQ(run_ttest(path, r.run, r.steps), r.status) << r.run;
                               }));
}

// The grouping values' <Name> texts and the groups' <Cases> and <Mean> of an
// independent run's result document, in order.
struct PrintedGroup {
    std::string name;
    double cases, mean;
};

std::vector<PrintedGroup> printed_groups(const std::string& xml) {
    std::vector<PrintedGroup> groups;
    for (size_t at = xml.find("<Item>"); at != std::string::npos; at = xml.find("<Item>", at + 1)) {
        const size_t name = xml.find("<Name>", at) + 6;
        groups.push_back({xml.substr(name, xml.find("</Name>", name) - name), element_value(xml, "Cases", at),
                          element_value(xml, "Mean", at)});
    }
    return groups;
}

struct GroupRun {
    ScratchDir dir;
    int runs = 0;
    // The record of an independent test of y by g; the status in status.
    std::string run(const std::vector<double>& y, const std::vector<double>& g, int& status) {
        const std::string name = "s" + std::to_string(++runs);
        const std::string path = dir.file(name + ".rkd");
        testing::write_numeric_file(path, {{"y", y}, {"g", g}});
        return testing::record_run(dir, path, name, [&] {
            status = run_ttest(path, name, TTestCall{AnalysisId::independent_sample, {1, 2}, 0, {}});
        });
    }
};

TEST(TTestDrivers, GroupsAreSplitByAscendingGroupingValue) {
    GroupRun data;
    int status = 1;
    // The larger grouping value comes first; y is missing in case 3, g in case 5.
    // R: t.test(c(1, 3, 5), c(10, 12, 14), var.equal = TRUE): t -5.5113519212621505,
    // p 0.0052886233862415172; the Welch t is the same with df 4.
    std::string record =
        data.run({10, 1, 12, 1e35, 3, 50, 5, 14}, {2, 1, 2, 2, 1, 1e35, 1, 2}, status);
    EXPECT_EQ(status, 0);
    std::vector<PrintedGroup> groups = printed_groups(testing::section(record, "xml"));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "y on g           1.000");
    EXPECT_EQ(groups[0].cases, 3);
    EXPECT_EQ(groups[0].mean, 3);
    EXPECT_EQ(groups[1].name, "y on g           2.000");
    EXPECT_EQ(groups[1].cases, 3);
    EXPECT_EQ(groups[1].mean, 12);
    const std::vector<PrintedStat> stats = printed_stats(testing::section(record, "xml"));
    ASSERT_EQ(stats.size(), 2u);
    EXPECT_EQ(stats[0].t, -5.511);
    EXPECT_EQ(stats[0].p, 0.005);
    EXPECT_EQ(stats[1].t, -5.511);

    // 5,000 cases of one value before the first of the other, in the same
    // pass as the rest: y = i, so the means are 2499.5 and 7499.5.
    std::vector<double> y, g;
    for (int i = 0; i < 10000; ++i) {
        y.push_back(i);
        g.push_back(i < 5000 ? 7 : -7);
    }
    groups = printed_groups(testing::section(data.run(y, g, status), "xml"));
    EXPECT_EQ(status, 0);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "y on g          -7.000");
    EXPECT_EQ(groups[0].cases, 5000);
    EXPECT_EQ(groups[0].mean, 7499.5);
    EXPECT_EQ(groups[1].cases, 5000);
    EXPECT_EQ(groups[1].mean, 2499.5);

    // Both zeros are one grouping value, shown with the sign of the first read.
    groups = printed_groups(testing::section(data.run({1, 2, 3, 4}, {-0.0, 5, 0.0, 5}, status), "xml"));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "y on g          -0.000");
    EXPECT_EQ(groups[0].cases, 2);
    EXPECT_EQ(groups[0].mean, 2);
    groups = printed_groups(testing::section(data.run({1, 2, 3, 4}, {0.0, 5, -0.0, 5}, status), "xml"));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "y on g           0.000");

    // A NaN is a grouping value of its own, equal to no case: read first, it
    // is the first group's value and that group is empty.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    groups = printed_groups(testing::section(data.run({1, 2, 3, 4}, {nan, 4, 4, 4}, status), "xml"));
    EXPECT_EQ(status, 0);
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].name, "y on g             nan");
    EXPECT_EQ(groups[0].cases, 0);
    EXPECT_EQ(groups[1].name, "y on g           4.000");
    EXPECT_EQ(groups[1].cases, 4);
    EXPECT_EQ(groups[1].mean, 2.5);
    // Read after a number, it follows it; the NaN case is in the second group.
    groups = printed_groups(testing::section(data.run({1, 2, 3, 4}, {4, nan, 4, 4}, status), "xml"));
    ASSERT_EQ(groups.size(), 2u);
    EXPECT_EQ(groups[0].cases, 3);
    EXPECT_EQ(groups[0].mean, 2.667);  // 8 / 3 printed to three decimals
    EXPECT_EQ(groups[1].name, "y on g             nan");
    EXPECT_EQ(groups[1].cases, 1);
}

TEST(TTestDrivers, AThirdGroupingValueLateInTheCasesStopsTheTest) {
    GroupRun data;
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> y, g;
    for (int i = 0; i < 10000; ++i) {
        y.push_back(i);
        g.push_back(1 + i % 2);
    }
    for (double third : {3.0, nan}) {
        g[9990] = third;
        int status = 1;
        const std::string record = data.run(y, g, status);
        EXPECT_EQ(status, -1);
        EXPECT_NE(testing::section(record, "log").find(" The grouping variable has more than two values!\n"),
                  std::string::npos);
        EXPECT_EQ(testing::section(record, "xml").find("<Item>"), std::string::npos);
    }
    // Two NaNs are two values; -0 and 0 one.
    int status = 1;
    data.run({1, 2, 3}, {nan, 1, nan}, status);
    EXPECT_EQ(status, -1);
    const std::string record = data.run({1, 2, 3}, {-0.0, 0.0, 0.0}, status);
    EXPECT_EQ(status, -1);
    EXPECT_NE(testing::section(record, "log").find(" The grouping variable is constant!\n"), std::string::npos);
}

TEST(TTestDrivers, HostileInputsEndTheRunCleanly) {
    ScratchDir dir;
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    const std::string path = dir.file("hostile.rkd"), empty = dir.file("empty.rkd");
    testing::write_numeric_file(path, {{"a", {nan, inf, -inf, 1e308, -1e308, 1}}, {"b", {1, 2, 1, 2, 1, 2}},
                                       {"c", {1, 2, nan, 2, 1, 2}}});
    testing::write_numeric_file(empty, {{"a", {}}, {"b", {}}});
    const struct {
        const std::string& file;
        int status;
        TTestCall steps;
    } runs[] = {
        {path, 0, TTestCall{AnalysisId::one_sample, {1}, 0, {}}},
        {path, 0, TTestCall{AnalysisId::paired_sample, {1, 2}, 1e308, {}}},
        {path, 0, TTestCall{AnalysisId::independent_sample, {1, 2}, 0, {}}},
        {path, 0, TTestCall{AnalysisId::matched_sample, {1, 2}, 0, {}}},
        // A NaN grouping value is a value of its own: three values.
        {path, -1, TTestCall{AnalysisId::independent_sample, {1, 3}, 0, {}}},
        {path, -1, TTestCall{AnalysisId::one_sample, {4}, 0, {}}},  // outside the file
        {empty, kFoundNothing, TTestCall{AnalysisId::paired_sample, {1, 2}, 0, {}}},  // no cases at all
    };
    int n = 0;
    for (const auto& r : runs) {
        const std::string name = "h" + std::to_string(++n);
        testing::record_run(dir, r.file, name, [&] {
            EXPECT_EQ(run_ttest(r.file, name, r.steps), r.status) << name;
        });
    }
}

}  // namespace
}  // namespace quorix
