package com.quorix.statistics.client;

import java.util.Set;

/**
 * Options of the two-way cross tabulation with its chi-square tests of independence.
 *
 * @param row the row variable
 * @param column the column variable, another than the row variable
 * @param lines the optional lines of each cell (an empty set shows counts only)
 */
public record CrosstabOptions(Variable row, Variable column, Set<CrosstabLine> lines) {
    /**
     * Checks the components.
     *
     * @param row the row variable
     * @param column the column variable, another than the row variable
     * @param lines the optional lines of each cell (an empty set shows counts only)
     * @throws IllegalArgumentException when a component is null or the lines hold null
     */
    public CrosstabOptions {
        Checks.variable(row, "row variable");
        Checks.variable(column, "column variable");
        lines = Checks.options(lines, "crosstab lines");
    }
}
