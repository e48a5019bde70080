package com.quorix.statistics;

/**
 * The statistics engine's native methods. Each runs one analysis on a data file and writes
 * PATH-without-extension_RUN.out, .log and .xml beside it; the outcome is in those files and on
 * standard output. Variable numbers are 0-based positions in the data file. Calls from several
 * threads are serialized inside the library.
 */
public final class StatisticsNative {
    static {
        System.loadLibrary("quorixstat");
    }

    public native void doDescriptive(String path, String run, int n, int[] vars, int selCount, int[] sel);

    public native void doFrequency(String path, String run, int n, int[] vars, int option, int selCount, int[] sel);

    public native void doOneSample(String path, String run, int var, double testValue, int selCount, int[] sel);

    public native void doPairedSample(String path, String run, int var1, int var2, double testValue, int selCount,
            int[] sel);

    public native void doIndependentSample(String path, String run, int var, int groupVar, double testValue,
            int selCount, int[] sel);

    public native void doMatchedSample(String path, String run, int var, int groupVar, double testValue,
            int selCount, int[] sel);

    public native void doCrosstabTwo(String path, String run, int rowVar, int colVar, int display, int selCount,
            int[] sel);

    public native void doCrosstabThree(String path, String run, int rowVar, int colVar, int layerVar, int display,
            int selCount, int[] sel);

    public native void doAnovaOne(String path, String run, int dep, int factor, int selCount, int[] sel);

    public native void doAnovaTwo(String path, String run, int dep, int factorA, int factorB, int selCount,
            int[] sel);

    public native void doAnovaGLM(String path, String run, int dep, int nFactors, int[] factors, int nCovariates,
            int[] covariates, int selCount, int[] sel);

    public native void doFactorAnalysis(String path, String run, int n, int[] vars, String rotation,
            String initialValue, String processing, boolean factorScores, String sort, double cutoff, int selCount,
            int[] sel);

    public native void doCorrelation(String path, String run, int n, int[] vars, String processing, String matrix,
            boolean alpha, boolean writeMatrix, int selCount, int[] sel);

    public native void doRegression(String path, String run, int dep, int n, int[] indep, boolean returnResults,
            double[] result1, double[] result2, int regressionType, int selCount, int[] sel);

    public native void doRegressionStep(String path, String run, int dep, int n, int[] indep, boolean forward,
            double fLevel, boolean returnResults, double[] result1, double[] result2, int selCount, int[] sel);

    public native void doNonparametric(String path, String run, int n, int[] vars, int groupVar,
            String missingOption, int testWord, int selCount, int[] sel);

    public native void doMissingDiagnosis(String path, String run, int n, int[] vars);

    public native void doMissingMean(String path, String run, int n, int[] vars, int var);

    public native void doMissingRegression(String path, String run, int var, int n, int[] vars, int option,
            double value, double[] result1, double[] result2);

    public native void doMissingEM(String path, String run, int n, int[] vars, boolean flag);
}
