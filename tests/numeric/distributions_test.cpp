// Edge results and building blocks of the distribution functions; branch
// accuracy is in distribution_accuracy_test.cpp. Expected values are R 4.2.2's
// or SciPy 1.10's (expressions in the comments), printed with 17 digits.
#include "numeric/distributions.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <limits>

using namespace quorix;

namespace {

void expect_rel(double got, double expected, double tolerance) {
    EXPECT_LE(std::fabs(got - expected), tolerance * std::fabs(expected)) << got << " vs " << expected;
}

}  // namespace

TEST(GammaQ, EdgeResults) {
    EXPECT_EQ(gamma_q(0.0, 0.0), -1.0);
    EXPECT_EQ(gamma_q(-1.0, 2.0), -1.0);
    EXPECT_EQ(gamma_q(2.0, -1e-300), -1.0);
    for (int d = 1; d <= 7; ++d) EXPECT_EQ(gamma_q(d / 2.0, 0.0), 1.0) << d;
    EXPECT_EQ(gamma_q(0.0, 3.0), 0.0);
    // Chi-square 3.841459 on 1 df, and z = 1.959964 two-sided: both about 0.05.
    EXPECT_NEAR(gamma_q(0.5, 3.841459 / 2), 0.05, 1e-8);
    expect_rel(gamma_q(0.5, 1.959964 * 1.959964 / 2), 0.049999998192884712, 1e-14);  // 2*pnorm(-1.959964)
    // (2000, 1500) is Temme's (|1 - x/a| = 0.25), (2000, 1000) the normal form's:
    // R's pgamma(1500, 2000, lower.tail=FALSE) and pgamma(1000, 2000, ...) are 1.
    EXPECT_EQ(gamma_q(2000.0, 1500.0), 1.0);
    EXPECT_EQ(gamma_q(2000.0, 1000.0), 1.0);
    EXPECT_EQ(gamma_q_large(2000.0, 1000.0), 1.0);
    // (20, 20.5) is Temme's: R's pgamma(20.5, 20, lower.tail=FALSE) = 0.42647529857943556.
    EXPECT_EQ(gamma_q(20.0, 20.5), gamma_q_temme(20.0, 1.0 - 20.5 / 20.0, 20.5 / 20.0, 0.00025));
    expect_rel(gamma_q(20.0, 20.5), 0.42647529857943556, 1e-13);
    // rlog(x/a) >= 700/a with x > a, and a prefactor that underflows: R gives 0 for
    // pgamma(5000, 500, lower.tail=FALSE) and pgamma(1000, 5, lower.tail=FALSE).
    EXPECT_EQ(gamma_q(500.0, 5000.0), 0.0);
    EXPECT_EQ(gamma_q(5.0, 1000.0), 0.0);
    // An infinite statistic, and Temme's form where the normal tail has reached 0
    // (R: pgamma(21200.2, 15994.2, lower.tail=FALSE) = 2.4e-306): 0, never below.
    EXPECT_EQ(gamma_q(3.0, HUGE_VAL), 0.0);
    EXPECT_EQ(gamma_q(15994.2, 21200.2), 0.0);
    // The normal form's upper tail is only good to percents; pinned so that a change shows.
    EXPECT_NEAR(gamma_q(2000.0, 2820.0) / 4.4930208529052622e-60, 1.0, 0.03);  // pgamma(2820, 2000, lower.tail=FALSE)
}

TEST(IncompleteBeta, EdgeResults) {
    EXPECT_EQ(incomplete_beta(1, 0.5, 0.0, 2.0), -1.0);
    EXPECT_EQ(incomplete_beta(1, 0.5, 2.0, -1.0), -1.0);
    EXPECT_EQ(incomplete_beta(1, -0.1, 2.0, 2.0), -1.0);
    EXPECT_EQ(incomplete_beta(0, 1.1, 2.0, 2.0), -1.0);
    EXPECT_EQ(incomplete_beta(1, 0.0, 2.0, 3.0), 0.0);
    EXPECT_EQ(incomplete_beta(0, 0.0, 2.0, 3.0), 1.0);
    EXPECT_EQ(incomplete_beta(1, 1.0, 2.0, 3.0), 1.0);
    EXPECT_EQ(incomplete_beta(0, 1.0, 2.0, 3.0), 0.0);
    expect_rel(incomplete_beta(1, 0.3, 2.0, 3.0), 0.3483, 1e-14);  // pbeta(0.3, 2, 3)
    // a, b >= 200 goes to the expansion, lambda = a - (a + b) x; R: pbeta(0.3, 250, 260).
    const double p = incomplete_beta(1, 0.3, 250, 260);
    EXPECT_EQ(p, beta_asymptotic(250, 260, 250 - 510 * 0.3, 2.220446049250313e-16));
    expect_rel(p, 1.4136005924374974e-19, 2e-6);
}

TEST(FDistribution, EdgeResults) {
    EXPECT_EQ(f_upper_p(1, 10, 0.0), 1.0);
    EXPECT_EQ(f_upper_p(1, 10, -2.0), 1.0);
    EXPECT_EQ(f_upper_p(0, 10, 3.0), -1.0);
    EXPECT_EQ(f_upper_p(3, 0, 3.0), -1.0);
    // Two-sided t(10) at 2.228. R: pf(2.228^2, 1, 10, lower.tail=FALSE)
    expect_rel(f_upper_p(1, 10, 2.228 * 2.228), 0.050011771817111327, 1e-14);
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

TEST(NormalDistribution, EdgeResults) {
    EXPECT_EQ(normal_tail(0, 8.3), 1.0);
    EXPECT_EQ(normal_tail(1, -8.3), 1.0);
    EXPECT_EQ(normal_tail(1, 37.5), 0.0);
    EXPECT_EQ(normal_tail(0, -37.5), 0.0);
    expect_rel(normal_quantile(0.975), 1.9599639845400536, 1e-15);  // qnorm(0.975)
    EXPECT_EQ(normal_quantile(0.5), 0.0);
    // p = 0 and 1 are read as 1e-38 from the nearer end: qnorm(1e-38).
    expect_rel(normal_quantile(0.0), -12.962359334796863, 1e-14);
    expect_rel(normal_quantile(1.0), 12.962359334796863, 1e-14);
}

TEST(LogGammaDistribution, EdgeResults) {
    EXPECT_EQ(log_gamma(1.0), 0.0);
    EXPECT_EQ(log_gamma(2.0), 0.0);
    EXPECT_EQ(log_gamma(0.0), DBL_MAX);
    EXPECT_EQ(log_gamma(-3.5), DBL_MAX);
    EXPECT_EQ(log_gamma(4.3e73), DBL_MAX);
    expect_rel(log_gamma(4.29e73), 7.2305804365725753e+75, 1e-15);  // lgamma(4.29e73)
}

// A NaN argument must come back as NaN, not hang a series loop.
TEST(Distribution, NanPropagates) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    EXPECT_TRUE(std::isnan(log_gamma(nan)));
    EXPECT_TRUE(std::isnan(normal_tail(1, nan)));
    EXPECT_TRUE(std::isnan(normal_quantile(nan)));
    EXPECT_TRUE(std::isnan(incomplete_beta(1, nan, 2.0, 3.0)));
    EXPECT_TRUE(std::isnan(incomplete_beta(1, 0.4, nan, 3.0)));
    EXPECT_TRUE(std::isnan(f_upper_p(2, 10, nan)));
    EXPECT_TRUE(std::isnan(gamma_q(nan, 1.0)));
    EXPECT_TRUE(std::isnan(gamma_q(3.0, nan)));
    EXPECT_TRUE(std::isnan(gamma_q(30.0, nan)));
}
