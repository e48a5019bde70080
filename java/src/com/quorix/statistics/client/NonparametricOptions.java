package com.quorix.statistics.client;

import java.util.List;
import java.util.Optional;
import java.util.Set;

/**
 * Options of the nonparametric analysis: any combination of rank tests on numeric variables.
 * The pairwise tests (sign, Wilcoxon, Kolmogorov-Smirnov, Spearman, Kendall) take every pair of
 * variables, Friedman all of them at once, Kruskal-Wallis each across the groups of the grouping
 * variable.
 *
 * @param variables the variables
 * @param grouping the grouping variable, needed by and only used by {@link NonparametricTest#KRUSKAL_WALLIS}
 * @param missing listwise: a case missing any variable (or the grouping variable) is left out of
 *     every test; pairwise: each pairwise test uses the cases present in both of its variables
 * @param tests the tests, at least one; with one variable only Kruskal-Wallis
 */
public record NonparametricOptions(List<Variable> variables, Optional<Variable> grouping,
        MissingValueProcessing missing, Set<NonparametricTest> tests) {
    /**
     * Checks the components.
     *
     * @param variables the variables
     * @param grouping the grouping variable, or empty
     * @param missing listwise or pairwise
     * @param tests the tests
     * @throws IllegalArgumentException when a component is null, no variable or no test is given,
     *     Kruskal-Wallis lacks its grouping variable, or one variable is given with another test
     */
    public NonparametricOptions {
        variables = Checks.variables(variables, "variable list");
        if (grouping == null) throw new IllegalArgumentException("the grouping variable is null; empty for none");
        Checks.option(missing, "missing-value processing");
        tests = Checks.options(tests, "tests");
        if (tests.isEmpty()) throw new IllegalArgumentException("no nonparametric test selected");
        if (tests.contains(NonparametricTest.KRUSKAL_WALLIS) && grouping.isEmpty())
            throw new IllegalArgumentException("the Kruskal-Wallis test needs a grouping variable");
        if (variables.size() == 1 && !tests.equals(Set.of(NonparametricTest.KRUSKAL_WALLIS)))
            throw new IllegalArgumentException("with one variable only the Kruskal-Wallis test can be done, not " + tests);
    }

    /**
     * Tests without a grouping variable, listwise.
     *
     * @param variables the variables
     * @param tests the tests, other than Kruskal-Wallis
     */
    public NonparametricOptions(List<Variable> variables, Set<NonparametricTest> tests) {
        this(variables, Optional.empty(), MissingValueProcessing.LISTWISE, tests);
    }
}
