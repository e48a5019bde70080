// count_distinct: hand-worked lists, then columns of every size against plain
// references bit for bit (zero signs, NaN places): few distinct values (counted
// through a hash table), as many as the table may take and more (sorted instead).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <map>
#include <random>
#include <vector>

#include "numeric/sorting.h"

namespace quorix {
namespace {

using Doubles = std::vector<double>;
constexpr double kNan = std::numeric_limits<double>::quiet_NaN();
constexpr double kInf = std::numeric_limits<double>::infinity();

// The literal method: each value inserted in turn into an ascending list at
// the first entry it is <= to, counted there when equal.
void insertion_reference(const Doubles& values, Doubles& distinct, std::vector<int>& counts) {
    for (const double v : values) {
        size_t j = 0;
        while (j < distinct.size() && !(v <= distinct[j])) ++j;
        if (j < distinct.size() && distinct[j] == v) {
            ++counts[j];
        } else {
            distinct.insert(distinct.begin() + static_cast<long>(j), v);
            counts.insert(counts.begin() + static_cast<long>(j), 1);
        }
    }
}

// The same for NaN-free columns too long for it: an ordered map, in which -0.0
// and 0.0 are one key holding the first zero inserted.
void map_reference(const Doubles& values, Doubles& distinct, std::vector<int>& counts) {
    std::map<double, int> tally;
    for (const double v : values) ++tally[v];
    for (const auto& entry : tally) {
        distinct.push_back(entry.first);
        counts.push_back(entry.second);
    }
}

void expect_as_reference(const Doubles& values) {
    Doubles want, got(values.size()), alone(values.size());
    std::vector<int> want_counts, got_counts(values.size());
    const bool has_nan = std::any_of(values.begin(), values.end(), [](double v) { return std::isnan(v); });
    (has_nan || values.size() < 5000 ? insertion_reference : map_reference)(values, want, want_counts);
    const int n = static_cast<int>(values.size()), k = static_cast<int>(want.size());
    ASSERT_EQ(count_distinct(values.data(), n, got.data(), got_counts.data()), k);
    ASSERT_EQ(std::memcmp(got.data(), want.data(), sizeof(double) * want.size()), 0);
    ASSERT_TRUE(std::equal(want_counts.begin(), want_counts.end(), got_counts.begin()));
    ASSERT_EQ(count_distinct(values.data(), n, alone.data(), nullptr), k);  // without counts: the same values
    ASSERT_EQ(std::memcmp(alone.data(), want.data(), sizeof(double) * want.size()), 0);
}

TEST(CountDistinct, HandWorkedLists) {
    const double values[] = {2, 1, 2, 5, 1};
    double distinct[6];
    int counts[6];
    ASSERT_EQ(count_distinct(values, 5, distinct, counts), 3);
    EXPECT_EQ(Doubles(distinct, distinct + 3), (Doubles{1, 2, 5}));
    EXPECT_EQ(std::vector<int>(counts, counts + 3), (std::vector<int>{2, 2, 1}));
    EXPECT_EQ(count_distinct(values, 0, distinct, counts), 0);
    const double odd[] = {1, kNan, 3, -0.0, 2, 0.0};  // by hand: [1] [1 N] [1 N 3] [-0 1 N 3] [-0 1 N 2 3]
    ASSERT_EQ(count_distinct(odd, 6, distinct, counts), 5);
    EXPECT_TRUE(std::signbit(distinct[0]) && distinct[0] == 0.0 && counts[0] == 2);
    EXPECT_TRUE(distinct[1] == 1 && std::isnan(distinct[2]) && distinct[3] == 2 && distinct[4] == 3);
}

TEST(CountDistinct, SmallColumnsWithNaNsMatchTheLiteralMethod) {
    const double pool[] = {-2, -1, -0.0, 0.0, 0.5, 1, 2.5, 1e35, kInf, -kInf, kNan};
    std::mt19937 random(2024);
    for (int round = 0; round < 400; ++round) {
        Doubles values(round < 395 ? random() % 120 + 1 : 3000);
        const unsigned pool_size = random() % 4 == 0 ? 11 : 10;  // NaNs in a quarter of the rounds
        for (double& v : values) v = random() % 3 ? pool[random() % pool_size] : static_cast<double>(random() % 200);
        expect_as_reference(values);
    }
}

TEST(CountDistinct, LargeColumnsMatchAnOrderedMap) {
    std::mt19937_64 random(31);
    const double specials[] = {-0.0, 0.0, HUGE_VAL, -HUGE_VAL, 1e35, 1e-310, -1e-310, 1e308};
    for (const bool negative_zero_first : {true, false}) {  // many values among many cases
        Doubles values(200000);
        for (double& v : values)
            v = random() % 50 == 0 ? specials[random() % 8] : static_cast<double>(random() % 5000) / 10 - 100;
        values[0] = negative_zero_first ? -0.0 : 0.0;
        expect_as_reference(values);
    }
    // 4096 cases: a table of at most 2048 slots (half a slot a case), half
    // full, takes 1024 values; around that number and far beyond it.
    for (const size_t spread : {size_t{1023}, size_t{1024}, size_t{1025}, size_t{1500}, size_t{4096}}) {
        Doubles values(4096);
        for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i % spread) * 0.25 - 3;
        std::shuffle(values.begin(), values.end(), random);
        expect_as_reference(values);
    }
    Doubles late(100000, 1.0);  // the values past the limit first turn up at the end
    for (size_t i = 0; i < 40000; ++i) late[late.size() - 1 - i] = static_cast<double>(i);
    expect_as_reference(late);
}

}  // namespace
}  // namespace quorix
