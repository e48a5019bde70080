#include "numeric/sweep.h"

#include <cmath>
#include <cstddef>
#include <cstring>

namespace quorix {

namespace {

// Packed position of (i, j), either order.
std::ptrdiff_t at(int i, int j) {
    if (i < j) {
        const int t = i;
        i = j;
        j = t;
    }
    return static_cast<std::ptrdiff_t>(i) * (i + 1) / 2 + j;
}

std::ptrdiff_t diag(int i) { return at(i, i); }

}  // namespace

void sweep_pivot(double* a, int n, int32_t* state, double* work, const double* ref_diag, int k,
                 double tolerance) {
    for (int j = 0; j < n; ++j) {
        const std::ptrdiff_t p = at(k, j);
        work[j] = a[p];
        a[p] = 0.0;
    }
    const double d = work[k];
    // -1 for a candidate gives the usual sweep; +1 for a forced (negative)
    // code sweeps a variable back out.
    work[k] = -static_cast<double>(state[k]);
    state[k] = kSweepNotCandidate;

    for (int i = 0; i < n; ++i) {
        double* row = a + diag(i) - i;
        const double wi = work[i] / d;
        for (int j = 0; j < i; ++j) row[j] -= wi * work[j];
        const double before = row[i];
        double after = before - wi * work[i];
        // Rounding guard: a diagonal that should stay positive (or negative)
        // but lost its sign is replaced by a value below any tolerance, so
        // that the variable is never selected on noise.
        if (i != k && ref_diag[i] != 0.0) {
            if (before == 0.0) {
                after = 0.0;
            } else if (after / before <= 0.0) {
                after = std::copysign(0.5 * tolerance * std::fabs(ref_diag[i]), before);
            }
        }
        row[i] = after;
    }
}

int sweep_select(int n, const double* a, int32_t* state, const double* ref_diag, int response,
                 double* criterion, double tolerance) {
    for (int i = 0; i < n; ++i) {
        if (state[i] < 0 && ref_diag[i] != 0.0) {
            if (criterion != nullptr) *criterion = 1.0;
            return i;
        }
    }

    for (;;) {
        int best = -1;
        double best_criterion = 0.0;
        for (int i = 0; i < n; ++i) {
            if (state[i] != kSweepCandidate || ref_diag[i] == 0.0) continue;
            const double dii = a[diag(i)];
            const double relative = std::fabs(dii / ref_diag[i]);
            if (relative < tolerance) continue;
            double c = relative;
            if (response >= 0) {
                const double ari = a[at(response, i)];
                c = ari * ari / dii;  // reduction of the response's residual
            }
            // Ties go to the later index; any qualifying variable can win,
            // whatever the sign of its criterion.
            if (best < 0 || c >= best_criterion) {
                best = i;
                best_criterion = c;
            }
        }
        if (best < 0) return -1;

        // Sweeping a nearly dependent pivot would wreck the already swept
        // variables' diagonals (their inverse elements): reject it and choose again.
        const double dkk = a[diag(best)];
        bool reject = false;
        for (int i = 0; i < n && !reject; ++i) {
            if (i == best || state[i] == kSweepResponse || ref_diag[i] == 0.0) continue;
            const double aii = a[diag(i)];
            if (aii >= 0.0) continue;
            const double aki = a[at(best, i)];
            reject = (aii - aki * aki / dkk) * ref_diag[i] < -1.0 / tolerance;
        }
        if (!reject) {
            if (criterion != nullptr) *criterion = best_criterion;
            return best;
        }
        state[best] = kSweepRejected;
    }
}

int sweep_all(int n, int32_t* state, double* work, double* ref_diag, int take_diagonal,
              SweepResult* result, double tolerance, double* a) {
    if (a == nullptr || state == nullptr || work == nullptr || ref_diag == nullptr ||
        result == nullptr) {
        if (result != nullptr) result->remaining = 1;
        return 2;
    }
    result->min_criterion = 1.0;
    result->log_determinant = 0.0;
    result->positive_definite = 1;

    if (take_diagonal != 0) {
        for (int i = 0; i < n; ++i) ref_diag[i] = a[diag(i)];
    }
    // At most one response is expected; should several carry code 2, the
    // first one's row is used and none of them is ever swept.
    int response = -1;
    int candidates = 0;
    for (int i = 0; i < n; ++i) {
        if (state[i] == kSweepResponse) {
            ref_diag[i] = 0.0;
            if (response < 0) response = i;
        } else if (state[i] != kSweepNotCandidate) {
            ++candidates;
        }
    }
    if (candidates == 0) {
        result->remaining = -1;
        return 0;
    }

    while (candidates > 0) {
        double criterion = 1.0;
        const int k = sweep_select(n, a, state, ref_diag, response, &criterion, tolerance);
        if (k < 0) break;
        const double d = a[diag(k)];
        result->log_determinant += std::log(std::fabs(d));
        if (criterion < result->min_criterion) result->min_criterion = criterion;
        if (state[k] * d < 0.0) result->positive_definite = 0;
        sweep_pivot(a, n, state, work, ref_diag, k, tolerance);
        --candidates;
    }
    result->remaining = candidates;
    if (candidates > 0 || result->positive_definite == 0) result->log_determinant = -40.0;
    return 0;
}

double quad_form(const double* x, const double* a, int n) {
    double sum = 0.0;
    for (int i = 0; i < n; ++i) {
        const double* row = a + diag(i) - i;
        double off = 0.0;
        for (int j = 0; j < i; ++j) off += x[j] * row[j];
        sum += x[i] * (2.0 * off + x[i] * row[i]);
    }
    return sum;
}

void weighted_crossprod(const double* data, const double* weights, double* out, int m, int p) {
    // Variable v + 1 of the output is data run v; variable 0 is the constant 1.
    auto column = [&](int v) { return v == 0 ? nullptr : data + static_cast<std::ptrdiff_t>(v - 1) * m; };
    for (int r = 0; r <= p; ++r) {
        const double* zr = column(r);
        for (int c = 0; c <= r; ++c) {
            const double* zc = column(c);
            double sum = 0.0;
            for (int k = 0; k < m; ++k) {
                double w = weights[k];
                if (zr != nullptr) w *= zr[k];
                if (zc != nullptr) w *= zc[k];
                sum += w;
            }
            out[at(r, c)] = sum;
        }
    }
}

namespace {

// Two doubles, loaded and stored without any alignment.
typedef double Pair __attribute__((vector_size(16)));

Pair load_pair(const double* x) {
    Pair v;
    std::memcpy(&v, x, sizeof v);
    return v;
}

}  // namespace

void add_case_products(const double* a, const double* b, int first, int p, std::size_t length, std::size_t stride,
                       double* out) {
    for (int i = first < 0 ? 0 : first; i < p; ++i) {
        double* row = out + diag(i) - i;
        const double* ai = a + i;
        int j = 0;
        for (; j + 8 <= i + 1; j += 8) {
            Pair s0 = load_pair(row + j), s1 = load_pair(row + j + 2), s2 = load_pair(row + j + 4),
                 s3 = load_pair(row + j + 6);
            for (std::size_t t = 0; t < length; ++t) {
                const double x = ai[t * stride];
                const double* y = b + t * stride + j;
                s0 += x * load_pair(y);
                s1 += x * load_pair(y + 2);
                s2 += x * load_pair(y + 4);
                s3 += x * load_pair(y + 6);
            }
            std::memcpy(row + j, &s0, sizeof s0);
            std::memcpy(row + j + 2, &s1, sizeof s1);
            std::memcpy(row + j + 4, &s2, sizeof s2);
            std::memcpy(row + j + 6, &s3, sizeof s3);
        }
        for (; j + 4 <= i + 1; j += 4) {
            Pair s0 = load_pair(row + j), s1 = load_pair(row + j + 2);
            for (std::size_t t = 0; t < length; ++t) {
                const double x = ai[t * stride];
                const double* y = b + t * stride + j;
                s0 += x * load_pair(y);
                s1 += x * load_pair(y + 2);
            }
            std::memcpy(row + j, &s0, sizeof s0);
            std::memcpy(row + j + 2, &s1, sizeof s1);
        }
        for (; j + 2 <= i + 1; j += 2) {
            Pair s0 = load_pair(row + j);
            for (std::size_t t = 0; t < length; ++t) s0 += ai[t * stride] * load_pair(b + t * stride + j);
            std::memcpy(row + j, &s0, sizeof s0);
        }
        if (j <= i) {
            double s0 = row[j];
            for (std::size_t t = 0; t < length; ++t) s0 += ai[t * stride] * b[t * stride + j];
            row[j] = s0;
        }
    }
}

void quad_forms(const double* const* z, const double* a, int n, std::size_t length, double* sums) {
    for (std::size_t t = 0; t < length; t += 8) {
        Pair sum[4] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
        for (int i = 0; i < n; ++i) {
            const double* row = a + diag(i) - i;
            Pair off[4] = {{0, 0}, {0, 0}, {0, 0}, {0, 0}};
            for (int j = 0; j < i; ++j) {
                const double* zj = z[j] + t;
                const double c = row[j];
                for (int u = 0; u < 4; ++u) off[u] += load_pair(zj + 2 * u) * c;
            }
            const double* zi = z[i] + t;
            const double d = row[i];
            for (int u = 0; u < 4; ++u) {
                const Pair x = load_pair(zi + 2 * u);
                sum[u] += x * (2.0 * off[u] + x * d);
            }
        }
        std::memcpy(sums + t, sum, sizeof sum);
    }
}

void sandwich_product(const double* a, const double* b, int n, double* work, double* out) {
    // T = B A, then out = A T; out must not overlap a or b.
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) sum += b[at(i, k)] * a[at(k, j)];
            work[static_cast<std::ptrdiff_t>(i) * n + j] = sum;
        }
    }
    for (int i = 0; i < n; ++i) {
        for (int j = 0; j <= i; ++j) {
            double sum = 0.0;
            for (int k = 0; k < n; ++k) sum += a[at(i, k)] * work[static_cast<std::ptrdiff_t>(k) * n + j];
            out[at(i, j)] = sum;
        }
    }
}

}  // namespace quorix
