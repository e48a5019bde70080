package com.quorix.statistics.client;

/**
 * Options of the one-way analysis of variance of a balanced design (every group the same size, at
 * most 36 groups).
 *
 * @param dependent the dependent variable
 * @param factor the grouping variable, another than the dependent one
 */
public record OneWayAnovaOptions(Variable dependent, Variable factor) {
    /**
     * Checks the components.
     *
     * @param dependent the dependent variable
     * @param factor the grouping variable, another than the dependent one
     * @throws IllegalArgumentException when a variable is null
     */
    public OneWayAnovaOptions {
        Checks.variable(dependent, "dependent variable");
        Checks.variable(factor, "factor");
    }
}
