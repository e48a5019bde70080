#include "analyses/nonparametric/nonparametric.h"

#include <cmath>
#include <exception>
#include <thread>
#include <utility>
#include <new>
#include <stdexcept>

#include "analyses/common/covariance.h"
#include "analyses/common/variable_filter.h"
#include "analyses/nonparametric/rank_tests.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"
#include "numeric/distributions.h"
#include "numeric/sorting.h"
#include "report/matrix_text.h"
#include "report/result_document.h"

namespace quorix {

namespace {

constexpr int kMaxGroups = 15;
constexpr int kKruskalMinGroupSize = 6;     // smaller groups get no p-value
constexpr int kComparisonMinGroupSize = 11; // smaller groups get " -" instead of marks
constexpr int kKolmogorovMinCases = 20;
constexpr int kSpearmanMinCases = 10;
constexpr int kKendallMinCases = 11;
const char* const kNotPrinted = "p-values are not printed when the number of used cases is less than%3d.";

int log_line(const char* message, int status) {
    channel_printf(kLogChannel, "%s\n", message);
    return status;
}

// Everything one run computes: the columns, the groups and one packed
// matrix (or per-variable record) per selected statistic.
struct NonparametricRun {
    int k = 0;
    int tests = 0;
    bool listwise = true;
    const int* variables = nullptr;
    int group_variable = -1;
    int used_cases = 0;
    std::vector<std::vector<double>> columns;
    std::vector<int> group_of_case;
    std::vector<std::string> group_labels;

    std::vector<int32_t> sign_nonzero, sign_positive, wilcoxon_nonzero;
    std::vector<double> sign_p, wilcoxon_sum, wilcoxon_p, kendall_tau, kendall_p, spearman_r, spearman_p, ks_d, ks_p;
    std::vector<KruskalResult> kruskal;
    FriedmanResult friedman;
};

std::string name_of(const RunContext& context, int variable) { return variable_name(context.header, variable); }

// Reads the columns with the case screening of the deletion mode; returns
// the status to stop with, or 0.
int read_columns(RunContext& context, NonparametricRun& run) {
    std::vector<int32_t> mask;
    build_case_mask(context, mask);
    std::vector<int> screened;
    if (run.listwise) screened.assign(run.variables, run.variables + run.k);
    if (run.group_variable > 0) screened.push_back(run.group_variable);
    if (!screened.empty() &&
        !mark_missing_cases(1, static_cast<int>(screened.size()), mask, screened.data(), context))
        return -1;
    run.columns.resize(static_cast<size_t>(run.k));
    for (int i = 0; i < run.k; ++i) {
        require_memory(uint64_t{8} * mask.size());
        const int count = gather_values_marked(context, run.columns[static_cast<size_t>(i)], run.variables[i], &mask);
        if (count < 0) return -1;
        if (i == 0) run.used_cases = count;
    }
    if (run.used_cases == 0) return log_line(" No used cases were found.", 2);
    if (run.group_variable < 1) return 0;

    std::vector<double> group_values;
    if (gather_values_marked(context, group_values, run.group_variable, &mask) < 0) return -1;
    Categories groups = code_categories(group_values);
    const int g = static_cast<int>(groups.values.size());
    if (g == 1) return log_line(" Grouping variable is a constant.", 2);
    if (g > kMaxGroups) {
        channel_printf(kLogChannel, " Grouping variable has more than%3d categories.\n", kMaxGroups);
        return 2;
    }
    run.group_of_case = std::move(groups.codes);
    const ValueLabelSet* set = find_variable(context.header.label_sets, name_of(context, run.group_variable));
    run.group_labels.resize(static_cast<size_t>(g));
    for (int j = 0; j < g; ++j) value_label_text(run.group_labels[static_cast<size_t>(j)], set, groups.values[static_cast<size_t>(j)]);
    return 0;
}

void reserve_matrices(NonparametricRun& run) {
    const size_t size = packed_size(static_cast<size_t>(run.k));
    require_memory(uint64_t{8} * size * 3);
    const auto reserve = [size](bool wanted, auto&... matrices) {
        if (wanted) (matrices.assign(size, 0), ...);
    };
    reserve(run.tests & kSignTest, run.sign_nonzero, run.sign_positive, run.sign_p);
    reserve(run.tests & kWilcoxon, run.wilcoxon_nonzero, run.wilcoxon_sum, run.wilcoxon_p);
    reserve(run.tests & kKendall, run.kendall_tau, run.kendall_p);
    reserve(run.tests & kSpearman, run.spearman_r, run.spearman_p);
    reserve(run.tests & kKolmogorovSmirnov, run.ks_d, run.ks_p);
}

// What listwise deletion lets every pair share: each variable is ordered and
// ranked once (all pairs have the same cases), and the Kolmogorov-Smirnov
// samples, which drop only their own missing values, are sorted once in
// either mode.
struct SharedRanks {
    std::vector<RankCodes> codes;
    std::vector<std::vector<double>> ranks;
    std::vector<double> tie_sums;
    std::vector<std::vector<double>> sorted;
};

// Runs work(0) on a second thread and work(1) on this one, or both here when
// no thread can be started. The partition of the work is the caller's,
// whatever the machine; what either part throws is thrown here, after both.
template <class Work>
void on_two_threads(const Work& work) {
    std::exception_ptr failure[2];
    const auto part = [&work, &failure](int t) {
        try {
            work(t);
        } catch (...) {
            failure[t] = std::current_exception();
        }
    };
    std::thread helper;
    try {
        helper = std::thread(part, 0);
    } catch (...) {
        part(0);
    }
    part(1);
    if (helper.joinable()) helper.join();
    for (const std::exception_ptr& f : failure)
        if (f) std::rethrow_exception(f);
}

void prepare_shared(NonparametricRun& run, SharedRanks& shared) {
    const size_t k = static_cast<size_t>(run.k);
    const int n = run.used_cases;
    const bool kendall = run.listwise && (run.tests & kKendall);
    const bool spearman = run.listwise && (run.tests & kSpearman);
    const bool ks = run.tests & kKolmogorovSmirnov;
    if (!kendall && !spearman && !ks) return;
    const bool needs_values = !run.listwise || (run.tests & (kSignTest | kWilcoxon | kKruskalWallis | kFriedman));
    require_memory(uint64_t{16} * k * static_cast<uint64_t>(n) * (1 + spearman + ks));
    shared.codes.resize(k);
    RankScratch scratch;
    if (spearman) shared.ranks.resize(k);
    shared.tie_sums.resize(k);
    if (ks) shared.sorted.resize(k);
    for (size_t i = 0; i < k; ++i) {
        const double* column = run.columns[i].data();
        if (!compute_rank_codes(column, n, shared.codes[i], &scratch, kendall)) throw std::bad_alloc();
        if (spearman) {
            shared.ranks[i].resize(static_cast<size_t>(n));
            shared.tie_sums[i] = average_ranks(shared.codes[i], shared.ranks[i].data());
        }
        if (ks) sorted_sample(column, shared.codes[i].order.data(), static_cast<size_t>(n), shared.sorted[i]);
        if (!kendall) shared.codes[i] = RankCodes();
        // Nothing else reads the values: their memory goes before the next column is coded.
        if (!needs_values) std::vector<double>().swap(run.columns[i]);
    }
}

void compute_pair(NonparametricRun& run, const SharedRanks& shared, size_t i, size_t j, PairWork& work) {
    const size_t at = packed_index(i, j);
    const size_t n = static_cast<size_t>(run.used_cases);
    const double* x = run.columns[i].data();
    const double* y = run.columns[j].data();
    if (i == j) {
        // Neutral entries: no differences, D = 0, p = 1, coefficient 1.
        if (run.tests & kSignTest) run.sign_p[at] = 1.0;
        if (run.tests & kWilcoxon) run.wilcoxon_p[at] = 1.0;
        if (run.tests & kKendall) run.kendall_tau[at] = 1.0, run.kendall_p[at] = 1.0;
        if (run.tests & kSpearman) run.spearman_r[at] = 1.0, run.spearman_p[at] = 1.0;
        if (run.tests & kKolmogorovSmirnov) run.ks_p[at] = 1.0;
        return;
    }
    if (run.tests & kSignTest) {
        const SignResult r = sign_test(x, y, n);
        run.sign_nonzero[at] = r.nonzero;
        run.sign_positive[at] = r.positive;
        run.sign_p[at] = r.p;
    }
    if (run.tests & kWilcoxon) {
        const WilcoxonResult r = wilcoxon_test(x, y, n, work);
        run.wilcoxon_nonzero[at] = r.nonzero;
        run.wilcoxon_sum[at] = r.smaller_sum;
        run.wilcoxon_p[at] = r.p;
    }
    if (run.tests & kKendall) {
        const Correlation r = run.listwise
                                  ? kendall_from_counts(kendall_counts(shared.codes[i], shared.codes[j], work.kendall, work.merge), n)
                                  : kendall_test(x, y, n, work);
        run.kendall_tau[at] = r.r;
        run.kendall_p[at] = r.p;
    }
    if (run.tests & kSpearman) {
        const Correlation r = run.listwise ? spearman_from_ranks(shared.ranks[i].data(), shared.ranks[j].data(), n,
                                                                 shared.tie_sums[i], shared.tie_sums[j])
                                           : spearman_test(x, y, n, work);
        run.spearman_r[at] = r.r;
        run.spearman_p[at] = r.p;
    }
    if (run.tests & kKolmogorovSmirnov) {
        const KsResult r = ks_test(shared.sorted[i].data(), shared.sorted[i].size(), shared.sorted[j].data(),
                                   shared.sorted[j].size());
        run.ks_d[at] = r.d;
        run.ks_p[at] = r.p;
    }
}

void compute(NonparametricRun& run) {
    SharedRanks shared;
    prepare_shared(run, shared);
    const size_t k = static_cast<size_t>(run.k);
    const bool pairs = run.tests & (kSignTest | kWilcoxon | kKendall | kSpearman | kKolmogorovSmirnov);
    // The pairs off the diagonal, each writing only its own entries: two
    // threads take every other pair of the list.
    std::vector<std::pair<size_t, size_t>> off_diagonal;
    PairWork work;
    for (size_t i = 0; i < k && pairs; ++i) {
        for (size_t j = 0; j < i; ++j) off_diagonal.emplace_back(i, j);
        compute_pair(run, shared, i, i, work);
    }
    if (off_diagonal.size() > 1) {
        on_two_threads([&](int part) {
            PairWork own;
            for (size_t at = static_cast<size_t>(part); at < off_diagonal.size(); at += 2)
                compute_pair(run, shared, off_diagonal[at].first, off_diagonal[at].second, part == 1 ? work : own);
        });
    } else if (!off_diagonal.empty()) {
        compute_pair(run, shared, off_diagonal[0].first, off_diagonal[0].second, work);
    }
    // Friedman's test, which needs no work arrays, beside the Kruskal-Wallis tests.
    const auto kruskal = [&run, &work, k] {
        for (size_t i = 0; i < k; ++i)
            run.kruskal.push_back(kruskal_wallis(run.columns[i].data(), run.group_of_case.data(),
                                                 static_cast<size_t>(run.used_cases),
                                                 static_cast<int>(run.group_labels.size()), work));
    };
    const auto friedman = [&run] {
        std::vector<const double*> columns;
        for (const auto& column : run.columns) columns.push_back(column.data());
        run.friedman = friedman_test(columns, static_cast<size_t>(run.used_cases));
    };
    const bool kruskal_wanted = run.tests & kKruskalWallis, friedman_wanted = run.tests & kFriedman;
    if (kruskal_wanted && friedman_wanted) {
        on_two_threads([&](int part) {
            if (part == 0)
                friedman();
            else
                kruskal();
        });
    } else if (kruskal_wanted) {
        kruskal();
    } else if (friedman_wanted) {
        friedman();
    }
}

// ---- Output ----

void write_head(const RunContext& context, const NonparametricRun& run, const char* analysis) {
    ResultHead head;
    head.analysis = analysis;
    head.variable_count = run.k;
    write_result_head(context, head);
}

void counts_table(const RunContext& context, const NonparametricRun& run, const char* element,
                  const std::vector<int32_t>& counts) {
    xml_printf("<%s>\n", element);
    write_count_matrix_xml(context, run.variables, counts.data(), run.k);
    xml_printf("</%s>\n", element);
}

void values_table(const RunContext& context, const NonparametricRun& run, const char* element,
                  const std::vector<double>& values, int format) {
    xml_printf("<%s>\n", element);
    write_matrix_xml(run.variables, run.k, values.data(), format, context);
    xml_printf("</%s>\n", element);
}

void sign_output(const RunContext& context, const NonparametricRun& run, std::string& text) {
    text += "\nSign Test Results\n";
    text += "Number of Nonzero Differences\n";
    print_lower_counts(context, run.k, run.variables, run.sign_nonzero.data(), text);
    text += "Number of Positive (Column-Row) Differences\n";
    print_lower_counts(context, run.k, run.variables, run.sign_positive.data(), text);
    text += "\nTwo-tail p-values of Sign Test\n";
    print_lower_matrix(run.sign_p.data(), text, run.k, run.variables, 0, -1, context);
    write_head(context, run, "SignTest");
    counts_table(context, run, "NonZeroDiffTbl", run.sign_nonzero);
    counts_table(context, run, "PosDiffTbl", run.sign_positive);
    values_table(context, run, "TwoTailTbl", run.sign_p, 0);
    write_result_end();
}

void wilcoxon_output(const RunContext& context, const NonparametricRun& run, std::string& text) {
    text += "\nWilcoxon Signed Rank Test Results\r\n";
    text += "Number of Nonzero Differences\n";
    print_lower_counts(context, run.k, run.variables, run.wilcoxon_nonzero.data(), text);
    text += "\nSmaller Sum of Like-Signed Ranks\n";
    print_lower_matrix(run.wilcoxon_sum.data(), text, run.k, run.variables, 1, -1, context);
    text += "\nTwo-tail p-values of Wilcoxon Signed Rank Test\n";
    print_lower_matrix(run.wilcoxon_p.data(), text, run.k, run.variables, 0, -1, context);
    write_head(context, run, "Wilcoxon");
    counts_table(context, run, "NonZeroDiffTbl", run.wilcoxon_nonzero);
    values_table(context, run, "SumLikSignTbl", run.wilcoxon_sum, 1);
    values_table(context, run, "TwoTailTbl", run.wilcoxon_p, 0);
    write_result_end();
}

// Kendall and Spearman: the coefficients, then the p-values or why they are left out.
void correlation_output(const RunContext& context, const NonparametricRun& run, std::string& text, bool kendall) {
    const int threshold = kendall ? kKendallMinCases : kSpearmanMinCases;
    const std::vector<double>& r = kendall ? run.kendall_tau : run.spearman_r;
    const std::vector<double>& p = kendall ? run.kendall_p : run.spearman_p;
    text += kendall ? "\nKendall Rank Correlation Coefficients\n\n" : "\nSpearman Rank Correlation Coefficients\n";
    print_lower_matrix(r.data(), text, run.k, run.variables, 0, -1, context);
    text += "\n";
    if (run.used_cases < threshold) {
        append_printf(text, kNotPrinted, threshold);
    } else {
        text += kendall ? "Two-tail p-values of Kendall Correlations\n" : "Two-tail p-values of Spearman Correlations\n";
        print_lower_matrix(p.data(), text, run.k, run.variables, 0, threshold, context);
    }
    write_head(context, run, kendall ? "Kendall" : "Spearman");
    values_table(context, run, "RankCorrTbl", r, 0);
    if (run.used_cases >= threshold) {
        xml_printf("%s\n", "<pValStat> </pValStat>");
        values_table(context, run, "TwoTailTbl", p, 0);
    } else {
        xml_printf("%s", "<pValStat>");
        xml_printf(kNotPrinted, threshold);
        xml_printf("%s\n", "</pValStat>");
    }
    write_result_end();
}

void kolmogorov_output(const RunContext& context, const NonparametricRun& run, std::string& text) {
    text += "\nKolmogorov-Smirnov Two-Sample Test Statistics\n\n";
    print_lower_matrix(run.ks_d.data(), text, run.k, run.variables, 0, -1, context);
    text += "\n";
    const bool shown = run.used_cases >= kKolmogorovMinCases;
    if (!shown) {
        append_printf(text, kNotPrinted, kKolmogorovMinCases);
    } else {
        text += "Two-tail p-values of Kolmogorov-Smirnov Tests\n";
        print_lower_matrix(run.ks_p.data(), text, run.k, run.variables, 0, kKolmogorovMinCases, context);
    }
    write_head(context, run, "Kolmogorov");
    values_table(context, run, "TwoSampleStat", run.ks_d, 0);
    xml_printf("%s", "<pValueMessage>");
    if (!shown) xml_printf(kNotPrinted, kKolmogorovMinCases);
    xml_printf("%s\n", "</pValueMessage>");
    values_table(context, run, "pValTbl", run.ks_p, 0);
    write_result_end();
}

// The comparisons of r items (groups or variables) by mean rank, with the
// Bonferroni critical values of three overall levels.
struct ComparisonItems {
    bool kruskal = false;
    std::vector<std::string> labels;
    std::vector<double> mean_rank;
    std::vector<int32_t> size;   // Kruskal-Wallis: group sizes; empty groups are left out
    double error_term = 0;       // Kruskal-Wallis: C; Friedman: the standard error itself
};

void multiple_comparisons(const ComparisonItems& items, std::string& text) {
    const size_t r = items.labels.size();
    if (r < 2) return;
    // The levels are single-precision numbers.
    static const float kLevels[3] = {0.10f, 0.05f, 0.01f};
    const int comparisons = static_cast<int>(r * (r - 1) / 2);
    double critical[3];
    text += "\nMultiple Comparisons\n\n";
    text += "The null hypothesis is rejected if the z-statistic is larger in absolute\n";
    text += "value than critical z, which depends on the probability level alpha, and\n";
    append_printf(text, "the number of comparisons.  For this analysis (%4d comparisons),\r\n", comparisons);
    text += "critical z-values are:\n";
    xml_printf("%s\n", "<zValueMessage>");
    for (int level = 0; level < 3; ++level) {
        const double alpha = kLevels[level];
        critical[level] = std::fabs(normal_quantile(alpha / (2.0 * comparisons)));
        const std::string extra(static_cast<size_t>(level), '*');
        append_printf(text, "%29.3f for an overall alpha of %5.2f (*", critical[level], alpha);
        text += extra + ")\n";
        xml_printf("<line>%29.3f for an overall alpha of %5.2f (*%s)\n</line>\n", critical[level], alpha,
                   extra.c_str());
    }
    xml_printf("%s\n", " </zValueMessage>");
    text += "\n";
    if (items.kruskal) {
        text += "A minus sign after the z-statistic indicates that you should consult a\n";
        append_printf(text, "table of significance values, because a group size is smaller than%3d.\r\n",
                      kComparisonMinGroupSize);
        xml_printf("%s%d%s\n", "<bKruskal>", kComparisonMinGroupSize, "</bKruskal>");
    }
    text += "\n     Comparison       Mean Rank   Standard\n";
    text += items.kruskal ? "   Group  -   Group   Difference   Error     z-statistic\n"
                          : "Variable - Variable   Difference   Error     z-statistic\r\n";
    xml_printf("%s\n", "<CompareTbl>");
    for (size_t a = 0; a < r; ++a) {
        for (size_t b = a + 1; b < r; ++b) {
            if (items.kruskal && (items.size[a] == 0 || items.size[b] == 0)) continue;
            const double difference = items.mean_rank[a] - items.mean_rank[b];
            double error = items.error_term;
            if (items.kruskal) {
                const double e = items.error_term * (1.0 / items.size[a] + 1.0 / items.size[b]);
                error = e > 0 ? std::sqrt(e) : 0;
            }
            const double z = error != 0 ? difference / error : 0;
            std::string mark;
            if (items.kruskal && std::min(items.size[a], items.size[b]) < kComparisonMinGroupSize) {
                mark = " -";
            } else {
                for (const double limit : critical)
                    if (std::fabs(z) > limit) mark += "*";
            }
            append_printf(text, "%9s %9s", items.labels[a].c_str(), items.labels[b].c_str());
            append_printf(text, "%12.3f%10.3f%10.3f", difference, error, z);
            text += mark + "\n";
            xml_printf("<line>\n%s%s%s\n%s%s%s\n", "<VarName1>", items.labels[a].c_str(), "</VarName1>",
                       "<VarName2>", items.labels[b].c_str(), "</VarName2>");
            xml_printf("%s%12.3f%s", "<MeanRankDiff>", difference, "</MeanRankDiff>");
            xml_printf("%s%10.3f%s", "<StdErr>", error, "</StdErr>");
            xml_printf("%s%10.3f%s", "<zValue>", z, "</zValue>");
            xml_printf("<Mark>%s</Mark>\n</line>\n", mark == " -" ? " - " : mark.c_str());
        }
    }
    xml_printf("%s\n", "</CompareTbl>");
}

void kruskal_output(const RunContext& context, const NonparametricRun& run, std::string& text) {
    write_head(context, run, "Kruskal");
    const std::string group_name = name_of(context, run.group_variable);
    const size_t groups = run.group_labels.size();
    for (size_t i = 0; i < run.kruskal.size(); ++i) {
        const KruskalResult& result = run.kruskal[i];
        append_printf(text, " Kruskal-Wallis One-way ANOVA for %9s\n\n", name_of(context, run.variables[i]).c_str());
        append_printf(text, " %9s Frequency   Rank Sum   Mean Rank\r\n", group_name.c_str());
        xml_printf("%s\n", "<RankTbl>");
        int non_empty = 0;
        size_t first = 0;
        bool small = false;
        for (size_t g = 0; g < groups; ++g) {
            const int32_t size = result.count[g];
            if (size == 0) continue;
            if (non_empty++ == 0) first = g;
            small = small || size < kKruskalMinGroupSize;
            const double mean = result.rank_sum[g] / size;
            const char* label = run.group_labels[g].c_str();
            append_printf(text, "%8s%8d%14.1f%12.3f\r\n", label, size, result.rank_sum[g], mean);
            xml_printf("<line>\n%s%s%s\n%s%d%s\n", "<GroupId>", label, "</GroupId>", "<Frequency>", size,
                       "</Frequency>");
            xml_printf("%s%14.1f%s\n%s%12.3f%s\n</line>\n", "<RankSum>", result.rank_sum[g], "</RankSum>",
                       "<MeanRank>", mean, "</MeanRank>");
        }
        xml_printf("%s\n", "</RankTbl>");
        text += "\n";
        xml_printf("%s\n", "<GroupMessage>");
        if (non_empty == 0) {
            text += "For this variable, all groups are empty.\n";
            xml_printf("%s", "<line> For this variable, all groups are empty.</line>");
        } else if (non_empty == 1) {
            text += "For this variable, there is only one non-empty group.\n";
            xml_printf("%s", "<line> For this variable, there is only one non-empty group.</line> \n");
        } else {
            if (non_empty == 2) {
                const double size = result.count[first];
                const double u = result.rank_sum[first] - size * (size + 1) / 2;
                append_printf(text, "Mann-Whitney Test Statistic   =%14.1f\r\n", u);
                xml_printf("<line> Mann-Whitney Test Statistic   =%14.1f </line> \n", u);
            }
            append_printf(text, "Kruskal-Wallis Test Statistic =%13.4f\r\n", result.h);
            xml_printf("<line> Kruskal-Wallis Test Statistic =%13.4f </line>\n", result.h);
            if (small) {
                append_printf(text, "The p-value is not calculated when a group size is smaller than%5d.\r\n",
                              kKruskalMinGroupSize);
                xml_printf("<line> The p-value is not calculated when a group size is smaller than%5d.</line> \n",
                           kKruskalMinGroupSize);
            } else {
                const double p = gamma_q((non_empty - 1) / 2.0, result.h / 2);
                if (non_empty == 2) {
                    append_printf(text, "P-value for both statistics   =%13.4f\r\n", p);
                    xml_printf("<line> P-value for both statistics   =%13.4f </line> \n", p);
                } else {
                    append_printf(text, "P-value                       =%13.4f\r\n", p);
                    xml_printf("<line> P-value                       =%13.4f </line> \n", p);
                }
            }
        }
        xml_printf("%s\n", "</GroupMessage>");
        if (run.tests & kMultipleComparisons) {
            ComparisonItems items;
            items.kruskal = true;
            items.labels = run.group_labels;
            items.size = result.count;
            for (size_t g = 0; g < groups; ++g)
                items.mean_rank.push_back(result.count[g] > 0 ? result.rank_sum[g] / result.count[g] : 0);
            const double n = result.n;
            const double ties = result.n > 1 ? result.tie_sum / (n - 1) : 0;
            items.error_term = (n * (n + 1) - ties) / 12;
            multiple_comparisons(items, text);
        }
    }
    write_result_end();
}

void friedman_output(const RunContext& context, const NonparametricRun& run, std::string& text) {
    const FriedmanResult& result = run.friedman;
    write_head(context, run, "Friedman");
    if (result.n == 0) {
        text += "No complete cases were found.\n";
        xml_printf("%s\n", "<Message>No complete cases were found.</Message>");
        write_result_end();
        return;
    }
    xml_printf("%s\n", "<Message></Message>");
    append_printf(text, "\nFriedman Two-way ANOVA by Ranks, Using%4d Variables and%7d Cases\n\n", run.k, result.n);
    text += "Variable        Rank Sum   Mean Rank\n\n";
    xml_printf("%s\n", "<RankTbl>");
    ComparisonItems items;
    for (int j = 0; j < run.k; ++j) {
        const std::string name = name_of(context, run.variables[j]);
        const double sum = result.rank_sum[static_cast<size_t>(j)];
        const double mean = sum / result.n;
        append_printf(text, "%9s %14.1f%12.3f\r\n", name.c_str(), sum, mean);
        xml_printf("<line>\n%s%s%s\n%s%14.1f%s\n%s%12.3f%s\n</line>\n", "<VarName>", name.c_str(), "</VarName>",
                   "<RankSum>", sum, "</RankSum>", "<RankMean>", mean, "</RankMean>");
        items.labels.push_back(name);
        items.mean_rank.push_back(mean);
    }
    xml_printf("%s\n", "</RankTbl>");
    const int df = run.k - 1;
    append_printf(text, "\n Kendall's Coefficient of Concordance =%18.4f\r\n", result.w);
    append_printf(text, "Friedman Test Statistic              =%18.4f\r\n", result.chi_square);
    append_printf(text, "Degrees of Freedom                   =%13d\r\n", df);
    append_printf(text, "P-value                              =%18.4f\r\n", result.p);
    xml_printf("%s\n", "<KenCoeConTbl>");
    xml_printf("%s\n%s%18.4f%s\n", "<Name> Kendall's Coefficient of Concordance </Name>", "<Value>", result.w,
               "</Value>");
    xml_printf("%s\n%s%18.4f%s\n", "<Name>  Friedman Test Statistic </Name>", "<Value>", result.chi_square,
               "</Value>");
    xml_printf("%s\n%s%13d%s\n", "<Name> Degrees of Freedom </Name>", "<Value>", df, "</Value>");
    xml_printf("%s\n%s%18.4f%s\n", "<Name> P value </Name>", "<Value>", result.p, "</Value>");
    xml_printf("%s\n", "</KenCoeConTbl>");
    if (run.tests & kMultipleComparisons) {
        const double k = run.k;
        items.error_term = std::sqrt(k * (k + 1) / (6.0 * result.n));
        multiple_comparisons(items, text);
    }
    write_result_end();
}

// Validation; returns 0 with run.tests and run.group_variable settled, or the status to stop with.
int validate(const RunContext& context, const NonparametricOptions& options, NonparametricRun& run) {
    int tests = (options.tests & 0xFF) | kMultipleComparisons;
    const int keep_one = kKruskalWallis | kMultipleComparisons;
    if (run.k == 1 && (tests & ~keep_one)) {
        channel_printf(kLogChannel, "%s\n", " When one variable is analyzed, only Kruskal test can be done.");
        tests &= keep_one;
    }
    run.group_variable = options.group_variable;
    if (tests & kKruskalWallis) {
        if (run.group_variable < 1) return log_line(" Kruskal-Wallis test requires a grouping variable.", -1);
        if (!check_numeric_variable(run.group_variable, name_of(context, run.group_variable).c_str(), context))
            return -1;
    } else {
        run.group_variable = -1;
        if (!(tests & kFriedman)) tests &= ~kMultipleComparisons;
    }
    if (run.k < 1) return -1;
    if (tests == 0) return log_line(" No nonparametric statistics were selected.", -1);
    run.tests = tests;
    return 0;
}

int run_tests(RunContext& context, NonparametricRun& run) {
    std::string text = "NONPARAMETRIC STATISTICS\n\n";
    const int status = read_columns(context, run);
    if (status != 0) return status;
    case_count_lines(text, run.k + (run.group_variable > 0 ? 1 : 0), context.path.c_str(),
                     context.header.case_count, run.used_cases, -1);
    try {
        reserve_matrices(run);
    } catch (const std::bad_alloc&) {
        return log_line(" Do not have enough memory space", -1);
    } catch (const std::length_error&) {
        return log_line(" Do not have enough memory space", -1);
    }
    compute(run);
    if (run.tests & kSignTest) sign_output(context, run, text);
    if (run.tests & kWilcoxon) wilcoxon_output(context, run, text);
    if (run.tests & kKendall) correlation_output(context, run, text, true);
    if (run.tests & kSpearman) correlation_output(context, run, text, false);
    if (run.tests & kKolmogorovSmirnov) kolmogorov_output(context, run, text);
    if (run.tests & kKruskalWallis) kruskal_output(context, run, text);
    if (run.tests & kFriedman) friedman_output(context, run, text);
    channel_write(kReportChannel, text);
    channel_printf(kLogChannel, "%s\n", "NONPAR IS DONE !");
    return 0;
}

}  // namespace

int nonparametric_driver(RunContext& context, const NonparametricOptions& options) {
    NonparametricRun run;
    run.k = static_cast<int>(options.variables.size());
    run.variables = options.variables.data();
    run.listwise = options.missing_option == nullptr || !same_option_word(options.missing_option, "pair");
    const int status = validate(context, options, run);
    if (status != 0) return status;
    try {
        return run_tests(context, run);
    } catch (const std::bad_alloc&) {
        return log_line(" Not enough memory !", -1);
    } catch (const std::length_error&) {
        return log_line(" Not enough memory !", -1);
    }
}

}  // namespace quorix
