// Probability distributions behind every printed significance level.
// Pure functions: no state, no allocation, no output. Out-of-domain
// arguments give -1.0 (the largest double for log_gamma); NaN propagates.
// One family a file, each opening with its algorithm and measured accuracy:
// log_gamma.cpp, normal_distribution.cpp, incomplete_beta.cpp (with the F
// tail), incomplete_gamma.cpp.
#pragma once

namespace quorix {

// ln Gamma(x); 1.7976931348623157e308 when x <= 0 or x > 4.29e73.
double log_gamma(double x);

// upper != 0: P(Z > z); upper == 0: P(Z <= z), Z standard normal.
double normal_tail(int upper, double z);

// z with P(Z <= z) = p. p = 0 and p = 1 give finite values (about -12.96, 12.96).
double normal_quantile(double p);

// lower != 0: I_x(a, b); lower == 0: 1 - I_x(a, b); -1.0 on bad arguments.
double incomplete_beta(int lower, double x, double a, double b);

// value[k] = incomplete_beta(lower, x[k], a[k], b[k]) for k below count, bit
// for bit; the series of four entries at a time are summed side by side.
void incomplete_beta_each(int count, int lower, const double* x, const double* a, const double* b, double* value);

// P(F(df1, df2) > f); 1.0 when f <= 0, -1.0 when a df < 1. Never 0 for f > 0:
// beyond 8.76e-27 the result is a small, strictly decreasing stand-in.
double f_upper_p(int df1, int df2, double f);

// p[k] = f_upper_p(df1[k], df2[k], f[k]) for k below count, bit for bit; the
// long series of two entries at a time are summed side by side, which takes
// about the time of one of them.
void f_upper_p_each(int count, const int* df1, const int* df2, const double* f, double* p);

// Q(a, x) = 1 - P(a, x), the upper regularized incomplete gamma ratio, to
// about 1e-13 relative (3e-8 where it comes from the normal tail beyond 8, and
// percents for Q below 1e-30 with a > 1000); -1.0 when a < 0, x < 0 or a = x = 0.
double gamma_q(double a, double x);

// Building blocks of the entry points above, exposed so that each branch can
// be tested on its own.

// I_x(a, b) for a, b >= 200 by the asymptotic expansion, lambda = a - (a + b) x >= 0.
double beta_asymptotic(double a, double b, double lambda, double eps);
// x - ln(1 + x), x > -1.
double rlog1(double x);
// exp(x^2) erfc(x).
double erfc_scaled(double x);
// del(a) + del(b) - del(a + b), del the Stirling remainder of ln Gamma; a, b >= 8.
double beta_log_correction(double a, double b);
// x - 1 - ln x, x > 0.
double rlog(double x);
// 1/Gamma(a + 1) - 1 for -0.5 <= a <= 1.5.
double gam1(double a);
// Q(a, x) for 0 < a < 1, 0 < x < 1.1 by the Taylor series; eps is the accuracy asked for.
double gamma_small_series(double a, double x, double eps);
// Q(a, x) by finite sums for 2a a positive integer, a >= 1.
double gamma_q_finite(double a, double x);
// Q(a, x) for a >= 20 and |s| <= 0.4 (s = 1 - l, l = x/a) by Temme's expansion;
// the short form is used when |s| <= e0/sqrt(a).
double gamma_q_temme(double a, double s, double l, double e0);
// Q(a, x) for a > 1000 far from the centre, by a corrected cube-root normal form.
double gamma_q_large(double a, double x);
// Legendre's continued fraction for Q(a, x) x^-a e^x Gamma(a), to relative tolerance tol.
double gamma_q_cfrac(double a, double x, double tol);

}  // namespace quorix
