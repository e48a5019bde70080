package com.quorix.statistics.client;

/** The matrix a correlation analysis reports. */
public enum MatrixKind {
    /** The covariance matrix. */
    COVARIANCE("cov"),
    /** The Pearson correlation matrix. */
    CORRELATION("corr");

    private final String word;

    MatrixKind(String word) {
        this.word = word;
    }

    /** The option word the native method takes. */
    String word() {
        return word;
    }
}
