package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.io.IOException;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;

/**
 * Calls the native methods the way the desktop application does and checks the result files
 * against the golden records the C++ tests use. Results go to standard error; standard output
 * carries the library's console lines for the calling script to check.
 * Arguments: scratch directory holding ten.rkd, golden directory.
 */
public final class NativeClientTest {
    private static void expectRun(Path dir, String run, Path golden) throws IOException {
        TestSupport.expectRun(dir, "ten", run, golden);
    }

    private static long resultFiles(Path dir) throws IOException {
        return TestSupport.countFiles(dir, "ten_.*\\.(out|log|xml)");
    }

    private static int[] allVariablesTenFirst() {
        return new int[] {9, 0, 1, 2, 3, 4, 5, 6, 7, 8};
    }

    public static void main(String[] args) throws Exception {
        Path scratch = Paths.get(args[0]).toAbsolutePath();
        Path goldenDir = Paths.get(args[1]);
        StatisticsNative engine = new StatisticsNative();
        String data = scratch.resolve("ten.rkd").toString();

        // 0-based variable numbers arrive 1-based: {9, 0, ...} gives IDs 10, 1, ...
        engine.doDescriptive(data, "all", 10, allVariablesTenFirst(), 0, new int[0]);
        expectRun(scratch, "all", goldenDir.resolve("descriptive/ten_variables.txt"));

        // The case selection arrives unchanged: cases 4, 0 and 2 (listed twice), 77 beyond the file.
        engine.doDescriptive(data, "sel", 2, new int[] {4, 0}, 5, new int[] {4, 0, 2, 2, 77});
        expectRun(scratch, "sel", goldenDir.resolve("descriptive/selection.txt"));

        // Arguments the library must refuse without running anything or crashing; where the
        // path and run name are usable, the refused run's log gives the reason.
        long before = resultFiles(scratch);
        engine.doDescriptive(null, "x1", 1, new int[] {0}, 0, null);
        engine.doDescriptive(data, null, 1, new int[] {0}, 0, null);
        engine.doDescriptive(data, "x2", 2, null, 0, null);
        engine.doDescriptive(data, "x3", 3, new int[] {0, 1}, 0, null);
        engine.doDescriptive(data, "x4", 1, new int[] {0}, 4, new int[] {1, 2});
        engine.doDescriptive(data, "x5", -1, new int[] {0}, 0, null);
        engine.doDescriptive(data, "x6", 1, new int[] {0}, -3, new int[] {1});
        engine.doDescriptive(data, "x7", 1, new int[] {0}, 2, null);
        engine.doDescriptive("/" + "d".repeat(520) + ".rkd", "x8", 1, new int[] {0}, 0, null);
        check(resultFiles(scratch) == before + 18, "refused calls with a usable path leave result files");
        for (int k = 2; k <= 7; ++k)
            check(TestSupport.refusedWithReason(scratch, "ten_x" + k), "refused call x" + k + " logs its reason");

        // Variable numbers outside the file: the run reports them and returns.
        engine.doDescriptive(data, "range", 3, new int[] {0, 10, Integer.MAX_VALUE}, 0, null);
        Path log = scratch.resolve("ten_range.log");
        String logText = TestSupport.readText(log, "");
        check(logText.contains(" Variable number 11 is not in the data file (1 - 10)."), "out-of-range variable logged");

        // Two threads at once on different files give the same files as the calls one at a time.
        List<Thread> threads = new ArrayList<>();
        List<Path> dirs = new ArrayList<>();
        for (int t = 0; t < 4; ++t) {
            Path dir = Files.createDirectories(scratch.resolve("thread" + t));
            Files.copy(scratch.resolve("ten.rkd"), dir.resolve("ten.rkd"));
            dirs.add(dir);
            final String path = dir.resolve("ten.rkd").toString();
            final boolean selection = t % 2 == 1;
            threads.add(new Thread(() -> {
                for (int repeat = 0; repeat < 5; ++repeat) {
                    if (selection) {
                        engine.doDescriptive(path, "sel", 2, new int[] {4, 0}, 5, new int[] {4, 0, 2, 2, 77});
                    } else {
                        engine.doDescriptive(path, "all", 10, allVariablesTenFirst(), 0, null);
                    }
                }
            }));
        }
        for (Thread thread : threads) thread.start();
        for (Thread thread : threads) thread.join();
        for (int t = 0; t < dirs.size(); ++t) {
            String run = t % 2 == 1 ? "sel" : "all";
            String golden = t % 2 == 1 ? "descriptive/selection.txt" : "descriptive/ten_variables.txt";
            expectRun(dirs.get(t), run, goldenDir.resolve(golden));
        }

        TestSupport.finish("java client");
    }
}
