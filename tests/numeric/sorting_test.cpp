// Index sort, ranks, permutation, category codes, value labels, the
// packed-matrix printers, and the fast sorting and selection paths against
// std::sort. count_distinct has its own file; covariance_to_correlation is
// pinned by the golden correlation runs (a constant variable among them).
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>

#include "numeric/sorting.h"
#include "report/matrix_text.h"
#include "support/test_files.h"

namespace quorix {
namespace {

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();
using Doubles = std::vector<double>;

void expect_sorted(const Doubles& keys) {
    const int n = static_cast<int>(keys.size());
    std::vector<int> idx(keys.size(), -1), seen(keys.size(), 0);
    sort_index(idx.data(), n, keys.data());
    for (int i : idx) ASSERT_TRUE(i >= 0 && i < n && seen[i]++ == 0);
    for (int i = 1; i < n; ++i)  // numbers ascending, NaNs last
        ASSERT_TRUE(std::isnan(keys[idx[i]]) || keys[idx[i - 1]] <= keys[idx[i]]) << i;
}

TEST(SortIndex, ShapesSizesNanAndInfinity) {
    for (int n : {1, 2, 11, 12, 100}) {
        Doubles up(n), down(n), same(n, 4.0), pipe(n);
        for (int i = 0; i < n; ++i) up[i] = i, down[i] = n - i, pipe[i] = std::min(i, n - i);
        for (const auto& keys : {up, down, same, pipe}) expect_sorted(keys);
    }
    std::mt19937 random(7);
    Doubles ties(100000);
    for (double& v : ties) v = static_cast<double>(random() % 5);
    expect_sorted(ties);
    expect_sorted({kNan, kInf, -kInf, 0.0, -0.0, kNan, 1.0, kNan, -1e308});
    int idx[3];
    const double keys[] = {2.0, kNan, -kInf};
    sort_index(idx, 3, keys);
    EXPECT_EQ(std::vector<int>(idx, idx + 3), (std::vector<int>{2, 0, 1}));
}

TEST(RankAverage, TiesGetTheAverageRank) {
    Doubles keys = {3, 1, 3, 2};
    std::vector<int> work(4);
    EXPECT_EQ(rank_average(keys.data(), 4, work.data()), 6.0);  // one pair: 2 * (4 - 1)
    EXPECT_EQ(keys, (Doubles{3.5, 1, 3.5, 2}));
    Doubles equal(5, -7.25);
    EXPECT_EQ(rank_average(equal.data(), 5, nullptr), 120.0);  // 5 * (25 - 1)
    EXPECT_EQ(equal, Doubles(5, 3.0));                          // (5 + 1) / 2
    Doubles odd = {kNan, 1, kNan, -0.0, 0.0};                   // the zeros tie, NaNs never
    EXPECT_EQ(rank_average(odd.data(), 5, nullptr), 6.0);
    EXPECT_EQ((Doubles{odd[1], odd[3], odd[0] + odd[2]}), (Doubles{3, 1.5, 4 + 5}));
    EXPECT_EQ(rank_average(odd.data(), 0, nullptr), 0.0);
}

TEST(Permutation, GathersAndSurvivesBadEntries) {
    Doubles a = {10, 20, 30, 40, 50};
    const int perm[] = {2, 0, 1, 4, 3};
    apply_permutation(a.data(), 5, perm);
    EXPECT_EQ(a, (Doubles{30, 10, 20, 50, 40}));
    Doubles b = {1, 2, 3, 4, 5, 6};
    const int bad[] = {1, 7, -3, 1, INT_MAX, 2};  // values may only move
    apply_permutation(b.data(), 6, bad);
    std::sort(b.begin(), b.end());
    EXPECT_EQ(b, (Doubles{1, 2, 3, 4, 5, 6}));
}

// Columns of few categories (hashed) and of many (sorted) code exactly as the
// distinct values count_distinct lists, zero signs included; each NaN case is
// a category of its own.
TEST(CodeCategories, MatchCountDistinctAndKeepNaNsApart) {
    std::mt19937_64 random(5);
    const double specials[] = {-0.0, 0.0, kInf, -kInf, 1e35, 2.5, -7};
    for (const size_t spread : {size_t{3}, size_t{256}, size_t{257}, size_t{5000}}) {
        std::vector<double> cases(20000);
        for (double& v : cases) v = random() % 5 == 0 ? specials[random() % 7] : static_cast<double>(random() % spread);
        const Categories c = code_categories(cases);
        std::vector<double> distinct(cases.size());
        std::vector<int> counts(cases.size());
        const int k = count_distinct(cases.data(), static_cast<int>(cases.size()), distinct.data(), counts.data());
        ASSERT_EQ(c.values.size(), static_cast<size_t>(k)) << spread;
        for (int j = 0; j < k; ++j) {
            EXPECT_EQ(c.values[j], distinct[j]) << spread;
            EXPECT_EQ(std::signbit(c.values[j]), std::signbit(distinct[j])) << spread;
            EXPECT_EQ(c.counts[j], counts[j]) << spread;
        }
        for (size_t i = 0; i < cases.size(); ++i) ASSERT_EQ(c.values[static_cast<size_t>(c.codes[i])], cases[i]) << spread;
    }
    const Categories nans = code_categories({3, kNan, 3, kNan});
    ASSERT_EQ(nans.values.size(), 3u);
    EXPECT_TRUE(nans.codes[0] == nans.codes[2] && nans.codes[1] != nans.codes[3]);
    EXPECT_TRUE(std::isnan(nans.values[nans.codes[1]]) && std::isnan(nans.values[nans.codes[3]]));
}

TEST(LabelText, LabelsAndPlainValues) {
    ValueLabelSet set;
    set.variable_name = "sex";
    set.entries[0] = {"low", "1"}, set.entries[1] = {"high", "2"}, set.entries[2] = {"unused", "3"};
    set.entry_count = 2;
    ValueLabelSet other = set;
    other.variable_name = "a";
    const std::vector<ValueLabelSet> sets = {other, set, set};
    EXPECT_EQ(find_variable(sets, "sex"), &sets[1]);
    EXPECT_EQ(find_variable(sets, "SEX"), nullptr);
    std::string text = "|";
    EXPECT_EQ(value_label_text(text, &set, 2.0) + value_label_text(text, &set, 3.0), 4 + 8);
    EXPECT_EQ(value_label_text(text, nullptr, 1.5), 8);
    EXPECT_EQ(text, "|high       3     1.5");  // entry 3 is not in use
}

// The golden correlation runs pin the layout (blocks of ten columns); these
// are the cells and notes they do not show. Expected text from printf with the
// stated formats, in Python ("%10.4f", "%10.1f" from 1e4 or format 1, "%10g" from 1e7; names " %9s", "  %9s").
TEST(LowerMatrix, WideAndMissingCellsCountsAndUnknownVariables) {
    const RunContext named = testing::context_with_names({"income_total", "x", "y"});
    const int variables[] = {1, 2, 3}, unknown[] = {0, 99};
    const double packed[] = {1, 1e35, 12345.678, 123456789, -0.5, 2};
    std::string text = "x";
    const int written = print_lower_matrix(packed, text, 3, variables, 0, 5, named);
    EXPECT_EQ(written, static_cast<int>(text.size()) - 1);
    EXPECT_EQ(text, "x\n            income_total         x         y\n  income_total    1.0000\n"
                    "          x     *       12345.7\n          y1.23457e+08   -0.5000    2.0000\n\n"
                    "An asterisk indicates that the number of used cases is less than  5.\n");
    text.clear();  // no note without a minimum; blank names for numbers outside the table
    print_lower_matrix(packed, text, 2, unknown, 1, -1, named);
    EXPECT_EQ(text, "\n                               \n                  1.0\n                *       12345.7\n");
    const int32_t counts[] = {10, 7, 12, 0, 5, 9};
    text.clear();
    const int counted = print_lower_counts(named, 3, variables, counts, text);
    EXPECT_EQ(counted, static_cast<int>(text.size()));
    EXPECT_EQ(text, "\n            income_total         x         y\n  income_total        10\n"
                    "          x         7        12\n          y         0         5         9\n");
}

// The fast paths against std::sort, whatever the data's shape: selected order
// statistics (large arrays take the sampled path, heavy ties its fallback) and
// the radix sort of large arrays (signs, zeros, infinities, subnormals; every
// -0.0 before every 0.0).
TEST(FastPaths, SelectOrderStatisticsMatchesAFullSort) {
    std::mt19937_64 random(7);
    const size_t n = 300000;
    const std::vector<size_t> ranks = {0, 74999, 75000, 149999, 150000, 224999, 225000, n - 1};
    const std::vector<std::function<double(size_t)>> shapes = {
        [&](size_t) { return std::normal_distribution<double>(0, 1)(random); },
        [&](size_t i) { return static_cast<double>(i); },                      // sorted
        [&](size_t i) { return static_cast<double>(n - i); },                  // reversed
        [&](size_t i) { return static_cast<double>(i % 3); },                  // three values
        [&](size_t i) { return static_cast<double>((i * 7919) % 1000) / 7; },  // periodic
        [&](size_t i) { return i % 1000 == 0 ? HUGE_VAL : i % 999 == 0 ? -HUGE_VAL : double(random() % 50); },
        [&](size_t i) { return i < 5 ? double((i * 3) % 5) : 0.0; },  // a small array below
    };
    for (size_t shape = 0; shape < shapes.size(); ++shape) {
        const bool small = shape + 1 == shapes.size();
        const std::vector<size_t> wanted = small ? std::vector<size_t>{0, 2, 4} : ranks;
        std::vector<double> values(small ? 5 : n);
        for (size_t i = 0; i < values.size(); ++i) values[i] = shapes[shape](i);
        std::vector<double> sorted = values, out(wanted.size());
        std::sort(sorted.begin(), sorted.end());
        select_order_statistics(values.data(), values.size(), wanted.data(), wanted.size(), out.data());
        for (size_t r = 0; r < wanted.size(); ++r)
            EXPECT_EQ(out[r], sorted[wanted[r]]) << "shape " << shape << " rank " << wanted[r];
    }
}

TEST(FastPaths, SortNumbersMatchesStdSort) {
    std::mt19937_64 random(11);
    const double specials[] = {0.0, -0.0, HUGE_VAL, -HUGE_VAL, 1e-310, -1e-310, 1e308, -1e308, 1e35};
    std::vector<double> values(200000);
    for (double& v : values) {
        const uint64_t pick = random() % 10;
        v = pick < 4   ? specials[random() % 9]
            : pick < 7 ? std::ldexp(static_cast<double>(random() % 100000) - 50000, static_cast<int>(random() % 200) - 100)
                       : static_cast<double>(random() % 7) - 3;
    }
    std::vector<double> expected = values;
    std::stable_sort(expected.begin(), expected.end());  // keeps the zeros' order: sort them by sign below
    const auto zeros = std::equal_range(expected.begin(), expected.end(), 0.0);
    std::stable_partition(zeros.first, zeros.second, [](double v) { return std::signbit(v); });
    sort_numbers(values.data(), values.size());
    ASSERT_EQ(std::memcmp(values.data(), expected.data(), values.size() * sizeof(double)), 0);
}

}  // namespace
}  // namespace quorix
