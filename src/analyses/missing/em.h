// EM estimation of the means and covariances of a list of variables under a
// multivariate normal model, using every case in which at least one of them
// is present, with the conditional expectations of the missing cells.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

constexpr int kEmMaxIterations = 30;
constexpr double kEmCriterion = 0.001;
constexpr double kEmSweepTolerance = 1e-6;
constexpr double kEmFallbackTolerance = 1e-14;

// The cases of one run in pattern order, and what EM works on.
struct EmData {
    int k = 0;
    int n = 0;                        // cases used
    int complete = 0;                 // cases without a missing value (the first pattern when any)
    std::vector<int> case_numbers;    // 0-based case number of each used case, in pattern order
    std::vector<double> values;       // n x k, case-major, in pattern order; 1e35 marks a missing cell, later filled
    std::vector<char> present;        // n x k, 1 when the cell is present
    std::vector<int> pattern_start;   // first case of each pattern, then n
    // The estimates: k means, then the packed covariances.
    std::vector<double> means, covariances;
    // The observed-data log likelihood at the estimates after each iteration (NaN where the
    // covariance matrix of some pattern's present variables is not positive definite).
    std::vector<double> log_likelihoods;
};

// Orders the cases (values as loaded, file order, 1e35 missing) into
// patterns: complete cases first, then from the first case with the most
// missing cells each next pattern the one nearest to the last.
void order_patterns(EmData& data, const std::vector<double>& file_order_values, const std::vector<int>& case_numbers);

// Starting values from the available data, then the EM iterations. Returns
// 1 when converged, 0 when not within kEmMaxIterations, -1 for a singular
// matrix; iterations receives the number run. The missing cells of
// data.values hold their last conditional expectations; data.log_likelihoods
// holds one value for each iteration whose estimates could be evaluated.
int run_em(EmData& data, int* iterations);

int missing_em_driver(RunContext& context, const std::vector<int>& variables, int write_matrix);

}  // namespace quorix
