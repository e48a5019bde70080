// The regression engine shared by standard, hierarchical and stepwise
// regression and by regression imputation: least squares of one dependent
// variable on a list of independent variables by sweeping a cross-product
// matrix, reported step by step as text and XML.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

enum RegressionMethod : int32_t { kRegressionStandard = 0, kRegressionStepwise = 1, kRegressionHierarchical = 2 };

struct RegressionOptions {
    double f_to_enter = 0.0;
    double f_to_remove = 0.0;
    double seed = 1.0;            // first seed of the random residuals (imputation)
    int32_t imputation = 0;       // 1: imputation mode
    int32_t method = kRegressionStandard;
    int32_t drawings = 0;         // random drawings (imputation)
    int32_t reserved = 0;         // 0 for the regression analyses, 1 for imputation
    int32_t forward = 1;          // stepwise: nonzero forward, 0 backward
    int32_t matrix_input = 0;     // nonzero: the data file is a correlation matrix file
};

// What the engine hands back about its final model. fitted and residual hold
// one value per case of the data file (1e35 where the case was not used) in
// raw-case mode; count is their length. The rest is what regression
// imputation needs to fill cases from the fit: per slot the entered flag, the
// coefficient (slot 0 the intercept) and the mean, and the case mask (0 for a
// used case).
struct RegressionOutput {
    std::vector<double> fitted;
    std::vector<double> residual;
    int count = 0;
    std::vector<int32_t> entered;
    std::vector<double> coefficients;
    std::vector<double> means;
    std::vector<int32_t> case_mask;
    // The final model's figures as printed, unrounded: per slot the ordinary
    // and heteroscedastic standard errors (0 for slots not in the model), then
    // R^2, adjusted R^2, F, Prob > F, the standard error of estimate and
    // Durbin-Watson.
    std::vector<double> ordinary_se;
    std::vector<double> hetero_se;
    double r_square = 0, adjusted_r_square = 0, f = 0, prob = 0, see = 0, durbin_watson = 0;
    bool model_reported = false;  // a step was printed; the arrays above hold its model
};

// Runs the engine on m = p + 2 slots: slots[0] unused (the intercept), slots
// 1..p the independent variables, slots[p + 1] the dependent (1-based variable
// numbers). Appends to text; returns text's length after the engine's text,
// -1 after a memory failure, -2 when fewer than two cases are usable.
int regression_engine(int m, std::string& text, const std::vector<int>& slots, const RegressionOptions& options,
                      RunContext& context, RegressionOutput& output);

}  // namespace quorix
