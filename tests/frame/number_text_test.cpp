// append_fixed and append_int against the C library's printf, whose text they
// stand in for: hand-worked roundings first, then many random and boundary
// values compared with snprintf byte for byte.
#include <gtest/gtest.h>

#include <cfloat>
#include <climits>
#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <limits>
#include <random>
#include <string>

#include "frame/channels.h"

namespace quorix {
namespace {

std::string fixed(double value, int width, int precision) {
    std::string text = "<";  // appends after what is there
    const int length = append_fixed(text, value, width, precision);
    EXPECT_EQ(static_cast<size_t>(length) + 1, text.size());
    return text.substr(1);
}

std::string printf_fixed(double value, int width, int precision) {
    char out[512];
    const int length = std::snprintf(out, sizeof out, "%*.*f", width, precision, value);
    return std::string(out, static_cast<size_t>(length));
}

std::string integer(long long value, int width) {
    std::string text;
    const int length = append_int(text, value, width);
    EXPECT_EQ(static_cast<size_t>(length), text.size());
    return text;
}

TEST(FixedText, HandWorkedRoundings) {
    // 0.125 and 0.375 are exact binary fractions: ties, rounded to the even last digit.
    EXPECT_EQ(fixed(0.125, 5, 2), " 0.12");
    EXPECT_EQ(fixed(0.375, 5, 2), " 0.38");
    EXPECT_EQ(fixed(2.5, 0, 0), "2");
    EXPECT_EQ(fixed(3.5, 0, 0), "4");
    EXPECT_EQ(fixed(-2.5, 3, 0), " -2");
    EXPECT_EQ(fixed(0.0625, 0, 3), "0.062");
    // 2.675 is stored as 2.67499999999999982236431605997495353221893310546875.
    EXPECT_EQ(fixed(2.675, 7, 2), "   2.67");
    // 1.005 is stored as 1.00499999999999989341858963598497211933135986328125.
    EXPECT_EQ(fixed(1.005, 0, 2), "1.00");
    // 0.045 is stored as 0.04499999999999999833466546306226518936455249786376953125.
    EXPECT_EQ(fixed(0.045, 5, 2), " 0.04");
    // The next double above 0.045 lies above the tie: 0.05.
    EXPECT_EQ(fixed(std::nextafter(0.045, 1.0), 5, 2), " 0.05");
    // Negative values keep their sign when they round to zero, -0.0 too.
    EXPECT_EQ(fixed(-0.0, 7, 2), "  -0.00");
    EXPECT_EQ(fixed(-0.001, 5, 2), "-0.00");
    EXPECT_EQ(fixed(0.0, 7, 2), "   0.00");
    // Rounding up widens the number past the field.
    EXPECT_EQ(fixed(99.999, 5, 2), "100.00");
    EXPECT_EQ(fixed(9.996, 4, 2), "10.00");
    EXPECT_EQ(fixed(-999.9999, 7, 2), "-1000.00");
    // 100 x 1/3 accumulated as a percentage would be: 33.33.
    EXPECT_EQ(fixed(100.0 / 3, 6, 2), " 33.33");
    EXPECT_EQ(fixed(1234567.891, 7, 2), "1234567.89");
    EXPECT_EQ(fixed(1e-320, 5, 2), " 0.00");  // subnormal
}

TEST(FixedText, ValuesOutsideTheIntegerPathAsPrintfWritesThem) {
    const double inf = std::numeric_limits<double>::infinity();
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_EQ(fixed(inf, 7, 2), "    inf");
    EXPECT_EQ(fixed(-inf, 7, 2), "   -inf");
    EXPECT_EQ(fixed(nan, 7, 2), "    nan");
    EXPECT_EQ(fixed(-nan, 7, 2), "   -nan");
    EXPECT_EQ(fixed(1e35, 5, 2), "99999999999999996863366107917975552.00");  // 1e35 as stored
    EXPECT_EQ(fixed(0x1p43, 0, 0), "8796093022208");
    EXPECT_EQ(fixed(2.5, 0, 4), "2.5000");
    EXPECT_EQ(fixed(1.5, 45, 1), std::string(42, ' ') + "1.5");
    EXPECT_EQ(fixed(1.5, -6, 1), "1.5   ");  // a negative width pads on the right
}

TEST(FixedText, MatchesPrintfOnRandomAndBoundaryValues) {
    std::mt19937_64 random(20240607);
    const auto check = [](double value) {
        for (int precision = 0; precision <= 4; ++precision)
            for (const int width : {0, 5, 7, 12})
                ASSERT_EQ(fixed(value, width, precision), printf_fixed(value, width, precision))
                    << value << " %" << width << "." << precision << "f";
    };
    for (int i = 0; i < 5000; ++i) {
        // Random bits: every exponent, NaNs and infinities included.
        const uint64_t bits = random();
        double value;
        std::memcpy(&value, &bits, sizeof value);
        check(value);
    }
    for (int i = 0; i < 50000; ++i) {
        // Magnitudes the tables hold: below 2^44, around the end of the integer path.
        check(std::ldexp(static_cast<double>(random() >> 11), static_cast<int>(random() % 110) - 96));
    }
    // Decimal ties and their neighbours: (2m + 1) / (2 x 10^p) for p = 0..3.
    for (int i = 0; i < 20000; ++i) {
        const int p = static_cast<int>(random() % 4);
        const double tie = (2.0 * static_cast<double>(random() % 2000000) + 1) / (2 * std::pow(10.0, p));
        for (const double value : {tie, -tie, std::nextafter(tie, 0.0), std::nextafter(tie, HUGE_VAL)}) check(value);
    }
    // Exact binary ties and the edges of the integer path.
    for (double value : {0.5, 1.5, 0.25, 0.75, 0.125, 0.0625, 0.03125, 1.0 / 1024, 0x1p43, std::nextafter(0x1p43, 0.0),
                         0x1p52, DBL_MAX, DBL_MIN, DBL_TRUE_MIN, 4503599627370495.5, 0.005, 0.015, 0.0005}) {
        check(value);
        check(-value);
    }
}

TEST(IntegerText, MatchesPrintf) {
    EXPECT_EQ(integer(42, 5), "   42");
    EXPECT_EQ(integer(-42, 5), "  -42");
    EXPECT_EQ(integer(123456, 5), "123456");
    EXPECT_EQ(integer(0, 0), "0");
    EXPECT_EQ(integer(LLONG_MIN, 0), "-9223372036854775808");
    EXPECT_EQ(integer(INT_MIN, 12), " -2147483648");
    EXPECT_EQ(integer(7, -3), "7  ");
    std::mt19937_64 random(99);
    for (int i = 0; i < 100000; ++i) {
        const long long value = static_cast<long long>(random()) >> (random() % 64);
        const int width = static_cast<int>(random() % 24);
        char out[64];
        std::snprintf(out, sizeof out, "%*lld", width, value);
        ASSERT_EQ(integer(value, width), out);
    }
}

}  // namespace
}  // namespace quorix
