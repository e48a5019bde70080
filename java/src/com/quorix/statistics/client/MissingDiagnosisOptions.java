package com.quorix.statistics.client;

import java.util.Arrays;
import java.util.List;

/**
 * Options of the missing-data diagnosis: over every case of the data file, how often each pair of
 * variables has a value missing, as counts and percentages, and the correlations of the
 * variables' presence indicators.
 *
 * @param variables the variables
 */
public record MissingDiagnosisOptions(List<Variable> variables) {
    /**
     * Checks the components.
     *
     * @param variables the variables
     * @throws IllegalArgumentException when the list is null or empty
     */
    public MissingDiagnosisOptions {
        variables = Checks.variables(variables, "variable list");
    }

    /**
     * The diagnosis of these variables.
     *
     * @param variables the variables
     */
    public MissingDiagnosisOptions(Variable... variables) {
        this(variables == null ? null : Arrays.asList(variables));
    }
}
