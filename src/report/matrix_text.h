// Text of the report shared by several analyses: value labels of a level, and
// packed lower-triangular matrices printed in blocks of columns under the
// variables' names.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datafile/rkd_format.h"
#include "frame/run_context.h"

namespace quorix {

// The first label set of the variable named name (byte-wise, case-sensitive), or null.
const ValueLabelSet* find_variable(const std::vector<ValueLabelSet>& sets, const std::string& name);

// Appends the label of value from set (the first entry in use whose value text
// reads as exactly value), else value with "%8g"; set may be null. Returns the
// number of characters appended.
int value_label_text(std::string& text, const ValueLabelSet* set, double value);

// Packed k x k lower triangle in blocks of 10 columns, headed by the names of
// variables[0..k-1] (1-based numbers). format_code 0/1/2 selects "%10.4f",
// "%10.1f" or "%10g", raised for large values; 1e35 prints as an asterisk and,
// with min_cases >= 1, adds a closing note. Returns the characters appended.
int print_lower_matrix(const double* packed, std::string& text, int k, const int* variables, int format_code,
                       int min_cases, const RunContext& context);

// The same layout for a packed matrix of counts, each "%10d".
int print_lower_counts(const RunContext& context, int k, const int* variables, const int32_t* packed,
                       std::string& text);

}  // namespace quorix
