package com.quorix.statistics.client;

import java.util.Set;

/**
 * Options of the three-way cross tabulation: one subtable of row by column per layer value. It
 * writes its text report only; the result document holds no result element.
 *
 * @param row the row variable
 * @param column the column variable
 * @param layer the layer variable; the three variables differ
 * @param lines the optional lines of each cell (an empty set shows counts only)
 */
public record ThreeWayCrosstabOptions(Variable row, Variable column, Variable layer, Set<CrosstabLine> lines) {
    /**
     * Checks the components.
     *
     * @param row the row variable
     * @param column the column variable
     * @param layer the layer variable; the three variables differ
     * @param lines the optional lines of each cell (an empty set shows counts only)
     * @throws IllegalArgumentException when a component is null or the lines hold null
     */
    public ThreeWayCrosstabOptions {
        Checks.variable(row, "row variable");
        Checks.variable(column, "column variable");
        Checks.variable(layer, "layer variable");
        lines = Checks.options(lines, "crosstab lines");
    }
}
