package com.quorix.statistics.client;

import java.util.List;

/**
 * Options of regression imputation: each missing value of the dependent variable is filled with its
 * fitted value from the standard regression on the predictors (a missing predictor taken at its
 * mean), less the average of {@code draws} residuals drawn at random from the fit's residuals. The
 * filled data are written to a copy of the data file in the working directory (the environment
 * variable {@code QUORIX_WORK_DIR}, else the current directory; never over the data file itself).
 * The result carries each case's fitted value and its fitted value less the filled value.
 *
 * @param dependent the variable whose missing values are filled
 * @param predictors the independent variables; none is the dependent
 * @param draws how many random residuals are averaged for each filled value, at least 1
 * @param seed the random generator's starting seed, a whole number from 0 to 194,000,000,000
 *     (a fraction is dropped)
 */
public record RegressionImputationOptions(Variable dependent, List<Variable> predictors, int draws, double seed) {
    /** The largest seed whose products in the generator stay exact. */
    public static final double MAX_SEED = 194_000_000_000.0;

    /**
     * Checks the components.
     *
     * @param dependent the dependent variable
     * @param predictors the independent variables
     * @param draws the residuals averaged per filled value
     * @param seed the starting seed
     * @throws IllegalArgumentException when a component is null, the list empty, draws below 1 or
     *     the seed outside 0 to {@link #MAX_SEED}
     */
    public RegressionImputationOptions {
        Checks.variable(dependent, "dependent variable");
        predictors = Checks.variables(predictors, "predictor list");
        if (draws < 1) throw new IllegalArgumentException("draws must be at least 1, not " + draws);
        if (!(seed >= 0 && seed <= MAX_SEED))
            throw new IllegalArgumentException("the seed must be a number from 0 to 194,000,000,000, not " + seed);
    }
}
