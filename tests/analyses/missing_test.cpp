// The missing-data procedures: whole runs on a sample with several
// missingness patterns against golden files, and their numbers against R.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "analyses/common/covariance.h"
#include "analyses/missing/diagnosis.h"
#include "analyses/missing/em.h"
#include "analyses/missing/regression_imputation.h"
#include "analyses/missing/working_copy.h"
#include "analyses/registry.h"
#include "data_tools.h"
#include "numeric/sorting.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;

const std::string kPatterns = std::string(QUORIX_GOLDEN_DIR) + "/missing/patterns.csv";

// height, weight, age, score (with gaps) and group (1..3, one gap), 12 cases.
std::string import_patterns(const ScratchDir& dir, const std::string& name = "patterns.rkd") {
    ImportOptions options;
    std::string error;
    const std::string path = dir.file(name);
    EXPECT_TRUE(import_csv(kPatterns, path, options, error)) << error;
    return path;
}

std::string run_record(const ScratchDir& dir, const std::string& path, AnalysisId id, const char* run,
                       const AnalysisArguments& arguments) {
    return testing::record_run(dir, path, run, [&] { run_analysis(id, path, run, arguments); });
}

// R: x <- read.csv("patterns.csv")[, 1:4]; m <- is.na(x); cor(!m);
// outer(1:4, 1:4, Vectorize(function(i, j) sum(m[, i] | m[, j])))
TEST(MissingDiagnosis, IndicatorStatisticsAgainstR) {
    const std::vector<std::vector<double>> rows = testing::read_number_table("golden/missing/patterns.csv");
    const int n = static_cast<int>(rows.size()), k = 4;
    std::vector<int32_t> indicators;
    for (size_t i = 0; i < 4; ++i)  // an empty field reads as 0, which the sample never holds
        for (const std::vector<double>& row : rows) indicators.push_back(row[i] != 0);
    std::vector<double> covariances(packed_size(k)), means(k), sd(k);
    std::vector<int32_t> counts(packed_size(k));
    indicator_pair_statistics(k, n, indicators.data(), covariances.data(), means.data(), counts.data());
    EXPECT_EQ(counts, (std::vector<int32_t>{3, 5, 3, 5, 5, 2, 4, 5, 4, 2}));
    covariance_to_correlation(k, covariances.data(), sd.data());
    const std::vector<double> r = {1, 0.11111111111111110, 1, -0.25819888974716115, -0.25819888974716115, 1,
                                   0.25819888974716115, -0.25819888974716115, -0.20000000000000001, 1};
    for (size_t p = 0; p < r.size(); ++p) EXPECT_NEAR(covariances[p], r[p], 1e-14) << p;
}

TEST(MissingDiagnosis, RunAgainstGoldenFile) {
    ScratchDir dir;
    const std::string path = import_patterns(dir);
    testing::expect_golden("missing/diagnosis.txt", run_record(dir, path, AnalysisId::missing_diagnosis, "diag",
                                                               {{variables_argument({1, 2, 3, 4})}, {}}));
}

// The filled copy goes beside the data file under its own name, and the data
// file keeps every byte.
TEST(MeanImputation, RunsAgainstGoldenFilesAndLeaveTheDataFile) {
    ScratchDir dir;
    const std::string path = import_patterns(dir);
    const std::vector<unsigned char> before = testing::read_bytes(path);
    setenv(kWorkDirVariable, dir.path.c_str(), 1);
    std::string record;
    for (int group : {0, 5}) {
        const char* run = group ? "grouped" : "plain";
        record += run_record(dir, path, AnalysisId::missing_mean, run,
                             {{variables_argument({1, 2, 3, 4}), variables_argument({group})}, {}});
        std::string error;
        EXPECT_TRUE(export_csv(dir.file("patterns_filled.rkd"), dir.file("filled.csv"), error)) << error;
        record += "== filled csv\n" + testing::read_text(dir.file("filled.csv"));
    }
    unsetenv(kWorkDirVariable);
    EXPECT_EQ(testing::read_bytes(path), before);
    testing::expect_golden("missing/mean_imputation.txt", record);
}

// R: M <- 2147483647; s <- c(1, 1234567, 4321410, 5678901); for (i in 1:6) { p <- (i - 1) %% 4 + 1;
// q <- (p + 2) %% 4 + 1; s[p] <- (s[p] * 46339 + s[q]) %% M; print(s[p] / M, digits = 17) }
TEST(RegressionImputation, GeneratorDrawsFromSeedOne) {
    ResidualGenerator generator;
    reset_generator(generator, 1.0);
    for (double expected : {0.0026660226297872246, 0.6424964552943112084, 0.8910845270804522711,
                            0.4319913258925039967, 0.9728139676027065530, 0.6160558506921194333})
        EXPECT_NEAR(draw_uniform(generator), expected, 1e-15);
}

// weight on height and age, 3 drawings from seed 12.7 (used as 12); then a
// negative seed, refused. The fitted values handed back against R:
// cc <- complete.cases(x[, 1:3]); b <- coef(lm(weight ~ height + age, x));
// b[1] + b[2] * h + b[3] * a, with h and a the columns whose gaps hold their means over cc.
TEST(RegressionImputation, RunAgainstGoldenFileAndR) {
    ScratchDir dir;
    const std::string path = import_patterns(dir);
    const std::vector<unsigned char> before = testing::read_bytes(path);
    setenv(kWorkDirVariable, dir.path.c_str(), 1);
    AnalysisResults results;
    AnalysisArguments arguments{
        {variables_argument({2}), variables_argument({1, 3}), integer_argument(3), number_argument(12.7)}, {}};
    arguments.results = &results;
    std::string record = run_record(dir, path, AnalysisId::missing_regression, "impute", arguments);
    std::string error;
    EXPECT_TRUE(export_csv(dir.file("patterns_filled.rkd"), dir.file("filled.csv"), error)) << error;
    record += "== filled csv\n" + testing::read_text(dir.file("filled.csv"));
    arguments.values[3] = number_argument(-1);
    arguments.results = nullptr;
    record += run_record(dir, path, AnalysisId::missing_regression, "negative", arguments);
    unsetenv(kWorkDirVariable);
    EXPECT_EQ(testing::read_bytes(path), before);
    testing::expect_golden("missing/regression_imputation.txt", testing::replace_all(record, dir.path, "<dir>"));

    const std::vector<double> fitted = {58.032062725606956, 71.532880612156617, 66.964201734863195,
                                        76.946203512193605, 49.303085948866361, 66.360884575760679,
                                        65.891637896458718, 64.050759297561271, 88.322538279449816,
                                        65.757567416658148, 53.599510840928929, 69.450675149618192};
    ASSERT_EQ(results.first.size(), fitted.size());
    ASSERT_EQ(results.second.size(), fitted.size());
    for (size_t c = 0; c < fitted.size(); ++c) EXPECT_NEAR(results.first[c], fitted[c], 1e-10) << c;
}

EmData em_of_sample(const std::vector<size_t>& columns) {
    EmData data;
    data.k = static_cast<int>(columns.size());
    std::vector<double> values;
    std::vector<int> cases;
    int c = 0;
    for (const std::vector<double>& row : testing::read_number_table("golden/missing/patterns.csv")) {
        bool any = false;
        for (size_t i : columns) {
            values.push_back(row[i] != 0 ? row[i] : kSystemMissing);  // empty fields read as 0
            any |= row[i] != 0;
        }
        if (any) cases.push_back(c);
        else values.resize(values.size() - columns.size());
        ++c;
    }
    order_patterns(data, values, cases);
    return data;
}

// Against tests/analyses/missing_em_reference.R, an EM written plainly with
// solve() from the same start and with the same stopping rule. The log likelihood
// after the last iteration against SciPy at these estimates (the first case's are
// the golden file's matrix csv, correlations times standard deviations):
//   x = np.genfromtxt("patterns.csv", delimiter=",", skip_header=1)[:, columns]
//   sum(multivariate_normal.logpdf(r[o], mu[o], S[np.ix_(o, o)]) for r in x for o in [~np.isnan(r)])
// over the cases with a variable present; EM never lowers it.
TEST(MissingEm, EstimatesAgainstR) {
    struct Case {
        std::vector<size_t> columns;
        int status, iterations;
        std::vector<double> means, covariances;
        double log_likelihood;
    };
    const Case cases[] = {
        {{0, 1, 2, 3}, 0, 30,
         {1.6944775382476005, 66.2002026450846444, 38.1119592472107911, 69.7287519513764096},
         {0.0093618393298675606, 1.0636202373250540631, 122.6877167985730920918, -0.4349538444299838602,
          -54.4169026595550349157, 55.5184108697101237340, 0.4748960308074146042, 55.0799304025922538131,
          -39.5289797699010705401, 42.1966172285819993704},
         -68.27298767248651},
        {{0, 2}, 1, 6, {1.7038538436348019, 39.0655858458010030},
         {0.010975574826505685, -0.356157539804897283, 45.992081387247480961},
         -24.78335977638174},
    };
    for (const Case& c : cases) {
        EmData data = em_of_sample(c.columns);
        int iterations = 0;
        EXPECT_EQ(run_em(data, &iterations), c.status);
        EXPECT_EQ(iterations, c.iterations);
        for (size_t i = 0; i < c.means.size(); ++i) EXPECT_NEAR(data.means[i], c.means[i], 1e-9 * std::fabs(c.means[i]));
        for (size_t p = 0; p < c.covariances.size(); ++p)
            EXPECT_NEAR(data.covariances[p], c.covariances[p], 1e-9 * std::fabs(c.covariances[p])) << p;
        ASSERT_EQ(data.log_likelihoods.size(), static_cast<size_t>(c.iterations));
        EXPECT_NEAR(data.log_likelihoods.back(), c.log_likelihood, 1e-8);
        for (size_t t = 1; t < data.log_likelihoods.size(); ++t)
            EXPECT_GE(data.log_likelihoods[t], data.log_likelihoods[t - 1]) << t;
    }
}

// The run with the matrix file, on a data file named Matrix.rkd: the data
// file keeps its bytes and the matrix file is refused; then on patterns.rkd.
TEST(MissingEm, RunsAgainstGoldenFileAndLeavesTheDataFile) {
    ScratchDir dir;
    const std::string matrix_named = import_patterns(dir, "Matrix.rkd");
    const std::vector<unsigned char> before = testing::read_bytes(matrix_named);
    const std::string refused = run_record(dir, matrix_named, AnalysisId::missing_em, "em",
                                           {{variables_argument({1, 2, 3, 4}), integer_argument(1)}, {}});
    EXPECT_NE(testing::section(refused, "log").find("the matrix file is not written"), std::string::npos);
    EXPECT_EQ(testing::read_bytes(matrix_named), before);
    std::remove(matrix_named.c_str());

    const std::string path = import_patterns(dir);
    std::string record = run_record(dir, path, AnalysisId::missing_em, "em",
                                    {{variables_argument({1, 2, 3, 4}), integer_argument(1)}, {}});
    std::string info, error;
    EXPECT_TRUE(describe_data_file(dir.file("Matrix.rkd"), info, error)) << error;
    EXPECT_TRUE(export_csv(dir.file("Matrix.rkd"), dir.file("matrix.csv"), error)) << error;
    record += "== MissingEM.dat\n" + testing::read_text(dir.file("MissingEM.dat")) + "== matrix\n" + info +
              "== matrix csv\n" + testing::read_text(dir.file("matrix.csv"));
    testing::expect_golden("missing/em.txt", testing::replace_all(record, dir.path, "<dir>"));
}


// The order of the patterns against the rule written out plainly: complete
// cases first, then from the first case with the most missing cells each next
// pattern the nearest remaining one (cells that differ), ties to more missing
// cells, then to the earlier first case. Random masks over 5 variables (many
// ties, the lookup among near masks) and over 70 (the scan of the rest).
TEST(MissingEm, PatternOrderFollowsTheNearestRule) {
    for (int k : {5, 70}) {
        std::srand(static_cast<unsigned>(k));
        const size_t n = 400;
        std::vector<double> values(n * static_cast<size_t>(k));
        std::vector<int> cases(n);
        for (size_t t = 0; t < n; ++t) {
            cases[t] = static_cast<int>(t);
            for (int i = 0; i < k; ++i)
                values[t * static_cast<size_t>(k) + static_cast<size_t>(i)] =
                    std::rand() % (k == 5 ? 3 : 25) == 0 ? kSystemMissing : static_cast<double>(t + i);
        }
        // The expected order, pattern by pattern, by the plain rule.
        auto mask_of = [&](size_t t) {
            std::string m;
            for (int i = 0; i < k; ++i)
                m += values[t * static_cast<size_t>(k) + static_cast<size_t>(i)] == kSystemMissing ? 'M' : ' ';
            return m;
        };
        std::vector<std::string> masks;
        std::vector<int> expected;
        for (size_t t = 0; t < n; ++t)
            if (mask_of(t).find('M') == std::string::npos) expected.push_back(static_cast<int>(t));
        for (size_t t = 0; t < n; ++t) {
            const std::string m = mask_of(t);
            if (m.find('M') != std::string::npos && std::find(masks.begin(), masks.end(), m) == masks.end())
                masks.push_back(m);
        }
        auto missing = [](const std::string& m) { return std::count(m.begin(), m.end(), 'M'); };
        std::vector<char> done(masks.size(), 0);
        size_t current = 0;
        for (size_t g = 1; g < masks.size(); ++g)
            if (missing(masks[g]) > missing(masks[current])) current = g;
        for (size_t placed = 0; placed < masks.size(); ++placed) {
            done[current] = 1;
            for (size_t t = 0; t < n; ++t)
                if (mask_of(t) == masks[current]) expected.push_back(static_cast<int>(t));
            size_t next = masks.size();
            long best = 0;
            for (size_t g = 0; g < masks.size(); ++g) {
                if (done[g]) continue;
                long d = 0;
                for (int i = 0; i < k; ++i) d += masks[g][static_cast<size_t>(i)] != masks[current][static_cast<size_t>(i)];
                if (next == masks.size() || d < best || (d == best && missing(masks[g]) > missing(masks[next]))) {
                    next = g;
                    best = d;
                }
            }
            current = next;
        }
        EmData data;
        data.k = k;
        order_patterns(data, values, cases);
        EXPECT_EQ(data.case_numbers, expected) << k;
        EXPECT_EQ(data.pattern_start.size(), masks.size() + 2) << k;
    }
}

}  // namespace
}  // namespace quorix
