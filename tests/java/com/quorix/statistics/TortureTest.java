package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.io.IOException;
import java.lang.reflect.InvocationTargetException;
import java.lang.reflect.Method;
import java.lang.reflect.Modifier;
import java.nio.ByteBuffer;
import java.nio.ByteOrder;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.LinkOption;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.LinkedHashMap;
import java.util.List;
import java.util.Map;
import java.util.Random;
import java.util.zip.CRC32;

/**
 * Calls every wired native method thousands of times with hostile arguments on hostile data
 * files. The JVM must survive every call, each call must leave its result files in the frame's
 * form, and no data file may change. Methods are found by reflection, so a newly wired analysis
 * is covered without changes here. Where the system has /dev/full, one call in eight finds one of
 * its result files there (a link to the full device): the write failure must be survived and the
 * file that could not be written must be gone afterwards.
 * Arguments: scratch directory, golden directory (unused), rkstat path.
 * System properties: torture.calls (calls per method, default 300), torture.seed.
 */
public final class TortureTest {
    private static final String PROLOG = "<?xml version=\"1.0\" standalone=\"yes\"?>\n"
            + "<?xml-stylesheet type=\"text/xsl\" href=\"drelt.xsl\"?>\n<RESULTS>\n";
    private static final int VARIABLES = 7;
    private static final int CASES = 40;

    private static final Random random = new Random(Long.getLong("torture.seed", 20261205L));

    // ---- data files -------------------------------------------------------------------------

    /** The sample file's CSV: numbers, a categorical variable, constants, gaps and text. */
    private static String sampleCsv() {
        StringBuilder csv = new StringBuilder("x,group,constant,gaps,many,text,y\n");
        for (int c = 0; c < CASES; ++c) {
            csv.append(c * 1.5 - 7).append(',').append(c % 3 + 1).append(",4,")
                    .append(c % 4 == 0 ? "" : Integer.toString(c)).append(',').append(c * 37 % 101).append(',')
                    .append("t").append(c % 5).append(',').append(c % 2 == 0 ? 1e35 : c * 0.25).append('\n');
        }
        return csv.toString();
    }

    private static void rkstat(String rkstat, String... args) throws IOException, InterruptedException {
        if (TestSupport.rkstat(rkstat, true, args).status != 0)
            throw new IOException("rkstat " + String.join(" ", args) + " failed");
    }

    /** Byte offsets of long.rkd (33-byte names, one label set of 588 bytes); all numeric but text, width 2. */
    private static final int MAGIC = 176 + VARIABLES * 33 + 588;

    /** Descriptor of variable v (0-based). */
    private static int descriptor(int v) {
        int position = MAGIC + 8;
        for (int k = 0; k < v; ++k) position += 48 + (k == 5 ? 2 : 8) * CASES;
        return position;
    }

    private static ByteBuffer little(byte[] bytes) {
        return ByteBuffer.wrap(bytes).order(ByteOrder.LITTLE_ENDIAN);
    }

    private static Map<String, byte[]> hostileFiles(Path scratch, String rkstat) throws Exception {
        Path csv = scratch.resolve("sample.csv");
        Files.writeString(csv, sampleCsv());
        rkstat(rkstat, "import", csv.toString(), scratch.resolve("long.rkd").toString(), "--labels",
                "group=1:one,2:two,3:three", "--missing", "gaps=7,9", "--range", "x=-5:40");
        rkstat(rkstat, "import", csv.toString(), scratch.resolve("short.rkd").toString(), "--short", "--labels",
                "group=1:one,2:two");
        byte[] base = Files.readAllBytes(scratch.resolve("long.rkd"));
        byte[] shortLayout = Files.readAllBytes(scratch.resolve("short.rkd"));

        Map<String, byte[]> files = new LinkedHashMap<>();
        files.put("base", base);
        files.put("short", shortLayout);
        byte[] unknown = base.clone();
        unknown[90] = 'Q';
        files.put("unknown-signature", unknown);

        // Non-finite and extreme values in the first variable's column.
        byte[] extremes = base.clone();
        double[] specials = {Double.NaN, Double.POSITIVE_INFINITY, Double.NEGATIVE_INFINITY, 1e308, -1e308, -0.0,
                1e35, -1e35, Double.MIN_VALUE, 0};
        int column = descriptor(0) + 48;
        for (int c = 0; c < CASES; ++c) little(extremes).putDouble(column + 8 * c, specials[c % specials.length]);
        files.put("extremes", extremes);

        // Every value of every numeric column missing.
        byte[] missing = base.clone();
        for (int v = 0; v < VARIABLES; ++v) {
            if (v == 5) continue;
            for (int c = 0; c < CASES; ++c) little(missing).putDouble(descriptor(v) + 48 + 8 * c, 1e35);
        }
        files.put("all-missing", missing);

        // Every variable declared alphanumeric.
        byte[] text = base.clone();
        for (int v = 0; v < VARIABLES; ++v) little(text).putShort(descriptor(v) + 2, (short) 1);
        files.put("all-text", text);

        // Cut at every section boundary and inside columns.
        int[] cuts = {0, 1, 100, 175, 176, 176 + 33, MAGIC - 1, MAGIC, MAGIC + 4,
                descriptor(0), descriptor(0) + 20, descriptor(0) + 48 + 13, descriptor(3),
                descriptor(6) + 48 + 8 * CASES - 1};
        for (int cut : cuts) files.put("cut-" + cut, Arrays.copyOf(base, cut));

        // Header counts huge, zero, negative and off by one; descriptor widths and kinds.
        int[][] patches = {
            {120, Integer.MAX_VALUE}, {120, 0}, {120, -1}, {120, VARIABLES + 1}, {120, VARIABLES - 1},
            {124, Integer.MAX_VALUE}, {124, 0}, {124, -5}, {124, CASES + 1}, {124, 1},
            {144, Integer.MAX_VALUE}, {144, -3}, {144, 0}, {144, 2},
            {descriptor(0) + 8, 0}, {descriptor(0) + 8, -8}, {descriptor(0) + 8, Integer.MAX_VALUE},
            {descriptor(1) + 8, 4}, {descriptor(5) + 8, 16},
            {176 + VARIABLES * 33 + 576, 1000}, {176 + VARIABLES * 33 + 580, -7}, {176 + VARIABLES * 33 + 580, 99},
        };
        for (int[] patch : patches) {
            byte[] patched = base.clone();
            little(patched).putInt(patch[0], patch[1]);
            files.put("int-" + patch[0] + "=" + patch[1], patched);
        }
        byte[] kinds = base.clone();
        little(kinds).putDouble(descriptor(0) + 40, Double.NaN);
        little(kinds).putDouble(descriptor(1) + 40, 1e300);
        little(kinds).putDouble(descriptor(2) + 40, 4);
        little(kinds).putDouble(descriptor(2) + 24, Double.NaN);
        files.put("odd-missing-kinds", kinds);

        // One case: the header says 1 and every column is one value long.
        Path oneCsv = scratch.resolve("one.csv");
        Files.writeString(oneCsv, "a,b,c\n1,2,3\n");
        rkstat(rkstat, "import", oneCsv.toString(), scratch.resolve("one.rkd").toString());
        files.put("one-case", Files.readAllBytes(scratch.resolve("one.rkd")));

        // A categorical variable with a huge number of categories.
        StringBuilder many = new StringBuilder("id,category,value\n");
        for (int c = 0; c < 3000; ++c) many.append(c).append(',').append(c % 1500).append(',').append(c * 0.5).append('\n');
        Path manyCsv = scratch.resolve("many.csv");
        Files.writeString(manyCsv, many.toString());
        rkstat(rkstat, "import", manyCsv.toString(), scratch.resolve("many.rkd").toString());
        files.put("many-categories", Files.readAllBytes(scratch.resolve("many.rkd")));

        // Arbitrary bytes.
        byte[] noise = new byte[2000];
        random.nextBytes(noise);
        files.put("noise", noise);
        return files;
    }

    // ---- arguments ----------------------------------------------------------------------------

    private static final int[] HOSTILE_INTS = {-1, 0, 1, 2, 3, 5, 6, 7, 8, 100, -100, Integer.MIN_VALUE,
            Integer.MAX_VALUE, Integer.MAX_VALUE - 1};
    private static final double[] HOSTILE_DOUBLES = {0, 1, -2.5, Double.NaN, Double.POSITIVE_INFINITY,
            Double.NEGATIVE_INFINITY, 1e308, -1e308, -0.0, 1e35, Double.MIN_VALUE, 0.05};
    private static final String[] HOSTILE_STRINGS = {null, "", "complete", "pair", "PAIR", "pairs", "corr", "cov",
            "COV", "varimax", "none", "x".repeat(700), "\u00e9\u00e8", "%s%s%n"};

    private static int anInt() {
        return random.nextInt(3) == 0 ? random.nextInt(12) - 2 : HOSTILE_INTS[random.nextInt(HOSTILE_INTS.length)];
    }

    private static int[] anIntArray() {
        switch (random.nextInt(6)) {
        case 0:
            return null;
        case 1:
            return new int[0];
        default:
            int[] values = new int[random.nextInt(12)];
            for (int i = 0; i < values.length; ++i) values[i] = random.nextInt(4) == 0 ? anInt() : random.nextInt(8);
            return values;
        }
    }

    private static Object argument(Class<?> type, int index, String path, String run) {
        if (type == String.class) {
            if (index == 0) return path;
            if (index == 1) return run;
            return HOSTILE_STRINGS[random.nextInt(HOSTILE_STRINGS.length)];
        }
        if (type == int.class) return anInt();
        if (type == int[].class) return anIntArray();
        if (type == double.class) return HOSTILE_DOUBLES[random.nextInt(HOSTILE_DOUBLES.length)];
        if (type == boolean.class) return random.nextBoolean();
        if (type == double[].class) {
            int choice = random.nextInt(4);
            return choice == 0 ? null : new double[choice == 1 ? 0 : choice == 2 ? 3 : 1000];
        }
        throw new IllegalArgumentException(type.toString());
    }

    private static long checksum(byte[] bytes) {
        CRC32 crc = new CRC32();
        crc.update(bytes);
        return crc.getValue();
    }

    // ---- the calls ----------------------------------------------------------------------------

    public static void main(String[] args) throws Exception {
        Path scratch = Paths.get(args[0]).toAbsolutePath();
        String rkstat = args[2];
        int callsPerMethod = Integer.getInteger("torture.calls", 300);
        TestSupport.showFailuresBelow(50);
        StatisticsNative engine = new StatisticsNative();

        Map<String, byte[]> files = hostileFiles(scratch, rkstat);
        Map<Path, Long> checksums = new LinkedHashMap<>();
        List<Path> paths = new ArrayList<>();
        Path data = Files.createDirectories(scratch.resolve("data"));
        for (Map.Entry<String, byte[]> file : files.entrySet()) {
            Path path = data.resolve(file.getKey() + ".rkd");
            Files.write(path, file.getValue());
            checksums.put(path, checksum(file.getValue()));
            paths.add(path);
        }

        // Paths that are not regular files: a FIFO would block an open for good.
        Path fifo = data.resolve("pipe.rkd");
        Path folder = Files.createDirectories(data.resolve("folder.rkd"));
        new ProcessBuilder("mkfifo", fifo.toString()).inheritIO().start().waitFor();
        check(Files.exists(fifo), "the FIFO exists");

        List<Method> wired = new ArrayList<>();
        for (Method method : StatisticsNative.class.getDeclaredMethods()) {
            if (!Modifier.isNative(method.getModifiers())) continue;
            Object[] probe = new Object[method.getParameterCount()];
            Class<?>[] types = method.getParameterTypes();
            for (int i = 0; i < probe.length; ++i) probe[i] = types[i].isPrimitive() ? argument(types[i], i, null, null) : null;
            try {
                method.invoke(engine, probe);  // null path and run name: refused at once
                wired.add(method);
            } catch (InvocationTargetException e) {
                if (!(e.getCause() instanceof UnsatisfiedLinkError)) throw e;
            }
        }
        wired.sort((a, b) -> a.getName().compareTo(b.getName()));
        System.err.println("torture: " + wired.size() + " wired methods, " + paths.size() + " data files, "
                + callsPerMethod + " calls each");

        Map<String, Integer> calls = new LinkedHashMap<>();
        int run = 0;
        int totalCalls = 0;
        int faults = 0;
        int survived = 0;
        int faultsReached = 0;
        boolean fullDevice = Files.exists(Paths.get("/dev/full"));
        for (Method method : wired) {
            Class<?>[] types = method.getParameterTypes();
            for (int call = 0; call < callsPerMethod; ++call) {
                Path path = paths.get(random.nextInt(paths.size()));
                String pathText = path.toString();
                int oddPath = random.nextInt(40);
                if (oddPath == 0) pathText = null;
                if (oddPath == 1) pathText = data.resolve("absent.rkd").toString();
                if (oddPath == 2) pathText = "ab";
                if (oddPath == 3) pathText = fifo.toString();
                if (oddPath == 4) pathText = folder.toString();
                String runName = "r" + (run++ % 50);
                if (random.nextInt(40) == 0) runName = random.nextBoolean() ? null : "no/such/dir";
                Object[] arguments = new Object[types.length];
                for (int i = 0; i < types.length; ++i) arguments[i] = argument(types[i], i, pathText, runName);
                boolean named = pathText != null && runName != null && pathText.endsWith(".rkd") && !runName.contains("/");
                String base = named ? pathText.substring(0, pathText.length() - 4) + "_" + runName : null;
                Path faulted = null;
                if (named && fullDevice && random.nextInt(8) == 0) {
                    faulted = Paths.get(base + new String[] {".out", ".log", ".xml"}[random.nextInt(3)]);
                    Files.deleteIfExists(faulted);
                    Files.createSymbolicLink(faulted, Paths.get("/dev/full"));
                    faults++;
                }
                method.invoke(engine, arguments);
                calls.merge(method.getName(), 1, Integer::sum);
                totalCalls++;
                if (method.getName().startsWith("doMissing")) {
                    // No working copy, temporary or cut file may stay beside the data files.
                    try (java.util.stream.Stream<Path> listing = Files.list(data)) {
                        for (Path file : (Iterable<Path>) listing::iterator) {
                            String name = file.getFileName().toString();
                            boolean expected = checksums.containsKey(file) || file.equals(fifo) || file.equals(folder)
                                    || (base != null && List.of(base + ".out", base + ".log", base + ".xml")
                                        .contains(file.toString()))
                                    || name.equals("MissingEM.dat") || name.equals("Matrix.rkd")
                                    || name.endsWith("_filled.rkd") || name.endsWith("_FactorScores.rkd");
                            check(expected, method.getName() + ": " + name + " left in the data directory");
                        }
                    }
                }

                if (faulted != null) {
                    // A run that started (its other files are there) writes its log and its
                    // document, the report only sometimes: a faulted log or document cannot stay.
                    int before = TestSupport.failures();
                    boolean started = false;
                    for (String extension : new String[] {".out", ".log", ".xml"}) {
                        Path file = Paths.get(base + extension);
                        started |= !file.equals(faulted) && Files.exists(file);
                    }
                    if (started) faultsReached++;
                    if (started && !faulted.toString().endsWith(".out"))
                        check(!Files.exists(faulted, LinkOption.NOFOLLOW_LINKS), method.getName() + ": " + faulted + " removed");
                    if (TestSupport.failures() == before) survived++;
                    for (String extension : new String[] {".out", ".log", ".xml"})
                        Files.deleteIfExists(Paths.get(base + extension));
                } else if (named) {
                    Path xml = Paths.get(base + ".xml");
                    Path log = Paths.get(base + ".log");
                    // Every run that started, and every call refused for its arguments, has all three.
                    if (Files.exists(xml)) {
                        String document = Files.readString(xml, StandardCharsets.ISO_8859_1);
                        check(document.startsWith(PROLOG), method.getName() + ": " + xml + " starts with the prolog");
                        check(Files.exists(log) && Files.exists(Paths.get(base + ".out")),
                                method.getName() + ": " + base + " has its log and report");
                        String logText = Files.readString(log, StandardCharsets.ISO_8859_1);
                        if (logText.startsWith(" Invalid argument: "))
                            check(document.equals(PROLOG), method.getName() + ": a refused call's document is the prolog");
                        else if (oddPath == 3 || oddPath == 4)
                            check(logText.contains(": not a regular file"), method.getName() + ": " + pathText + " refused");
                        Files.deleteIfExists(xml);
                        Files.deleteIfExists(log);
                        Files.deleteIfExists(Paths.get(base + ".out"));
                    }
                }
            }
        }
        int changed = 0;
        for (Map.Entry<Path, Long> entry : checksums.entrySet()) {
            boolean same = checksum(Files.readAllBytes(entry.getKey())) == entry.getValue();
            check(same, entry.getKey() + " unchanged");
            if (!same) changed++;
        }
        for (Map.Entry<String, Integer> entry : calls.entrySet())
            System.err.println("torture: " + entry.getKey() + " " + entry.getValue() + " calls");
        // A crash ends the JVM before this line: reaching it means none.
        System.err.println("torture: " + totalCalls + " calls, " + TestSupport.checks() + " checks, 0 crashes, "
                + changed + " data files changed, " + faults + " write faults injected (" + faultsReached
                + " in runs that started), " + survived + " survived");
        TestSupport.finish("torture");
    }
}
