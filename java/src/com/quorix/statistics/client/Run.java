package com.quorix.statistics.client;

import java.nio.file.Path;

/**
 * What every analysis call names: the data file, the run name and the cases to analyse. A run on
 * {@code DIR/NAME.rkd} called {@code RUN} writes {@code DIR/NAME_RUN.out} (the text report),
 * {@code DIR/NAME_RUN.log} (the log) and {@code DIR/NAME_RUN.xml} (the XML result document),
 * replacing the files of an earlier run of the same name.
 *
 * @param data the data file
 * @param name the run name: not empty, no path separators or other characters that file names
 *     cannot hold ({@code \ / : * ? " < > |} and control characters)
 * @param cases the cases to analyse
 */
public record Run(DataFile data, String name, CaseSelection cases) {
    private static final String FORBIDDEN = "\\/:*?\"<>|";

    /**
     * Checks the components.
     *
     * @param data the data component
     * @param name the name component
     * @param cases the cases component
     * @throws IllegalArgumentException when a component is null or the name cannot be part of a file name
     */
    public Run {
        if (data == null) throw new IllegalArgumentException("the data file is null");
        if (cases == null) throw new IllegalArgumentException("the case selection is null");
        if (name == null || name.isEmpty()) throw new IllegalArgumentException("the run name is null or empty");
        for (char c : name.toCharArray())
            if (c < ' ' || FORBIDDEN.indexOf(c) >= 0)
                throw new IllegalArgumentException("the run name '" + name + "' holds a character file names cannot hold");
    }

    /**
     * A run of all cases.
     *
     * @param data the data file
     * @param name the run name
     * @return the run
     */
    public static Run of(DataFile data, String name) {
        return new Run(data, name, CaseSelection.all());
    }

    /**
     * This run restricted to some cases.
     *
     * @param selection the cases to analyse
     * @return a run with the same data file and name
     */
    public Run selecting(CaseSelection selection) {
        return new Run(data, name, selection);
    }

    /** The result file of this run with this extension: the data file's path less its last four characters. */
    Path resultFile(String extension) {
        String path = data.path().toString();
        return Path.of(path.substring(0, Math.max(0, path.length() - 4)) + "_" + name + "." + extension);
    }
}
