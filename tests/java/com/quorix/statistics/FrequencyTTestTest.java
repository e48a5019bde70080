package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.io.IOException;
import java.nio.file.Path;
import java.nio.file.Paths;

/**
 * Frequency tables and the four t-tests through the native methods, and through rkstat run,
 * against the golden records of the C++ tests. The data files are imported with rkstat from the
 * CSV files beside the golden records, as the C++ tests import them.
 * Arguments: scratch directory, golden directory, rkstat executable.
 */
public final class FrequencyTTestTest {
    private static Path scratch;
    private static Path goldenDir;
    private static String rkstat;

    /** The result files of data file base_run.* against one golden record. */
    private static void expectRun(String base, String run, String golden) throws IOException {
        TestSupport.expectRun(scratch, base, run, goldenDir.resolve(golden));
    }

    private static int rkstat(String... args) throws IOException, InterruptedException {
        return TestSupport.rkstat(rkstat, true, args).status;
    }

    private static long resultFiles() throws IOException {
        return TestSupport.countFiles(scratch, ".*_.*\\.(out|log|xml)");
    }

    public static void main(String[] args) throws Exception {
        scratch = Paths.get(args[0]).toAbsolutePath();
        goldenDir = Paths.get(args[1]).toAbsolutePath();
        rkstat = args[2];
        String grades = scratch.resolve("grades.rkd").toString();
        String groups = scratch.resolve("groups.rkd").toString();
        check(rkstat("import", goldenDir.resolve("frequency/grades.csv").toString(), grades, "--missing", "grade=9",
                "--labels", "grade=1:low,2:mid,3:high", "--range", "score=10:20") == 0, "grades.rkd imported");
        check(rkstat("import", goldenDir.resolve("ttest/groups.csv").toString(), groups, "--missing", "x=99") == 0,
                "groups.rkd imported");
        StatisticsNative engine = new StatisticsNative();

        // Variables are 0-based here: grade 0, score 1; x 0, y 1, g 2, g3 3, gm 4, one 5, e 6.
        // Runs and their golden records; the last four stop early.
        Object[][] runs = {
            {"grades", "labels", "frequency/labels.txt", (Runnable) () -> engine.doFrequency(grades, "labels", 2, new int[] {0, 1}, 1, 0, new int[0])},
            {"grades", "sel", "frequency/selection.txt", (Runnable) () -> engine.doFrequency(grades, "sel", 2, new int[] {0, 1}, 1, 6, new int[] {0, 2, 4, 6, 6, 30})},
            {"grades", "plain", "frequency/plain.txt", (Runnable) () -> engine.doFrequency(grades, "plain", 1, new int[] {1}, 0, 0, null)},
            {"groups", "one", "ttest/one_sample.txt", (Runnable) () -> engine.doOneSample(groups, "one", 0, 5.0, 8, new int[] {0, 1, 2, 3, 4, 8, 9, 41})},
            {"groups", "paired", "ttest/paired.txt", (Runnable) () -> engine.doPairedSample(groups, "paired", 0, 1, 0.5, 0, null)},
            {"groups", "independent", "ttest/independent.txt", (Runnable) () -> engine.doIndependentSample(groups, "independent", 0, 2, 0.0, 0, null)},
            {"groups", "matched", "ttest/matched.txt", (Runnable) () -> engine.doMatchedSample(groups, "matched", 1, 2, -0.2, 0, null)},
            {"groups", "empty", "ttest/one_sample_empty.txt", (Runnable) () -> engine.doOneSample(groups, "empty", 6, 0.0, 0, null)},
            {"groups", "three", "ttest/independent_three.txt", (Runnable) () -> engine.doIndependentSample(groups, "three", 0, 3, 0.0, 0, null)},
            {"groups", "constant", "ttest/matched_constant.txt", (Runnable) () -> engine.doMatchedSample(groups, "constant", 1, 5, 0.0, 0, null)},
            {"groups", "unequal", "ttest/matched_unequal.txt", (Runnable) () -> engine.doMatchedSample(groups, "unequal", 1, 4, 0.0, 0, null)},
        };
        for (Object[] run : runs) {
            ((Runnable) run[3]).run();
            expectRun((String) run[0], (String) run[1], (String) run[2]);
        }

        // rkstat run goes through the same frames.
        String[][] cli = {
            {"frequency", grades, "--run", "labels", "--vars", "grade,score", "--describe", "1"},
            {"one-sample", groups, "--run", "one", "--vars", "x", "--test", "5", "--select", "0,1,2,3,4,8,9,41"},
            {"paired", groups, "--run", "paired", "--vars", "x,y", "--test", "0.5"},
            {"independent", groups, "--run", "independent", "--vars", "x", "--group", "g"},
            {"matched", groups, "--run", "matched", "--vars", "2", "--group", "g", "--test", "-0.2"},
        };
        String[] goldens = {"frequency/labels.txt", "ttest/one_sample.txt", "ttest/paired.txt",
            "ttest/independent.txt", "ttest/matched.txt"};
        for (int i = 0; i < cli.length; ++i) {
            String[] command = new String[cli[i].length + 1];
            command[0] = "run";
            System.arraycopy(cli[i], 0, command, 1, cli[i].length);
            check(rkstat(command) == 0, "rkstat run " + cli[i][0] + " exits 0");
            expectRun(cli[i][1].endsWith("grades.rkd") ? "grades" : "groups", cli[i][3], goldens[i]);
        }
        check(rkstat("run", "independent", groups, "--run", "cli3", "--vars", "x", "--group", "g3") == 1,
                "rkstat run exits 1 when the grouping variable has three values");
        check(rkstat("run", "paired", groups, "--run", "cli4", "--vars", "x") == 2,
                "rkstat run refuses a paired test of one variable");

        // Refused arguments: nothing runs; with a usable path and run name the log says why.
        long before = resultFiles();
        engine.doFrequency(null, "r1", 1, new int[] {0}, 0, 0, null);
        engine.doFrequency(grades, "r2", 2, new int[] {0}, 0, 0, null);
        engine.doOneSample(grades, null, 0, 0.0, 0, null);
        engine.doPairedSample(groups, "r3", 0, 1, 0.0, -1, null);
        engine.doIndependentSample(groups, "r4", 0, 2, 0.0, 3, new int[] {1});
        engine.doMatchedSample("/" + "d".repeat(520) + ".rkd", "r5", 0, 2, 0.0, 0, null);
        check(resultFiles() == before + 9, "refused calls leave the result files of a failed run");
        for (String base : new String[] {"grades_r2", "groups_r3", "groups_r4"})
            check(TestSupport.refusedWithReason(scratch, base), base + " logs its reason");

        // Variable numbers outside the file end the runs (other hostile values: TortureTest).
        engine.doIndependentSample(groups, "h3", 0, 99, 1e308, 0, null);
        engine.doFrequency(groups, "h5", 2, new int[] {0, 99}, 0, 2, new int[] {-1, Integer.MAX_VALUE});
        String log = TestSupport.readText(scratch.resolve("groups_h3.log"));
        check(log.contains(" Variable number 100 is not in the data file (1 - 7)."), "out-of-range group logged");
        check(TestSupport.readText(scratch.resolve("groups_h5.log")).contains("FREQUENCY TABLES DONE !"),
                "frequency over a variable outside the file ends");

        TestSupport.finish("frequency and t-tests");
    }
}
