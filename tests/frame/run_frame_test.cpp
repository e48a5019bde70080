// The run frame's scenarios, each checked against a golden record of the
// console and the three result files.
#include <gtest/gtest.h>
#include <sys/stat.h>

#include "analyses/registry.h"
#include "frame/run_frame.h"
#include "report/result_document.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;
using testing::TestVariable;

// Stands in for an analysis: one line on each channel, a minimal result element.
int stand_in_driver(RunContext& context, int status) {
    channel_printf(kReportChannel, "report of %d variables\n", context.header.variable_count);
    channel_printf(kLogChannel, "driver ran on %d cases\n", context.header.case_count);
    ResultHead head;
    head.analysis = "Descriptive";
    head.variable_count = context.header.variable_count;
    write_result_head(context, head);
    write_result_end();
    return status;
}

std::vector<TestVariable> numbered_variables(int count, int cases) {
    std::vector<TestVariable> variables;
    for (int v = 0; v < count; ++v) {
        TestVariable variable{"var" + std::to_string(v + 1), {}};
        for (int c = 0; c < cases; ++c) variable.values.push_back(v * 10 + c);
        variables.push_back(variable);
    }
    return variables;
}

std::string run_and_record(const ScratchDir& dir, const std::string& data_path, const std::string& run_name,
                           int status = 0) {
    return testing::record_run(dir, data_path, run_name, [&] {
        run_frame(data_path.c_str(), run_name.c_str(), analysis_row(AnalysisId::descriptive).frame, {},
                  [status](RunContext& context) { return stand_in_driver(context, status); });
    });
}

// Data file name of count variables of cases values, cut to size bytes and with
// byte damage set to 'X' when given.
std::string damaged_file(const ScratchDir& dir, const char* name, int count, int cases, size_t size = 0,
                         size_t damage = 0) {
    const std::string path = dir.file(name);
    testing::write_numeric_file(path, numbered_variables(count, cases));
    std::vector<unsigned char> bytes = testing::read_bytes(path);
    if (damage) bytes[damage] = 'X';
    if (size) bytes.resize(size);
    testing::write_bytes(path, bytes);
    return path;
}

TEST(RunFrame, ScenariosAgainstGoldenFiles) {
    ScratchDir dir;
    testing::expect_golden("frame/missing_file.txt", run_and_record(dir, dir.file("absent.rkd"), "run1"));
    // Wrong magic: reported on the console only.
    testing::expect_golden("frame/wrong_magic.txt",
                           run_and_record(dir, damaged_file(dir, "magic.rkd", 2, 3, 0, kHeaderSize + 2 * kLongNameWidth), "run1"));
    testing::expect_golden("frame/hundred_bytes.txt", run_and_record(dir, damaged_file(dir, "short.rkd", 2, 3, 100), "run1"));
    // Cut inside the second variable's values.
    const size_t cut = kHeaderSize + 3 * kLongNameWidth + kMagicSize + (kDescriptorSize + 40) + kDescriptorSize + 12;
    testing::expect_golden("frame/dictionary_cut.txt", run_and_record(dir, damaged_file(dir, "cut.rkd", 3, 5, cut), "run1"));
    // Ten variables are listed six and four to a line.
    testing::expect_golden("frame/ten_variables.txt", run_and_record(dir, damaged_file(dir, "ten.rkd", 10, 4), "run1"));
    // A run name that cannot be a file name gives only the console line.
    testing::expect_golden("frame/bad_run_name.txt", run_and_record(dir, damaged_file(dir, "data.rkd", 1, 1), "no/such/dir"));
}

TEST(RunFrame, DriverResultsGiveTheirConsoleLines) {
    ScratchDir dir;
    const std::string path = dir.file("data.rkd");
    testing::write_numeric_file(path, numbered_variables(1, 2));
    const std::string undeclared = run_and_record(dir, path, "r", 3);
    EXPECT_NE(undeclared.find("\nThe Return Value ( 3 ) from Descriptive Operation is undeclared error number"
                              "Descript Analysis Done!\n"),
              std::string::npos);
    const std::string memory = run_and_record(dir, path, "r", -1);
    EXPECT_NE(memory.find("\nMemory allocation error when doing Descriptive OperationDescript Analysis Done!\n"),
              std::string::npos);
    // A driver that runs out of memory gives the memory status and leaves no file open.
    ::testing::internal::CaptureStdout();
    const int status = run_frame(path.c_str(), "r", analysis_row(AnalysisId::descriptive).frame, {},
                                 [](RunContext&) -> int { throw std::bad_alloc(); });
    ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(status, -1);
    EXPECT_EQ(output_state().files_open, 0);
}

TEST(RunFrame, ResultNamesDropTheLastFourCharacters) {
    EXPECT_EQ(result_file_names("C:\\data\\survey.rkd", "run1").report, "C:\\data\\survey_run1.out");
    const ResultFileNames names = result_file_names("dir/datafile", "a.b");
    EXPECT_EQ(names.report, "dir/data_a.b.out");
    EXPECT_EQ(names.log, "dir/data_a.b.log");
    EXPECT_EQ(names.xml, "dir/data_a.b.xml");
    // A path shorter than an extension has none, and the run stops before the driver.
    EXPECT_TRUE(result_file_names("abc", "run").report.empty());
    ::testing::internal::CaptureStdout();
    int calls = 0;
    const int status = run_frame("a.r", "run", analysis_row(AnalysisId::descriptive).frame, {}, [&calls](RunContext&) { return ++calls; });
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), "can't initialize output files.");
    EXPECT_EQ(status, -1);
    EXPECT_EQ(calls, 0);
    EXPECT_EQ(output_state().files_open, 0);
}

TEST(RunFrame, FramesWithoutSelectionIgnoreTheCallersAndPrintNoStatus) {
    ScratchDir dir;
    const std::string path = dir.file("data.rkd");
    testing::write_numeric_file(path, numbered_variables(1, 3));
    size_t seen = 99;
    ::testing::internal::CaptureStdout();
    run_frame(path.c_str(), "m", analysis_row(AnalysisId::missing_mean).frame, {0, 1}, [&seen](RunContext& context) {
        seen = context.selection.size();
        return 5;
    });
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(seen, 0u);
    EXPECT_EQ(console.find("Descriptive Operation"), std::string::npos);
    EXPECT_NE(console.find("Mean Imputation Done!\n"), std::string::npos);
}

// A FIFO would block the open for good and a directory reads as an empty
// stream: neither is opened, as data file or as result file.
TEST(RunFrame, PathsThatAreNotRegularFilesAreRefusedAtOnce) {
    ScratchDir dir;
    const std::string fifo = dir.file("pipe.rkd"), data = dir.file("data.rkd");
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    ASSERT_EQ(mkfifo(dir.file("data_blocked.out").c_str(), 0600), 0);
    ASSERT_EQ(mkdir(dir.file("folder.rkd").c_str(), 0700), 0);
    testing::write_numeric_file(data, numbered_variables(1, 3));
    const FrameRow& frame = analysis_row(AnalysisId::descriptive).frame;
    int calls = 0;
    const auto driver = [&calls](RunContext&) { return ++calls; };
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(run_frame(fifo.c_str(), "f", frame, {}, driver), -1);
    EXPECT_EQ(run_frame(dir.file("folder.rkd").c_str(), "d", frame, {}, driver), -1);
    EXPECT_EQ(run_frame(data.c_str(), "blocked", frame, {}, driver), -1);
    const std::string console = ::testing::internal::GetCapturedStdout();
    EXPECT_EQ(calls, 0);
    EXPECT_NE(testing::read_text(dir.file("folder_d.log")).find(": not a regular file\n"), std::string::npos);
    EXPECT_NE(testing::read_text(dir.file("pipe_f.log")).find("Open file Failed.\n\n cannot open " + fifo +
                                                               ": not a regular file\n"),
              std::string::npos);
    EXPECT_EQ(output_state().run_failure, "cannot create " + dir.file("data_blocked.out") + ": not a regular file");
    EXPECT_NE(console.find("can't initialize output files."), std::string::npos);
}

}  // namespace
}  // namespace quorix
