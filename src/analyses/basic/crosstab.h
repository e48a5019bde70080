// Cross tabulation: two-way tables (text report and XML) and three-way tables
// split by a layer variable (text report only), with Pearson's and the
// likelihood-ratio chi-square tests of independence.
//
// Also the categorical-column machinery shared with the analysis of variance:
// reading the used cases of several variables and coding each case's value as
// the index of its category.
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

// The distinct values of a column in ascending order (count_distinct), their
// frequencies, and for every case the index of its value in that list.
struct Categories {
    std::vector<double> values;
    std::vector<int> counts;
    std::vector<int> codes;
};

// O(n log n): each case is found by binary search among the distinct numbers;
// a NaN, which count_distinct keeps as a category of its own, is matched to
// the NaN categories in input order.
Categories code_categories(const std::vector<double>& cases);

// The values of each variable for the selected cases (index form) at which
// none of the variables is missing, in case order, one column per variable.
// False after a line on the log channel when a column cannot be read or
// memory ran out (memory_message is the line for the latter).
bool read_used_columns(RunContext& context, const std::vector<int>& variables,
                       std::vector<std::vector<double>>& columns, const char* memory_message);

// The drivers; 0 when done, -1 when the table cannot be made.
int crosstab_two_way(RunContext& context, int row_variable, int column_variable, int display);
int crosstab_three_way(RunContext& context, int row_variable, int column_variable, int layer_variable, int display);

// The whole runs, as the native methods and rkstat call them.
int crosstab_two_frame(const char* data_path, const char* run_name, int row_variable, int column_variable, int display,
                       const std::vector<int32_t>& selection);
int crosstab_three_frame(const char* data_path, const char* run_name, int row_variable, int column_variable,
                         int layer_variable, int display, const std::vector<int32_t>& selection);

}  // namespace quorix
