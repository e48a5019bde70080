package com.quorix.statistics.client;

import java.util.List;

/**
 * Options of the general linear model: the dependent variable on the full factorial of the
 * factors plus the covariates, fitted by maximum likelihood and reported as an ANOVA table, Wald
 * tests and parameter tables.
 *
 * @param dependent the dependent variable
 * @param factors the grouping variables (between-subject factors), at least one
 * @param covariates the covariates, at least one; the dependent, factors and covariates all differ
 */
public record GeneralLinearModelOptions(Variable dependent, List<Variable> factors, List<Variable> covariates) {
    /**
     * Checks the components.
     *
     * @param dependent the dependent variable
     * @param factors the grouping variables
     * @param covariates the covariates
     * @throws IllegalArgumentException when a component is null or a list empty
     */
    public GeneralLinearModelOptions {
        Checks.variable(dependent, "dependent variable");
        factors = Checks.variables(factors, "factor list");
        covariates = Checks.variables(covariates, "covariate list");
    }
}
