package com.quorix.statistics;

import static com.quorix.statistics.TestSupport.check;

import com.quorix.statistics.client.CaseSelection;
import com.quorix.statistics.client.CorrelationOptions;
import com.quorix.statistics.client.CrosstabLine;
import com.quorix.statistics.client.CrosstabOptions;
import com.quorix.statistics.client.DataFile;
import com.quorix.statistics.client.DescriptiveOptions;
import com.quorix.statistics.client.EmImputationOptions;
import com.quorix.statistics.client.RegressionImputationOptions;
import com.quorix.statistics.client.FactorAnalysisOptions;
import com.quorix.statistics.client.FactorExtraction;
import com.quorix.statistics.client.FactorRotation;
import com.quorix.statistics.client.FrequencyOptions;
import com.quorix.statistics.client.GeneralLinearModelOptions;
import com.quorix.statistics.client.IndependentTTestOptions;
import com.quorix.statistics.client.LoadingSort;
import com.quorix.statistics.client.MatchedTTestOptions;
import com.quorix.statistics.client.MatrixKind;
import com.quorix.statistics.client.MeanImputationOptions;
import com.quorix.statistics.client.MissingDiagnosisOptions;
import com.quorix.statistics.client.MissingValueProcessing;
import com.quorix.statistics.client.NonparametricOptions;
import com.quorix.statistics.client.NonparametricTest;
import com.quorix.statistics.client.OneSampleTTestOptions;
import com.quorix.statistics.client.OneWayAnovaOptions;
import com.quorix.statistics.client.PairedTTestOptions;
import com.quorix.statistics.client.RegressionMethod;
import com.quorix.statistics.client.RegressionOptions;
import com.quorix.statistics.client.Run;
import com.quorix.statistics.client.RunResult;
import com.quorix.statistics.client.StatisticsClient;
import com.quorix.statistics.client.StepDirection;
import com.quorix.statistics.client.StepwiseRegressionOptions;
import com.quorix.statistics.client.ThreeWayCrosstabOptions;
import com.quorix.statistics.client.TwoWayAnovaOptions;
import com.quorix.statistics.client.Variable;
import java.nio.file.Files;
import java.nio.file.Path;
import java.nio.file.Paths;
import java.util.Arrays;
import java.util.EnumSet;
import java.util.HashSet;
import java.util.List;
import java.util.Optional;
import java.util.OptionalDouble;
import java.util.Set;
import java.util.function.Function;

/**
 * The typed client over every wired analysis on tests/java/client.csv (x, y, g2, g3, one, none,
 * word; EM on tests/java/ten.csv): a run that succeeds, a run that fails with the message its log
 * gives, and options refused before anything runs; then the regression's result arrays, the case
 * selection in both of its native forms, and the library found through quorix.library.path in a
 * JVM of its own.
 * Arguments: scratch directory, golden directory, rkstat.
 */
public final class ClientTest {
    private static Variable v(String name) {
        return Variable.named(name);
    }

    /** One analysis: a successful run, a failing run and its log message, a refused call. */
    private record Row(String name, Function<Run, RunResult> success, Function<Run, RunResult> failure,
            String message, Function<Run, RunResult> refused) {
    }

    public static void main(String[] args) throws Exception {
        Path scratch = Paths.get(args[0]).toAbsolutePath();
        Path tests = Paths.get(args[1]).toAbsolutePath().getParent();
        String rkstat = args[2];
        if (args.length > 3) { // the child JVM: one run with the library found through the property
            RunResult result = new StatisticsClient().descriptive(Run.of(DataFile.open(scratch.resolve("client.rkd")),
                    "child"), new DescriptiveOptions(Variable.at(1)));
            System.err.println("child run " + (result.succeeded() ? "succeeded" : "failed"));
            return;
        }
        check(TestSupport.rkstat(rkstat, false, "import", tests.resolve("java/client.csv").toString(),
                scratch.resolve("client.rkd").toString()).status == 0, "client.csv imported");
        DataFile data = DataFile.open(scratch.resolve("client.rkd"));
        // ten.csv's v5 has a value that is missing (16): EM needs variables missing in some cases only.
        check(TestSupport.rkstat(rkstat, false, "import", tests.resolve("java/ten.csv").toString(),
                scratch.resolve("ten.rkd").toString(), "--missing", "v5=16").status == 0, "ten.csv imported");
        DataFile ten = DataFile.open(scratch.resolve("ten.rkd"));
        StatisticsClient client = new StatisticsClient();
        Set<CrosstabLine> all = EnumSet.allOf(CrosstabLine.class);
        Set<CrosstabLine> withNull = new HashSet<>(Arrays.asList(CrosstabLine.EXPECTED, null));
        String text = "word is alphanumeric variable.";
        List<Row> rows = List.of(
                new Row("descriptive", r -> client.descriptive(r, new DescriptiveOptions(v("x"), Variable.at(2))),
                        r -> client.descriptive(r, new DescriptiveOptions(v("x"), v("word"))), text,
                        r -> client.descriptive(r, new DescriptiveOptions(v("nosuch")))),
                new Row("frequency", r -> client.frequency(r, new FrequencyOptions(List.of(v("g3")), true)),
                        r -> client.frequency(r, new FrequencyOptions(List.of(v("word")), false)), text,
                        r -> client.frequency(r, new FrequencyOptions(List.of(Variable.at(8)), false))),
                new Row("one-sample", r -> client.oneSampleTTest(r, new OneSampleTTestOptions(v("x"), 5)),
                        r -> client.oneSampleTTest(r, new OneSampleTTestOptions(v("word"), 0)), text,
                        r -> client.oneSampleTTest(r, new OneSampleTTestOptions(v("x"), Double.NaN))),
                new Row("paired", r -> client.pairedTTest(r, new PairedTTestOptions(v("x"), v("y"), 0)),
                        r -> client.pairedTTest(r, new PairedTTestOptions(v("x"), v("word"), 0)), text,
                        r -> client.pairedTTest(r, new PairedTTestOptions(v("x"), Variable.at(1), 0))),
                new Row("independent", r -> client.independentTTest(r, new IndependentTTestOptions(v("x"), v("g2"), 0)),
                        r -> client.independentTTest(r, new IndependentTTestOptions(v("x"), v("g3"), 0)),
                        "The grouping variable has more than two values!",
                        r -> client.independentTTest(r, new IndependentTTestOptions(v("x"), null, 0))),
                new Row("matched", r -> client.matchedTTest(r, new MatchedTTestOptions(v("x"), v("g2"), 0)),
                        r -> client.matchedTTest(r, new MatchedTTestOptions(v("x"), v("word"), 0)), text,
                        r -> client.matchedTTest(r.selecting(CaseSelection.of(0, 12)),
                                new MatchedTTestOptions(v("x"), v("g2"), 0))),
                new Row("crosstab", r -> client.crosstab(r, new CrosstabOptions(v("g2"), v("g3"), all)),
                        r -> client.crosstab(r, new CrosstabOptions(v("g2"), v("none"), Set.of())),
                        "No used cases were found.",
                        r -> client.crosstab(r, new CrosstabOptions(v("g2"), v("g3"), withNull))),
                new Row("crosstab3",
                        r -> client.threeWayCrosstab(r, new ThreeWayCrosstabOptions(v("g2"), v("g3"), v("one"), all)),
                        r -> client.threeWayCrosstab(r, new ThreeWayCrosstabOptions(v("g2"), v("g3"), v("none"), all)),
                        "No used cases were found.",
                        r -> client.threeWayCrosstab(r,
                                new ThreeWayCrosstabOptions(v("g2"), v("g3"), Variable.at(3), all))),
                new Row("anova1", r -> client.oneWayAnova(r, new OneWayAnovaOptions(v("x"), v("g3"))),
                        r -> client.oneWayAnova(r, new OneWayAnovaOptions(v("x"), v("one"))),
                        "Independent variable is a constant!",
                        r -> client.oneWayAnova(new Run(r.data(), "a/b", r.cases()),
                                new OneWayAnovaOptions(v("x"), v("g3")))),
                new Row("anova2", r -> client.twoWayAnova(r, new TwoWayAnovaOptions(v("x"), v("g2"), v("g3"))),
                        r -> client.twoWayAnova(r, new TwoWayAnovaOptions(v("x"), v("g2"), v("one"))),
                        "Second independent variable is a constant!",
                        r -> client.twoWayAnova(r, new TwoWayAnovaOptions(v("x"), v(""), v("g3")))),
                new Row("correlation", r -> client.correlation(r, new CorrelationOptions(List.of(v("x"), v("y"),
                        v("word")), MissingValueProcessing.PAIRWISE, MatrixKind.CORRELATION, true, false)),
                        r -> client.correlation(r, new CorrelationOptions(v("word"))),
                        "Selected variables are all alphanumeric.",
                        r -> client.correlation(r, new CorrelationOptions(List.of(v("x")), null,
                                MatrixKind.COVARIANCE, false, false))),
                new Row("glm", r -> client.generalLinearModel(r,
                        new GeneralLinearModelOptions(v("y"), List.of(v("g2"), v("g3")), List.of(v("x")))),
                        r -> client.generalLinearModel(r,
                                new GeneralLinearModelOptions(v("y"), List.of(v("word")), List.of(v("x")))), text,
                        r -> client.generalLinearModel(r,
                                new GeneralLinearModelOptions(v("y"), List.of(v("g2")), List.of(v("x"), v("y"))))),
                new Row("factor", r -> client.factorAnalysis(r, new FactorAnalysisOptions(List.of(v("x"), v("y"),
                        v("g3")), FactorExtraction.PRINCIPAL_AXES, FactorRotation.OBLIMIN,
                        MissingValueProcessing.PAIRWISE, false, LoadingSort.COMMUNALITY, 0.5)),
                        r -> client.factorAnalysis(r, new FactorAnalysisOptions(v("word"))),
                        "Selected variables are all alphanumeric.",
                        r -> client.factorAnalysis(r, new FactorAnalysisOptions(List.of(v("x"), v("y")),
                                FactorExtraction.PRINCIPAL_COMPONENTS, FactorRotation.VARIMAX,
                                MissingValueProcessing.LISTWISE, false, LoadingSort.NONE, 0))),
                new Row("regression", r -> client.regression(r,
                        new RegressionOptions(v("y"), List.of(v("x"), v("g3")), RegressionMethod.HIERARCHICAL)),
                        r -> client.regression(r,
                                new RegressionOptions(v("y"), List.of(v("x"), v("word")), RegressionMethod.STANDARD)),
                        "one Independent variable is alphanumeric.",
                        r -> client.regression(r,
                                new RegressionOptions(v("y"), List.of(v("x"), Variable.at(2)), RegressionMethod.STANDARD))),
                new Row("stepwise", r -> client.stepwiseRegression(r, new StepwiseRegressionOptions(v("y"),
                        List.of(v("x"), v("g3")), StepDirection.BACKWARD, OptionalDouble.of(4.0))),
                        r -> client.stepwiseRegression(r, new StepwiseRegressionOptions(v("y"), List.of(v("word")))),
                        "Independent variables are all alphanumeric.",
                        r -> client.stepwiseRegression(r, new StepwiseRegressionOptions(v("y"), List.of(v("x")),
                                StepDirection.FORWARD, OptionalDouble.of(-2.0)))),
                new Row("nonparametric", r -> client.nonparametric(r, new NonparametricOptions(List.of(v("x"), v("y")),
                        Optional.of(v("g2")), MissingValueProcessing.PAIRWISE, EnumSet.allOf(NonparametricTest.class))),
                        r -> client.nonparametric(r, new NonparametricOptions(List.of(v("x"), v("y")),
                                Optional.of(v("one")), MissingValueProcessing.LISTWISE,
                                EnumSet.of(NonparametricTest.KRUSKAL_WALLIS))),
                        "Grouping variable is a constant.",
                        r -> client.nonparametric(r, new NonparametricOptions(List.of(v("x"), v("y")),
                                EnumSet.of(NonparametricTest.SIGN, NonparametricTest.KRUSKAL_WALLIS)))),
                new Row("diagnosis", r -> client.missingDiagnosis(r, new MissingDiagnosisOptions(v("x"), v("none"))),
                        r -> client.missingDiagnosis(r, new MissingDiagnosisOptions(v("word"))), text,
                        r -> client.missingDiagnosis(r.selecting(CaseSelection.of(0, 1)),
                                new MissingDiagnosisOptions(v("x")))),
                new Row("mean", r -> client.meanImputation(r, new MeanImputationOptions(List.of(v("x"), v("none")),
                        Optional.of(v("g2")))),
                        r -> client.meanImputation(r, new MeanImputationOptions(List.of(v("word")), Optional.empty())),
                        text, r -> client.meanImputation(r, new MeanImputationOptions(List.of(v("x")),
                                Optional.of(v("x"))))),
                new Row("em", r -> client.emImputation(Run.of(ten, r.name()),
                        new EmImputationOptions(List.of(v("v4"), v("v5"), v("v6")), true)),
                        r -> client.emImputation(r, new EmImputationOptions(List.of(v("x"), v("y")), false)),
                        "there is no missing data!",
                        r -> client.emImputation(r, new EmImputationOptions(List.of(v("x")), true))),
                new Row("regimpute", r -> client.regressionImputation(Run.of(ten, r.name()),
                        new RegressionImputationOptions(v("v5"), List.of(v("v4"), v("v6")), 2, 7)),
                        r -> client.regressionImputation(r,
                                new RegressionImputationOptions(v("y"), List.of(v("word")), 1, 1)),
                        "word is alphanumeric variable.",
                        r -> client.regressionImputation(r,
                                new RegressionImputationOptions(v("y"), List.of(v("x")), 0, 1))));

        for (Row row : rows) {
            RunResult good = row.success.apply(Run.of(data, row.name + "_good"));
            check(good.succeeded() && good.failureMessage().isEmpty(), row.name + " succeeds: " + good);
            check(Files.exists(good.report()) && Files.exists(good.log()) && Files.exists(good.document())
                    && good.report().getFileName().toString().endsWith("_" + row.name + "_good.out"),
                    row.name + ": the result paths");
            RunResult bad = row.failure.apply(Run.of(data, row.name + "_bad"));
            check(!bad.succeeded() && bad.failureMessage().orElse("").equals(row.message)
                    && TestSupport.readText(bad.log()).contains(" " + row.message + "\n"),
                    row.name + " fails with the log's message: " + bad);
            boolean refused = false;
            try {
                row.refused.apply(Run.of(data, row.name + "_refused"));
            } catch (IllegalArgumentException e) {
                refused = true;
            }
            check(refused && TestSupport.countFiles(scratch, "client_" + row.name + "_refused\\..*") == 0,
                    row.name + ": invalid options refused before the native call");
        }
        RunResult correlation = rows.get(10).success.apply(Run.of(data, "notes"));
        check(correlation.logMessages().equals(List.of("one Selected variable is alphanumeric.")),
                "a successful run keeps the log's notes: " + correlation.logMessages());

        // Fitted values and residuals of y ~ x + g3, one per case: R's lm(y ~ x + g3, read.csv("client.csv"))
        // and, on cases 0, 1, 3, 5, 7, 8, 9, 10 alone, fitted(lm(...))[1].
        RegressionOptions yOnX = new RegressionOptions(v("y"), List.of(v("x"), v("g3")), RegressionMethod.STANDARD);
        RunResult fit = client.regression(Run.of(data, "fit"), yOnX);
        double[] fitted = fit.fittedValues().orElseThrow();
        double[] residuals = fit.residuals().orElseThrow();
        check(fitted.length == 12 && residuals.length == 12 && Math.abs(fitted[0] - 3.79333728746540) < 1e-9
                && Math.abs(fitted[11] - 4.87168559001299) < 1e-9 && Math.abs(residuals[9] - 1.10736315878664504) < 1e-9,
                "regression result arrays: " + Arrays.toString(fitted) + " " + Arrays.toString(residuals));
        double[] some = client.regression(Run.of(data, "fit_some").selecting(CaseSelection.of(0, 1, 3, 5, 7, 8, 9, 10)),
                yOnX).fittedValues().orElseThrow();
        check(some.length == 12 && Math.abs(some[0] - 3.70107802641732) < 1e-9 && Double.isNaN(some[2])
                && Double.isNaN(some[11]) && client.descriptive(Run.of(data, "no_arrays"),
                        new DescriptiveOptions(v("x"))).fittedValues().isEmpty(),
                "regression result arrays of selected cases: " + Arrays.toString(some));

        // The same five cases, read as case numbers (descriptive) and as case flags (correlation).
        CaseSelection five = CaseSelection.of(11, 3, 0, 7, 3, 5);
        client.descriptive(Run.of(data, "five").selecting(five), new DescriptiveOptions(v("x")));
        check(TestSupport.readText(scratch.resolve("client_five.xml")).contains("<Cases>    5</Cases>"),
                "descriptive statistics of the selected cases");
        client.correlation(Run.of(data, "five_corr").selecting(five), new CorrelationOptions(v("x"), v("y")));
        check(TestSupport.readText(scratch.resolve("client_five_corr.out"))
                .contains(" Number of cases used in this analysis are ..      5\n"), "correlation of the selected cases");

        // Another JVM finds the library through the property alone; a wrong path names what was searched.
        String library = System.getProperty("java.library.path");
        String java = Paths.get(System.getProperty("java.home"), "bin", "java").toString();
        String classes = System.getProperty("java.class.path");
        for (String property : new String[] {library, scratch.resolve("nowhere").toString()}) {
            ProcessBuilder child = new ProcessBuilder(java, "-Dquorix.library.path=" + property, "-cp", classes,
                    ClientTest.class.getName(), scratch.toString(), args[1], rkstat, "child").redirectErrorStream(true);
            Process process = child.start();
            String output = new String(process.getInputStream().readAllBytes());
            int status = process.waitFor();
            check(property.equals(library) ? status == 0 && output.contains("child run succeeded")
                    : status != 0 && output.contains("UnsatisfiedLinkError: cannot load the statistics library "
                            + System.mapLibraryName("quorixstat") + " from quorix.library.path=" + property),
                    "quorix.library.path=" + property + ": " + output);
        }
        TestSupport.finish("client");
    }
}
