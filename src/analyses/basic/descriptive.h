// Descriptive statistics: the statistics row of a sample, its text and XML
// forms (shared with frequency tables, t-tests and ANOVA), and the analysis.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/run_context.h"
#include "report/result_document.h"

namespace quorix {

// Fills indices 1-13 of the row from the values (index 0 is the caller's).
// The values are reordered for the quantiles. Returns 0.
int describe_sample(double* values, size_t count, StatsRow& row);
// The same for k samples (values[s] of counts[s] values into *rows[s]); two at
// a time share one pass, which is faster than one by one.
void describe_samples(double* const* values, const size_t* counts, StatsRow* const* rows, size_t k);

// Appends the text block of one statistics row; returns the characters written.
int stats_block_text(std::string& text, const StatsRow& row);

// The driver: one row per selected variable (1-based numbers), in the given order.
int descriptive_driver(RunContext& context, const std::vector<int>& variables);


}  // namespace quorix
