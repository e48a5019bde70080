package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import java.nio.file.Paths;
import java.util.Arrays;

/**
 * doNonparametric as the desktop application calls it, and rkstat run nonparametric, against the
 * golden records of the C++ tests: every test under listwise deletion with a flag-form selection,
 * and under pairwise deletion. Arguments: scratch directory, golden directory, rkstat.
 */
public final class NonparametricTest {
    public static void main(String[] args) throws Exception {
        java.nio.file.Path scratch = Paths.get(args[0]).toAbsolutePath();
        String golden = args[1];
        String rkstat = args[2];
        String data = scratch.resolve("ties.rkd").toString();
        check(TestSupport.rkstat(rkstat, false, "import", Paths.get(golden, "nonparametric", "ties.csv").toString(), data,
                "--missing", "c=99", "--labels", "g=1:low,2:mid,3:high").status == 0, "import");
        StatisticsNative engine = new StatisticsNative();
        int[] flags = new int[22];
        Arrays.fill(flags, 1);
        flags[0] = 0;
        // Variables a, b, c grouped by g (0-based numbers); a null option is listwise deletion.
        engine.doNonparametric(data, "np", 3, new int[] {0, 1, 2}, 3, null, 0x7F, 22, flags);
        TestSupport.expectRun(scratch, "ties", "np", Paths.get(golden, "nonparametric", "listwise.txt"));
        engine.doNonparametric(data, "pair", 3, new int[] {0, 1, 2}, 3, "Pair", 0x7F, 0, null);
        TestSupport.expectRun(scratch, "ties", "pair", Paths.get(golden, "nonparametric", "pairwise.txt"));
        check(TestSupport.rkstat(rkstat, false, "run", "nonparametric", data, "--run", "cli", "--vars", "a,b,c", "--group",
                "g", "--missing", "pair", "--tests", "sign,wilcoxon,ks,kruskal,friedman,spearman,kendall").status == 0, "rkstat run nonparametric");
        TestSupport.expectRun(scratch, "ties", "cli", Paths.get(golden, "nonparametric", "pairwise.txt"));
        TestSupport.finish("nonparametric");
    }
}
