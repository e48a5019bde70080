package com.quorix.statistics.client;

/** How a factor analysis rotates the factors it keeps. */
public enum FactorRotation {
    /** Orthogonal rotation simplifying each variable's loadings (quartimax). */
    QUARTIMAX("Othosim"),
    /** Orthogonal rotation simplifying each factor's loadings (varimax), the default. */
    VARIMAX("Varimax"),
    /** Oblique rotation (oblimin): the factors may correlate. */
    OBLIMIN("Oblimin");

    private final String word;

    FactorRotation(String word) {
        this.word = word;
    }

    /** The option word the native method takes. */
    String word() {
        return word;
    }
}
