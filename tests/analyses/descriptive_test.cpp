// Descriptive statistics: the statistics row against worked and independent
// values, and whole runs against golden files (which also pin the text block).
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>

#include "analyses/basic/descriptive.h"
#include "analyses/registry.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::describe;
using testing::ScratchDir;
using testing::TestVariable;

void expect_near_relative(double actual, double expected, double tolerance, const char* what) {
    EXPECT_NEAR(actual, expected, tolerance * std::max(1.0, std::fabs(expected))) << what;
}

TEST(Descriptive, WorkedValues) {
    const StatsRow row = describe({1, 2, 3, 4});
    // Kurtosis m4/m2^2 - 3 = 2.5625/1.5625 - 3.
    const std::pair<int, double> expected[] = {
        {kStatCases, 4},  {kStatMean, 2.5},          {kStatSum, 10},           {kStatSumSquares, 5},
        {kStatMedian, 2.5}, {kStatFirstQuartile, 1.75}, {kStatThirdQuartile, 3.25}, {kStatMinimum, 1},
        {kStatMaximum, 4}, {kStatRange, 3},          {kStatSkewness, 0},       {kStatKurtosis, -1.36},
        {kStatStdDev, std::sqrt(5.0 / 3)}};
    for (const auto& [field, value] : expected) EXPECT_NEAR(row[field], value, 1e-14) << field;
    // Single, equal and empty samples.
    const StatsRow single = describe({7}), equal = describe({3, 3, 3, 3, 3});
    for (int field : {kStatStdDev, kStatSkewness, kStatKurtosis}) EXPECT_EQ(single[field], 0) << field;
    for (int field : {kStatMedian, kStatFirstQuartile, kStatThirdQuartile}) EXPECT_EQ(single[field], 7) << field;
    EXPECT_EQ(equal[kStatSkewness], 0);
    EXPECT_EQ(equal[kStatKurtosis], 0);
    StatsRow empty;
    empty.fill(9);
    EXPECT_EQ(describe_sample(nullptr, 0, empty), 0);
    EXPECT_EQ(empty[kStatId], 9);  // the caller's
    for (int i = kStatCases; i < kStatCount; ++i) EXPECT_EQ(empty[i], 0);
}

TEST(Descriptive, TenThousandValuesAgainstR) {
    // R: i <- 0:9999; x <- ((i * 7919) %% 10007) / 37 + (i %% 13) * 0.5; y <- x * x / 100
    // mean, sum((v-m)^2), sd, quantile(type = 7), min, max, m3/m2^1.5, m4/m2^2 - 3
    std::vector<double> x, y;
    for (int i = 0; i < 10000; ++i) {
        x.push_back(((i * 7919) % 10007) / 37.0 + (i % 13) * 0.5);
        y.push_back(x.back() * x.back() / 100);
    }
    const double expected[2][10] = {
        {138.23324459459459, 60992491.530401736, 78.101594983419318, 70.736486486486484, 138.36486486486487,
         205.93243243243239, 0, 275.40540540540542, -0.00029823776017198598, -1.198949759413471},
        {252.0767906418919, 495909491.1908862, 222.70138910648853, 50.036517531044559, 191.44836011687366,
         424.08167275383488, 0, 758.48137326515712, 0.62782510771137312, -0.86760630709335818}};
    const int fields[10] = {kStatMean, kStatSumSquares, kStatStdDev, kStatFirstQuartile, kStatMedian,
                            kStatThirdQuartile, kStatMinimum, kStatMaximum, kStatSkewness, kStatKurtosis};
    const std::vector<double>* samples[2] = {&x, &y};
    for (int s = 0; s < 2; ++s) {
        const StatsRow row = describe(*samples[s]);
        for (int f = 0; f < 10; ++f) expect_near_relative(row[fields[f]], expected[s][f], 1e-10, "field");
    }
}

TEST(Descriptive, LargeCommonOffsetKeepsTheStandardDeviation) {
    std::vector<double> values = {10000000.2};
    for (int i = 0; i < 500; ++i) {
        values.push_back(10000000.1);
        values.push_back(10000000.3);
    }
    const StatsRow row = describe(values);
    expect_near_relative(row[kStatMean], 10000000.2, 1e-15, "mean");
    // Exactly 0.1 in decimal arithmetic: 1000 deviations of 0.1 over n - 1 = 1000.
    EXPECT_NEAR(row[kStatStdDev], 0.1, 1e-8);
    // Timestamps in milliseconds: 1.7e12 + 0, 1, ..., 6, 1000 times each. By hand:
    // mean 1.7e12 + 3, squared deviations 1000 * (9 + 4 + 1 + 0 + 1 + 4 + 9) = 28000.
    std::vector<double> stamps;
    for (int i = 0; i < 7000; ++i) stamps.push_back(1.7e12 + i % 7);
    const StatsRow stamp_row = describe(stamps);
    EXPECT_EQ(stamp_row[kStatMean], 1.7e12 + 3);
    expect_near_relative(stamp_row[kStatSumSquares], 28000, 1e-14, "sum of squares");
    expect_near_relative(stamp_row[kStatStdDev], std::sqrt(28000.0 / 6999), 1e-14, "standard deviation");
    EXPECT_NEAR(stamp_row[kStatSkewness], 0, 1e-14);
    // Fourth powers 81 + 16 + 1 + 0 + 1 + 16 + 81 = 196 a round of seven, variance 28000 / 7000 = 4.
    expect_near_relative(stamp_row[kStatKurtosis], 196.0 / 7 / (4 * 4) - 3, 1e-14, "kurtosis");
}

TEST(Descriptive, NonFiniteValuesDoNotHang) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    std::vector<double> values;
    for (int i = 1; i <= 1000; ++i) values.push_back(i % 7 == 0 ? nan : i % 11 == 0 ? inf : i % 13 == 0 ? -inf : i);
    const StatsRow row = describe(values);
    EXPECT_EQ(row[kStatCases], 1000);
    EXPECT_EQ(row[kStatMinimum], -inf);
    EXPECT_EQ(row[kStatMaximum], inf);
    const StatsRow huge = describe({1e308, -1e308, 1e308});
    EXPECT_EQ(huge[kStatMedian], 1e308);
}

// The plain computation: the one-pass update value by value, quartiles from a
// full sort with NaN last.
StatsRow plain_row(std::vector<double> x) {
    StatsRow row{};
    const size_t n = x.size();
    const double shift = moment_shift(x[0]);
    double mean = x[0] - shift, m2 = 0, m3 = 0, m4 = 0, low = x[0], high = x[0];
    for (size_t i = 1; i < n; ++i) {
        const double v = x[i] - shift, seen = static_cast<double>(i);
        if (x[i] < low)
            low = x[i];
        else if (x[i] > high)
            high = x[i];
        const double d = v - mean, b = -d / (seen + 1);
        mean -= b;
        const double e = v - mean, b2 = b * b;
        m4 += e * e * e * e + seen * b2 * b2 + 4 * b * m3 + 6 * b2 * m2;
        m3 += e * e * e + seen * b2 * b + 3 * b * m2;
        m2 += d * e;
    }
    const double count = static_cast<double>(n), v = m2 / count;
    row[kStatCases] = count;
    if (shift != 0) mean += shift;
    row[kStatMean] = mean;
    row[kStatSum] = count * mean;
    row[kStatSumSquares] = m2;
    row[kStatStdDev] = std::sqrt(m2 / (count - 1));
    row[kStatMinimum] = low;
    row[kStatMaximum] = high;
    row[kStatRange] = high - low;
    row[kStatSkewness] = v > 0 ? m3 / (count * v * std::sqrt(v)) : 0;
    row[kStatKurtosis] = v > 0 ? m4 / (count * v * v) - 3 : 0;
    std::sort(x.begin(), x.end(), [](double a, double b) { return a < b || (!std::isnan(a) && std::isnan(b)); });
    const double p[] = {0.25, 0.5, 0.75};
    const int fields[] = {kStatFirstQuartile, kStatMedian, kStatThirdQuartile};
    for (int q = 0; q < 3; ++q) {
        const double at = (count - 1) * p[q];
        const size_t k = static_cast<size_t>(at);
        const double f = at - static_cast<double>(k);
        row[fields[q]] = (1 - f) * x[k] + f * x[k + 1];
    }
    return row;
}

TEST(Descriptive, SamplesTogetherGiveThePlainBits) {
    // Large enough for the bracketed quartiles; lengths differ, so pairs run
    // together and then alone. One sample has NaNs, one a pattern that
    // defeats the evenly spaced sample (its quartiles come from the fallback).
    std::mt19937 random(11);
    std::normal_distribution<double> normal(50, 12);
    std::vector<std::vector<double>> samples(5);
    for (int i = 0; i < 300000; ++i) samples[0].push_back(std::round(normal(random) * 1e4) / 1e4);
    // The sample takes every seventh value here, never one of the NaNs.
    for (int i = 0; i < 7 * 32768; ++i) samples[1].push_back(i % 7 == 3 && i % 10 == 0 ? NAN : normal(random) * 1e6);
    for (int i = 0; i < 262144; ++i) samples[2].push_back(i % 8 == 0 ? 0.0 : i);
    for (int i = 0; i < 150000; ++i) samples[3].push_back(std::exp(normal(random) / 10));
    samples[4] = {2, 1};
    std::vector<StatsRow> rows(samples.size());
    std::vector<double*> values;
    std::vector<size_t> counts;
    std::vector<StatsRow*> targets;
    std::vector<std::vector<double>> copies = samples;
    for (size_t s = 0; s < samples.size(); ++s) {
        values.push_back(copies[s].data());
        counts.push_back(copies[s].size());
        targets.push_back(&rows[s]);
    }
    describe_samples(values.data(), counts.data(), targets.data(), samples.size());
    for (size_t s = 0; s < samples.size(); ++s) {
        const StatsRow want = plain_row(samples[s]);
        StatsRow alone{};
        std::vector<double> copy = samples[s];
        describe_sample(copy.data(), copy.size(), alone);
        for (int f = kStatCases; f < kStatCount; ++f) {
            if (std::isnan(want[f])) {
                EXPECT_TRUE(std::isnan(rows[s][f]) && std::isnan(alone[f])) << s << " " << f;
                continue;
            }
            EXPECT_EQ(rows[s][f], want[f]) << s << " " << f;
            EXPECT_EQ(alone[f], want[f]) << s << " " << f;
        }
    }
}

std::vector<TestVariable> ten_variables() {
    std::vector<TestVariable> variables;
    for (int v = 0; v < 10; ++v) {
        TestVariable variable{"v" + std::to_string(v + 1), {}};
        for (int c = 0; c < 6; ++c) variable.values.push_back(v == 2 ? 1e35 : (c + 1) * (v + 1) + 0.25 * c * c);
        variables.push_back(variable);
    }
    variables[4].descriptor.missing_kind = 1;
    variables[4].descriptor.missing_value1 = 16;  // case 2 of v5
    return variables;
}

TEST(Descriptive, TenVariablesSelectionAndBadVariable) {
    ScratchDir dir;
    const std::string path = dir.file("ten.rkd");
    testing::write_numeric_file(path, ten_variables());
    testing::expect_golden("descriptive/ten_variables.txt", testing::record_run(dir, path, "all", [&] {
                               run_analysis(AnalysisId::descriptive, path, "all", {{variables_argument({10, 1, 2, 3, 4, 5, 6, 7, 8, 9})}, {}});
                           }));
    testing::expect_golden("descriptive/selection.txt", testing::record_run(dir, path, "sel", [&] {
                               run_analysis(AnalysisId::descriptive, path, "sel", {{variables_argument({5, 1})}, {4, 0, 2, 2, 77}});
                           }));
    const std::string record = testing::record_run(dir, path, "bad", [&] {
        EXPECT_EQ(run_analysis(AnalysisId::descriptive, path, "bad", {{variables_argument({1, 11})}, {}}), -1);
    });
    EXPECT_NE(record.find(" Variable number 11 is not in the data file (1 - 10).\n"), std::string::npos);
    EXPECT_NE(record.find("Memory allocation error when doing Descriptive Operation"), std::string::npos);
}

}  // namespace
}  // namespace quorix
