// Faults injected into whole runs: the k-th large allocation failing, for
// every k a run reaches, and the data file cut short under a running analysis.
// (Write failures are injected by tests/check-write-failures.)
#include <gtest/gtest.h>

#include <filesystem>

#include "analyses/basic/anova.h"
#include "analyses/basic/correlation.h"
#include "analyses/basic/crosstab.h"
#include "analyses/basic/descriptive.h"
#include "analyses/basic/frequency.h"
#include "analyses/basic/ttest.h"
#include "analyses/registry.h"
#include "frame/memory.h"
#include "frame/run_frame.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;

struct Analysis {
    const char* name;
    AnalysisId id;
    int (*driver)(RunContext&);
};

// On the file of sample_file: 1 y, 2 a (2 groups), 3 b (3 groups), 4 z, 5 w (5 categories).
const Analysis kAnalyses[] = {
    {"descriptive", AnalysisId::descriptive, [](RunContext& c) { return descriptive_driver(c, {1, 4}); }},
    {"frequency", AnalysisId::frequency, [](RunContext& c) { return frequency_driver(c, {2, 5}, 1); }},
    {"one-sample", AnalysisId::one_sample, [](RunContext& c) { return one_sample_driver(c, 1, 20.0); }},
    {"paired", AnalysisId::paired_sample, [](RunContext& c) { return paired_sample_driver(c, 1, 4, 0.0); }},
    {"independent", AnalysisId::independent_sample, [](RunContext& c) { return independent_sample_driver(c, 1, 2, 0.0); }},
    {"matched", AnalysisId::matched_sample, [](RunContext& c) { return matched_sample_driver(c, 1, 2, 0.0); }},
    {"crosstab", AnalysisId::crosstab_two, [](RunContext& c) { return crosstab_two_way(c, 3, 5, 0x1111); }},
    {"crosstab3", AnalysisId::crosstab_three, [](RunContext& c) { return crosstab_three_way(c, 3, 5, 2, 0x1111); }},
    {"anova1", AnalysisId::anova_one, [](RunContext& c) { return one_way_anova(c, 1, 3); }},
    {"anova2", AnalysisId::anova_two, [](RunContext& c) { return two_way_anova(c, 1, 2, 3); }},
    {"correlation", AnalysisId::correlation,
     [](RunContext& c) { return correlation_driver(c, {1, 4, 2, 3}, "pair", "corr", 1, 1); }},
};

// 600 cases, so that a column is larger than a stream buffer: a read after the
// file is cut cannot be served from what the dictionary read left buffered.
std::string sample_file(const ScratchDir& dir, const std::string& name) {
    std::vector<testing::TestVariable> variables = {{"y", {}}, {"a", {}}, {"b", {}}, {"z", {}}, {"w", {}}};
    for (int c = 0; c < 600; ++c) {
        variables[0].values.push_back((c * 37 % 101) * 0.5);
        variables[1].values.push_back(c % 2 + 1);
        variables[2].values.push_back(c % 3 + 1);
        variables[3].values.push_back((c * 13 % 97) * 0.25);
        variables[4].values.push_back(c % 5);
    }
    const std::string path = dir.file(name);
    testing::write_numeric_file(path, variables);
    return path;
}

bool reports_memory_failure(const std::string& record) {
    for (const char* line : {"Memory allocation error", "emory allocation error", "ot enough memory"})
        if (record.find(line) != std::string::npos) return true;
    return false;
}

// For each analysis and every k its run reaches, the k-th memory check fails:
// the run reports the memory failure (or, where the check only chooses a
// slower way, gives the same results), and the next run gives the same
// results as before. Under AddressSanitizer every failed run is also checked
// for leaks.
TEST(FaultInjection, EachLargeAllocationOfEachAnalysisFailsInTurn) {
    ScratchDir dir;
    int injected = 0;
    for (const Analysis& analysis : kAnalyses) {
        const std::string path = sample_file(dir, std::string(analysis.name) + ".rkd");
        int status = 0;
        const auto run = [&] {
            return testing::record_run(dir, path, "f", [&] {
                status = run_frame(path.c_str(), "f", analysis_row(analysis.id).frame, {}, analysis.driver);
            });
        };
        const std::string baseline = run();
        ASSERT_EQ(status, 0) << analysis.name << "\n" << baseline;
        int reached = 0;
        for (int64_t k = 1;; ++k) {
            fail_memory_check(k);
            const std::string record = run();
            const bool hit = memory_checks_counted() >= k;
            fail_memory_check(0);
            if (!hit) break;
            ++reached;
            EXPECT_TRUE((status != 0 && reports_memory_failure(record)) || (status == 0 && record == baseline))
                << analysis.name << ", check " << k << " failing: status " << status << "\n" << record;
            EXPECT_EQ(run(), baseline) << analysis.name << " after check " << k << " failed";
        }
        EXPECT_GT(reached, 0) << analysis.name << " makes no memory check";
        injected += reached;
    }
    std::printf("memory faults injected: %d\n", injected);
}

// The data file cut right behind the dictionary (its first descriptor
// included) after the run frame has read it: every analysis fails its first
// read with the read-failure message and returns.
TEST(FaultInjection, DataFileCutUnderARunningAnalysis) {
    ScratchDir dir;
    for (const Analysis& analysis : kAnalyses) {
        const std::string path = sample_file(dir, "cut.rkd");
        int status = 0;
        const std::string record = testing::record_run(dir, path, "f", [&] {
            status = run_frame(path.c_str(), "f", analysis_row(analysis.id).frame, {}, [&](RunContext& context) {
                std::filesystem::resize_file(path, static_cast<uintmax_t>(context.data_start));
                return analysis.driver(context);
            });
        });
        EXPECT_NE(status, 0) << analysis.name;
        EXPECT_NE(testing::section(record, "console").find(" can't read data!"), std::string::npos)
            << analysis.name << "\n" << record;
    }
}

}  // namespace
}  // namespace quorix
