#include "analyses/common/eigen.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <new>
#include <stdexcept>

namespace quorix {

namespace {

inline size_t row_start(size_t i) { return i * (i + 1) / 2; }

}  // namespace

void householder_tridiagonal(int n, double* a, double* d, double* e, double* e2) {
    for (int row = n - 1; row >= 0; --row) {
        const size_t i = static_cast<size_t>(row);
        const size_t base = row_start(i);
        double h = 0, scale = 0;
        for (size_t k = 0; k < i; ++k) {
            d[k] = a[base + k];
            scale += std::fabs(d[k]);
        }
        if (i < 1 || scale == 0) {
            // Nothing to annihilate in this row.
            e[i] = 0;
            e2[i] = 0;
        } else {
            for (size_t k = 0; k < i; ++k) {
                d[k] /= scale;
                h += d[k] * d[k];
            }
            e2[i] = scale * scale * h;
            double f = d[i - 1];
            double g = f >= 0 ? -std::sqrt(h) : std::sqrt(h);
            e[i] = scale * g;
            h = h - f * g;
            d[i - 1] = f - g;
            a[base + i - 1] = scale * d[i - 1];
            if (i > 1) {
                // p = A u / h over the leading i x i block, one walk over its
                // packed rows: row j adds its part left of the diagonal to e[j]
                // and its transpose's part to e[0..j-1].
                size_t jk = 0;
                for (size_t j = 0; j < i; ++j) {
                    const double dj = d[j];
                    double sum = 0;
                    for (size_t k = 0; k < j; ++k, ++jk) {
                        sum += a[jk] * d[k];
                        e[k] += a[jk] * dj;
                    }
                    e[j] = sum + a[jk] * dj;
                    ++jk;
                }
                f = 0;
                for (size_t j = 0; j < i; ++j) {
                    e[j] /= h;
                    f += e[j] * d[j];
                }
                const double hh = f / (h + h);
                jk = 0;
                for (size_t j = 0; j < i; ++j) {
                    f = d[j];
                    g = e[j] - hh * f;
                    e[j] = g;
                    for (size_t k = 0; k <= j; ++k, ++jk) a[jk] = a[jk] - f * e[k] - g * d[k];
                }
            }
        }
        d[i] = a[base + i];
        a[base + i] = scale * std::sqrt(h);
    }
}

int tridiagonal_eigenvalues(int n, const double* d, const double* e, double* e2, double* w, int* tags, double* rv1) {
    if (n < 1) return 0;
    const size_t count = static_cast<size_t>(n);
    for (size_t i = 0; i < count; ++i) w[i] = d[i];
    for (size_t i = 1; i < count; ++i) rv1[i - 1] = e[i];
    rv1[count - 1] = 0;
    e2[0] = 0;
    size_t last_block_end = 0;  // one past the last block boundary found
    int tag = 0;
    for (size_t l = 0; l < count; ++l) {
        int iterations = 0;
        for (;;) {
            // The end m of the block that starts at l.
            size_t m = l;
            bool underflowed = false;
            for (;; ++m) {
                if (m == count - 1) break;
                if (std::fabs(rv1[m]) <= kMachinePrecision * (std::fabs(w[m]) + std::fabs(w[m + 1]))) break;
                if (e2[m + 1] == 0) {
                    underflowed = true;
                    break;
                }
            }
            if (underflowed) {
                last_block_end = m + 1;
                ++tag;
            } else if (m + 1 > last_block_end) {
                if (m < count - 1) e2[m + 1] = 0;
                last_block_end = m + 1;
                ++tag;
            }
            double p = w[l];
            if (m == l) {
                // Converged: insert, keeping w[0..l] ascending.
                size_t i = l;
                while (i > 0 && p < w[i - 1]) {
                    w[i] = w[i - 1];
                    tags[i] = tags[i - 1];
                    --i;
                }
                w[i] = p;
                tags[i] = tag;
                break;
            }
            if (iterations == kMaxQlIterations) return static_cast<int>(l + 1);
            ++iterations;
            // One implicit QL sweep over rows l..m with the shift from the
            // leading 2 x 2 block.
            double g = (w[l + 1] - p) / (2 * rv1[l]);
            double r = std::sqrt(g * g + 1);
            g = w[m] - p + rv1[l] / (g + (g >= 0 ? std::fabs(r) : -std::fabs(r)));
            double s = 1, c = 1;
            p = 0;
            for (size_t i = m; i-- > l;) {
                const double f = s * rv1[i];
                const double b = c * rv1[i];
                if (std::fabs(f) >= std::fabs(g)) {
                    c = g / f;
                    r = std::sqrt(c * c + 1);
                    rv1[i + 1] = f * r;
                    s = 1 / r;
                    c = c * s;
                } else {
                    s = f / g;
                    r = std::sqrt(s * s + 1);
                    rv1[i + 1] = g * r;
                    c = 1 / r;
                    s = s * c;
                }
                g = w[i + 1] - p;
                r = (w[i] - g) * s + 2 * c * b;
                p = s * r;
                w[i + 1] = g + p;
                g = c * r - b;
            }
            w[l] = w[l] - p;
            rv1[l] = g;
            rv1[m] = 0;
        }
    }
    return 0;
}

int packed_eigenvalues(int n, double* packed, double* d, double* e, double* e2, double* work, double* eigenvalues,
                       int* tags) {
    if (n < 1) return 0;
    householder_tridiagonal(n, packed, d, e, e2);
    const int status = tridiagonal_eigenvalues(n, d, e, e2, eigenvalues, tags, work);
    if (status != 0) return status;
    std::reverse(eigenvalues, eigenvalues + n);
    std::reverse(tags, tags + n);
    return 0;
}

namespace {

// Gaussian elimination with row interchanges of T - shift I, kept for
// solving with several right-hand sides: U has the diagonal u0 and two
// superdiagonals u1, u2; the rows below were reduced with multiplier[i], after
// swapping rows i and i + 1 where swapped[i] is set.
struct TridiagonalFactors {
    std::vector<double> u0, u1, u2, multiplier;
    std::vector<char> swapped;
};

void factor_shifted(size_t n, const double* d, const double* e, double shift, double tiny, TridiagonalFactors& f) {
    f.u0.assign(n, 0);
    f.u1.assign(n, 0);
    f.u2.assign(n, 0);
    f.multiplier.assign(n, 0);
    f.swapped.assign(n, 0);
    // The row being reduced, at columns i and i + 1.
    double u = d[0] - shift, v = n > 1 ? e[1] : 0;
    for (size_t i = 0; i + 1 < n; ++i) {
        const double below = e[i + 1], diagonal = d[i + 1] - shift, right = i + 2 < n ? e[i + 2] : 0;
        if (std::fabs(below) > std::fabs(u)) {
            const double m = u / below;
            f.u0[i] = below;
            f.u1[i] = diagonal;
            f.u2[i] = right;
            f.multiplier[i] = m;
            f.swapped[i] = 1;
            u = v - m * diagonal;
            v = -m * right;
        } else {
            if (u == 0) u = tiny;
            const double m = below / u;
            f.u0[i] = u;
            f.u1[i] = v;
            f.u2[i] = 0;
            f.multiplier[i] = m;
            u = diagonal - m * v;
            v = right;
        }
    }
    f.u0[n - 1] = u == 0 ? tiny : u;
}

void solve_shifted(size_t n, const TridiagonalFactors& f, double* x) {
    for (size_t i = 0; i + 1 < n; ++i) {
        if (f.swapped[i]) std::swap(x[i], x[i + 1]);
        x[i + 1] -= f.multiplier[i] * x[i];
    }
    for (size_t i = n; i-- > 0;) {
        double value = x[i];
        if (i + 1 < n) value -= f.u1[i] * x[i + 1];
        if (i + 2 < n) value -= f.u2[i] * x[i + 2];
        x[i] = value / f.u0[i];
    }
}

// Scales x to unit length; false when it has none or is not finite.
bool normalize(size_t n, double* x) {
    double largest = 0;
    for (size_t i = 0; i < n; ++i) largest = std::max(largest, std::fabs(x[i]));
    if (!(largest > 0) || !std::isfinite(largest)) return false;
    double sum = 0;
    for (size_t i = 0; i < n; ++i) {
        x[i] /= largest;
        sum += x[i] * x[i];
    }
    const double norm = std::sqrt(sum);
    for (size_t i = 0; i < n; ++i) x[i] /= norm;
    return true;
}

}  // namespace

void tridiagonal_eigenvectors(int n, const double* d, const double* e, const double* eigenvalues, int count,
                              double* vectors) {
    if (n < 1 || count < 1) return;
    const size_t size = static_cast<size_t>(n);
    double norm = 0;
    for (size_t i = 0; i < size; ++i) norm = std::max(norm, std::fabs(d[i]) + std::fabs(e[i]));
    if (!(norm > 0)) norm = 1;
    const double tiny = kMachinePrecision * norm;
    // Eigenvalues closer than this share a group whose vectors are kept orthogonal.
    const double group_gap = 1e-3 * norm;
    TridiagonalFactors factors;
    uint32_t seed = 12345;
    size_t group_start = 0;
    for (size_t c = 0; c < static_cast<size_t>(count); ++c) {
        double* x = vectors + c * size;
        if (c > 0 && std::fabs(eigenvalues[c] - eigenvalues[c - 1]) > group_gap) group_start = c;
        factor_shifted(size, d, e, eigenvalues[c], tiny, factors);
        // A start of varied elements, so that it is never orthogonal to the
        // wanted vector by accident.
        for (size_t i = 0; i < size; ++i) {
            seed = seed * 1664525u + 1013904223u;
            x[i] = 0.5 + static_cast<double>(seed >> 8) / 16777216.0;
        }
        for (int round = 0; round < 4; ++round) {
            solve_shifted(size, factors, x);
            for (size_t other = group_start; other < c; ++other) {
                const double* y = vectors + other * size;
                double dot = 0;
                for (size_t i = 0; i < size; ++i) dot += x[i] * y[i];
                for (size_t i = 0; i < size; ++i) x[i] -= dot * y[i];
            }
            if (!normalize(size, x)) {
                // Nothing left after the group was removed: start again from a unit vector.
                std::fill(x, x + size, 0.0);
                x[(c + static_cast<size_t>(round)) % size] = 1;
            }
        }
    }
}

void tridiagonal_to_original(int n, const double* a, int count, double* vectors) {
    const size_t size = static_cast<size_t>(n);
    for (size_t i = 1; i < size; ++i) {
        const size_t base = row_start(i);
        const double h = a[base + i];
        if (h == 0) continue;
        for (size_t c = 0; c < static_cast<size_t>(count); ++c) {
            double* z = vectors + c * size;
            double s = 0;
            for (size_t k = 0; k < i; ++k) s += a[base + k] * z[k];
            s = (s / h) / h;
            for (size_t k = 0; k < i; ++k) z[k] -= s * a[base + k];
        }
    }
}

bool eigenvectors_packed(int n, const double* packed, const double* eigenvalues, int count,
                         std::vector<double>& vectors) {
    if (n < 1 || count < 1) {
        vectors.clear();
        return true;
    }
    try {
        const size_t size = static_cast<size_t>(n);
        std::vector<double> a(packed, packed + row_start(size)), d(size), e(size), e2(size);
        vectors.assign(size * static_cast<size_t>(count), 0);
        householder_tridiagonal(n, a.data(), d.data(), e.data(), e2.data());
        tridiagonal_eigenvectors(n, d.data(), e.data(), eigenvalues, count, vectors.data());
        tridiagonal_to_original(n, a.data(), count, vectors.data());
        for (size_t c = 0; c < static_cast<size_t>(count); ++c) {
            double* z = vectors.data() + c * size;
            double sum = 0, first = 0;
            for (size_t i = 0; i < size; ++i) {
                sum += z[i];
                if (first == 0) first = z[i];
            }
            if (sum < 0 || (sum == 0 && first < 0))
                for (size_t i = 0; i < size; ++i) z[i] = -z[i];
        }
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

}  // namespace quorix
