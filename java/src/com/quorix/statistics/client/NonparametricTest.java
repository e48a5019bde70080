package com.quorix.statistics.client;

/** The rank tests of a nonparametric analysis. */
public enum NonparametricTest {
    /**
     * Kruskal-Wallis one-way analysis by ranks of each variable across the groups of the grouping
     * variable (Mann-Whitney for two groups), with multiple comparisons; needs a grouping variable
     * of 2 to 15 values.
     */
    KRUSKAL_WALLIS(0x1),
    /** Spearman rank correlation of every pair of variables. */
    SPEARMAN(0x2),
    /** Kendall rank correlation of every pair of variables. */
    KENDALL(0x4),
    /** Sign test of every pair of variables. */
    SIGN(0x8),
    /** Wilcoxon signed-rank test of every pair of variables. */
    WILCOXON(0x10),
    /** Two-sample Kolmogorov-Smirnov test of every pair of variables. */
    KOLMOGOROV_SMIRNOV(0x20),
    /** Friedman two-way analysis by ranks over all variables with Kendall's W, with multiple comparisons. */
    FRIEDMAN(0x40);

    private final int bit;

    NonparametricTest(int bit) {
        this.bit = bit;
    }

    /** The test selection word of a set of tests. */
    static int word(Iterable<NonparametricTest> tests) {
        int word = 0;
        for (NonparametricTest test : tests) word |= test.bit;
        return word;
    }
}
