import com.quorix.statistics.client.DataFile;
import com.quorix.statistics.client.DescriptiveOptions;
import com.quorix.statistics.client.IndependentTTestOptions;
import com.quorix.statistics.client.Run;
import com.quorix.statistics.client.RunResult;
import com.quorix.statistics.client.StatisticsClient;
import com.quorix.statistics.client.Variable;
import java.io.IOException;
import java.nio.file.Path;

/**
 * Runs two analyses on the sample data through the typed client and prints where their results
 * are and how they ended. Argument: the directory holding airquality.rkd and toothgrowth.rkd
 * (imported by scripts/demo).
 */
public final class ClientExample {
    private static void show(String what, RunResult result) {
        Path here = Path.of("").toAbsolutePath();
        System.out.println();
        System.out.println(what + ": " + (result.succeeded() ? "succeeded" : "failed: " + result.failureMessage().get()));
        System.out.println("  report   " + here.relativize(result.report()));
        System.out.println("  log      " + here.relativize(result.log()));
        System.out.println("  document " + here.relativize(result.document()));
    }

    public static void main(String[] args) throws IOException {
        Path dir = Path.of(args.length > 0 ? args[0] : "demo");
        StatisticsClient client = new StatisticsClient();

        DataFile air = DataFile.open(dir.resolve("airquality.rkd"));
        RunResult descriptive = client.descriptive(Run.of(air, "java_descriptive"),
                new DescriptiveOptions(Variable.named("Ozone"), Variable.named("SolarR"), Variable.named("Wind"),
                        Variable.named("Temp")));

        DataFile tooth = DataFile.open(dir.resolve("toothgrowth.rkd"));
        RunResult ttest = client.independentTTest(Run.of(tooth, "java_ttest"),
                new IndependentTTestOptions(Variable.named("len"), Variable.named("supp"), 0.0));

        // The library has echoed its report and log lines above; the outcome comes from the files.
        show("descriptive statistics of Ozone, SolarR, Wind, Temp", descriptive);
        show("independent-samples t-test of len by supp", ttest);
    }
}
