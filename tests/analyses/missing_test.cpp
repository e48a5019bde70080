// The missing-data procedures: whole runs on a sample with several
// missingness patterns against golden files, and their numbers against R.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>

#include "analyses/basic/covariance.h"
#include "analyses/missing/diagnosis.h"
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

}  // namespace
}  // namespace quorix
