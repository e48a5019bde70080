package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.ArrayList;
import java.util.List;

/**
 * The cross tabulation and ANOVA native methods on the sample data, imported with rkstat, against
 * the golden records of the C++ tests. Results go to standard error.
 * Arguments: scratch directory, golden directory, rkstat.
 */
public final class CrosstabAnovaTest {
    private static final int ALL_LINES = 0x1111;

    private static String importSample(String rkstat, Path dataDir, Path scratch, String csv, String rkd,
            String... labels) throws Exception {
        List<String> arguments = new ArrayList<>(List.of("import", dataDir.resolve(csv).toString(),
                scratch.resolve(rkd).toString()));
        for (String label : labels) {
            arguments.add("--labels");
            arguments.add(label);
        }
        check(TestSupport.rkstat(rkstat, false, arguments.toArray(new String[0])).status == 0, "rkstat import " + csv);
        return scratch.resolve(rkd).toString();
    }

    public static void main(String[] args) throws Exception {
        Path scratch = Paths.get(args[0]).toAbsolutePath();
        Path goldenDir = Paths.get(args[1]).toAbsolutePath();
        String rkstat = args[2];
        Path dataDir = goldenDir.getParent().getParent().resolve("data");
        StatisticsNative engine = new StatisticsNative();

        String hair = importSample(rkstat, dataDir, scratch, "haireyecolor.csv", "hair.rkd",
                "Hair=1:Black,2:Brown,3:Red,4:Blond", "Eye=1:Brown,2:Blue,3:Hazel,4:Green", "Sex=1:Male,2:Female");
        String cars = importSample(rkstat, dataDir, scratch, "mtcars.csv", "cars.rkd");
        String plants = importSample(rkstat, dataDir, scratch, "plantgrowth.csv", "plants.rkd",
                "group=1:ctrl,2:trt1,3:trt2");
        String tooth = importSample(rkstat, dataDir, scratch, "toothgrowth.csv", "tooth.rkd", "supp=1:OJ,2:VC");

        // 0-based variable numbers: Hair 0, Eye 1, Sex 2; cyl 2, carb 11.
        Object[][] runs = {
            {"hair", "all", "crosstab/hair_eye_all.txt", (Runnable) () -> engine.doCrosstabTwo(hair, "all", 0, 1, ALL_LINES, 0, new int[0])},
            {"hair", "none", "crosstab/hair_eye_none.txt", (Runnable) () -> engine.doCrosstabTwo(hair, "none", 0, 1, 0, 0, null)},
            {"hair", "three", "crosstab/hair_eye_sex.txt", (Runnable) () -> engine.doCrosstabThree(hair, "three", 0, 1, 2, ALL_LINES, 0, null)},
            {"cars", "panels", "crosstab/cyl_carb.txt", (Runnable) () -> engine.doCrosstabTwo(cars, "panels", 2, 11, 0x1100, 0, null)},
            {"plants", "one", "anova/plantgrowth.txt", (Runnable) () -> engine.doAnovaOne(plants, "one", 0, 1, 0, null)},
            {"tooth", "two", "anova/toothgrowth.txt", (Runnable) () -> engine.doAnovaTwo(tooth, "two", 0, 1, 2, 0, null)},
        };
        for (Object[] run : runs) {
            ((Runnable) run[3]).run();
            TestSupport.expectRun(scratch, (String) run[0], (String) run[1], goldenDir.resolve((String) run[2]));
        }

        // The case selection arrives unchanged: cases 0 and 591 (twice), two entries outside the file.
        engine.doCrosstabTwo(hair, "sel", 0, 1, 0, 5, new int[] {0, 591, 591, 5000, -1});
        String used = " Number of cases used in this analysis are ..      2\n";
        check(TestSupport.readText(scratch.resolve("hair_sel.out"), "").contains(used),
                "selection reaches the cross tabulation");
        engine.doAnovaTwo(tooth, "sel", 0, 1, 2, 5, new int[] {0, 10, 20, 30, 40});
        check(TestSupport.readText(scratch.resolve("tooth_sel.log"), "").contains("\nSome cells are empty!\n"),
                "selection reaches the two-way ANOVA");

        // Variable numbers outside the file are reported by the run; refused arguments log their reason.
        engine.doAnovaOne(plants, "range", 0, Integer.MAX_VALUE, 0, null);
        check(TestSupport.readText(scratch.resolve("plants_range.log"), "")
                .contains(" Variable number 0 is not in the data file"), "out-of-range factor logged");
        long before = TestSupport.countFiles(scratch, ".*");
        engine.doCrosstabTwo(null, "x1", 0, 1, 0, 0, null);
        engine.doCrosstabThree(hair, null, 0, 1, 2, 0, 0, null);
        engine.doAnovaOne(plants, "x2", 0, 1, 2, null);
        engine.doAnovaTwo(tooth, "x3", 0, 1, 2, -1, new int[] {0});
        long after = TestSupport.countFiles(scratch, ".*");
        check(after == before + 6, "refused calls leave the result files of a failed run");
        check(TestSupport.refusedWithReason(scratch, "plants_x2"), "a negative selection count is logged");

        TestSupport.finish("crosstab and anova");
    }
}
