package com.quorix.statistics.client;

/** The optional lines of each cell of a cross tabulation; the counts are always shown. */
public enum CrosstabLine {
    /** The cell's percentage of the table total. */
    CELL_PERCENT(0x1),
    /** The cell's percentage of its row total. */
    ROW_PERCENT(0x10),
    /** The cell's percentage of its column total. */
    COLUMN_PERCENT(0x100),
    /** The count expected under independence of the variables. */
    EXPECTED(0x1000);

    private final int bit;

    CrosstabLine(int bit) {
        this.bit = bit;
    }

    /** The display-options word of a set of lines. */
    static int word(Iterable<CrosstabLine> lines) {
        int word = 0;
        for (CrosstabLine line : lines) word |= line.bit;
        return word;
    }
}
