package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.Map;

/**
 * doCorrelation as the desktop application calls it, and rkstat run correlation, against the
 * golden records of the C++ tests: listwise covariances with the default (null) options, pairwise
 * correlations, alpha, and the matrix file. Arguments: scratch directory, golden directory, rkstat.
 */
public final class CorrelationTest {
    private static Path scratch;
    private static String rkstat;
    private static String goldenDir;

    private static String read(Path file) throws IOException {
        return TestSupport.masked(TestSupport.readText(file, "<no file>"), scratch);
    }

    /** Runs rkstat and returns its standard output. */
    private static String rkstat(String... args) throws IOException, InterruptedException {
        TestSupport.Run run = TestSupport.rkstat(rkstat, false, args);
        check(run.status == 0, "rkstat " + String.join(" ", args));
        return run.output;
    }

    private static void expectRun(String run, String golden) throws IOException, InterruptedException {
        Map<String, String> expected =
                TestSupport.expectRun(scratch, "corr", run, Paths.get(goldenDir, "correlation", golden));
        if (expected.containsKey("matrix")) {
            Path matrix = scratch.resolve("Matrix.rkd");
            check(TestSupport.masked(rkstat("info", matrix.toString()), scratch).equals(expected.get("matrix")),
                    run + ": rkstat info of the matrix file");
            Path csv = scratch.resolve("matrix.csv");
            rkstat("export", matrix.toString(), csv.toString());
            check(read(csv).equals(expected.get("matrix csv")), run + ": the matrix file's values");
            Files.delete(matrix);
        }
    }

    public static void main(String[] args) throws Exception {
        scratch = Paths.get(args[0]).toAbsolutePath();
        goldenDir = args[1];
        rkstat = args[2];
        String data = scratch.resolve("corr.rkd").toString();
        rkstat("import", Paths.get(goldenDir, "correlation", "missing.csv").toString(), data, "--missing", "length=99",
                "--missing-range", "weight=-9:-1", "--missing", "rate=97,98");
        StatisticsNative engine = new StatisticsNative();
        int[] all = {0, 1, 2, 3};

        // Null option strings select listwise covariances.
        engine.doCorrelation(data, "default", 4, all, null, null, false, false, 0, new int[0]);
        expectRun("default", "listwise_covariance.txt");
        // Letter case does not matter.
        engine.doCorrelation(data, "pair", 4, all, "PAIR", "Corr", false, false, 0, null);
        expectRun("pair", "pairwise_correlation.txt");
        engine.doCorrelation(data, "alpha", 4, all, "complete", "cov", true, false, 0, null);
        expectRun("alpha", "alpha.txt");
        engine.doCorrelation(data, "matrix", 4, all, "pair", null, false, true, 0, null);
        expectRun("matrix", "matrix_file.txt");

        // rkstat run writes the same files.
        rkstat("run", "correlation", data, "--run", "cli", "--vars", "1,2,3,4", "--processing", "pair", "--write-matrix", "yes");
        expectRun("cli", "matrix_file.txt");

        // A word that is not an option stops the run before its result element.
        engine.doCorrelation(data, "pairs", 4, all, "pairs", null, false, false, 0, null);
        check(read(scratch.resolve("corr_pairs.log")).contains("\n error options!\n"), "pairs is refused");
        check(!read(scratch.resolve("corr_pairs.xml")).contains("<RESULT "), "no result element after a bad option");

        // A refused call logs its reason; a flag-form selection keeps the cases flagged 1.
        engine.doCorrelation(data, "refused", 4, new int[] {0, 1}, null, null, false, false, 0, null);
        check(TestSupport.refusedWithReason(scratch, "corr_refused"), "a list shorter than its count is refused");
        int[] flags = new int[14];
        Arrays.fill(flags, 1);
        flags[0] = 0;
        flags[13] = 0;
        engine.doCorrelation(data, "selected", 4, all, null, null, false, false, 14, flags);
        check(read(scratch.resolve("corr_selected.out")).contains("analysis are ..      5\n"), "selection by flags");

        TestSupport.finish("correlation");
    }
}
