// The covariance accumulator shared by correlation, factor analysis and the
// missing-data procedures: the means and the packed lower-triangular
// covariance matrix of a variable list, with listwise or pairwise deletion of
// missing values, and the working record it reports its counts in.
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

// The working record of a correlation run; the analysis keeps one for the
// process, and each run overwrites it.
struct CorrelationState {
    double alpha = 0;            // the last Cronbach's alpha computed
    int cases_used = 0;          // cases not excluded
    int average_pair_cases = 0;  // pairwise: cases per pair, averaged and rounded; listwise: cases_used
    int covariance_kind = 1;     // 1 covariance matrix, 0 correlation matrix
    int listwise = 1;            // 1 listwise, 0 pairwise deletion
    int alpha_wanted = 0;
};

// Element (i, j), j <= i, of a packed lower triangle, and the size of a k x k one.
inline size_t packed_index(size_t i, size_t j) { return i * (i + 1) / 2 + j; }
inline size_t packed_size(size_t k) { return k * (k + 1) / 2; }

// True when text equals word, ASCII letters compared without regard to case.
bool same_option_word(const char* text, const char* word);

// The processing option: null or "complete" gives 1 (listwise), "pair" 0
// (pairwise), anything else -1.
int parse_processing_option(const char* text);

// The accumulator. Cases outside the run's selection are excluded; listwise,
// a case is excluded when any listed variable is missing in it, pairwise only
// when all are. Fills state.cases_used and state.average_pair_cases, the packed
// matrix (packed_size(k) doubles) and the means (k doubles). Returns 0, or 2
// after a line on the log when memory ran out, a column could not be read or
// fewer than two cases are left. Under pairwise deletion, pair_correlations
// (packed_size(k) doubles, when given) receives each pair's correlation over
// its own cases (see pairwise_covariances).
int accumulate_covariances(RunContext& context, const std::vector<int>& variables, CorrelationState& state,
                           double* matrix, double* means, double* pair_correlations = nullptr);

// Covariances to correlations in place, sd receiving each variable's standard
// deviation over all its used cases (the diagonal's). Under pairwise deletion
// (pairs, from accumulate_covariances, not empty) a pair's correlation is its
// covariance over the standard deviations of the pair's own cases, not over
// those of each variable's cases: with other cases behind the two standard
// deviations than behind the covariance, the quotient can leave [-1, 1], and
// no correlation matrix has such elements.
void covariances_to_correlations(int k, double* matrix, double* sd, const std::vector<double>& pairs);

// The two computations on cases already in memory: values holds k columns of
// n values (variable i's case t at i * n + t), 1e35 marking a missing value.
// Both accumulate from each variable's values less the shift of its first
// present value (moment_shift, descriptive.h), which keeps the small part of
// data with a large common part.
// Listwise: one pass over the cases, updating means and cross-products in
// place, divided by n - 1 at the end (n >= 2; no value may be missing).
void listwise_covariances(const double* values, size_t n, int k, double* matrix, double* means,
                          bool wide_allowed = true);
// Pairwise: every pair over the cases where both values are present; a pair
// with fewer than two such cases gets 0. A variable's mean is over all its
// present values. Returns the total of the pairs' case counts. When
// pair_correlations is given, it receives each pair's covariance divided by
// the standard deviations of its two variables over the pair's own cases, the
// correlation of those cases (always within [-1, 1]; 0 for a pair with fewer
// than two cases or a variable constant in them).
// Both updates run in 256-bit registers where the processor has them, unless
// wide_allowed is false, and large ones on two threads, each taking its own
// rows of the triangle; every element gets the same operations in the same
// order either way, so the width and the threads change no bit.
int64_t pairwise_covariances(const double* values, size_t n, int k, double* matrix, double* means,
                             double* pair_correlations = nullptr, bool wide_allowed = true);

}  // namespace quorix
