// Descriptive statistics of each selected variable: the statistics rows as
// text tables and as the result document's blocks.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "analyses/common/sample_statistics.h"
#include "frame/run_context.h"
#include "report/result_document.h"

namespace quorix {

// The driver: one row per selected variable (1-based numbers), in the given order.
int descriptive_driver(RunContext& context, const std::vector<int>& variables);


}  // namespace quorix
