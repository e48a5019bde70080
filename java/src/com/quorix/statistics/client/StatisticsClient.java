package com.quorix.statistics.client;

import java.io.IOException;
import java.nio.charset.StandardCharsets;
import java.nio.file.Files;
import java.nio.file.Path;
import java.util.ArrayList;
import java.util.Arrays;
import java.util.HashMap;
import java.util.List;
import java.util.Map;
import java.util.Optional;

/**
 * Runs the statistics engine's analyses with typed options. Each method checks its options
 * against the run's data file (variables by name or position, case numbers, distinct roles) and
 * throws {@link IllegalArgumentException} before anything runs when they do not fit; otherwise it
 * runs the analysis through the native library, waits for it, and returns its {@link RunResult}.
 * A run's failure (a constant grouping variable, a text variable where numbers are needed, an
 * unbalanced design, ...) is a {@code RunResult} that did not succeed, not an exception.
 *
 * <p>The library runs one analysis at a time in the process: calls from several threads are
 * serialized inside it, so a client may be shared. While it runs, the library echoes its report
 * and log lines to the process's standard output.
 *
 * <p>The library is found by {@code System.loadLibrary("quorixstat")} (java.library.path), or at
 * the file or directory the system property {@code quorix.library.path} names.
 */
public final class StatisticsClient {
    private final NativeEngine engine;

    /**
     * A client, loading the native library on the first use in the process.
     *
     * @throws UnsatisfiedLinkError when the library cannot be loaded; its message names where it was searched
     */
    public StatisticsClient() {
        engine = NativeEngine.get();
    }

    /**
     * Descriptive statistics of each variable.
     *
     * @param run the data file, run name and cases
     * @param options the variables
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult descriptive(Run run, DescriptiveOptions options) {
        int[] variables = resolve(run, options).all(options.variables());
        return call(Analysis.DESCRIPTIVE, run, variables.length, variables);
    }

    /**
     * Frequency tables of each variable.
     *
     * @param run the data file, run name and cases
     * @param options the variables and whether to add their statistics
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult frequency(Run run, FrequencyOptions options) {
        int[] variables = resolve(run, options).all(options.variables());
        return call(Analysis.FREQUENCY, run, variables.length, variables, options.withStatistics() ? 1 : 0);
    }

    /**
     * One-sample t-test.
     *
     * @param run the data file, run name and cases
     * @param options the variable and test value
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult oneSampleTTest(Run run, OneSampleTTestOptions options) {
        int[] v = resolve(run, options).roles(options.variable());
        return call(Analysis.ONE_SAMPLE_T_TEST, run, v[0], options.testValue());
    }

    /**
     * Paired-samples t-test.
     *
     * @param run the data file, run name and cases
     * @param options the two variables and test value
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult pairedTTest(Run run, PairedTTestOptions options) {
        int[] v = resolve(run, options).roles(options.first(), options.second());
        return call(Analysis.PAIRED_T_TEST, run, v[0], v[1], options.testValue());
    }

    /**
     * Independent-samples t-test.
     *
     * @param run the data file, run name and cases
     * @param options the variable, grouping variable and test value
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult independentTTest(Run run, IndependentTTestOptions options) {
        int[] v = resolve(run, options).roles(options.variable(), options.grouping());
        return call(Analysis.INDEPENDENT_T_TEST, run, v[0], v[1], options.testValue());
    }

    /**
     * Matched-samples t-test.
     *
     * @param run the data file, run name and cases
     * @param options the variable, grouping variable and test value
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult matchedTTest(Run run, MatchedTTestOptions options) {
        int[] v = resolve(run, options).roles(options.variable(), options.grouping());
        return call(Analysis.MATCHED_T_TEST, run, v[0], v[1], options.testValue());
    }

    /**
     * Two-way cross tabulation.
     *
     * @param run the data file, run name and cases
     * @param options the row and column variables and the lines shown
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult crosstab(Run run, CrosstabOptions options) {
        int[] v = resolve(run, options).roles(options.row(), options.column());
        return call(Analysis.CROSSTAB, run, v[0], v[1], CrosstabLine.word(options.lines()));
    }

    /**
     * Three-way cross tabulation.
     *
     * @param run the data file, run name and cases
     * @param options the row, column and layer variables and the lines shown
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult threeWayCrosstab(Run run, ThreeWayCrosstabOptions options) {
        int[] v = resolve(run, options).roles(options.row(), options.column(), options.layer());
        return call(Analysis.THREE_WAY_CROSSTAB, run, v[0], v[1], v[2], CrosstabLine.word(options.lines()));
    }

    /**
     * One-way analysis of variance.
     *
     * @param run the data file, run name and cases
     * @param options the dependent variable and factor
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult oneWayAnova(Run run, OneWayAnovaOptions options) {
        int[] v = resolve(run, options).roles(options.dependent(), options.factor());
        return call(Analysis.ONE_WAY_ANOVA, run, v[0], v[1]);
    }

    /**
     * Two-way analysis of variance.
     *
     * @param run the data file, run name and cases
     * @param options the dependent variable and the two factors
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult twoWayAnova(Run run, TwoWayAnovaOptions options) {
        int[] v = resolve(run, options).roles(options.dependent(), options.factorA(), options.factorB());
        return call(Analysis.TWO_WAY_ANOVA, run, v[0], v[1], v[2]);
    }

    /**
     * Covariance or correlation matrix.
     *
     * @param run the data file, run name and cases
     * @param options the variables, processing, matrix kind, alpha and matrix file
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult correlation(Run run, CorrelationOptions options) {
        int[] variables = resolve(run, options).all(options.variables());
        return call(Analysis.CORRELATION, run, variables.length, variables, options.processing().word(),
                options.matrix().word(), options.alpha(), options.writeMatrix());
    }

    /**
     * General linear model: the dependent variable on the full factorial of the factors plus the
     * covariates.
     *
     * @param run the data file, run name and cases
     * @param options the dependent variable, factors and covariates
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file or a variable has two roles
     */
    public RunResult generalLinearModel(Run run, GeneralLinearModelOptions options) {
        int[][] v = resolve(run, options).distinct(List.of(options.dependent()), options.factors(), options.covariates());
        return call(Analysis.GENERAL_LINEAR_MODEL, run, v[0][0], v[1].length, v[1], v[2].length, v[2]);
    }

    /**
     * Factor analysis.
     *
     * @param run the data file, run name and cases
     * @param options the variables, extraction, rotation, processing, scores, sort and cut-off
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file
     */
    public RunResult factorAnalysis(Run run, FactorAnalysisOptions options) {
        int[] variables = resolve(run, options).all(options.variables());
        return call(Analysis.FACTOR_ANALYSIS, run, variables.length, variables, options.rotation().word(),
                options.extraction().word(), options.processing().word(), options.factorScores(),
                options.sort().word(), options.cutoff());
    }

    /**
     * Standard or hierarchical multiple regression; the result carries each case's fitted value
     * and residual.
     *
     * @param run the data file, run name and cases
     * @param options the dependent and independent variables and the method
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file or a variable has two roles
     */
    public RunResult regression(Run run, RegressionOptions options) {
        int[][] v = resolve(run, options).distinct(List.of(options.dependent()), options.independents());
        double[][] results = resultArrays(run);
        return call(Analysis.REGRESSION, run, results, v[0][0], v[1].length, v[1], true, results[0], results[1],
                options.method().type());
    }

    /**
     * Stepwise multiple regression; the result carries each case's fitted value and residual under
     * the final model.
     *
     * @param run the data file, run name and cases
     * @param options the dependent and candidate variables, the direction and F level
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file or a variable has two roles
     */
    public RunResult stepwiseRegression(Run run, StepwiseRegressionOptions options) {
        int[][] v = resolve(run, options).distinct(List.of(options.dependent()), options.independents());
        double[][] results = resultArrays(run);
        return call(Analysis.STEPWISE_REGRESSION, run, results, v[0][0], v[1].length, v[1],
                options.direction() == StepDirection.FORWARD,
                options.fLevel().orElse(StepwiseRegressionOptions.DEFAULT_F_LEVEL), true, results[0], results[1]);
    }

    /**
     * Nonparametric rank tests.
     *
     * @param run the data file, run name and cases
     * @param options the variables, grouping variable, missing-value processing and tests
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file or the grouping
     *     variable is one of the variables
     */
    public RunResult nonparametric(Run run, NonparametricOptions options) {
        int[][] v = resolve(run, options).withGrouping(options.variables(), options.grouping());
        return call(Analysis.NONPARAMETRIC, run, v[0].length, v[0], v[1][0], options.missing().word(),
                NonparametricTest.word(options.tests()));
    }

    /**
     * Where values are missing: pairwise counts and percentages of cases missing either variable
     * and the correlations of the presence indicators. Runs on every case.
     *
     * @param run the data file and run name, without a case selection
     * @param options the variables
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file or the run selects cases
     */
    public RunResult missingDiagnosis(Run run, MissingDiagnosisOptions options) {
        int[] variables = resolve(run, options).all(options.variables());
        return call(Analysis.MISSING_DIAGNOSIS, run, variables.length, variables);
    }

    /**
     * Mean imputation: missing values replaced by the variable's mean, or its group's mean, in a
     * filled copy of the data file. Runs on every case.
     *
     * @param run the data file and run name, without a case selection
     * @param options the variables and grouping variable
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file, the grouping
     *     variable is one of the variables or the run selects cases
     */
    public RunResult meanImputation(Run run, MeanImputationOptions options) {
        int[][] v = resolve(run, options).withGrouping(options.variables(), options.grouping());
        return call(Analysis.MEAN_IMPUTATION, run, v[0].length, v[0], v[1][0]);
    }

    /**
     * EM estimation of the means and covariances, with the imputed cells written to
     * {@code MissingEM.dat} in the data file's directory. Runs on every case.
     *
     * @param run the data file and run name, without a case selection
     * @param options the variables and whether to write the matrix file
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file or the run selects cases
     */
    public RunResult emImputation(Run run, EmImputationOptions options) {
        int[] variables = resolve(run, options).all(options.variables());
        return call(Analysis.EM_IMPUTATION, run, variables.length, variables, options.writeMatrix());
    }

    /**
     * Regression imputation of the dependent variable's missing values into a filled copy of the
     * data file. Runs on every case; the result carries each case's fitted value and, in
     * {@link RunResult#residuals()}, its fitted value less its filled value.
     *
     * @param run the data file and run name, without a case selection
     * @param options the dependent variable, the predictors, the draws and the seed
     * @return the outcome
     * @throws IllegalArgumentException when an argument does not fit the data file, a variable has two
     *     roles or the run selects cases
     */
    public RunResult regressionImputation(Run run, RegressionImputationOptions options) {
        int[][] v = resolve(run, options).distinct(List.of(options.dependent()), options.predictors());
        double[][] results = resultArrays(run);
        return call(Analysis.REGRESSION_IMPUTATION, run, results, v[0][0], v[1].length, v[1], options.draws(),
                options.seed(), results[0], results[1]);
    }

    /** Variable references resolved against a run's data file. */
    private static final class Resolver {
        private final DataFile data;

        Resolver(DataFile data) {
            this.data = data;
        }

        int[] all(List<Variable> variables) {
            return variables.stream().mapToInt(v -> v.resolve(data)).toArray();
        }

        /** Single variables in distinct roles: the same variable twice is refused. */
        int[] roles(Variable... variables) {
            int[] numbers = all(Arrays.asList(variables));
            for (int i = 0; i < numbers.length; ++i)
                for (int j = 0; j < i; ++j)
                    if (numbers[i] == numbers[j])
                        throw new IllegalArgumentException("variables " + variables[j] + " and " + variables[i]
                                + " are the same variable of " + data.path() + "; their roles need two");
            return numbers;
        }

        /**
         * Variables and an optional grouping variable that is none of them: the variable numbers,
         * then the grouping variable's number alone, -1 when there is none.
         */
        int[][] withGrouping(List<Variable> variables, Optional<Variable> grouping) {
            if (grouping.isEmpty()) return new int[][] {all(variables), {-1}};
            return distinct(variables, List.of(grouping.get()));
        }

        /** Lists of variables in distinct roles: no variable twice, in one list or across them. */
        @SafeVarargs
        final int[][] distinct(List<Variable>... lists) {
            Map<Integer, Variable> seen = new HashMap<>();
            int[][] numbers = new int[lists.length][];
            for (int l = 0; l < lists.length; ++l) {
                numbers[l] = all(lists[l]);
                for (int i = 0; i < numbers[l].length; ++i) {
                    Variable earlier = seen.putIfAbsent(numbers[l][i], lists[l].get(i));
                    if (earlier != null)
                        throw new IllegalArgumentException("variables " + earlier + " and " + lists[l].get(i)
                                + " are the same variable of " + data.path() + "; each variable takes one role");
                }
            }
            return numbers;
        }
    }

    /** A fitted value and residual per case of the data file, NaN until the run fills them. */
    private static double[][] resultArrays(Run run) {
        double[][] results = new double[2][run.data().caseCount()];
        for (double[] array : results) Arrays.fill(array, Double.NaN);
        return results;
    }

    private static Resolver resolve(Run run, Object options) {
        if (run == null) throw new IllegalArgumentException("the run is null");
        if (options == null) throw new IllegalArgumentException("the options are null");
        return new Resolver(run.data());
    }

    /**
     * Runs the native method: the data file path and run name, the analysis's own arguments, then
     * the case selection where it takes one; the result files of an earlier run of the name are
     * removed first, so that what is read afterwards is this run's.
     */
    private RunResult call(Analysis analysis, Run run, Object... parameters) {
        return call(analysis, run, null, parameters);
    }

    /** As above, for a native method that fills result arrays (null for none). */
    private RunResult call(Analysis analysis, Run run, double[][] results, Object... parameters) {
        String path = run.data().path().toString();
        int limit = analysis.pathLimit();
        if (limit > 0 && path.getBytes(StandardCharsets.UTF_8).length > limit)
            throw new IllegalArgumentException("the data file path is longer than " + limit + " bytes: " + path);
        if (!analysis.takesSelection() && !run.cases().isAll())
            throw new IllegalArgumentException("the " + analysis.nativeMethod() + " analysis runs on every case; "
                    + "it takes no case selection");
        int[] selection = analysis.takesSelection() ? analysis.selection(run.cases(), run.data().caseCount()) : null;
        for (String extension : new String[] {"out", "log", "xml"}) {
            Path file = run.resultFile(extension);
            try {
                if (Files.isRegularFile(file)) Files.delete(file);
            } catch (IOException e) {
                throw new IllegalArgumentException("cannot replace the earlier result file " + file + ": " + e);
            }
        }
        List<Object> arguments = new ArrayList<>(List.of(path, run.name()));
        arguments.addAll(Arrays.asList(parameters));
        if (selection != null) {
            arguments.add(selection.length);
            arguments.add(selection);
        }
        engine.call(analysis.nativeMethod(), arguments.toArray());
        return RunResult.read(analysis, run, results);
    }
}
