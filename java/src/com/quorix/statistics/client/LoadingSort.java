package com.quorix.statistics.client;

/** The order of the variables in a factor analysis's loading table. */
public enum LoadingSort {
    /** The order of the variable list. */
    NONE("None"),
    /** Grouped by the factor each variable loads on most, largest loading first. */
    FACTOR("Factor"),
    /** By communality, largest first. */
    COMMUNALITY("Commuality");

    private final String word;

    LoadingSort(String word) {
        this.word = word;
    }

    /** The option word the native method takes. */
    String word() {
        return word;
    }
}
