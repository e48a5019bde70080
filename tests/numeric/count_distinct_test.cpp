// count_distinct on large columns: few distinct values (counted through a hash
// table), as many as the table may take and more (sorted instead), against
// plain references built here.
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

// The NaN-free reference: an ordered map, in which -0.0 and 0.0 are one key
// holding the first zero inserted.
void map_reference(const Doubles& values, Doubles& distinct, std::vector<int>& counts) {
    std::map<double, int> tally;
    for (const double v : values) ++tally[v];
    distinct.clear();
    counts.clear();
    for (const auto& entry : tally) {
        distinct.push_back(entry.first);
        counts.push_back(entry.second);
    }
}

// The literal method: each value inserted in turn into an ascending list at
// the first entry it is <= to, counted there when equal.
void insertion_reference(const Doubles& values, Doubles& distinct, std::vector<int>& counts) {
    distinct.clear();
    counts.clear();
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

// count_distinct against a reference, bit for bit (zero signs, NaN places).
void expect_as_reference(const Doubles& values, const Doubles& want, const std::vector<int>& want_counts) {
    const int n = static_cast<int>(values.size());
    Doubles got(values.size());
    std::vector<int> got_counts(values.size());
    ASSERT_EQ(count_distinct(values.data(), n, got.data(), got_counts.data()), static_cast<int>(want.size()));
    ASSERT_EQ(std::memcmp(got.data(), want.data(), sizeof(double) * want.size()), 0);
    for (size_t j = 0; j < want.size(); ++j) ASSERT_EQ(got_counts[j], want_counts[j]) << j;
    Doubles alone(values.size());  // without counts: the same values
    ASSERT_EQ(count_distinct(values.data(), n, alone.data(), nullptr), static_cast<int>(want.size()));
    ASSERT_EQ(std::memcmp(alone.data(), want.data(), sizeof(double) * want.size()), 0);
}

TEST(CountDistinctLarge, FewValuesAmongManyCases) {
    std::mt19937_64 random(31);
    const double specials[] = {-0.0, 0.0, HUGE_VAL, -HUGE_VAL, 1e35, 1e-310, -1e-310, 1e308};
    for (const bool negative_zero_first : {true, false}) {
        Doubles values(200000);
        for (double& v : values)
            v = random() % 50 == 0 ? specials[random() % 8] : static_cast<double>(random() % 5000) / 10 - 100;
        values[0] = negative_zero_first ? -0.0 : 0.0;
        Doubles want;
        std::vector<int> want_counts;
        map_reference(values, want, want_counts);
        ASSERT_GT(want.size(), 5000u);
        expect_as_reference(values, want, want_counts);
    }
}

// 4096 cases: a table of at most 2048 slots (half a slot a case), half full,
// takes 1024 values. Around that number and far beyond it the results stay
// the same.
TEST(CountDistinctLarge, AroundTheLimitOfTheHashTable) {
    std::mt19937_64 random(32);
    for (const size_t spread : {size_t{1023}, size_t{1024}, size_t{1025}, size_t{1500}, size_t{4096}}) {
        Doubles values(4096);
        for (size_t i = 0; i < values.size(); ++i) values[i] = static_cast<double>(i % spread) * 0.25 - 3;
        std::shuffle(values.begin(), values.end(), random);
        Doubles want;
        std::vector<int> want_counts;
        map_reference(values, want, want_counts);
        ASSERT_EQ(want.size(), spread);
        expect_as_reference(values, want, want_counts);
    }
    // The values past the limit first turn up at the end.
    Doubles late(100000, 1.0);
    for (size_t i = 0; i < 40000; ++i) late[late.size() - 1 - i] = static_cast<double>(i);
    Doubles want;
    std::vector<int> want_counts;
    map_reference(late, want, want_counts);
    expect_as_reference(late, want, want_counts);
}

TEST(CountDistinctLarge, NaNsAmongFewValues) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::mt19937_64 random(33);
    for (int round = 0; round < 5; ++round) {
        Doubles values(3000);
        for (double& v : values) {
            const uint64_t pick = random() % 40;
            v = pick == 0 ? nan : pick == 1 ? -0.0 : pick == 2 ? 0.0 : static_cast<double>(random() % 200) - 50;
        }
        Doubles want;
        std::vector<int> want_counts;
        insertion_reference(values, want, want_counts);
        expect_as_reference(values, want, want_counts);
    }
}

}  // namespace
}  // namespace quorix
