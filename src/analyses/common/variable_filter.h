// Keeping text variables out of the numeric analyses: correlation, factor
// analysis and the regression drivers drop the alphanumeric variables of
// their lists before reading any column.
#pragma once

#include <vector>

#include "frame/run_context.h"

namespace quorix {

// Removes, keeping order, every variable whose dictionary type is
// alphanumeric and returns how many remain. The log names what was removed,
// with the label ("Selected") in the message. Numbers outside the dictionary
// are kept: reading their column reports them.
int drop_alphanumeric(std::vector<int>& variables, const char* label, const RunContext& context);

// One variable: 1 when it is numeric, 0 (and a log line) when it is alphanumeric.
int check_numeric_variable(int variable, const char* label, const RunContext& context);

}  // namespace quorix
