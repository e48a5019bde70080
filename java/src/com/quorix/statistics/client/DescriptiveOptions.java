package com.quorix.statistics.client;

import java.util.List;

/**
 * Options of the descriptive statistics: cases, mean, sum, sum of squared deviations, standard
 * deviation, median, quartiles, minimum, maximum, range, skewness and kurtosis of each variable,
 * missing values left out.
 *
 * @param variables the variables to describe, in report order
 */
public record DescriptiveOptions(List<Variable> variables) {
    /**
     * Checks the components.
     *
     * @param variables the variables to describe, in report order
     * @throws IllegalArgumentException when the list is null, empty or holds null
     */
    public DescriptiveOptions {
        variables = Checks.variables(variables, "variable list");
    }

    /**
     * Options for these variables.
     *
     * @param variables the variables to describe
     */
    public DescriptiveOptions(Variable... variables) {
        this(variables == null ? null : java.util.Arrays.asList(variables));
    }
}
