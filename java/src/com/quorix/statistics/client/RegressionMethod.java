package com.quorix.statistics.client;

/** How a multiple regression enters its independent variables. */
public enum RegressionMethod {
    /** All at once. */
    STANDARD(1),
    /** One at a time in the order of the list, each step reported. */
    HIERARCHICAL(2);

    private final int type;

    RegressionMethod(int type) {
        this.type = type;
    }

    /** The regression type the native method takes. */
    int type() {
        return type;
    }
}
