package com.quorix.statistics.client;

import java.util.Objects;

/**
 * A variable of a data file, named either by its name in the file's dictionary or by its 1-based
 * position (the variable number the reports print as ID). A reference is resolved against the
 * {@link DataFile} of the run when an analysis is called; a name or position not in the file is
 * refused then with an {@link IllegalArgumentException}.
 */
public final class Variable {
    private final String name;
    private final int position;

    private Variable(String name, int position) {
        this.name = name;
        this.position = position;
    }

    /**
     * The variable of this name (compared exactly; the first of equal names).
     *
     * @param name the variable's name in the data file
     * @return the reference
     * @throws IllegalArgumentException when the name is null or empty
     */
    public static Variable named(String name) {
        if (name == null || name.isEmpty()) throw new IllegalArgumentException("a variable name is null or empty");
        return new Variable(name, 0);
    }

    /**
     * The variable at this position of the data file, counted from 1.
     *
     * @param position the 1-based position
     * @return the reference
     * @throws IllegalArgumentException when the position is below 1
     */
    public static Variable at(int position) {
        if (position < 1) throw new IllegalArgumentException("variable position " + position + " is below 1");
        return new Variable(null, position);
    }

    /** The 0-based number of the variable in data, as the native methods take it. */
    int resolve(DataFile data) {
        if (name == null) {
            if (position > data.variables().size())
                throw new IllegalArgumentException("variable position " + position + " is not between 1 and "
                        + data.variables().size() + " in " + data.path());
            return position - 1;
        }
        for (DataFile.VariableInfo variable : data.variables())
            if (variable.name().equals(name)) return variable.position() - 1;
        throw new IllegalArgumentException("no variable named '" + name + "' in " + data.path());
    }

    @Override
    public boolean equals(Object other) {
        return other instanceof Variable && Objects.equals(name, ((Variable) other).name)
                && position == ((Variable) other).position;
    }

    @Override
    public int hashCode() {
        return Objects.hash(name, position);
    }

    /** The name, or "#" and the position. */
    @Override
    public String toString() {
        return name != null ? name : "#" + position;
    }
}
