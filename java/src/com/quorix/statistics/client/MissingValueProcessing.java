package com.quorix.statistics.client;

/** How a correlation, factor analysis or nonparametric analysis treats cases with missing values. */
public enum MissingValueProcessing {
    /** Listwise: only cases complete in every variable are used. */
    LISTWISE("complete"),
    /** Pairwise: each pair of variables uses the cases complete in both. */
    PAIRWISE("pair");

    private final String word;

    MissingValueProcessing(String word) {
        this.word = word;
    }

    /** The option word the native method takes. */
    String word() {
        return word;
    }
}
