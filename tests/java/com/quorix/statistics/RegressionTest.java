package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;

/**
 * doRegression and doRegressionStep as the desktop application calls them, against the golden
 * records of the C++ tests (mtcars: mpg on wt, hp, disp, qsec), and their result arrays.
 * Arguments: scratch directory, golden directory, rkstat.
 */
public final class RegressionTest {
    private static boolean near(double actual, double expected) {
        return Math.abs(actual - expected) <= 1e-10 * Math.max(1.0, Math.abs(expected));
    }

    public static void main(String[] args) throws Exception {
        Path scratch = Paths.get(args[0]).toAbsolutePath();
        String goldenDir = args[1];
        String data = scratch.resolve("cars.rkd").toString();
        TestSupport.Run imported = TestSupport.rkstat(args[2], false, "import",
                Paths.get(goldenDir, "..", "..", "data", "mtcars.csv").toString(), data);
        check(imported.status == 0, "mtcars imported");
        Path golden = Paths.get(goldenDir, "regression");
        StatisticsNative engine = new StatisticsNative();
        int[] independent = {6, 4, 3, 7};  // wt, hp, disp, qsec; mpg is 1

        double[] fitted = new double[32];
        double[] residual = new double[10];  // shorter than the case count: filled to its length
        engine.doRegression(data, "standard", 1, 4, independent, true, fitted, residual, 1, 0, null);
        TestSupport.expectRun(scratch, "cars", "standard", golden.resolve("standard.txt"));
        // R: f <- lm(mpg ~ wt + hp + disp + qsec, mtcars); fitted(f)[1:2]; resid(f)[1:2]
        check(near(fitted[0], 22.583962147075148) && near(fitted[1], 21.713365654478590), "fitted values");
        check(near(residual[0], -1.58396214707514704) && near(residual[1], -0.71336565447859157), "residuals");

        engine.doRegression(data, "hierarchical", 1, 4, independent, false, null, null, 2, 0, null);
        TestSupport.expectRun(scratch, "cars", "hierarchical", golden.resolve("hierarchical.txt"));
        engine.doRegressionStep(data, "forward", 1, 4, independent, true, -1.0, false, null, null, 0, null);
        TestSupport.expectRun(scratch, "cars", "forward", golden.resolve("forward.txt"));
        engine.doRegressionStep(data, "backward", 1, 4, independent, false, 4.0, false, null, null, 0, null);
        TestSupport.expectRun(scratch, "cars", "backward", golden.resolve("backward.txt"));

        // Unselected cases get 1e35; returnResults false leaves the arrays alone.
        int[] flags = new int[32];
        Arrays.fill(flags, 1);
        flags[0] = 0;
        flags[1] = 0;
        double[] first = new double[40];
        double[] second = new double[40];
        Arrays.fill(first, 7.0);
        engine.doRegression(data, "selected", 1, 4, independent, true, first, second, 1, 32, flags);
        // R: g <- lm(mpg ~ wt + hp + disp + qsec, mtcars[-(1:2), ]); fitted(g)[1]; resid(g)[1]
        check(first[0] == 1e35 && second[1] == 1e35 && first[32] == 7.0, "unused cases and the array's tail");
        check(near(first[2], 25.463896842522054) && near(second[2], -2.6638968425220528), "selected fit");
        double[] untouched = new double[32];
        Arrays.fill(untouched, 7.0);
        engine.doRegression(data, "quiet", 1, 4, independent, false, untouched, untouched, 1, 0, null);
        check(untouched[0] == 7.0 && untouched[31] == 7.0, "returnResults false leaves the arrays untouched");

        // Matrix input: the correlation's matrix file, mpg first.
        engine.doCorrelation(data, "matrix", 5, new int[] {1, 6, 4, 3, 7}, null, "corr", false, true, 0, null);
        String matrix = scratch.resolve("Matrix.rkd").toString();
        engine.doRegression(matrix, "matrix", 0, 4, new int[] {1, 2, 3, 4}, true, new double[2], new double[2], 1, 0,
                null);
        TestSupport.expectRun(scratch, "Matrix", "matrix", golden.resolve("matrix_input.txt"));
        Files.delete(Paths.get(matrix));

        // Hostile calls: no crash, a log line.
        engine.doRegression(data, "bad", 99, 4, independent, true, new double[0], null, 1, 0, null);
        engine.doRegression(data, "none", 1, 0, new int[0], true, fitted, residual, 2, 0, null);
        engine.doRegressionStep(data, "format", 1, 4, independent, false, -2.0, true, fitted, null, 0, null);
        check(TestSupport.readText(scratch.resolve("cars_bad.log"), "").contains("Dependent variable index is invalid!"),
                "an invalid dependent variable is refused");

        TestSupport.finish("regression");
    }
}
