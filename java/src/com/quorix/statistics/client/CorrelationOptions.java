package com.quorix.statistics.client;

import java.util.List;

/**
 * Options of the correlation analysis: the covariance or correlation matrix of the variables
 * (text variables are left out, with a note on the log), optionally Cronbach's alpha, optionally
 * the matrix file {@code Matrix.rkd} in the data file's directory (always correlations, with the
 * standard deviations and means).
 *
 * @param variables the variables, in matrix order
 * @param processing how cases with missing values are treated
 * @param matrix the matrix reported
 * @param alpha true to add Cronbach's alpha of the variables
 * @param writeMatrix true to write the matrix file
 */
public record CorrelationOptions(List<Variable> variables, MissingValueProcessing processing, MatrixKind matrix,
        boolean alpha, boolean writeMatrix) {
    /**
     * Checks the components.
     *
     * @param variables the variables, in matrix order
     * @param processing how cases with missing values are treated
     * @param matrix the matrix reported
     * @param alpha true to add Cronbach's alpha of the variables
     * @param writeMatrix true to write the matrix file
     * @throws IllegalArgumentException when a component is null or the list empty
     */
    public CorrelationOptions {
        variables = Checks.variables(variables, "variable list");
        Checks.option(processing, "processing");
        Checks.option(matrix, "matrix kind");
    }

    /**
     * The correlation matrix, listwise, without alpha or matrix file.
     *
     * @param variables the variables
     */
    public CorrelationOptions(Variable... variables) {
        this(variables == null ? null : java.util.Arrays.asList(variables), MissingValueProcessing.LISTWISE, MatrixKind.CORRELATION,
                false, false);
    }
}
