// Nonparametric tests: every statistic against R (nonparametric_reference.csv,
// written by nonparametric_reference.R), Kendall's fast pair counts against
// the literal all-pairs loop, the driver's messages and case-count limits, and
// whole runs against golden files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <fstream>
#include <random>
#include <sstream>

#include "analyses/nonparametric/nonparametric.h"
#include "analyses/nonparametric/rank_tests.h"
#include "analyses/registry.h"
#include "data_tools.h"
#include "numeric/distributions.h"
#include "numeric/sorting.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;

std::vector<double> numbers(const std::string& text) {
    std::vector<double> values;
    std::istringstream in(text);
    for (double v; in >> v;) values.push_back(v);
    return values;
}

void expect_close(double actual, const std::string& expected, double tolerance, const std::string& what) {
    if (expected.empty()) return;
    const double want = std::stod(expected);
    EXPECT_NEAR(actual, want, tolerance * std::max(1.0, std::fabs(want))) << what;
}

TEST(Nonparametric, StatisticsAgainstR) {
    std::ifstream in(std::string(QUORIX_TEST_DATA_DIR) + "/analyses/nonparametric_reference.csv");
    std::string line;
    std::getline(in, line);
    int rows = 0;
    PairWork work;
    while (std::getline(in, line)) {
        std::vector<std::string> f;
        std::istringstream fields(line.substr(0, line.find(",\"")));
        for (std::string field; std::getline(fields, field, ',');) f.push_back(field);
        f.resize(7);
        const std::string what = line.substr(line.find(",\""));
        const std::vector<double> x = numbers(f[1]), y = numbers(f[2]);
        const int aux = std::stoi(f[3]);
        double e1 = 0, e2 = 0, e3 = 0;
        if (f[0] == "sign") {
            const SignResult r = sign_test(x.data(), y.data(), x.size());
            e1 = r.nonzero, e2 = r.positive, e3 = r.p;
        } else if (f[0] == "wilcoxon") {
            const WilcoxonResult r = wilcoxon_test(x.data(), y.data(), x.size(), work);
            e1 = r.nonzero, e2 = r.smaller_sum, e3 = r.p;
        } else if (f[0] == "ks") {
            std::vector<double> a = x, b = y;
            sort_numbers(a.data(), a.size());
            sort_numbers(b.data(), b.size());
            const KsResult r = ks_test(a.data(), a.size(), b.data(), b.size());
            expect_close(r.p, f[5], 1e-6, "ks p" + what);  // R sums the series to 1e-6
            e1 = r.d, e2 = std::stod(f[5]);
        } else if (f[0] == "kruskal") {
            const std::vector<int> groups(y.begin(), y.end());
            const KruskalResult r = kruskal_wallis(x.data(), groups.data(), x.size(), aux);
            e1 = r.h;
            e2 = gamma_q((aux - 1) / 2.0, r.h / 2);
            e3 = r.rank_sum[0] - r.count[0] * (r.count[0] + 1) / 2.0;
        } else if (f[0] == "friedman") {
            std::vector<std::vector<double>> columns(static_cast<size_t>(aux));
            for (size_t v = 0; v < x.size(); ++v) columns[v % columns.size()].push_back(x[v]);
            std::vector<const double*> data;
            for (const auto& column : columns) data.push_back(column.data());
            const FriedmanResult r = friedman_test(data, columns[0].size());
            e1 = r.chi_square, e2 = r.p, e3 = r.w;
        } else {
            const Correlation r = f[0] == "spearman" ? spearman_test(x.data(), y.data(), x.size(), work)
                                                     : kendall_test(x.data(), y.data(), x.size(), work);
            e1 = r.r, e2 = r.p;
        }
        expect_close(e1, f[4], 1e-13, f[0] + " first value" + what);
        // gamma_q works to the 5e-4 level of its algorithm; in practice within 1e-7.
        expect_close(e2, f[5], 1e-6, f[0] + " second value" + what);
        expect_close(e3, f[6], 1e-6, f[0] + " third value" + what);
        ++rows;
    }
    EXPECT_GE(rows, 30);
    EXPECT_EQ(kolmogorov_q(0.0625), 1.0);
}

// The literal loop: cases sorted by x, every later case compared.
KendallCounts all_pairs(std::vector<double> x, std::vector<double> y) {
    const int n = static_cast<int>(x.size());
    std::vector<int> order(x.size());
    sort_index(order.data(), n, x.data());
    apply_permutation(x.data(), n, order.data());
    apply_permutation(y.data(), n, order.data());
    KendallCounts c;
    for (int a = 0; a < n; ++a)
        for (int b = a + 1; b < n; ++b) {
            if (y[a] != y[b]) ++c.untied_y;
            if (x[a] == x[b]) continue;
            ++c.untied_x;
            c.s += (y[a] < y[b]) - (y[a] > y[b]);
        }
    return c;
}

TEST(Nonparametric, KendallCountsEqualTheAllPairsLoop) {
    std::mt19937 random(19);
    PairWork work;
    for (int trial = 0; trial < 1000; ++trial) {
        const int n = 1 + static_cast<int>(random() % 80), levels = 1 + static_cast<int>(random() % 6);
        std::vector<double> x(static_cast<size_t>(n)), y(x.size());
        for (size_t c = 0; c < x.size(); ++c) {
            x[c] = static_cast<double>(random() % levels);
            y[c] = random() % 50 == 0 ? std::nan("") : static_cast<double>(random() % levels) - 0.5;
        }
        if (trial % 10 == 0) x[0] = std::nan("");
        RankCodes cx, cy;
        ASSERT_TRUE(compute_rank_codes(x.data(), n, cx) && compute_rank_codes(y.data(), n, cy));
        const KendallCounts fast = kendall_counts(cx, cy, work.kendall, work.merge), slow = all_pairs(x, y);
        ASSERT_EQ(fast.s, slow.s) << trial;
        ASSERT_EQ(fast.untied_x, slow.untied_x) << trial;
        ASSERT_EQ(fast.untied_y, slow.untied_y) << trial;
        // Same counts, same formula: tau to the last bit.
        EXPECT_EQ(kendall_from_counts(fast, x.size()).r, kendall_from_counts(slow, x.size()).r);
        // Average ranks from the codes are rank_average's.
        std::vector<double> ranks(x.size()), plain = y;
        EXPECT_EQ(average_ranks(cy, ranks.data()), rank_average(plain.data(), n, nullptr));
        for (size_t c = 0; c < x.size(); ++c) ASSERT_TRUE(ranks[c] == plain[c] || std::isnan(plain[c]));
    }
    // Large columns are ordered by radix passes: the same ranks, -0.0, NaN and ties included.
    std::vector<double> wide(20000), plain;
    for (size_t c = 0; c < wide.size(); ++c)
        wide[c] = c % 97 == 0 ? std::nan("") : c % 89 == 0 ? -0.0 : static_cast<double>(random() % 3000) - 1500.5;
    RankCodes codes;
    std::vector<double> ranks(wide.size());
    ASSERT_TRUE(compute_rank_codes(wide.data(), static_cast<int>(wide.size()), codes));
    plain = wide;
    EXPECT_EQ(average_ranks(codes, ranks.data()), rank_average(plain.data(), static_cast<int>(plain.size()), nullptr));
    EXPECT_EQ(ranks, plain);

    // 200,000 cases on a 10 x 10 grid: the counts from the table of cells in
    // double counters (exact below 2^53) give the same tau.
    const size_t n = 200000;
    std::vector<double> x(n), y(n), cells(100, 0);
    for (size_t c = 0; c < n; ++c) {
        x[c] = static_cast<double>(random() % 10);
        y[c] = std::fmod(x[c] + static_cast<double>(random() % 4), 10);
        cells[static_cast<size_t>(x[c] * 10 + y[c])] += 1;
    }
    double s = 0, tied_x = 0, tied_y = 0;
    for (int i = 0; i < 10; ++i) {
        double row = 0, column = 0;
        for (int j = 0; j < 10; ++j) {
            row += cells[static_cast<size_t>(i * 10 + j)];
            column += cells[static_cast<size_t>(j * 10 + i)];
            for (int k = i + 1; k < 10; ++k)
                for (int l = 0; l < 10; ++l)
                    s += cells[static_cast<size_t>(i * 10 + j)] * cells[static_cast<size_t>(k * 10 + l)] * ((l > j) - (l < j));
        }
        tied_x += row * (row - 1) / 2;
        tied_y += column * (column - 1) / 2;
    }
    const double pairs = n * (n - 1.0) / 2;
    const double tau = s / std::sqrt(std::fabs((pairs - tied_x) * (pairs - tied_y)));
    EXPECT_EQ(kendall_test(x.data(), y.data(), n, work).r, tau);
}

std::string import_ties(const ScratchDir& dir) {
    ImportOptions options;
    std::string error;
    EXPECT_TRUE(parse_missing_codes("c=99", options, error) && parse_labels("g=1:low,2:mid,3:high", options, error));
    const std::string path = dir.file("ties.rkd");
    EXPECT_TRUE(import_csv(std::string(QUORIX_GOLDEN_DIR) + "/nonparametric/ties.csv", path, options, error)) << error;
    return path;
}

std::string run(const ScratchDir& dir, const std::string& path, const NonparametricOptions& options,
                const std::vector<int32_t>& selection = {}, int* status = nullptr) {
    return testing::record_run(dir, path, "np", [&] {
        const int result = run_analysis(AnalysisId::nonparametric, path, "np",
                                        {{variables_argument(options.variables), variables_argument({options.group_variable}),
                                          word_argument(options.missing_option), integer_argument(options.tests)},
                                         selection});
        if (status) *status = result;
    });
}

TEST(Nonparametric, RunsAgainstGoldenFiles) {
    ScratchDir dir;
    const std::string path = import_ties(dir);
    NonparametricOptions options{{1, 2, 3}, 4, nullptr, 0x7F};
    std::vector<int32_t> selection(22, 1);
    selection[0] = 0;
    testing::expect_golden("nonparametric/listwise.txt", run(dir, path, options, selection));
    options.missing_option = "pair";
    testing::expect_golden("nonparametric/pairwise.txt", run(dir, path, options));
}

// Runs with what each message needs; first the driver's refusals, then the
// limits on the number of cases (the first n cases selected).
TEST(Nonparametric, MessagesAndCaseLimits) {
    ScratchDir dir;
    const std::string ties = import_ties(dir);
    struct Case {
        std::vector<int> variables;
        int group, tests, cases, status;
        const char* missing;
        const char* expected;
        const char* absent;
    };
    const Case refusals[] = {
        {{1}, 4, 0x9, 22, 0, nullptr, " When one variable is analyzed, only Kruskal test can be done.\n", "Sign Test"},
        {{1, 2}, -1, 0x1, 22, -1, nullptr, " Kruskal-Wallis test requires a grouping variable.\n", "NONPAR"},
        {{1, 2}, 5, 0x1, 22, -1, nullptr, " tag is alphanumeric variable.\n", "NONPAR"},
        {{1, 2}, 4, 0x80, 22, -1, nullptr, " No nonparametric statistics were selected.\n", "NONPAR"},
        {{}, 4, 0x1, 22, -1, nullptr, "Nonparametric Test Done!", "NONPAR"},
        {{1, 2}, 4, 0x1, 0, 2, nullptr, " No used cases were found.\n", "NONPAR"},
        {{1, 2}, 4, 0x1, 7, 2, nullptr, " Grouping variable is a constant.\n", "NONPAR"},
        {{1, 2}, 4, 0x2, 22, 0, "PAIR", "analysis are ..     22\n", "analysis are ..     18"},
        {{1, 2}, 4, 0x2, 22, 0, "", "analysis are ..     20\n", "<Analysis>Kruskal"},
    };
    const auto check = [&dir](const std::string& path, size_t total, const Case& c) {
        int status = 99;
        std::vector<int32_t> selection(total, 0);
        std::fill_n(selection.begin(), c.cases, 1);
        const std::string record = run(dir, path, {c.variables, c.group, c.missing, c.tests}, selection, &status);
        EXPECT_EQ(status, c.status) << c.expected;
        EXPECT_NE(record.find(c.expected), std::string::npos) << c.expected;
        EXPECT_EQ(testing::section(record, "out").find(c.absent), std::string::npos) << c.expected;
    };
    for (const Case& c : refusals) check(ties, 22, c);

    // 40 cases: x, y, z (missing in its first 21 cases), groups of 2, 15 and 16 values.
    const std::string path = dir.file("limits.rkd");
    std::vector<testing::TestVariable> v = {{"x", {}}, {"y", {}}, {"z", {}}, {"g2", {}}, {"g15", {}}, {"g16", {}}};
    for (int c = 0; c < 40; ++c) {
        const double values[] = {std::fmod(c * 7.0, 13), std::fmod(c * 5.0, 11) + c % 3, c < 21 ? 1e35 : c % 9,
                                 static_cast<double>(c % 2), static_cast<double>(c % 15), static_cast<double>(c % 16)};
        for (size_t k = 0; k < v.size(); ++k) v[k].values.push_back(values[k]);
    }
    testing::write_numeric_file(path, v);
    const char* const ks_note = "p-values are not printed when the number of used cases is less than 20.";
    const Case limits[] = {
        {{1, 2}, -1, 0x20, 19, 0, nullptr, ks_note, "Two-tail p-values of Kolmogorov"},
        {{1, 2}, -1, 0x20, 20, 0, nullptr, "Two-tail p-values of Kolmogorov-Smirnov Tests\n", ks_note},
        {{1, 3}, -1, 0x20, 40, 0, "pair", "An asterisk indicates that the number of used cases is less than 20.\n", ks_note},
        {{1, 2}, -1, 0x2, 9, 0, nullptr, "is less than 10.", "Two-tail p-values of Spearman"},
        {{1, 2}, -1, 0x2, 10, 0, nullptr, "Two-tail p-values of Spearman Correlations\n", "is less than 10."},
        {{1, 3}, -1, 0x2, 30, 0, "pair", "An asterisk indicates that the number of used cases is less than 10.\n",
         "p-values are not printed"},
        {{1, 2, 4}, -1, 0x40, 10, 0, nullptr, "     0.447", "No complete"},  // sqrt(3 * 4 / (6 * 10))
        {{1, 2}, -1, 0x4, 10, 0, nullptr, "is less than 11.", "Two-tail p-values of Kendall"},
        {{1, 2}, -1, 0x4, 11, 0, nullptr, "Two-tail p-values of Kendall Correlations\n", "is less than 11."},
        {{1, 2}, 4, 0x1, 11, 0, nullptr, "smaller than    6.\r\n", "P-value for both"},
        {{1, 2}, 4, 0x1, 12, 0, nullptr, "Mann-Whitney Test Statistic   =", "smaller than    6."},
        {{1}, 4, 0x1, 21, 0, nullptr, "P-value for both statistics   =", "NONE"},
        {{1}, 4, 0x1, 21, 0, nullptr, " -\n", "NONE"},
        {{1}, 4, 0x1, 22, 0, nullptr, "P-value for both statistics   =", " -\n"},
        {{1}, 5, 0x1, 40, 0, nullptr, "( 105 comparisons)", "NONE"},
        {{1}, 6, 0x1, 40, 2, nullptr, " Grouping variable has more than 15 categories.\n", "NONPAR"},
    };
    for (const Case& c : limits) check(path, 40, c);
}

// 120 variables (one constant, one with NaN, infinities and 1e308), groups of
// one case: every test runs and the report is whole.
TEST(Nonparametric, HundredsOfVariablesAndHostileValues) {
    ScratchDir dir;
    const std::string path = dir.file("wide.rkd");
    const double inf = HUGE_VAL, nan = std::nan("");
    std::vector<testing::TestVariable> v;
    std::vector<int> list;
    for (int k = 1; k <= 120; ++k) {
        v.push_back({"v" + std::to_string(k), {}});
        list.push_back(k);
        for (int c = 0; c < 25; ++c) v.back().values.push_back(k == 7 ? 3 : std::fmod(c * (k + 3.0), 17));
    }
    v[8].values = {nan, inf, -inf, 1e308, -1e308, nan, 0, -0.0, 1e35, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20};
    v.push_back({"g", {1, 2, 3, 3, 3, 3, 3, 3, 3, 3, 3, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4, 4}});
    testing::write_numeric_file(path, v);
    for (const char* missing : {"pair", "listwise"}) {
        int status = 99;
        const std::string record = run(dir, path, {list, 121, missing, 0x7F}, {}, &status);
        EXPECT_EQ(status, 0) << missing;
        EXPECT_NE(record.find("     v119      v120      -0."), std::string::npos) << missing;
        EXPECT_NE(record.find("NONPAR IS DONE !"), std::string::npos) << missing;
    }
}

}  // namespace
}  // namespace quorix
