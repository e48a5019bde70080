package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.lang.reflect.Method;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.List;
import java.util.Map;
import java.util.concurrent.CyclicBarrier;

/**
 * The steps of tests/java/golden_calls.txt: data files imported with rkstat, then native method
 * calls and rkstat runs, each against a golden record of the C++ tests; then the native calls all
 * at once from threads of their own. Results go to standard error.
 * Arguments: scratch directory, golden directory, rkstat.
 */
public final class GoldenCallsTest {
    private static Path scratch;
    private static String rkstat;

    /** A native method's argument of the parameter's type from its text; "-" is null. */
    private static Object argument(Class<?> type, String text) {
        if (text.equals("-")) return null;
        if (type == int.class) return Integer.parseInt(text);
        if (type == double.class) return Double.parseDouble(text);
        if (type == boolean.class) return Boolean.parseBoolean(text);
        if (type == int[].class)
            return text.equals("[]") ? new int[0] : Arrays.stream(text.split(",")).mapToInt(Integer::parseInt).toArray();
        return text;
    }

    /** The native method of step f on its data file in dir. */
    private static void call(StatisticsNative engine, String[] f, Path dir) throws Exception {
        Method method = Arrays.stream(StatisticsNative.class.getMethods())
                .filter(m -> m.getName().equals(f[3])).findFirst().orElseThrow();
        Class<?>[] types = method.getParameterTypes();
        Object[] values = new Object[types.length];
        values[0] = dir.resolve(f[1] + ".rkd").toString();
        values[1] = f[2];
        for (int i = 2; i < types.length; ++i) values[i] = argument(types[i], f[i + 2]);
        method.invoke(engine, values);
    }

    private static void run(String... args) throws Exception {
        check(TestSupport.rkstat(rkstat, false, args).status == 0, "rkstat " + String.join(" ", args));
    }

    /**
     * A run that writes the matrix file has its rkstat info in the golden record; the C++ tests
     * check the file's contents, this that the call asked for it.
     */
    private static void expectMatrix(Map<String, String> expected, String what) throws Exception {
        Path matrix = scratch.resolve("Matrix.rkd");
        check(Files.exists(matrix) == expected.containsKey("matrix"), what + ": the matrix file");
        Files.deleteIfExists(matrix);
    }

    public static void main(String[] args) throws Exception {
        scratch = Paths.get(args[0]).toAbsolutePath();
        Path goldenDir = Paths.get(args[1]).toAbsolutePath();
        rkstat = args[2];
        Path tests = goldenDir.getParent();
        StatisticsNative engine = new StatisticsNative();
        List<String[]> calls = new ArrayList<>();
        for (String line : Files.readAllLines(tests.resolve("java/golden_calls.txt"))) {
            if (line.isEmpty() || line.startsWith("#")) continue;
            String[] f = line.split(" ");
            if (f[0].equals("import")) {
                List<String> command = new ArrayList<>(List.of("import",
                        (f[2].startsWith("data/") ? tests.getParent() : tests).resolve(f[2]).toString(),
                        scratch.resolve(f[1] + ".rkd").toString()));
                command.addAll(Arrays.asList(f).subList(3, f.length));
                run(command.toArray(new String[0]));
                continue;
            }
            String data = scratch.resolve(f[1] + ".rkd").toString();
            if (f[3].equals("rkstat")) {
                String[] command = Arrays.copyOfRange(f, 4, f.length);
                for (int i = 0; i < command.length; ++i) if (command[i].equals("DATA")) command[i] = data;
                run(command);
            } else {
                call(engine, f, scratch);
                calls.add(f);
            }
            expectMatrix(TestSupport.expectRun(scratch, f[1], f[2], goldenDir.resolve(f[0])), line);
        }

        // All the native calls again, at once, each in a directory of its own: the library
        // serializes them, so each still gives its golden record.
        CyclicBarrier start = new CyclicBarrier(calls.size());
        List<Thread> threads = new ArrayList<>();
        for (String[] f : calls) {
            Path dir = Files.createDirectories(scratch.resolve("at-once").resolve(f[1] + "_" + f[2]));
            Files.copy(scratch.resolve(f[1] + ".rkd"), dir.resolve(f[1] + ".rkd"));
            threads.add(new Thread(() -> {
                try {
                    start.await();
                    call(engine, f, dir);
                } catch (Exception e) {
                    throw new RuntimeException(e);
                }
            }));
        }
        for (Thread thread : threads) thread.start();
        for (Thread thread : threads) thread.join();
        for (String[] f : calls)
            TestSupport.expectRun(scratch.resolve("at-once").resolve(f[1] + "_" + f[2]), f[1], f[2],
                    goldenDir.resolve(f[0]));
        TestSupport.finish("golden calls");
    }
}
