// Missing data diagnosis: where values are missing in a list of variables,
// as counts and percentages of cases missing in each pair and as the
// correlations of the presence indicators.
#pragma once

#include <cstdint>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

// One pass over n cases of k indicators (variable-major, 1 present, 0
// missing): packed covariances (divided by n - 1), means, and for each pair
// the number of cases in which at least one of the two is missing.
void indicator_pair_statistics(int k, int n, const int32_t* indicators, double* covariances, double* means,
                               int32_t* counts);

int missing_diagnosis_driver(RunContext& context, const std::vector<int>& variables);

}  // namespace quorix
