package com.quorix.statistics;

import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;
import java.util.concurrent.CyclicBarrier;
import java.util.function.BiConsumer;

/**
 * Java threads calling different native methods at once, each on its own data file, get the same
 * result files as the same calls made one at a time: the library serializes them.
 * Arguments: scratch directory, golden directory (the sample data lies two levels above it), rkstat.
 */
public final class ConcurrencyTest {
    private static final int ROUNDS = 3;

    /** One call: a name and what it does with the engine, a data file path and a run name. */
    private record Call(String name, BiConsumer<String, String> run) {
    }

    /** The three result files of a run, with the directory and the banner time masked. */
    private static String results(Path dir, String run) throws Exception {
        StringBuilder text = new StringBuilder();
        for (String extension : new String[] {"out", "log", "xml"}) {
            Path file = dir.resolve("tooth_" + run + "." + extension);
            text.append("== ").append(extension).append('\n').append(TestSupport.readText(file, "<no file>\n"));
        }
        return TestSupport.masked(text.toString(), dir);
    }

    public static void main(String[] args) throws Exception {
        Path scratch = Paths.get(args[0]).toAbsolutePath();
        Path data = Paths.get(args[1]).toAbsolutePath().getParent().getParent().resolve("data");
        String rkstat = args[2];
        Path sample = scratch.resolve("tooth.rkd");
        TestSupport.check(TestSupport.rkstat(rkstat, true, "import", data.resolve("toothgrowth.csv").toString(),
                sample.toString(), "--labels", "supp=1:OJ,2:VC").status == 0, "rkstat import of the sample data");

        StatisticsNative engine = new StatisticsNative();
        int[] none = new int[0];
        // Variables: 0 len, 1 supp, 2 dose.
        List<Call> calls = List.of(
                new Call("descriptive", (p, r) -> engine.doDescriptive(p, r, 3, new int[] {0, 1, 2}, 0, none)),
                new Call("frequency", (p, r) -> engine.doFrequency(p, r, 2, new int[] {1, 2}, 1, 0, none)),
                new Call("one-sample", (p, r) -> engine.doOneSample(p, r, 0, 18.0, 0, none)),
                new Call("paired", (p, r) -> engine.doPairedSample(p, r, 0, 2, 0.0, 0, none)),
                new Call("independent", (p, r) -> engine.doIndependentSample(p, r, 0, 1, 0.0, 0, none)),
                new Call("matched", (p, r) -> engine.doMatchedSample(p, r, 0, 1, 0.0, 0, none)),
                new Call("crosstab", (p, r) -> engine.doCrosstabTwo(p, r, 1, 2, 0x1111, 0, none)),
                new Call("crosstab3", (p, r) -> engine.doCrosstabThree(p, r, 1, 2, 1, 0, 0, none)),
                new Call("anova1", (p, r) -> engine.doAnovaOne(p, r, 0, 2, 0, none)),
                new Call("anova2", (p, r) -> engine.doAnovaTwo(p, r, 0, 1, 2, 0, none)),
                new Call("correlation", (p, r) -> engine.doCorrelation(p, r, 3, new int[] {0, 1, 2}, "pair", "corr",
                        true, true, 0, none)),
                new Call("regression", (p, r) -> engine.doRegression(p, r, 0, 2, new int[] {1, 2}, true,
                        new double[60], new double[60], 1, 0, none)),
                new Call("stepwise", (p, r) -> engine.doRegressionStep(p, r, 0, 2, new int[] {1, 2}, true, -1.0,
                        false, null, null, 0, none)));

        // One at a time, each in a directory of its own.
        List<String> expected = new ArrayList<>();
        for (Call call : calls) {
            Path dir = Files.createDirectories(scratch.resolve("one-at-a-time").resolve(call.name()));
            Files.copy(sample, dir.resolve("tooth.rkd"));
            call.run().accept(dir.resolve("tooth.rkd").toString(), "r");
            expected.add(results(dir, "r"));
            TestSupport.check(Files.exists(dir.resolve("tooth_r.xml")), call.name() + " ran");
        }

        // All at once, several rounds, started together.
        CyclicBarrier start = new CyclicBarrier(calls.size());
        List<Thread> threads = new ArrayList<>();
        List<Path> dirs = new ArrayList<>();
        for (Call call : calls) {
            Path dir = Files.createDirectories(scratch.resolve("at-once").resolve(call.name()));
            Files.copy(sample, dir.resolve("tooth.rkd"));
            dirs.add(dir);
            threads.add(new Thread(() -> {
                try {
                    for (int round = 0; round < ROUNDS; ++round) {
                        start.await();
                        call.run().accept(dir.resolve("tooth.rkd").toString(), "r" + round);
                    }
                } catch (Exception e) {
                    throw new RuntimeException(e);
                }
            }));
        }
        for (Thread thread : threads) thread.start();
        for (Thread thread : threads) thread.join();
        for (int i = 0; i < calls.size(); ++i)
            for (int round = 0; round < ROUNDS; ++round)
                TestSupport.check(
                        results(dirs.get(i), "r" + round).replace("tooth_r" + round, "tooth_r").equals(expected.get(i)),
                        calls.get(i).name() + " round " + round + " matches the call made alone");

        TestSupport.finish("concurrency");
    }
}
