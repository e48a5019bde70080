package com.quorix.statistics.client;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.Collections;
import java.util.List;
import java.util.Optional;

/**
 * The outcome of one analysis run: its three result files, whether it succeeded and, when it did
 * not, why. Success is read from the result files: the run succeeded when the analysis's
 * completion mark is there (a line such as "T-TEST DONE !" on the log, or the closing of the
 * analysis's table in the result document). The failure message is what the run wrote on its log
 * besides the frame's opening lines (the "Open success" line and the list of variable names), for
 * example "The grouping variable has more than two values!"; each line stripped of surrounding
 * blanks, several lines joined by a newline. A few failures are told on the console (standard
 * output) only; the message then says so.
 */
public final class RunResult {
    /** The message of a failed run whose log gives no reason. */
    public static final String NO_REASON_ON_LOG =
            "the run ended without its results and its log gives no reason (see the standard output)";
    /** The message of a run whose result files are missing. */
    public static final String NO_RESULT_FILES = "the run did not create its result files (see the standard output)";

    /** The value the engine writes for a case without a result. */
    private static final double SYSTEM_MISSING = 1e35;

    private final Path report;
    private final Path log;
    private final Path document;
    private final boolean succeeded;
    private final List<String> logMessages;
    private final String failureMessage;
    private final double[][] results;

    private RunResult(Path report, Path log, Path document, boolean succeeded, List<String> logMessages,
            String failureMessage, double[][] results) {
        this.report = report;
        this.log = log;
        this.document = document;
        this.succeeded = succeeded;
        this.logMessages = logMessages;
        this.failureMessage = failureMessage;
        this.results = results;
    }

    /**
     * Reads the outcome of a finished run from its files; results are the arrays the native method
     * filled (null for none), their missing-value entries made NaN.
     */
    static RunResult read(Analysis analysis, Run run, double[][] results) {
        if (results != null)
            for (double[] array : results)
                for (int i = 0; i < array.length; ++i)
                    if (array[i] == SYSTEM_MISSING) array[i] = Double.NaN;
        Path report = run.resultFile("out");
        Path log = run.resultFile("log");
        Path document = run.resultFile("xml");
        String logText;
        String documentText;
        try {
            logText = Files.readString(log, StandardCharsets.ISO_8859_1);
            documentText = Files.readString(document, StandardCharsets.ISO_8859_1);
        } catch (IOException e) {
            return new RunResult(report, log, document, false, List.of(), NO_RESULT_FILES, results);
        }
        List<String> lines = new ArrayList<>(Arrays.asList(logText.split("\n", -1)));
        if (!lines.isEmpty() && lines.get(0).startsWith(" Open success, ")) {
            // The opening line and the names, six to a line.
            int nameLines = Math.max(1, (run.data().variables().size() + 5) / 6);
            lines.subList(0, Math.min(lines.size(), 1 + nameLines)).clear();
        }
        List<String> messages = new ArrayList<>();
        boolean marked = analysis.completionMarks().stream()
                .anyMatch(mark -> (analysis.markOnLog() ? logText : documentText).contains(mark));
        for (String line : lines) {
            String text = line.strip();
            if (!text.isEmpty() && !analysis.completionMarks().contains(text)) messages.add(text);
        }
        String failure = marked ? null : messages.isEmpty() ? NO_REASON_ON_LOG : String.join("\n", messages);
        return new RunResult(report, log, document, marked, Collections.unmodifiableList(messages), failure, results);
    }

    /**
     * The text report ({@code .out}).
     *
     * @return its path
     */
    public Path report() {
        return report;
    }

    /**
     * The log ({@code .log}).
     *
     * @return its path
     */
    public Path log() {
        return log;
    }

    /**
     * The XML result document ({@code .xml}).
     *
     * @return its path
     */
    public Path document() {
        return document;
    }

    /**
     * Whether the analysis ran to its end.
     *
     * @return true when it did
     */
    public boolean succeeded() {
        return succeeded;
    }

    /**
     * Why the run failed.
     *
     * @return the message, empty when the run succeeded
     */
    public Optional<String> failureMessage() {
        return Optional.ofNullable(failureMessage);
    }

    /**
     * The lines the run wrote on its log besides the frame's opening lines and the completion mark,
     * each stripped; a successful run may have some (a correlation names the text variables it left
     * out).
     *
     * @return an unmodifiable list, often empty
     */
    public List<String> logMessages() {
        return logMessages;
    }

    /**
     * The fitted values of a regression or stepwise regression: one entry per case of the data
     * file, NaN for a case the model did not use (left out by the case selection or missing a
     * value), all NaN when the run reported no model.
     *
     * @return a copy of the array, empty for the other analyses
     */
    public Optional<double[]> fittedValues() {
        return results == null ? Optional.empty() : Optional.of(results[0].clone());
    }

    /**
     * The residuals of a regression or stepwise regression (observed minus fitted), one entry per
     * case of the data file, NaN where {@link #fittedValues()} is NaN.
     *
     * @return a copy of the array, empty for the other analyses
     */
    public Optional<double[]> residuals() {
        return results == null ? Optional.empty() : Optional.of(results[1].clone());
    }

    /** The outcome and the three paths. */
    @Override
    public String toString() {
        return (succeeded ? "succeeded" : "failed: " + failureMessage) + " (" + report + ", " + log + ", " + document
                + ")";
    }
}
