package com.quorix.statistics.client;

/** How a factor analysis extracts the factors. */
public enum FactorExtraction {
    /** Principal components of the correlation matrix, the default. */
    PRINCIPAL_COMPONENTS("PCA"),
    /** Principal axes: communalities estimated on the diagonal. */
    PRINCIPAL_AXES("EPIC");

    private final String word;

    FactorExtraction(String word) {
        this.word = word;
    }

    /** The option word the native method takes. */
    String word() {
        return word;
    }
}
