package com.quorix.statistics.client;

/** The direction of a stepwise regression. */
public enum StepDirection {
    /** From no independent variable, entering the one of largest F while it is at least the F-to-enter. */
    FORWARD,
    /** From all independent variables, removing the one of smallest F while it is below the F-to-remove. */
    BACKWARD
}
