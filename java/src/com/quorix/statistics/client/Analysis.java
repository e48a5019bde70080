package com.quorix.statistics.client;

import java.util.List;

/**
 * The analyses the client runs: the native method of each, where its completion mark is written,
 * and how it reads the case selection.
 */
enum Analysis {
    DESCRIPTIVE("doDescriptive", Mark.DOCUMENT, Cases.NUMBERS, true, "</DescTbl>"),
    FREQUENCY("doFrequency", Mark.LOG, Cases.NUMBERS, true, "FREQUENCY TABLES DONE !"),
    ONE_SAMPLE_T_TEST("doOneSample", Mark.LOG, Cases.NUMBERS, true, "T-TEST DONE !"),
    PAIRED_T_TEST("doPairedSample", Mark.DOCUMENT, Cases.NUMBERS, true, "</TTESTSTAT>"),
    INDEPENDENT_T_TEST("doIndependentSample", Mark.LOG, Cases.NUMBERS, true, "T-TEST DONE !"),
    MATCHED_T_TEST("doMatchedSample", Mark.DOCUMENT, Cases.NUMBERS, true, "</TTESTSTAT>"),
    CROSSTAB("doCrosstabTwo", Mark.LOG, Cases.NUMBERS, true, "CROSSTAB DONE !"),
    THREE_WAY_CROSSTAB("doCrosstabThree", Mark.LOG, Cases.NUMBERS, true, "CROSSTAB DONE !"),
    ONE_WAY_ANOVA("doAnovaOne", Mark.LOG, Cases.NUMBERS, true, "ANOVA IS DONE !"),
    TWO_WAY_ANOVA("doAnovaTwo", Mark.LOG, Cases.NUMBERS, true, "ANOVA IS DONE !"),
    GENERAL_LINEAR_MODEL("doAnovaGLM", Mark.LOG, Cases.FLAGS, true, "ANOVA IS DONE !"),
    FACTOR_ANALYSIS("doFactorAnalysis", Mark.DOCUMENT, Cases.FLAGS, false, "</EigenTbl>"),
    CORRELATION("doCorrelation", Mark.LOG, Cases.FLAGS, false, "COVARIANCES DONE !", "CORRELATIONS DONE !"),
    REGRESSION("doRegression", Mark.LOG, Cases.FLAGS, false, "MULTIPLE REGRESSION DONE !"),
    STEPWISE_REGRESSION("doRegressionStep", Mark.LOG, Cases.FLAGS, false, "MULTIPLE REGRESSION DONE !"),
    NONPARAMETRIC("doNonparametric", Mark.LOG, Cases.FLAGS, false, "NONPAR IS DONE !"),
    MISSING_DIAGNOSIS("doMissingDiagnosis", Mark.DOCUMENT, Cases.NONE, false, "</CorrTbl>"),
    MEAN_IMPUTATION("doMissingMean", Mark.DOCUMENT, Cases.NONE, false, "</MeanTbl>"),
    EM_IMPUTATION("doMissingEM", Mark.DOCUMENT, Cases.NONE, false, "</MaxLikEst>"),
    REGRESSION_IMPUTATION("doMissingRegression", Mark.DOCUMENT, Cases.NONE, false, "</Impute>");

    /** Where an analysis writes its completion mark. */
    enum Mark { LOG, DOCUMENT }

    /** How an analysis reads the case selection; NONE: it takes none and runs on every case. */
    enum Cases { NUMBERS, FLAGS, NONE }

    /** The longest data file path, in UTF-8 bytes, of the native methods that limit it. */
    static final int SHORT_PATH_LIMIT = 511;

    private final String nativeMethod;
    private final Mark mark;
    private final Cases cases;
    private final boolean shortPath;
    private final List<String> completionMarks;

    Analysis(String nativeMethod, Mark mark, Cases cases, boolean shortPath, String... completionMarks) {
        this.nativeMethod = nativeMethod;
        this.mark = mark;
        this.cases = cases;
        this.shortPath = shortPath;
        this.completionMarks = List.of(completionMarks);
    }

    String nativeMethod() {
        return nativeMethod;
    }

    /** True when the mark is a log line, false when it is in the result document. */
    boolean markOnLog() {
        return mark == Mark.LOG;
    }

    /** Texts of which one is written only when the analysis ran to its end. */
    List<String> completionMarks() {
        return completionMarks;
    }

    /** True when the native method takes a case selection. */
    boolean takesSelection() {
        return cases != Cases.NONE;
    }

    /** The selection as the native method takes it: case numbers, or one flag per case. */
    int[] selection(CaseSelection selection, int caseCount) {
        return cases == Cases.NUMBERS ? selection.asCaseNumbers(caseCount) : selection.asCaseFlags(caseCount);
    }

    /** The longest data file path the native method takes, in UTF-8 bytes; 0 for no limit. */
    int pathLimit() {
        return shortPath ? SHORT_PATH_LIMIT : 0;
    }
}
