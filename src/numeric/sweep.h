// Sweep operator and small products on symmetric matrices in packed lower-
// triangular storage: element (i, j), i >= j, 0-based, at i(i+1)/2 + j.
// Everything works in place on caller-owned arrays and allocates nothing.
#pragma once

#include <cstddef>
#include <cstdint>

namespace quorix {

// Sweep state codes, one per variable. Any negative code is a forced
// candidate, selected before any other; a swept variable marked -1 is swept
// out again, restoring the matrix.
enum SweepState : int32_t {
    kSweepForced = -1,
    kSweepNotCandidate = 0,  // or already swept
    kSweepCandidate = 1,     // swept when selected
    kSweepResponse = 2,      // never swept, accumulates the residual quantities
    kSweepRejected = 3,      // candidate rejected by the tolerance test
};

struct SweepResult {
    double min_criterion;    // smallest selection criterion of the swept pivots (starts at 1.0)
    double log_determinant;  // sum of ln |pivot|, or -40.0 when the sweep did not complete
    int32_t remaining;       // candidates not swept; -1 when there was none; 1 when refused
    int32_t positive_definite;  // 1 while every pivot d had (state code) * d >= 0
};

// Sweeps on pivot k; ref_diag holds the diagonal before any sweep, work n doubles.
void sweep_pivot(double* a, int n, int32_t* state, double* work, const double* ref_diag, int k,
                 double tolerance);

// Index of the next pivot, or -1. response is the response's index or -1;
// *criterion receives the chosen variable's criterion. May mark candidates 3.
int sweep_select(int n, const double* a, int32_t* state, const double* ref_diag, int response,
                 double* criterion, double tolerance);

// Sweeps every selectable candidate. With take_diagonal != 0 the reference
// diagonal is first copied from the matrix. Returns 0, or 2 when an array is
// missing (remaining is set to 1 if the record itself is there).
int sweep_all(int n, int32_t* state, double* work, double* ref_diag, int take_diagonal,
              SweepResult* result, double tolerance, double* a);

// x'Ax.
double quad_form(const double* x, const double* a, int n);

// Weighted cross-products of a constant and p variables (each a run of m
// doubles): out is packed of order p + 1, index 0 the constant.
void weighted_crossprod(const double* data, const double* weights, double* out, int m, int p);

// Cross-products of cases added to rows first..p-1 of out (packed of order
// p), one case after another: for t below length, out(i, j) += a(t, i) *
// b(t, j) for j <= i, a(t, i) = a[t * stride + i]. Each element receives its
// terms in case order, bit for bit as that plain loop would; rows are done
// eight elements at a time.
void add_case_products(const double* a, const double* b, int first, int p, std::size_t length, std::size_t stride,
                       double* out);

// x'Ax for the columns of a block: sums[t] = z(t)' A z(t), where z(t) takes
// element t of each of the n runs z[0..n-1] (A packed of order n). length is
// rounded up to a multiple of 8: every run, and sums, must hold that many
// doubles. Each sum is formed as quad_form forms it.
void quad_forms(const double* const* z, const double* a, int n, std::size_t length, double* sums);

// out = A B A for packed A, B; work holds n x n doubles, row-major.
void sandwich_product(const double* a, const double* b, int n, double* work, double* out);

}  // namespace quorix
