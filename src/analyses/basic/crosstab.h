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

// The whole runs, as the native methods and rkstat call them.
int crosstab_two_frame(const char* data_path, const char* run_name, int row_variable, int column_variable, int display,
                       const std::vector<int32_t>& selection);
int crosstab_three_frame(const char* data_path, const char* run_name, int row_variable, int column_variable,
                         int layer_variable, int display, const std::vector<int32_t>& selection);

}  // namespace quorix
