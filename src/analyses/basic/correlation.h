// Correlation and covariance matrices of a variable list, listwise or
// pairwise, with Cronbach's alpha and the matrix file.
#pragma once

#include <cstdint>
#include <vector>

#include "analyses/common/covariance.h"
#include "frame/run_context.h"

namespace quorix {

// The analysis's working record, kept for the process; each run overwrites it.
CorrelationState& correlation_state();

// The matrix option: null or "cov" gives 1 (covariances), "corr" 0
// (correlations), anything else -1; letter case is ignored.
int parse_matrix_option(const char* text);

// Cronbach's alpha of a packed k x k covariance matrix (the standardized
// alpha for a correlation matrix). 0 for k < 2, and 0 when the variance of
// the sum, the sum of all elements, is 0 and alpha is undefined.
double cronbach_alpha(int k, const double* matrix);

// The driver. The option words may be null (the defaults: listwise,
// covariances); alpha and write_matrix are flags. Returns 0, -1 for a bad
// option, an empty or all-alphanumeric list or a memory failure, or the
// accumulator's nonzero result.
int correlation_driver(RunContext& context, std::vector<int> variables, const char* processing,
                       const char* matrix_kind, int alpha, int write_matrix);


}  // namespace quorix
