// The standard normal distribution: normal_tail(upper, z), P(Z > z) or
// P(Z <= z), and normal_quantile(p), the z with P(Z <= z) = p.
//
// normal_tail: J. F. Hart et al., Computer Approximations (Wiley, 1968),
// approximation 5666, as A. J. Miller's NORMP (1986, shipped with CALGO
// Algorithm 395) uses it: exp(-t^2/2) N(t)/D(t) for the tail beyond t = |z|
// below 8, and the continued fraction pdf(t)/(t + 1/(t + 2/(t + 3/(t + 4/(t + 0.65)))))
// from 8 to 37 (NORMP switches at 7.07; 8 is this engine's point). The near
// side is 1 - tail, exactly 1 beyond 8.2.
// normal_quantile: M. J. Wichura, Algorithm AS 241 (PPND16), Applied
// Statistics 37(3), 1988: a central rational function in 0.180625 - q^2 for
// |p - 0.5| <= 0.425, then two tail functions in sqrt(-ln r).
//
// Worst relative error against R 4.2.2's pnorm and qnorm on the reference
// grid (tests/numeric/distribution_reference.csv):
//   normal_tail      rational, t < 6: 3.2e-10; 6 <= t < 8: 8.2e-9 (the rational
//                    form's relative error grows in the tail: its absolute error
//                    stays below 1.5e-16); continued fraction, t >= 8: 2.84e-8,
//                    all of it the widened 1/sqrt(2 pi) below; near side: 1.1e-16
//   normal_quantile  central, near tail, far tail: 0 (the same doubles as R)
#include "numeric/distributions.h"
#include "numeric/distributions_internal.h"

#include <cmath>

namespace quorix {

using distribution_detail::horner;

double normal_tail(int upper, double z) {
    // Work with the tail beyond t = |z|; flag says whether the answer is its complement.
    bool flag = upper != 0;
    const double t = std::fabs(z);
    if (z >= 0.0) flag = !flag;

    double tail;
    if (t > 37.0 || (t > 8.2 && flag)) {
        tail = 0.0;
    } else {
        const double e = std::exp(-0.5 * t * t);
        if (t < 8.0) {
            // Hart 5666.
            constexpr double p[7] = {0.03526249659989109, 0.7003830644436881, 6.37396220353165,
                                     33.912866078383,     112.0792914978709,  221.2135961699311,
                                     220.2068679123761};
            constexpr double q[8] = {0.08838834764831845, 1.755667163182642, 16.06417757920695,
                                     86.78073220294608,   296.5642487796737, 637.3336333788311,
                                     793.8265125199484,   440.4137358247522};
            tail = e * horner(p, t) / horner(q, t);
        } else {
            // 1/sqrt(2 pi) held in single precision and widened, 2.8e-8 high, as
            // these tails have always been computed; they print as 0.000.
            constexpr double inv_sqrt_2pi = 0.3989422917366028;
            tail = inv_sqrt_2pi * e / (t + 1.0 / (t + 2.0 / (t + 3.0 / (t + 4.0 / (t + 0.65)))));
        }
    }
    return flag ? 1.0 - tail : tail;
}

double normal_quantile(double p) {
    // Wichura, AS 241 (PPND16).
    const double q = p - 0.5;
    if (std::fabs(q) <= 0.425) {
        constexpr double a[8] = {2509.0809287301226727, 33430.575583588128105,
                                 67265.770927008700853, 45921.953931549871457,
                                 13731.693765509461125, 1971.5909503065514427,
                                 133.14166789178437745, 3.3871328727963666080};
        constexpr double b[8] = {5226.4952788528545610, 28729.085735721942674,
                                 39307.895800092710610, 21213.794301586595867,
                                 5394.1960214247511077, 687.18700749205790830,
                                 42.313330701600911252, 1.0};
        const double r = 0.180625 - q * q;
        return q * horner(a, r) / horner(b, r);
    }
    double r = q < 0.0 ? p : 1.0 - p;
    // p = 0 or 1 (or outside [0, 1]) gives a large finite quantile, never a fault.
    if (r <= 0.0) r = 1e-38;
    r = std::sqrt(-std::log(r));
    double z;
    if (r <= 5.0) {
        constexpr double c[8] = {0.000774545014278341407640, 0.0227238449892691845833,
                                 0.241780725177450611770,    1.27045825245236838258,
                                 3.64784832476320460504,     5.76949722146069140550,
                                 4.63033784615654529590,     1.42343711074968357734};
        constexpr double d[8] = {1.05075007164441684324e-9, 0.000547593808499534494600,
                                 0.0151986665636164571966,  0.148103976427480074590,
                                 0.689767334985100004550,   1.67638483018380384940,
                                 2.05319162663775882187,    1.0};
        r -= 1.6;
        z = horner(c, r) / horner(d, r);
    } else {
        constexpr double e[8] = {2.01033439929228813265e-7, 0.0000271155556874348757815,
                                 0.00124266094738807843860, 0.0265321895265761230930,
                                 0.296560571828504891230,   1.78482653991729133580,
                                 5.46378491116411436990,    6.65790464350110377720};
        constexpr double f[8] = {2.04426310338993978564e-15, 1.42151175831644588870e-7,
                                 0.0000184631831751005468180, 0.000786869131145613259100,
                                 0.0148753612908506148525,    0.136929880922735805310,
                                 0.599832206555887937690,     1.0};
        r -= 5.0;
        z = horner(e, r) / horner(f, r);
    }
    return q < 0.0 ? -z : z;
}

}  // namespace quorix
