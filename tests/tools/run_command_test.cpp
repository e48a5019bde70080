// rkstat run: the options each analysis takes, refused when it does not, and
// the usage text.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

#include "analyses/registry.h"
#include "frame/run_frame.h"
#include "run_command.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;

struct CommandRun {
    int status = 0;
    std::string errors;
};

CommandRun run(const std::vector<std::string>& args) {
    CommandRun result;
    ::testing::internal::CaptureStdout();
    ::testing::internal::CaptureStderr();
    result.status = run_command(args);
    result.errors = ::testing::internal::GetCapturedStderr();
    ::testing::internal::GetCapturedStdout();
    return result;
}

std::string two_variables(const ScratchDir& dir) {
    const std::string path = dir.file("two.rkd");
    testing::write_numeric_file(path, {{"a", {1, 2, 3, 4, 5}}, {"b", {2, 1, 4, 3, 6}}});
    return path;
}

bool any_result_file(const std::string& path, const std::string& run_name) {
    const ResultFileNames names = result_file_names(path, run_name);
    return testing::file_exists(names.report) || testing::file_exists(names.log) || testing::file_exists(names.xml);
}

// Unknown options (another analysis's too) are refused before the run; known
// ones run; each outcome has its exit status and one closing line.
TEST(RunCommand, OptionsAndOutcomes) {
    ScratchDir dir;
    const std::string path = two_variables(dir);
    const struct {
        std::vector<std::string> args;
        int status;
        const char* errors;  // the start of what goes to standard error
    } cases[] = {
        {{"correlation", path, "--run", "typo", "--vars", "a,b", "--procesing", "pair"}, 2,
         "rkstat: correlation does not take --procesing; its options are --run, --select, --out-dir, --vars, "
         "--processing, --matrix, --alpha, --write-matrix, --quiet\n"},
        {{"descriptive", path, "--run", "group", "--vars", "a", "--group", "b"}, 2,
         "rkstat: descriptive does not take --group; its options are --run, --select, --out-dir, --vars, --quiet\n"},
        {{"crosstab", path, "--run", "show", "--vars", "a,b", "--show", "rows"}, 2,
         "rkstat: --show takes cell, row, column, expected or none, got 'rows'\n"},
        {{"paired", path, "--run", "one", "--vars", "a"}, 2, "rkstat: --vars takes X,Y\n"},
        {{"correlation", path, "--run", "pair", "--vars", "a,b", "--processing", "pair"}, 0,
         "rkstat: correlation done: "},
        {{"descriptive", path, "--run", "sel", "--vars", "a", "--select", "0,2"}, 0, "rkstat: descriptive done: "},
        // No case left, a refused option word, a missing file: the run fails.
        {{"one-sample", path, "--run", "none", "--vars", "a", "--select", "7"}, 1,
         "rkstat: one-sample found no case to analyse"},
        {{"correlation", path, "--run", "word", "--vars", "a,b", "--matrix", "x"}, 1, "rkstat: correlation failed: "},
    };
    for (const auto& c : cases) {
        const CommandRun result = run(c.args);
        EXPECT_EQ(result.status, c.status) << c.args[3];
        EXPECT_EQ(result.errors.compare(0, std::string(c.errors).size(), c.errors), 0) << result.errors;
        EXPECT_EQ(any_result_file(path, c.args[3]), c.status != 2) << c.args[3];
    }
    // A file that cannot be read: the path and the system's reason.
    const CommandRun absent = run({"descriptive", dir.file("absent.rkd"), "--vars", "1"});
    EXPECT_EQ(absent.status, 1);
    EXPECT_EQ(absent.errors, "rkstat: cannot open " + dir.file("absent.rkd") + ": No such file or directory\n");
    const CommandRun directory = run({"descriptive", dir.file(""), "--vars", "1"});
    EXPECT_EQ(directory.status, 1);
    EXPECT_NE(directory.errors.find(": is a directory"), std::string::npos);
}

// Each analysis's usage line names its options, and --help lists every built analysis whole.
TEST(RunCommand, UsageNamesEveryOption) {
    const std::string usage = run_usage();
    for (const AnalysisRow& row : analysis_rows()) {
        if (!row.entry) continue;
        for (const ParameterSpec& parameter : row.parameters)
            EXPECT_NE(std::string(row.usage).find(std::string("--") + parameter.option), std::string::npos)
                << row.command << " --" << parameter.option;
        std::string line = "  " + std::string(row.command);
        line.resize(std::max<size_t>(line.size(), 16), ' ');
        EXPECT_NE(usage.find(line + " " + row.usage + "\n"), std::string::npos) << row.command;
    }
}

// The README's table of analyses names every analysis rkstat runs.
TEST(RunCommand, ReadmeListsEveryAnalysis) {
    const std::string readme = testing::read_text(std::string(QUORIX_SAMPLE_DIR) + "/../README.md");
    for (const AnalysisRow& row : analysis_rows()) {
        if (!row.entry) continue;
        EXPECT_NE(readme.find("| `" + std::string(row.command) + "` |"), std::string::npos) << row.command;
    }
}

}  // namespace
}  // namespace quorix
