package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.io.IOException;
import java.lang.reflect.Method;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashSet;
import java.util.List;
import java.util.Map;
import java.util.Set;
import java.util.concurrent.CyclicBarrier;

/**
 * The steps of tests/java/golden_calls.txt: data files imported with rkstat, then native method
 * calls and rkstat runs, each against a golden record of the C++ tests; then the native calls all
 * at once from threads of their own. Results go to standard error.
 * Arguments: scratch directory, golden directory, rkstat; or "call", a directory and the fields of
 * a step, to make that step's native call on the data file in the directory (see FILLING).
 */
public final class GoldenCallsTest {
    private static Path scratch;
    private static String rkstat;

    /**
     * The methods that write a filled copy of the data file into the working-data directory,
     * QUORIX_WORK_DIR. Their golden records were made with it naming the data file's directory,
     * where the copy goes beside the data file as BASE_filled.rkd. The library reads it from the
     * environment, one for the whole JVM, so each call of these methods runs in a JVM of its own
     * whose setting names the call's directory: calls at once, each in a directory of its own,
     * never write the same copy, and no copy replaces a data file.
     */
    private static final Set<String> FILLING = Set.of("doMissingMean", "doMissingRegression");

    /**
     * The files beside the data file that sections of a golden record hold besides out, log and
     * xml: the section, the file (BASE: the data file's base name) and how the section shows it,
     * as the file's text, as rkstat info prints it or as rkstat export writes it.
     */
    private static final String[][] WRITTEN = {
        {"filled csv", "BASE_filled.rkd", "export"},
        {"MissingEM.dat", "MissingEM.dat", "text"},
        {"matrix", "Matrix.rkd", "info"},
        {"matrix csv", "Matrix.rkd", "export"},
    };

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

    /** The call of step f in dir: in this JVM, or for FILLING in one of its own. True when it ran. */
    private static boolean perform(StatisticsNative engine, String[] f, Path dir) throws Exception {
        if (!FILLING.contains(f[3])) {
            call(engine, f, dir);
            return true;
        }
        List<String> command = new ArrayList<>(List.of(
                Paths.get(System.getProperty("java.home"), "bin", "java").toString(), "-Xss4m",
                "-Djava.library.path=" + System.getProperty("java.library.path"),
                "-cp", System.getProperty("java.class.path"), GoldenCallsTest.class.getName(), "call", dir.toString()));
        command.addAll(Arrays.asList(f));
        ProcessBuilder builder = new ProcessBuilder(command).inheritIO();
        builder.environment().put("QUORIX_WORK_DIR", dir.toString());
        return builder.start().waitFor() == 0;
    }

    private static void run(String... args) throws Exception {
        check(TestSupport.rkstat(rkstat, false, args).status == 0, "rkstat " + String.join(" ", args));
    }

    /** The sections of a golden run: "NAME.txt" is the record's first run, "NAME.txt#N" its N-th. */
    private static Map<String, String> golden(Path goldenDir, String name) throws IOException {
        String[] parts = name.split("#");
        int run = parts.length > 1 ? Integer.parseInt(parts[1]) - 1 : 0;
        return TestSupport.goldenRuns(goldenDir.resolve(parts[0])).get(run);
    }

    /** A file of WRITTEN as its section shows it. */
    private static String shown(Path file, String how) throws Exception {
        if (how.equals("text")) return TestSupport.readText(file);
        if (how.equals("info")) return TestSupport.rkstat(rkstat, false, "info", file.toString()).output;
        Path csv = file.resolveSibling("written.csv");
        run("export", file.toString(), csv.toString());
        String text = TestSupport.readText(csv);
        Files.delete(csv);
        return text;
    }

    /**
     * The result files of step f in dir against its golden run, and the files of WRITTEN beside the
     * data file against their sections; those the run has no section of must not be there. The
     * files of WRITTEN are then removed for the next step.
     */
    private static void expect(String[] f, Path dir, Path goldenDir, String what) throws Exception {
        Map<String, String> expected = golden(goldenDir, f[0]);
        TestSupport.expectRun(dir, f[1], f[2], expected, what);
        Set<Path> shown = new HashSet<>();
        Set<Path> all = new HashSet<>();
        for (String[] w : WRITTEN) {
            Path file = dir.resolve(w[1].replace("BASE", f[1]));
            all.add(file);
            if (!expected.containsKey(w[0])) continue;
            shown.add(file);
            check(Files.exists(file) && TestSupport.masked(shown(file, w[2]), dir).equals(expected.get(w[0])),
                    what + ": " + w[0]);
        }
        for (Path file : all) {
            check(shown.contains(file) || !Files.exists(file), what + ": no " + file.getFileName());
            Files.deleteIfExists(file);
        }
    }

    public static void main(String[] args) throws Exception {
        if (args[0].equals("call")) {
            call(new StatisticsNative(), Arrays.copyOfRange(args, 2, args.length), Paths.get(args[1]));
            return;
        }
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
                check(perform(engine, f, scratch), line + ": the call");
                calls.add(f);
            }
            expect(f, scratch, goldenDir, line);
        }

        // All the native calls again, at once, each on a copy of its data file in a directory of
        // its own: the library serializes the calls in this JVM, so each still gives its golden
        // record; the FILLING calls run meanwhile in JVMs of their own.
        CyclicBarrier start = new CyclicBarrier(calls.size());
        List<Thread> threads = new ArrayList<>();
        boolean[] ran = new boolean[calls.size()];
        for (int i = 0; i < calls.size(); ++i) {
            String[] f = calls.get(i);
            int index = i;
            Path dir = Files.createDirectories(scratch.resolve("at-once").resolve(f[1] + "_" + f[2]));
            Files.copy(scratch.resolve(f[1] + ".rkd"), dir.resolve(f[1] + ".rkd"));
            threads.add(new Thread(() -> {
                try {
                    start.await();
                    ran[index] = perform(engine, f, dir);
                } catch (Exception e) {
                    throw new RuntimeException(e);
                }
            }));
        }
        for (Thread thread : threads) thread.start();
        for (Thread thread : threads) thread.join();
        for (int i = 0; i < calls.size(); ++i) {
            String[] f = calls.get(i);
            String what = "at once: " + String.join(" ", f);
            check(ran[i], what + ": the call");
            expect(f, scratch.resolve("at-once").resolve(f[1] + "_" + f[2]), goldenDir, what);
        }
        TestSupport.finish("golden calls");
    }
}
