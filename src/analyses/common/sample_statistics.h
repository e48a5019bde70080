// The statistics row of a sample (cases, mean, sum, sum of squared
// deviations, standard deviation, median, quartiles, extremes, range,
// skewness, kurtosis) and its text block: shared by descriptive statistics,
// frequency tables, t-tests, ANOVA and the covariance accumulator.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>

#include "report/result_document.h"

namespace quorix {

// Moments of data with a large common part (timestamps near 1.7e12, readings
// such as 1000000000000.4) are accumulated from the values less a shift, the
// first value of the column: the central moments are the same in exact
// arithmetic, the difference of two values that close together is exact, and
// the small part, which a running mean of the raw values rounds away, is kept.
// Any shifted value is at most the range in size, so its rounding stays small
// beside the spread whatever the first value is. Columns whose first value is
// below 1024 in magnitude (or not finite) are taken as they are: there the
// rounding of a deviation is at most 2^-43 and shows in no printed digit.
inline double moment_shift(double first) { return std::isfinite(first) && std::fabs(first) >= 1024 ? first : 0; }

// Fills indices 1-13 of the row from the values (index 0 is the caller's).
// The values are reordered for the quantiles. Returns 0. When mean_residual is
// given it receives what the row's mean, a double, leaves out of the shifted
// computation's: the mean is row[kStatMean] + *mean_residual to about twice a
// double's precision, which keeps differences of means of data with a large
// common part (see mean_difference). It is 0 for an unshifted sample.
int describe_sample(double* values, size_t count, StatsRow& row, double* mean_residual = nullptr);
// The same for k samples (values[s] of counts[s] values into *rows[s], the
// residuals into mean_residuals[s] when given); two at a time share one pass,
// which is faster than one by one.
void describe_samples(double* const* values, const size_t* counts, StatsRow* const* rows, size_t k,
                      double* mean_residuals = nullptr);

// The difference of two means given as row mean and residual: the means'
// difference, exact for means close together, with the residuals' added.
inline double mean_difference(double mean_a, double residual_a, double mean_b, double residual_b) {
    const double difference = mean_a - mean_b;
    return residual_a != residual_b ? difference + (residual_a - residual_b) : difference;
}

// Appends the text block of one statistics row; returns the characters written.
int stats_block_text(std::string& text, const StatsRow& row);

}  // namespace quorix
