// Edge results of the distribution functions (distribution_edges.csv) and the
// F tail's series; branch accuracy is in distribution_accuracy_test.cpp.
// Expected values are R 4.2.2's (expressions in the comments), printed with 17 digits.
#include "numeric/distributions.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <string>

#include "support/test_files.h"

using namespace quorix;

namespace {

void expect_rel(double got, double expected, double tolerance) {
    EXPECT_LE(std::fabs(got - expected), tolerance * std::fabs(expected)) << got << " vs " << expected;
}

}  // namespace

// Arguments a0 to a3 of the named function.
static double evaluate(const std::string& function, const double* a) {
    if (function == "gamma_q") return gamma_q(a[0], a[1]);
    if (function == "incomplete_beta") return incomplete_beta(static_cast<int>(a[0]), a[1], a[2], a[3]);
    if (function == "f_upper_p") return f_upper_p(static_cast<int>(a[0]), static_cast<int>(a[1]), a[2]);
    if (function == "normal_tail") return normal_tail(static_cast<int>(a[0]), a[1]);
    if (function == "normal_quantile") return normal_quantile(a[0]);
    if (function == "log_gamma") return log_gamma(a[0]);
    ADD_FAILURE() << "unknown function " << function;
    return 0;
}

TEST(Distribution, EdgeResults) {
    int rows = 0;
    for (const auto& [function, v] : quorix::testing::read_named_table("numeric/distribution_edges.csv")) {
        const double got = evaluate(function, v.data()), expected = v.at(4), tolerance = v.at(5);
        if (tolerance > 0)
            EXPECT_LE(std::fabs(got - expected), tolerance * std::fabs(expected)) << function << " " << v[0] << ": " << got;
        else if (std::isnan(expected))
            EXPECT_TRUE(std::isnan(got)) << function << " " << v[0] << ": " << got;
        else
            EXPECT_EQ(got, expected) << function << " " << v[0] << ", " << v[1];
        ++rows;
    }
    EXPECT_GE(rows, 50);
    // The branches the table's points take, by name.
    EXPECT_EQ(gamma_q_large(2000.0, 1000.0), 1.0);
    EXPECT_EQ(gamma_q(20.0, 20.5), gamma_q_temme(20.0, 1.0 - 20.5 / 20.0, 20.5 / 20.0, 0.00025));
    // a, b >= 200 goes to the expansion, lambda = a - (a + b) x.
    EXPECT_EQ(incomplete_beta(1, 0.3, 250, 260), beta_asymptotic(250, 260, 250 - 510 * 0.3, 2.220446049250313e-16));
}

// Past 8.76e-27 the series has underflowed: a stand-in replaces the p-value,
// positive and still decreasing so that huge F values keep their order.
TEST(FDistribution, PastUnderflowStaysPositiveAndDecreasing) {
    // R: a<-50; b<-2.5; x<-100/(5e6+100); L<-lgamma(a+b)-lgamma(a)-lgamma(b)+a*log(x)+b*log(1-x)-log(b)
    //    8.76e-27/(-59-L) = 1.8505457386566831e-29
    expect_rel(f_upper_p(5, 100, 1e6), 1.8505457386566831e-29, 1e-12);
    double previous = 8.76e-27;
    for (double f = 1e3; f <= 1e300; f *= 10) {
        const double p = f_upper_p(5, 100, f);
        ASSERT_GT(p, 0.0) << f;
        ASSERT_LT(p, previous) << f;
        previous = p;
    }
}

// f_upper_p_each sums two series side by side: every entry must be f_upper_p's
// own double, whichever entry's series ends first, with an odd count, and
// with entries that need no series at all.
TEST(IncompleteBeta, EachGivesTheSameBitsAsOneAtATime) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    // The t tails of a regression's coefficient table at 100,000 df (long
    // series of different lengths), short series, the expansion (a, b >= 200),
    // the ends and bad arguments, in groups of every size up to the whole.
    const double df = 100000;
    const double x[] = {df / (df + 4.0), df / (df + 0.25), df / (df + 9.0), 0.3, 0.5, 0.45, 0.0, 1.0, -0.5, nan, 0.9};
    const double a[] = {df / 2, df / 2, df / 2, 2.5, 300, 400, 1, 1, 1, 1, 0};
    const double b[] = {0.5, 0.5, 0.5, 7, 300, 500, 1, 1, 1, 1, 1};
    const int count = static_cast<int>(sizeof x / sizeof x[0]);
    double value[count];
    for (int lower = 0; lower <= 1; ++lower)
        for (int n = 1; n <= count; ++n) {
            for (int k = 0; k < n; ++k) value[k] = -7;
            incomplete_beta_each(n, lower, x, a, b, value);
            for (int k = 0; k < n; ++k) {
                const double one = incomplete_beta(lower, x[k], a[k], b[k]);
                if (std::isnan(one))
                    EXPECT_TRUE(std::isnan(value[k])) << n << " " << k;
                else
                    EXPECT_EQ(value[k], one) << n << " " << k;
            }
        }
}

TEST(FDistribution, EachGivesTheSameBitsAsOneAtATime) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    // Long series first (near x = 1: hundreds of thousands of terms), then
    // short ones, the floor stand-in and the answers without a series.
    const int df1[] = {1, 1, 3, 1, 5, 1, 0, 2, 1, 4, 1};
    const int df2[] = {200000, 150000, 5000, 30, 100, 10, 10, 10, 10, 400, 10};
    const double f[] = {4.0, 3.0, 1.2, 400.0, 1e6, 0.0, 3.0, nan, inf, 1.5, 2.228 * 2.228};
    const int count = static_cast<int>(sizeof f / sizeof f[0]);
    double p[count];
    for (int n = 1; n <= count; ++n) {
        for (int k = 0; k < n; ++k) p[k] = -7;
        f_upper_p_each(n, df1, df2, f, p);
        for (int k = 0; k < n; ++k) {
            const double one = f_upper_p(df1[k], df2[k], f[k]);
            if (std::isnan(one))
                EXPECT_TRUE(std::isnan(p[k])) << n << " " << k;
            else
                EXPECT_EQ(p[k], one) << n << " " << k;
        }
    }
    // The series ending at different terms in one pair: the short one second.
    const int pair1[] = {1, 1}, pair2[] = {200000, 30};
    const double pair_f[] = {4.0, 400.0};
    double pair_p[2];
    f_upper_p_each(2, pair1, pair2, pair_f, pair_p);
    EXPECT_EQ(pair_p[0], f_upper_p(1, 200000, 4.0));
    EXPECT_EQ(pair_p[1], f_upper_p(1, 30, 400.0));

    // R: pf(4, 1, 200000, lower.tail=FALSE), pf(3, 1, 150000, ...), pf(1.2, 3, 5000, ...),
    // pf(400, 1, 30, ...). The long series keep about 9 digits.
    f_upper_p_each(4, df1, df2, f, p);
    expect_rel(p[0], 0.045501613673726939, 1e-8);
    expect_rel(p[1], 0.083266572401281075, 1e-8);
    expect_rel(p[2], 0.3081392497382005, 1e-10);
    expect_rel(p[3], 6.7490836657712847e-19, 1e-10);
    f_upper_p_each(0, df1, df2, f, nullptr);  // nothing to do, nothing written
}
