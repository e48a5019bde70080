// Sweep operator and small products on symmetric matrices in packed lower-
// triangular storage: element (i, j), i >= j, 0-based, at i(i+1)/2 + j.
// Everything works in place on caller-owned arrays and allocates nothing.
#pragma once

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

// out = A B A for packed A, B; work holds n x n doubles, row-major.
void sandwich_product(const double* a, const double* b, int n, double* work, double* out);

}  // namespace quorix
