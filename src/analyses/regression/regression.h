// The three regression analyses: standard, hierarchical and stepwise (forward
// or backward) multiple regression, thin drivers around the regression engine.
#pragma once

#include <vector>

#include "analyses/regression/regression_engine.h"
#include "frame/run_context.h"

namespace quorix {

// The caller's F level when it asks for the default, and the one that is refused.
constexpr double kDefaultFLevel = -1.0;
constexpr double kRefusedFLevel = -2.0;

// dependent and independent are 1-based variable numbers. Each returns 0 when
// done, -2 for an invalid dependent or count of independent variables, -1 for
// a memory failure or a refused F level, or the alphanumeric filter's count
// when a variable is text. output receives the final model's fitted values and
// residuals.
int standard_regression_driver(RunContext& context, int dependent, const std::vector<int>& independent,
                               RegressionOutput& output);
int hierarchical_regression_driver(RunContext& context, int dependent, const std::vector<int>& independent,
                                   RegressionOutput& output);
int stepwise_regression_driver(RunContext& context, int dependent, const std::vector<int>& independent, int forward,
                               double f_level, RegressionOutput& output);

}  // namespace quorix
