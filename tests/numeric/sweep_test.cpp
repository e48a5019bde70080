// Sweep operator, pivot selection and the small packed-matrix products.
#include "numeric/sweep.h"

#include <gtest/gtest.h>

#include <cmath>
#include <vector>

using namespace quorix;

namespace {

constexpr double kTol = 1e-8;

// A packed matrix with its sweep state, work and reference arrays.
struct Sweep {
    std::vector<double> a;
    std::vector<int32_t> state;
    std::vector<double> work = std::vector<double>(state.size()), ref = std::vector<double>(state.size());
    SweepResult result{};

    int all(int take_diagonal = 1) {
        return sweep_all(static_cast<int>(state.size()), state.data(), work.data(), ref.data(), take_diagonal,
                         &result, kTol, a.data());
    }
    int select(int response, double* criterion, double tolerance = kTol) {
        return sweep_select(static_cast<int>(state.size()), a.data(), state.data(), ref.data(), response,
                            criterion, tolerance);
    }
    void pivot(int k, double tolerance = kTol) {
        sweep_pivot(a.data(), static_cast<int>(state.size()), state.data(), work.data(), ref.data(), k, tolerance);
    }
};

void expect_packed(const std::vector<double>& got, const std::vector<double>& want, double tol) {
    ASSERT_EQ(got.size(), want.size());
    for (size_t i = 0; i < want.size(); ++i) EXPECT_NEAR(got[i], want[i], tol) << "packed element " << i;
}

}  // namespace

TEST(SweepOperator, TwoByTwoGivesMinusInverseAndLogDeterminant) {
    Sweep s{{4, 2, 3}, {1, 1}};
    ASSERT_EQ(s.all(), 0);
    expect_packed(s.a, {-0.375, 0.25, -0.5}, 1e-15);  // inverse: ((3, -2), (-2, 4)) / 8
    EXPECT_NEAR(s.result.log_determinant, std::log(8.0), 1e-15);
    EXPECT_TRUE(s.result.remaining == 0 && s.result.positive_definite == 1);
    // Variable 1 goes first (tie, later index); variable 0 then keeps (8/3)/4 of its diagonal.
    EXPECT_NEAR(s.result.min_criterion, 2.0 / 3.0, 1e-15);
}

TEST(SweepOperator, SingularMatricesAndDegenerateCallsStopShort) {
    // Two identical variables: the second swept leaves the first a zero residual,
    // which the rounding guard sets to half the tolerance, below selection.
    Sweep twins{{2.5, 2.5, 2.5}, {1, 1}};
    ASSERT_EQ(twins.all(), 0);
    EXPECT_TRUE(twins.result.remaining == 1 && twins.result.log_determinant == -40.0);
    EXPECT_EQ(twins.state, (std::vector<int32_t>{1, 0}));
    EXPECT_NEAR(twins.a[0], 0.5 * kTol * 2.5, 1e-20);

    // Variable 1 is constant: never selected, the others fully swept.
    Sweep constant{{2, 0, 0, 1, 0, 3}, {1, 1, 1}};
    ASSERT_EQ(constant.all(), 0);
    EXPECT_TRUE(constant.state[1] == 1 && constant.result.remaining == 1 && constant.result.log_determinant == -40.0);
    expect_packed(constant.a, {-0.6, 0, 0, 0.2, 0, -0.4}, 1e-15);  // minus inverse of ((2, 1), (1, 3))

    // Nothing to sweep, no state array, and a negative pivot, which clears the positive-definite flag.
    Sweep none{{4, 2, 3}, {0, 0}};
    ASSERT_EQ(none.all(), 0);
    EXPECT_TRUE(none.result.remaining == -1 && none.result.log_determinant == 0.0);
    EXPECT_EQ(sweep_all(2, nullptr, none.work.data(), none.ref.data(), 1, &none.result, kTol, none.a.data()), 2);
    EXPECT_EQ(none.result.remaining, 1);
    Sweep negative{{-2}, {1}};
    ASSERT_EQ(negative.all(), 0);
    EXPECT_TRUE(negative.result.positive_definite == 0 && negative.result.log_determinant == -40.0);
}

TEST(SweepOperator, ResponseSelectionTiesAndRegression) {
    // y (index 2) on two uncorrelated unit predictors, covariances 0.3 and 0.6.
    Sweep s{{1, 0, 1, 0.3, 0.6, 1}, {1, 1, 2}};
    s.ref = {1, 1, 0};
    double criterion = 0;
    EXPECT_EQ(s.select(2, &criterion), 1);
    EXPECT_NEAR(criterion, 0.36, 1e-15);
    ASSERT_EQ(s.all(), 0);
    expect_packed(s.a, {-1, 0, -1, 0.3, 0.6, 0.55}, 1e-15);  // coefficients and residual sum of squares
    EXPECT_EQ(s.ref[2], 0.0);
    EXPECT_NEAR(s.result.min_criterion, 0.09, 1e-15);

    // Equal criteria 0.5^2 / 1 and 1^2 / 4: the higher index wins; a forced code beats both.
    Sweep tie{{1, 0, 4, 0.5, 1, 1}, {1, 1, 2}};
    tie.ref = {1, 4, 0};
    EXPECT_EQ(tie.select(2, &criterion), 1);
    tie.state[0] = -1;
    EXPECT_EQ(tie.select(2, &criterion), 0);
    EXPECT_EQ(criterion, 1.0);
}

TEST(SweepOperator, CandidateThatWouldWreckASweptVariableIsRejected) {
    // x1, x2 independent; x0 = (x1 + x2) / sqrt 2 + noise of variance 1e-6. With
    // x0 and x1 swept, x2 keeps 2e-6 of its variance, but sweeping it would
    // leave x0 only 1e-6: rejected under tolerance 1.5e-6, accepted under 1e-7.
    const double r = std::sqrt(0.5);
    for (double tolerance : {1.5e-6, 1e-7}) {
        Sweep s{{1 + 1e-6, r, 1, r, 0, 1}, {1, 1, 1}};
        s.ref = {1 + 1e-6, 1, 1};
        s.pivot(0, tolerance);
        s.pivot(1, tolerance);
        double criterion = 0;
        const int k = s.select(-1, &criterion, tolerance);
        EXPECT_EQ(k, tolerance > 1e-6 ? -1 : 2);
        EXPECT_EQ(s.state[2], tolerance > 1e-6 ? 3 : 1);
    }
}

TEST(SweepOperator, SweepingInAndOutRestoresTheMatrix) {
    const std::vector<double> original = {2, 1, 3, 0.5, 0.2, 4, 0.3, 0.1, 1, 5};
    Sweep s{original, {1, 1, 1, 1}};
    s.ref = {2, 3, 4, 5};
    s.pivot(2);
    EXPECT_EQ(s.state[2], 0);
    s.state[2] = -1;
    s.pivot(2);
    expect_packed(s.a, original, 1e-15);

    s.state = {1, 1, 1, 1};
    ASSERT_EQ(s.all(), 0);
    s.state = {-1, -1, -1, -1};
    ASSERT_EQ(s.all(0), 0);
    EXPECT_TRUE(s.result.remaining == 0 && s.result.positive_definite == 1);
    expect_packed(s.a, original, 1e-14);
}

TEST(SweepProducts, QuadraticFormCrossProductsAndSandwich) {
    // x = (1, 2, -1), A = ((2, 1, 0), (1, 3, 1), (0, 1, 4)): Ax = (4, 6, -2), x'Ax = 18.
    const double x[] = {1, 2, -1};
    const double a3[] = {2, 1, 3, 0, 1, 4};
    EXPECT_DOUBLE_EQ(quad_form(x, a3, 3), 18.0);

    // Variables (1, 2, 3) and (0, 1, -1) with weights (1, 2, 0.5); index 0 is the constant.
    const double data[] = {1, 2, 3, 0, 1, -1};
    const double w[] = {1, 2, 0.5};
    std::vector<double> out(6);
    weighted_crossprod(data, w, out.data(), 3, 2);
    expect_packed(out, {3.5, 6.5, 13.5, 1.5, 2.5, 2.5}, 1e-15);

    // numpy: A @ B @ A
    const double a[] = {2, 1, 3, 0.5, 0.2, 4};
    const double b[] = {1, 0.5, 2, -0.3, 0.4, 1.5};
    double work[9];
    std::vector<double> aba(6);
    sandwich_product(a, b, 3, work, aba.data());
    expect_packed(aba, {8.175, 12.06, 22.42, 4.015, 7.336, 23.87}, 1e-13);
}

TEST(SweepProducts, BlockKernelsGiveThePlainLoopsBitForBit) {
    // Cases with values of mixed scale, so that the order of additions shows
    // in the last bits; the kernels must add in the plain loops' order.
    const int p = 13;
    const size_t cases = 37;
    std::vector<double> a(cases * p), b(cases * p);
    for (size_t t = 0; t < cases; ++t)
        for (int i = 0; i < p; ++i) {
            a[t * p + static_cast<size_t>(i)] = std::sin(1.0 + static_cast<double>(t * 31 + static_cast<size_t>(i))) * std::pow(10.0, i % 5);
            b[t * p + static_cast<size_t>(i)] = std::cos(2.0 + static_cast<double>(t * 17 + static_cast<size_t>(i))) / (1.0 + i);
        }
    const size_t packed = static_cast<size_t>(p) * (p + 1) / 2;
    for (int first : {0, 5, 12}) {
        std::vector<double> plain(packed, 0.25), kernel(packed, 0.25);
        for (size_t t = 0; t < cases; ++t)
            for (int i = first; i < p; ++i)
                for (int j = 0; j <= i; ++j)
                    plain[static_cast<size_t>(i) * (i + 1) / 2 + static_cast<size_t>(j)] +=
                        a[t * p + static_cast<size_t>(i)] * b[t * p + static_cast<size_t>(j)];
        add_case_products(a.data(), b.data(), first, p, cases, p, kernel.data());
        for (size_t e = 0; e < packed; ++e) EXPECT_EQ(kernel[e], plain[e]) << first << " " << e;
    }

    // quad_forms against quad_form, case by case; 37 cases round up to 40.
    const int n = 6;
    std::vector<double> m(static_cast<size_t>(n) * (n + 1) / 2);
    for (size_t e = 0; e < m.size(); ++e) m[e] = std::sin(3.0 * static_cast<double>(e)) * 7.0;
    std::vector<std::vector<double>> runs(n, std::vector<double>(40, 0.0));
    std::vector<const double*> z(n);
    for (int r = 0; r < n; ++r) {
        for (size_t t = 0; t < cases; ++t) runs[static_cast<size_t>(r)][t] = a[t * p + static_cast<size_t>(r)];
        z[static_cast<size_t>(r)] = runs[static_cast<size_t>(r)].data();
    }
    std::vector<double> sums(40);
    quad_forms(z.data(), m.data(), n, cases, sums.data());
    for (size_t t = 0; t < cases; ++t) {
        double x[n];
        for (int r = 0; r < n; ++r) x[r] = runs[static_cast<size_t>(r)][t];
        EXPECT_EQ(sums[t], quad_form(x, m.data(), n)) << t;
    }
}
