package com.quorix.statistics.client;

/**
 * Options of the independent-samples t-test: the difference of a variable's means in the two
 * groups a grouping variable forms, with pooled and with unequal variances.
 *
 * @param variable the tested variable
 * @param grouping a variable with exactly two values among the cases used, another than the tested one
 * @param testValue the difference of the means under the null hypothesis
 */
public record IndependentTTestOptions(Variable variable, Variable grouping, double testValue) {
    /**
     * Checks the components.
     *
     * @param variable the tested variable
     * @param grouping a variable with exactly two values among the cases used, another than the tested one
     * @param testValue the difference of the means under the null hypothesis
     * @throws IllegalArgumentException when a variable is null or the test value not finite
     */
    public IndependentTTestOptions {
        Checks.variable(variable, "tested variable");
        Checks.variable(grouping, "grouping variable");
        Checks.finite(testValue, "test value");
    }
}
