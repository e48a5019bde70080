package com.quorix.statistics.client;

import java.util.List;

/**
 * Options of EM estimation: the means and covariances of the variables estimated by maximum
 * likelihood under a multivariate normal model from every case with at least one of them present,
 * the missingness patterns and available-data statistics reported, and the imputed cells (each
 * missing value's conditional expectation) written to {@code MissingEM.dat} in the data file's
 * directory: per variable a line with its number, then a line of case number and imputed value
 * per imputed cell.
 *
 * @param variables the variables, at least two
 * @param writeMatrix true to write the estimated correlations, standard deviations and means to
 *     the matrix file {@code Matrix.rkd} in the data file's directory
 */
public record EmImputationOptions(List<Variable> variables, boolean writeMatrix) {
    /**
     * Checks the components.
     *
     * @param variables the variables, at least two
     * @param writeMatrix true to write the matrix file
     * @throws IllegalArgumentException when the list is null or holds fewer than two variables
     */
    public EmImputationOptions {
        variables = Checks.variables(variables, "variable list");
        if (variables.size() < 2) throw new IllegalArgumentException("EM estimation needs at least two variables");
    }
}
