// Cross tabulation: two-way tables (text report and XML) and three-way tables
// split by a layer variable (text report only), with Pearson's and the
// likelihood-ratio chi-square tests of independence.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

// Bits of the display-options word: one optional line per table row.
constexpr int kShowCellPercent = 0x1;
constexpr int kShowRowPercent = 0x10;
constexpr int kShowColumnPercent = 0x100;
constexpr int kShowExpected = 0x1000;

// Tables beyond this many cells (rows x columns, times layers) are refused as
// out of memory: their text and XML would run to hundreds of megabytes.
constexpr int64_t kMaxTableCells = 1000000;

// The drivers; 0 when done, -1 when the table cannot be made.
int crosstab_two_way(RunContext& context, int row_variable, int column_variable, int display);
int crosstab_three_way(RunContext& context, int row_variable, int column_variable, int layer_variable, int display);


}  // namespace quorix
