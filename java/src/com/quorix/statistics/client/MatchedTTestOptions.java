package com.quorix.statistics.client;

/**
 * Options of the matched-samples t-test: the i-th case of the first group of a two-valued grouping
 * variable is matched with the i-th case of the second, and the mean difference is tested.
 *
 * @param variable the tested variable
 * @param grouping a variable with exactly two values and equal group sizes, another than the tested one
 * @param testValue the mean difference under the null hypothesis
 */
public record MatchedTTestOptions(Variable variable, Variable grouping, double testValue) {
    /**
     * Checks the components.
     *
     * @param variable the tested variable
     * @param grouping a variable with exactly two values and equal group sizes, another than the tested one
     * @param testValue the mean difference under the null hypothesis
     * @throws IllegalArgumentException when a variable is null or the test value not finite
     */
    public MatchedTTestOptions {
        Checks.variable(variable, "tested variable");
        Checks.variable(grouping, "grouping variable");
        Checks.finite(testValue, "test value");
    }
}
