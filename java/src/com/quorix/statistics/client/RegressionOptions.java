package com.quorix.statistics.client;

import java.util.List;

/**
 * Options of the multiple regression: least squares of the dependent variable on the independent
 * variables, with an intercept. The result carries each case's fitted value and residual.
 *
 * @param dependent the dependent variable
 * @param independents the independent variables, in the order of entry; none is the dependent
 * @param method standard (all at once) or hierarchical (one at a time, in list order)
 */
public record RegressionOptions(Variable dependent, List<Variable> independents, RegressionMethod method) {
    /**
     * Checks the components.
     *
     * @param dependent the dependent variable
     * @param independents the independent variables
     * @param method standard or hierarchical
     * @throws IllegalArgumentException when a component is null or the list empty
     */
    public RegressionOptions {
        Checks.variable(dependent, "dependent variable");
        independents = Checks.variables(independents, "independent variable list");
        Checks.option(method, "regression method");
    }
}
