package com.quorix.statistics.client;

/**
 * Options of the paired t-test: the mean of the case-by-case differences first minus second,
 * over the cases where both are present.
 *
 * @param first the first variable of each pair
 * @param second the second variable, another than the first
 * @param testValue the mean difference under the null hypothesis
 */
public record PairedTTestOptions(Variable first, Variable second, double testValue) {
    /**
     * Checks the components.
     *
     * @param first the first variable of each pair
     * @param second the second variable, another than the first
     * @param testValue the mean difference under the null hypothesis
     * @throws IllegalArgumentException when a variable is null or the test value not finite
     */
    public PairedTTestOptions {
        Checks.variable(first, "first variable");
        Checks.variable(second, "second variable");
        Checks.finite(testValue, "test value");
    }
}
