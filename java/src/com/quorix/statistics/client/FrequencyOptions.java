package com.quorix.statistics.client;

import java.util.List;

/**
 * Options of the frequency tables: each distinct value of each variable (over all cases of the
 * file) with its count and percentages, value labels and missing codes shown.
 *
 * @param variables the variables to tabulate, in report order
 * @param withStatistics true to add each variable's descriptive statistics (these follow the case
 *     selection; the tables do not)
 */
public record FrequencyOptions(List<Variable> variables, boolean withStatistics) {
    /**
     * Checks the components.
     *
     * @param variables the variables to tabulate, in report order
     * @param withStatistics true to add each variable's descriptive statistics (these follow the case
     *     selection; the tables do not)
     * @throws IllegalArgumentException when the list is null, empty or holds null
     */
    public FrequencyOptions {
        variables = Checks.variables(variables, "variable list");
    }
}
