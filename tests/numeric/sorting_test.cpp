// Index sort, ranks, permutation, distinct values, category codes, value labels
// and the packed-matrix printers.
#include <gtest/gtest.h>

#include <algorithm>
#include <climits>
#include <cmath>
#include <cstring>
#include <functional>
#include <limits>
#include <random>
#include <sstream>

#include "numeric/sorting.h"
#include "report/matrix_text.h"

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
    for (int i = 1; i < n; ++i) {  // numbers ascending, NaNs last
        if (!std::isnan(keys[idx[i]])) {
            ASSERT_LE(keys[idx[i - 1]], keys[idx[i]]) << i;
        }
    }
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

// The literal method: insert at the first j with v <= distinct[j], count there when equal.
int reference_distinct(const Doubles& values, Doubles& distinct, std::vector<int>& counts) {
    for (double v : values) {
        size_t j = 0;
        while (j < distinct.size() && !(v <= distinct[j])) ++j;
        if (j < distinct.size() && distinct[j] == v) {
            ++counts[j];
        } else {
            distinct.insert(distinct.begin() + static_cast<long>(j), v);
            counts.insert(counts.begin() + static_cast<long>(j), 1);
        }
    }
    return static_cast<int>(distinct.size());
}

TEST(CountDistinct, ValuesCountsNanAndZeros) {
    const double values[] = {2, 1, 2, 5, 1};
    double distinct[6];
    int counts[6];
    ASSERT_EQ(count_distinct(values, 5, distinct, counts), 3);
    EXPECT_EQ(Doubles(distinct, distinct + 3), (Doubles{1, 2, 5}));
    EXPECT_EQ(std::vector<int>(counts, counts + 3), (std::vector<int>{2, 2, 1}));
    EXPECT_EQ(count_distinct(values, 5, distinct, nullptr), 3);
    EXPECT_EQ(count_distinct(values, 0, distinct, counts), 0);
    const double odd[] = {1, kNan, 3, -0.0, 2, 0.0};  // by hand: [1] [1 N] [1 N 3] [-0 1 N 3] [-0 1 N 2 3]
    ASSERT_EQ(count_distinct(odd, 6, distinct, counts), 5);
    EXPECT_TRUE(std::signbit(distinct[0]) && distinct[0] == 0.0 && counts[0] == 2);
    EXPECT_TRUE(distinct[1] == 1 && std::isnan(distinct[2]) && distinct[3] == 2 && distinct[4] == 3);
}

TEST(CountDistinct, MatchesTheLiteralMethodBitForBit) {
    const double pool[] = {-2, -1, -0.0, 0.0, 0.5, 1, 2.5, 1e35, kInf, -kInf, kNan};
    std::mt19937 random(2024);
    for (int round = 0; round < 400; ++round) {
        Doubles values(random() % 120 + 1), want, got(values.size());
        const unsigned pool_size = random() % 4 == 0 ? 11 : 10;  // NaNs in a quarter of the rounds
        for (double& v : values) v = random() % 3 ? pool[random() % pool_size] : static_cast<double>(random() % 30);
        std::vector<int> want_counts, got_counts(values.size());
        const int k = reference_distinct(values, want, want_counts);
        ASSERT_EQ(count_distinct(values.data(), static_cast<int>(values.size()), got.data(), got_counts.data()), k);
        ASSERT_EQ(std::memcmp(got.data(), want.data(), sizeof(double) * k), 0) << round;
        ASSERT_TRUE(std::equal(want_counts.begin(), want_counts.end(), got_counts.begin())) << round;
    }
}

TEST(CodeCategories, FindEveryValueAndKeepNaNsApart) {
    const std::vector<double> cases = {3, kNan, -0.0, 1e308, 0.0, -kInf, kNan, 3, kInf, -1e308, 0.5};
    const Categories c = code_categories(cases);
    ASSERT_EQ(c.codes.size(), cases.size());
    int nans = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const double value = c.values[static_cast<size_t>(c.codes[i])];
        if (std::isnan(cases[i])) {
            EXPECT_TRUE(std::isnan(value));
            EXPECT_EQ(c.counts[static_cast<size_t>(c.codes[i])], 1);
            ++nans;
        } else {
            EXPECT_EQ(value, cases[i]) << i;
        }
    }
    EXPECT_EQ(nans, 2);
    EXPECT_NE(c.codes[1], c.codes[6]);
    EXPECT_EQ(c.codes[2], c.codes[4]);  // -0.0 and 0.0 are one category
    EXPECT_EQ(c.values.size(), 9u);
}

// Columns of few categories (hashed) and of many (sorted) code exactly as the
// distinct values count_distinct lists, zero signs included.
TEST(CodeCategories, FewAndManyCategoriesMatchCountDistinct) {
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

TEST(CovarianceToCorrelation, ScalesAndZeroesConstants) {
    double packed[] = {4, 2, 9, 5, 1, 0}, sd[3];  // third variable constant
    covariance_to_correlation(3, packed, sd);
    EXPECT_EQ(Doubles(sd, sd + 3), (Doubles{2, 3, 0}));
    EXPECT_EQ(Doubles(packed, packed + 6), (Doubles{1, 2.0 / 6, 1, 0, 0, 0}));  // 2 / (2 * 3)
}

RunContext named(int count, const char* const* names) {
    set_name_width(kLongNameWidth);
    RunContext context;
    context.header.name_table.assign(static_cast<size_t>(count) * kLongNameWidth, '\0');
    for (int i = 0; i < count; ++i) context.header.name_table.replace(static_cast<size_t>(i) * kLongNameWidth, std::strlen(names[i]), names[i]);
    return context;
}

TEST(LowerMatrix, TwelveVariablesInTwoBlocks) {
    const char* const names[] = {"v1", "v2", "v3", "v4", "v5", "v6", "v7", "v8", "v9", "v10", "v11", "v12"};
    const int variables[] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12};
    Doubles packed;
    for (int r = 1; r <= 12; ++r)
        for (int c = 1; c <= r; ++c) packed.push_back(r + c / 100.0);
    packed[1] = 12345.678, packed[3] = 123456789, packed[6] = 1e35, packed[76] = 1e35, packed[77] = -0.5;
    std::string text = "x";
    const int written = print_lower_matrix(packed.data(), text, 12, variables, 0, 5, named(12, names));
    EXPECT_EQ(written, static_cast<int>(text.size()) - 1);
    std::vector<std::string> lines;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    ASSERT_EQ(lines.size(), 20u);
    // Expected lines from printf with the stated formats, in Python.
    EXPECT_EQ(lines[1], "                   v1        v2        v3        v4        v5        v6        v7        v8        v9       v10");
    EXPECT_EQ(lines[2], "         v1    1.0100");
    EXPECT_EQ(lines[3], "         v2   12345.7    2.0200");
    EXPECT_EQ(lines[4], "         v31.23457e+08    3.0200    3.0300");
    EXPECT_EQ(lines[5], "         v4     *        4.0200    4.0300    4.0400");
    EXPECT_EQ(lines[13], "        v12   12.0100   12.0200   12.0300   12.0400   12.0500   12.0600   12.0700   12.0800   12.0900   12.1000");
    EXPECT_EQ(std::vector<std::string>(lines.begin() + 14, lines.end()),
              (std::vector<std::string>{"", "                  v11       v12", "        v11   11.1100",
                                        "        v12     *       -0.5000", "",
                                        "An asterisk indicates that the number of used cases is less than  5."}));
    std::string quiet;  // no note without a minimum
    print_lower_matrix(packed.data(), quiet, 12, variables, 0, -1, named(12, names));
    EXPECT_EQ(quiet.find("asterisk"), std::string::npos);
}

TEST(LowerMatrix, CountsAndUnknownVariables) {
    const char* const names[] = {"income_total", "x", "y"};
    const int variables[] = {1, 2, 3}, unknown[] = {0, 99};
    const int32_t counts[] = {10, 7, 12, 0, 5, 9};
    std::string text;
    const int written = print_lower_counts(named(3, names), 3, variables, counts, text);
    EXPECT_EQ(written, static_cast<int>(text.size()));
    EXPECT_EQ(text, "\n            income_total         x         y\n  income_total        10\n"
                    "          x         7        12\n          y         0         5         9\n");
    const double packed[] = {1, 2, 3};  // blank names for numbers outside the table
    text.clear();
    print_lower_matrix(packed, text, 2, unknown, 1, -1, named(3, names));
    EXPECT_EQ(text, "\n                               \n                  1.0\n                  2.0       3.0\n");
}


// Selected order statistics equal a full sort's, whatever the data's shape;
// large arrays take the sampled path, heavy ties its fallback.
TEST(SelectOrderStatistics, MatchesAFullSort) {
    std::mt19937_64 random(7);
    const size_t n = 300000;
    const std::vector<size_t> ranks = {0, 74999, 75000, 149999, 150000, 224999, 225000, n - 1};
    auto shapes = std::vector<std::function<double(size_t)>>{
        [&](size_t) { return std::normal_distribution<double>(0, 1)(random); },
        [&](size_t i) { return static_cast<double>(i); },                       // sorted
        [&](size_t i) { return static_cast<double>(n - i); },                   // reversed
        [&](size_t i) { return static_cast<double>(i % 3); },                   // three values
        [&](size_t i) { return static_cast<double>((i * 7919) % 1000) / 7; },   // periodic
        [&](size_t i) { return i % 1000 == 0 ? HUGE_VAL : i % 999 == 0 ? -HUGE_VAL : double(random() % 50); },
    };
    for (size_t shape = 0; shape < shapes.size(); ++shape) {
        std::vector<double> values(n);
        for (size_t i = 0; i < n; ++i) values[i] = shapes[shape](i);
        std::vector<double> sorted = values;
        std::sort(sorted.begin(), sorted.end());
        std::vector<double> out(ranks.size());
        select_order_statistics(values.data(), n, ranks.data(), ranks.size(), out.data());
        for (size_t r = 0; r < ranks.size(); ++r)
            EXPECT_EQ(out[r], sorted[ranks[r]]) << "shape " << shape << " rank " << ranks[r];
    }
    std::vector<double> small = {5, 1, 4, 2, 3};
    const size_t small_ranks[] = {0, 2, 4};
    double small_out[3];
    select_order_statistics(small.data(), small.size(), small_ranks, 3, small_out);
    EXPECT_EQ(small_out[0], 1);
    EXPECT_EQ(small_out[1], 3);
    EXPECT_EQ(small_out[2], 5);
}


// The radix path of large arrays orders like std::sort, signs, zeros,
// infinities and subnormals included, and keeps -0.0 before 0.0.
TEST(SortNumbers, LargeArraysMatchStdSort) {
    std::mt19937_64 random(11);
    const double specials[] = {0.0, -0.0, HUGE_VAL, -HUGE_VAL, 1e-310, -1e-310, 1e308, -1e308, 1e35};
    std::vector<double> values(200000);
    for (size_t i = 0; i < values.size(); ++i) {
        const uint64_t pick = random() % 10;
        values[i] = pick < 4   ? specials[random() % 9]
                    : pick < 7 ? std::ldexp(static_cast<double>(random() % 100000) - 50000, static_cast<int>(random() % 200) - 100)
                               : static_cast<double>(random() % 7) - 3;
    }
    std::vector<double> expected = values;
    std::stable_sort(expected.begin(), expected.end());
    sort_numbers(values.data(), values.size());
    ASSERT_TRUE(std::is_sorted(values.begin(), values.end()));
    for (size_t i = 0; i < values.size(); ++i) ASSERT_EQ(values[i], expected[i]) << i;
    const auto first_zero = std::find(values.begin(), values.end(), 0.0);
    ASSERT_NE(first_zero, values.end());
    EXPECT_TRUE(std::signbit(*first_zero));  // every -0.0 precedes every 0.0
    EXPECT_FALSE(std::signbit(*(std::find_if(first_zero, values.end(), [](double v) { return v != 0.0; }) - 1)));
}

}  // namespace
}  // namespace quorix
