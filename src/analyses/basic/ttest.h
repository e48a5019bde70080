// The four t-tests of means: one-sample, paired, independent (pooled and
// unequal variances) and matched, with their shared computation and printers.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/run_context.h"
#include "report/result_document.h"

namespace quorix {

enum TTestMode {
    kTTestOneSample = 0,    // row A against the test value
    kTTestTwoGroups = 2,    // row A against row B, independent groups
    kTTestNoTestValue = 3,  // row A's mean itself
};

struct TTestResult {
    double se = 0;  // mode 2: the pooled standard error
    double t = 0;
    double df = 0;
    double t_unequal = 0;  // mode 2 only: unequal variances (Welch-Satterthwaite)
    double df_unequal = 0;
    double se_unequal = 0;
};

// The shared computation over two statistics rows (means and standard
// deviations); in the one-row modes row B and n_b are not used. The residuals
// are the rows' mean residuals (describe_sample), which keep the difference
// of the means, or of a mean and the test value, where the data have a large
// common part.
void t_test_core(const StatsRow& a, const StatsRow& b, int mode, int n_a, int n_b, double test_value,
                 TTestResult& result, double residual_a = 0, double residual_b = 0);

// Two-sided p of t with df degrees of freedom.
double t_test_p(double t, int df);
// t_test_p of two statistics, the same numbers in about the time of one:
// their series, long at millions of degrees of freedom, are summed side by side.
void t_test_p_pair(double t1, int df1, double t2, int df2, double& p1, double& p2);
// Degrees of freedom rounded to the nearest whole number (df + 0.5
// truncated); 0 for NaN, limited to the int range.
int rounded_df(double df);

// Appends the difference table; returns the characters appended.
int t_result_text(std::string& text, long df, double mean, double test_value, double t, double se, double p);
// Writes a <TTESTSTAT> element.
void write_ttest_stat(int df, int cases, double mean, double test_value, double t, double se, double p);

// The drivers (1-based variable numbers). 0 when done; -1 when memory ran
// out, a column could not be read, or the grouping variable does not split
// the cases into two groups (of equal size for the matched test).
int one_sample_driver(RunContext& context, int variable, double test_value);
int paired_sample_driver(RunContext& context, int first, int second, double test_value);
int independent_sample_driver(RunContext& context, int variable, int group, double test_value);
int matched_sample_driver(RunContext& context, int variable, int group, double test_value);

}  // namespace quorix
