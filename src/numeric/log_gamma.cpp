// log_gamma(x) = ln Gamma(x) for x > 0.
//
// W. J. Cody's rational Chebyshev approximations: function ALGAMA of SPECFUN
// (W. J. Cody, Algorithm 715, ACM TOMS 19(1), 1993; routine by Cody and
// L. Stoltz, 1988), whose rational functions follow W. J. Cody and
// K. E. Hillstrom, Math. Comp. 21, 1967, and whose series above 12 is
// Stirling's with minimax-adjusted terms (Hart et al., Computer
// Approximations, Wiley, 1968). Four forms:
//   x <= 2.22e-16          -ln x
//   x <= 1.5               first set around 1 (second set on 0.5 < x < 0.68)
//   1.5 < x <= 4           second set around 2
//   4 < x <= 12            fourth set around 4
//   x > 12                 Stirling's series, its correction dropped above 2.56e18
//
// Worst relative error against R 4.2.2's lgamma on the reference grid
// (tests/numeric/distribution_reference.csv): -ln x 0; first set 1.0e-15,
// second set below 0.68 3.2e-16; 1.5 to 4 4.9e-15 (at 2.025, where ln Gamma
// is near its zero at 2); 4 to 12 4.5e-16; Stirling 3.6e-16, above 2.56e18 0.
#include "numeric/distributions.h"
#include "numeric/distributions_internal.h"

#include <cmath>

namespace quorix {

double log_gamma(double x) {
    // 4.29e73 and 2.56e18 (below) are the limits of a row of Cody's machine
    // table; above 4.29e73 the caller gets the largest double as a sentinel.
    if (x <= 0.0 || x > 4.29e73) return 1.7976931348623157e308;
    // Below the double spacing at 1, ln Gamma(x) = -ln x to the last bit.
    if (x <= distribution_detail::kEpsilon) return -std::log(x);

    constexpr double d1 = -0.5772156649015329;
    constexpr double p1[8] = {4.945235359296727046734888, 201.8112620856775083915565,
                              2290.838373831346393026739, 11319.67205903380828685045,
                              28557.24635671635335736389, 38484.96228443793359990269,
                              26377.48787624195437963534, 7225.813979700288197698961};
    constexpr double q1[8] = {67.48212550303777196073036, 1113.332393857199323513008,
                              7738.757056935398733233834, 27639.87074403340708898585,
                              54993.10206226157329794414, 61611.22180066002127833352,
                              36351.27591501940507276287, 8785.536302431013170870835};
    constexpr double d2 = 0.42278433509846713;
    constexpr double p2[8] = {4.974607845568932035012064, 542.4138599891070494101986,
                              15506.93864978364947665077, 184793.2904445632425417223,
                              1088204.769468828767498470, 3338152.967987029735917223,
                              5106661.678927352456275255, 3074109.054850539556250927};
    constexpr double q2[8] = {183.0328399370592604055942, 7765.049321445005871323047,
                              133190.3827966074194402448, 1136705.821321969608938755,
                              5267964.117437946917577538, 13467014.54311101692290052,
                              17827365.30353274213975932, 9533095.591844353613395747};
    constexpr double d4 = 1.791759469228055;
    constexpr double p4[8] = {14745.02166059939948905062, 2426813.369486704502836312,
                              121475557.4045093227939592, 2663432449.630976949898078,
                              29403789566.34553899906876, 170266573776.5398868392998,
                              492612579337.7430887588120, 560625185622.3951465078242};
    constexpr double q4[8] = {2690.530175870899333379843, 639388.5654300092398984238,
                              41355999.30241388052042842, 1120872109.616147941376570,
                              14886137286.78813811542398, 101680358627.2438228077304,
                              341747634550.7377132798597, 446315818741.9713286462081};

    // Numerator and monic denominator of one rational set.
    auto ratio = [](const double (&p)[8], const double (&q)[8], double t, double den0) {
        double num = 0.0;
        double den = den0;
        for (int i = 0; i < 8; ++i) {
            num = num * t + p[i];
            den = den * t + q[i];
        }
        return num / den;
    };

    if (x <= 1.5) {
        constexpr double pnt68 = 0.6796875;
        double corr = 0.0;
        double xm1 = (x - 0.5) - 0.5;
        if (x < pnt68) {
            corr = -std::log(x);
            xm1 = x;
        }
        if (x <= 0.5 || x >= pnt68) return corr + xm1 * (d1 + xm1 * ratio(p1, q1, xm1, 1.0));
        const double xm2 = (x - 0.5) - 0.5;
        return corr + xm2 * (d2 + xm2 * ratio(p2, q2, xm2, 1.0));
    }
    if (x <= 4.0) {
        const double xm2 = x - 2.0;
        return xm2 * (d2 + xm2 * ratio(p2, q2, xm2, 1.0));
    }
    if (x <= 12.0) {
        const double xm4 = x - 4.0;
        return d4 + xm4 * ratio(p4, q4, xm4, -1.0);
    }
    constexpr double c[7] = {0.0057083835261,        -0.001910444077728,
                             0.00084171387781295,    -0.0005952379913043012,
                             0.0007936507935003503,  -0.0027777777777776816,
                             0.08333333333333333};
    double res = 0.0;
    // Beyond 2.56e18 the correction is below the last bit of the result.
    if (x <= 2.56e18) {
        const double ysq = x * x;
        res = c[0];
        for (int i = 1; i < 7; ++i) res = res / ysq + c[i];
    }
    const double lx = std::log(x);
    return res / x + 0.9189385332046728 - 0.5 * lx + x * (lx - 1.0);
}

}  // namespace quorix
