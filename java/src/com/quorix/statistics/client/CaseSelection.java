package com.quorix.statistics.client;

import java.util.Arrays;

/**
 * The cases a run analyses: all of them, or a set of case numbers counted from 0 in file order.
 * The client hands the selection to each analysis in the form that analysis reads (a list of case
 * numbers, or one flag per case), so the same selection means the same cases everywhere.
 */
public final class CaseSelection {
    private static final CaseSelection ALL = new CaseSelection(new int[0]);

    private final int[] cases;  // ascending, distinct; empty for all cases

    private CaseSelection(int[] cases) {
        this.cases = cases;
    }

    /**
     * Every case of the data file.
     *
     * @return the selection of all cases
     */
    public static CaseSelection all() {
        return ALL;
    }

    /**
     * The cases with these numbers (0-based, in any order; repeats count once). Numbers beyond the
     * data file's case count are refused when the run is called.
     *
     * @param cases the case numbers, at least one
     * @return the selection
     * @throws IllegalArgumentException when cases is null or empty or holds a negative number
     */
    public static CaseSelection of(int... cases) {
        if (cases == null || cases.length == 0)
            throw new IllegalArgumentException("a case selection names no case (use CaseSelection.all())");
        int[] sorted = Arrays.stream(cases).sorted().distinct().toArray();
        if (sorted[0] < 0) throw new IllegalArgumentException("case number " + sorted[0] + " is negative");
        return new CaseSelection(sorted);
    }

    /**
     * Whether this is the selection of all cases.
     *
     * @return true for {@link #all()}
     */
    public boolean isAll() {
        return cases.length == 0;
    }

    /**
     * The selected case numbers, ascending (empty for all cases).
     *
     * @return a copy of the case numbers
     */
    public int[] cases() {
        return cases.clone();
    }

    private void check(int caseCount) {
        if (cases.length > 0 && cases[cases.length - 1] >= caseCount)
            throw new IllegalArgumentException("case number " + cases[cases.length - 1] + " is not below the "
                    + caseCount + " cases of the data file");
    }

    /** The case numbers themselves; empty for all cases. */
    int[] asCaseNumbers(int caseCount) {
        check(caseCount);
        return cases.clone();
    }

    /** One entry per case, 1 for a selected case; empty for all cases. */
    int[] asCaseFlags(int caseCount) {
        check(caseCount);
        if (cases.length == 0) return cases;
        int[] flags = new int[caseCount];
        for (int c : cases) flags[c] = 1;
        return flags;
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof CaseSelection && Arrays.equals(cases, ((CaseSelection) other).cases);
    }

    @Override
    public int hashCode() {
        return Arrays.hashCode(cases);
    }

    /** "all cases" or the case numbers. */
    @Override
    public String toString() {
        return isAll() ? "all cases" : "cases " + Arrays.toString(cases);
    }
}
