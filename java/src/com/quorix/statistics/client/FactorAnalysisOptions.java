package com.quorix.statistics.client;

import java.util.Arrays;
import java.util.List;

/**
 * Options of the factor analysis: the correlation matrix of the variables and its eigenvalues,
 * then the factors whose eigenvalue reaches the cut-off, extracted, rotated and sorted as asked.
 * Text variables are left out, with a note on the log.
 *
 * @param variables the variables
 * @param extraction how the factors are extracted
 * @param rotation how the kept factors are rotated
 * @param processing how cases with missing values are treated
 * @param factorScores true to write each case's factor scores to {@code NAME_FactorScores.rkd}
 *     beside the data file {@code NAME.rkd} (not for a correlation matrix file)
 * @param sort the order of the variables in the loading table
 * @param cutoff the smallest eigenvalue of a kept factor; positive and finite (1 keeps the
 *     factors of eigenvalue at least 1)
 */
public record FactorAnalysisOptions(List<Variable> variables, FactorExtraction extraction, FactorRotation rotation,
        MissingValueProcessing processing, boolean factorScores, LoadingSort sort, double cutoff) {
    /**
     * Checks the components.
     *
     * @param variables the variables
     * @param extraction how the factors are extracted
     * @param rotation how the kept factors are rotated
     * @param processing how cases with missing values are treated
     * @param factorScores true to write the factor scores
     * @param sort the order of the variables in the loading table
     * @param cutoff the smallest eigenvalue of a kept factor
     * @throws IllegalArgumentException when a component is null, the list empty or the cut-off not positive
     */
    public FactorAnalysisOptions {
        variables = Checks.variables(variables, "variable list");
        Checks.option(extraction, "extraction");
        Checks.option(rotation, "rotation");
        Checks.option(processing, "processing");
        Checks.option(sort, "loading sort");
        if (!(Checks.finite(cutoff, "cut-off") > 0))
            throw new IllegalArgumentException("the cut-off " + cutoff + " is not positive");
    }

    /**
     * Principal components of eigenvalue at least 1, varimax, listwise, no scores, unsorted.
     *
     * @param variables the variables
     */
    public FactorAnalysisOptions(Variable... variables) {
        this(variables == null ? null : Arrays.asList(variables), FactorExtraction.PRINCIPAL_COMPONENTS,
                FactorRotation.VARIMAX, MissingValueProcessing.LISTWISE, false, LoadingSort.NONE, 1.0);
    }
}
