package com.quorix.statistics;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.regex.Matcher;
import java.util.regex.Pattern;

/**
 * What the Java test classes share. Each runs in a JVM of its own, so the counts are per class.
 * Not named *Test: run-java-tests runs every such class as a test.
 */
final class TestSupport {
    private static int passed;
    private static int failed;
    private static int failuresShown = Integer.MAX_VALUE;

    static void check(boolean condition, String what) {
        if (condition) {
            passed++;
        } else {
            failed++;
            if (failed < failuresShown) System.err.println("FAILED: " + what);
        }
    }

    /** The number of checks made so far, and of those that failed. */
    static int checks() {
        return passed + failed;
    }

    static int failures() {
        return failed;
    }

    /** Failures from the limit-th on are counted but not printed (for thousands of calls). */
    static void showFailuresBelow(int limit) {
        failuresShown = limit;
    }

    /** The class's closing line "NAME: N passed, M failed" on standard error, and its exit status. */
    static void finish(String name) {
        System.out.flush();
        System.err.println(name + ": " + passed + " passed, " + failed + " failed");
        System.exit(failed == 0 ? 0 : 1);
    }

    /** The bytes of a file as ISO-8859-1 text, as the library writes it (absent: no such file). */
    static String readText(Path file) throws IOException {
        return new String(Files.readAllBytes(file), StandardCharsets.ISO_8859_1);
    }

    static String readText(Path file, String absent) throws IOException {
        return Files.exists(file) ? readText(file) : absent;
    }

    /**
     * The runs of a golden record, each its sections ("== out", "== log", "== xml", ...) by name; a
     * section named again starts the next run. A section's text is all up to the next marker: a
     * result file without a final newline runs straight into it ("...Done !== log").
     */
    static List<Map<String, String>> goldenRuns(Path golden) throws IOException {
        List<Map<String, String>> runs = new ArrayList<>();
        String text = readText(golden);
        Matcher marker = SECTION.matcher(text);
        String current = null;
        int start = 0;
        while (true) {
            boolean found = marker.find();
            int end = found ? marker.start() : text.length();
            if (current != null) runs.get(runs.size() - 1).put(current, text.substring(start, end));
            if (!found) return runs;
            current = marker.group(1);
            start = marker.end();
            if (runs.isEmpty() || runs.get(runs.size() - 1).containsKey(current)) runs.add(new HashMap<>());
        }
    }

    private static final Pattern SECTION = Pattern.compile("== ([A-Za-z][A-Za-z. ]*)\n");

    /** The sections of a golden record's first run by name. */
    static Map<String, String> goldenSections(Path golden) throws IOException {
        return goldenRuns(golden).get(0);
    }

    /** The text with the directory written as <dir> and the report banner's time as <time>. */
    static String masked(String text, Path dir) {
        return text.replace(dir.toString(), "<dir>").replaceAll(
                "VOR 6\\.1       [A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9]\\d \\d\\d:\\d\\d:\\d\\d \\d{4}",
                "VOR 6.1       <time>");
    }

    /** The result files of run on BASE.rkd in dir, masked, against a golden record; returns its sections. */
    static Map<String, String> expectRun(Path dir, String base, String run, Path golden) throws IOException {
        return expectRun(dir, base, run, goldenSections(golden), golden.toString());
    }

    /** The same against sections of a golden record, what naming them in failures. */
    static Map<String, String> expectRun(Path dir, String base, String run, Map<String, String> expected, String what)
            throws IOException {
        for (String extension : new String[] {"out", "log", "xml"}) {
            Path file = dir.resolve(base + "_" + run + "." + extension);
            boolean exists = Files.exists(file);
            check(exists, file + " exists");
            if (exists) check(masked(readText(file), dir).equals(expected.get(extension)), file + " matches " + what);
        }
        return expected;
    }

    /** A call refused for its arguments: its log names the reason, its document is the prolog alone. */
    static boolean refusedWithReason(Path dir, String base) throws IOException {
        return readText(dir.resolve(base + ".log"), "").startsWith(" Invalid argument: ")
                && !readText(dir.resolve(base + ".xml"), "<RESULT ").contains("<RESULT ")
                && readText(dir.resolve(base + ".out"), "x").isEmpty();
    }

    /** The number of files in dir whose names match the regular expression. */
    static long countFiles(Path dir, String names) throws IOException {
        try (var files = Files.list(dir)) {
            return files.filter(p -> p.getFileName().toString().matches(names)).count();
        }
    }

    /** A finished rkstat: its exit status and its standard output. */
    static final class Run {
        final int status;
        final String output;

        Run(int status, String output) {
            this.status = status;
            this.output = output;
        }
    }

    /** Runs rkstat; its standard error joins the output with mergeErrors, else goes to ours. */
    static Run rkstat(String rkstat, boolean mergeErrors, String... args) throws IOException, InterruptedException {
        List<String> command = new ArrayList<>(List.of(rkstat));
        command.addAll(Arrays.asList(args));
        ProcessBuilder builder = new ProcessBuilder(command);
        if (mergeErrors) builder.redirectErrorStream(true);
        else builder.redirectError(ProcessBuilder.Redirect.INHERIT);
        Process process = builder.start();
        String output = new String(process.getInputStream().readAllBytes(), StandardCharsets.ISO_8859_1);
        return new Run(process.waitFor(), output);
    }
}
