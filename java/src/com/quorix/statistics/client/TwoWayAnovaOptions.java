package com.quorix.statistics.client;

/**
 * Options of the two-way analysis of variance with interaction, balanced design (every cell the
 * same size, at most 36 cells).
 *
 * @param dependent the dependent variable
 * @param factorA the first grouping variable
 * @param factorB the second grouping variable; the three variables differ
 */
public record TwoWayAnovaOptions(Variable dependent, Variable factorA, Variable factorB) {
    /**
     * Checks the components.
     *
     * @param dependent the dependent variable
     * @param factorA the first grouping variable
     * @param factorB the second grouping variable; the three variables differ
     * @throws IllegalArgumentException when a variable is null
     */
    public TwoWayAnovaOptions {
        Checks.variable(dependent, "dependent variable");
        Checks.variable(factorA, "first factor");
        Checks.variable(factorB, "second factor");
    }
}
