package com.quorix.statistics.client;

import java.util.List;
import java.util.OptionalDouble;

/**
 * Options of the stepwise multiple regression. The result carries each case's fitted value and
 * residual under the final model.
 *
 * @param dependent the dependent variable
 * @param independents the candidate independent variables; none is the dependent
 * @param direction forward (entering) or backward (removing)
 * @param fLevel the F-to-enter (forward) or F-to-remove (backward), positive and finite; empty
 *     for the defaults, 3.84 to enter and 2.71 to remove
 */
public record StepwiseRegressionOptions(Variable dependent, List<Variable> independents, StepDirection direction,
        OptionalDouble fLevel) {
    /** The F level the native method takes for its default. */
    static final double DEFAULT_F_LEVEL = -1.0;

    /**
     * Checks the components.
     *
     * @param dependent the dependent variable
     * @param independents the candidate independent variables
     * @param direction forward or backward
     * @param fLevel the F level, or empty for the default
     * @throws IllegalArgumentException when a component is null, the list empty or the F level not positive
     */
    public StepwiseRegressionOptions {
        Checks.variable(dependent, "dependent variable");
        independents = Checks.variables(independents, "independent variable list");
        Checks.option(direction, "step direction");
        if (fLevel == null) throw new IllegalArgumentException("the F level is null");
        if (fLevel.isPresent() && !(Checks.finite(fLevel.getAsDouble(), "F level") > 0))
            throw new IllegalArgumentException("the F level " + fLevel.getAsDouble() + " is not positive");
    }

    /**
     * Forward with the default F-to-enter.
     *
     * @param dependent the dependent variable
     * @param independents the candidate independent variables
     */
    public StepwiseRegressionOptions(Variable dependent, List<Variable> independents) {
        this(dependent, independents, StepDirection.FORWARD, OptionalDouble.empty());
    }
}
