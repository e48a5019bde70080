// Regression imputation: the missing values of one dependent variable filled
// with the value predicted from a list of predictors plus an averaged random
// residual of the fit, written into a filled copy of the data file.
#pragma once

#include <vector>

#include "frame/run_context.h"

namespace quorix {

// The seeded generator of the random residuals: four multiplicative
// congruential streams, each fed by its neighbour, taken in turn. One
// process-wide state, overwritten by each reset.
struct ResidualGenerator {
    double s0 = 0, s1 = 0, s2 = 0, s3 = 0;
    int phase = 0;
};

void reset_generator(ResidualGenerator& generator, double seed);
// The next draw, in [0, 1).
double draw_uniform(ResidualGenerator& generator);

// The mean of `drawings` residuals picked at random from residuals. The
// generator restarts from seed, and seed carries the first stream on.
double average_random_residual(double& seed, int drawings, const std::vector<double>& residuals);

// What the run hands back to its caller: the fitted value of every case, and
// fitted minus (filled) observed value of every imputed-set case.
struct ImputationOutput {
    std::vector<double> fitted;
    std::vector<double> differences;
};

int regression_imputation_driver(RunContext& context, int dependent, const std::vector<int>& predictors,
                                 int drawings, double seed, ImputationOutput& output);

}  // namespace quorix
