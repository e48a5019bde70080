// Mean imputation: every missing value of the listed variables replaced by the
// variable's mean, or by the mean of the case's group, written into a filled
// copy of the data file.
#pragma once

#include <vector>

#include "frame/run_context.h"

namespace quorix {

constexpr int kMaxImputationGroups = 15;

// group: the grouping variable's number, 0 for none.
int mean_imputation_driver(RunContext& context, const std::vector<int>& variables, int group);

}  // namespace quorix
