// append_fixed and append_int stand in for the C library's printf: compared
// with snprintf byte for byte on hand-picked roundings, random bits and
// boundary values.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <initializer_list>
#include <limits>
#include <random>
#include <string>

#include "frame/channels.h"

namespace quorix {
namespace {

// append_fixed against "%*.*f" at the widths (a negative one pads on the right).
void expect_as_printf(double value, std::initializer_list<int> widths = {0, 7, 12}) {
    for (int precision = 0; precision <= 4; ++precision)
        for (const int width : widths) {
            char want[512];
            std::snprintf(want, sizeof want, "%*.*f", width, precision, value);
            std::string got = "<";  // appends after what is there
            const int length = append_fixed(got, value, width, precision);
            ASSERT_EQ(got.substr(1), want) << value << " %" << width << "." << precision << "f";
            ASSERT_EQ(static_cast<size_t>(length) + 1, got.size());
        }
}

TEST(FixedText, MatchesPrintf) {
    // Ties of exact binary fractions (to the even digit), decimal near-ties as
    // stored (2.675 is 2.67499999999999982236431605997495353221893310546875),
    // negative values rounding to zero, roundings that widen the field, a
    // subnormal, the end of the integer path, 1e35, infinities and NaNs.
    const double inf = std::numeric_limits<double>::infinity(), nan = std::numeric_limits<double>::quiet_NaN();
    for (double value : {0.125, 0.375, 2.5, 3.5, 0.0625, 2.675, 1.005, 0.045, std::nextafter(0.045, 1.0), 0.0, 0.001,
                         99.999, 9.996, 999.9999, 100.0 / 3, 1234567.891, 1e-320, inf, nan, 1e35, 0x1p43,
                         std::nextafter(0x1p43, 0.0), 0x1p52, 0.5, 1.5, 0.25, 0.75, 0.03125, 1.0 / 1024, DBL_MAX,
                         DBL_MIN, DBL_TRUE_MIN, 4503599627370495.5, 0.005, 0.015, 0.0005}) {
        expect_as_printf(value, {0, 5, 7, 12, 45, -6});
        expect_as_printf(-value, {0, 5, 7, 12, 45, -6});
    }
    std::mt19937_64 random(20240607);
    for (int i = 0; i < 5000; ++i) {  // random bits: every exponent, NaNs and infinities included
        const uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        expect_as_printf(value);
    }
    for (int i = 0; i < 50000; ++i)  // magnitudes the tables hold: below 2^44, around the end of the integer path
        expect_as_printf(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 110) - 96));
    for (int i = 0; i < 20000; ++i) {  // decimal ties (2m + 1) / (2 x 10^p), p = 0..3, and their neighbours
        const int p = static_cast<int>(random() % 4);
        const double tie = (2.0 * static_cast<double>(random() % 2000000) + 1) / (2 * std::pow(10.0, p));
        for (const double value : {tie, -tie, std::nextafter(tie, 0.0), std::nextafter(tie, HUGE_VAL)})
            expect_as_printf(value);
    }
}

TEST(IntegerText, MatchesPrintf) {
    std::mt19937_64 random(99);
    for (int i = 0; i < 100010; ++i) {
        const long long edges[] = {LLONG_MIN, LLONG_MAX, INT_MIN, 0, 42, -42, 123456, 7, -1, 1};
        const long long value = i < 10 ? edges[i] : static_cast<long long>(random()) >> (random() % 64);
        for (const int width : {0, 5, 12, -3, static_cast<int>(random() % 24)}) {
            char want[64];
            std::snprintf(want, sizeof want, "%*lld", width, value);
            std::string got;
            const int length = append_int(got, value, width);
            ASSERT_EQ(got, want) << value << " width " << width;
            ASSERT_EQ(static_cast<size_t>(length), got.size());
        }
    }
}

}  // namespace
}  // namespace quorix
