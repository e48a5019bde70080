package com.quorix.statistics.client;

import java.util.EnumSet;
import java.util.List;
import java.util.Set;

/** The argument checks the option records share; each refuses with an IllegalArgumentException. */
final class Checks {
    private Checks() {
    }

    static Variable variable(Variable variable, String role) {
        if (variable == null) throw new IllegalArgumentException("the " + role + " is null");
        return variable;
    }

    static List<Variable> variables(List<Variable> variables, String role) {
        if (variables == null || variables.isEmpty()) throw new IllegalArgumentException("no " + role + " given");
        for (Variable variable : variables) variable(variable, role + " entry");
        return List.copyOf(variables);
    }

    static double finite(double value, String what) {
        if (!Double.isFinite(value)) throw new IllegalArgumentException("the " + what + " " + value + " is not finite");
        return value;
    }

    static <E extends Enum<E>> Set<E> options(Set<E> options, String what) {
        if (options == null) throw new IllegalArgumentException("the " + what + " are null");
        for (E option : options) if (option == null) throw new IllegalArgumentException("the " + what + " hold null");
        return options.isEmpty() ? Set.of() : Set.copyOf(EnumSet.copyOf(options));
    }

    static <E extends Enum<E>> E option(E option, String what) {
        if (option == null) throw new IllegalArgumentException("the " + what + " is null");
        return option;
    }
}
