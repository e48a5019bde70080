package com.quorix.statistics.client;

/**
 * Options of the one-sample t-test of a variable's mean.
 *
 * @param variable the tested variable
 * @param testValue the mean under the null hypothesis
 */
public record OneSampleTTestOptions(Variable variable, double testValue) {
    /**
     * Checks the components.
     *
     * @param variable the tested variable
     * @param testValue the mean under the null hypothesis
     * @throws IllegalArgumentException when the variable is null or the test value not finite
     */
    public OneSampleTTestOptions {
        Checks.variable(variable, "tested variable");
        Checks.finite(testValue, "test value");
    }
}
