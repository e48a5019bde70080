// Pieces shared by the distribution files (log_gamma.cpp, normal_distribution.cpp,
// incomplete_beta.cpp, incomplete_gamma.cpp); not for use outside src/numeric.
#pragma once

namespace quorix {
namespace distribution_detail {

// Relative spacing of doubles: the stopping tolerance of the series that are
// summed to full precision.
constexpr double kEpsilon = 2.220446049250313e-16;

// Horner evaluation, coefficients from the highest power down.
template <int N>
inline double horner(const double (&c)[N], double t) {
    double s = c[0];
    for (int i = 1; i < N; ++i) s = s * t + c[i];
    return s;
}

// The rational core shared by rlog1 (x - ln(1 + x)) and rlog (x - 1 - ln x):
// DiDonato and Morris's RLOG1 (TOMS 708, 1992), the same numbers in TOMS
// 654's RLOG. h is the reduced argument, w1 the offset of its piece: 0 in
// the middle, kRlogA - 0.3 h on the left, kRlogB + h / 3 on the right.
// Relative error at most 1.7e-15 on the pieces where it is used.
constexpr double kRlogA = 0.0566749439387324;
constexpr double kRlogB = 0.0456512608815524;

inline double rlog_core(double h, double w1) {
    constexpr double p0 = 0.333333333333333;
    constexpr double p1 = -0.224696413112536;
    constexpr double p2 = 0.00620886815375787;
    constexpr double q1 = -1.27408923933623;
    constexpr double q2 = 0.354508718369557;
    const double r = h / (h + 2.0);
    const double t = r * r;
    const double w = ((p2 * t + p1) * t + p0) / ((q2 * t + q1) * t + 1.0);
    return 2.0 * t * (1.0 / (1.0 - r) - r * w) + w1;
}

}  // namespace distribution_detail
}  // namespace quorix
