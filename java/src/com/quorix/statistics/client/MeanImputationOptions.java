package com.quorix.statistics.client;

import java.util.List;
import java.util.Optional;

/**
 * Options of mean imputation: every missing value of the variables is replaced by the variable's
 * mean or, with a grouping variable, by the mean of the case's group (the variable's mean for a
 * group without a valid value, marked in the report). The filled values go into a copy of the
 * data file, made in the directory of the environment variable QUORIX_WORK_DIR or else the
 * current directory; when that is the data file's own directory the copy is
 * {@code NAME_filled.rkd} beside {@code NAME.rkd}. The report names the copy.
 *
 * @param variables the variables to fill
 * @param grouping the grouping variable (2 to 15 values among the cases), or empty; a case
 *     missing it is neither used nor filled
 */
public record MeanImputationOptions(List<Variable> variables, Optional<Variable> grouping) {
    /**
     * Checks the components.
     *
     * @param variables the variables to fill
     * @param grouping the grouping variable, or empty
     * @throws IllegalArgumentException when a component is null or the list empty
     */
    public MeanImputationOptions {
        variables = Checks.variables(variables, "variable list");
        if (grouping == null) throw new IllegalArgumentException("the grouping variable is null; empty for none");
        grouping.ifPresent(g -> Checks.variable(g, "grouping variable"));
    }
}
