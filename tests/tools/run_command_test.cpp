// rkstat run: the options each analysis takes, refused when it does not, and
// the usage text.
#include <gtest/gtest.h>

#include <algorithm>
#include <sstream>

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

std::vector<std::string> words(const std::string& list) {
    std::vector<std::string> result;
    std::istringstream in(list);
    for (std::string word; in >> word;) result.push_back(word);
    return result;
}

// Unknown options (another analysis's too) are refused before the run; known ones run.
TEST(RunCommand, OptionsAreCheckedBeforeTheRun) {
    ScratchDir dir;
    const std::string path = two_variables(dir);
    const struct {
        std::vector<std::string> args;
        int status;
        const char* errors;
    } cases[] = {
        {{"correlation", path, "--run", "typo", "--vars", "a,b", "--procesing", "pair"}, 2,
         "rkstat: correlation does not take --procesing; its options are --run, --vars, --select, --matrix, "
         "--processing, --alpha, --write-matrix\n"},
        {{"descriptive", path, "--run", "group", "--vars", "a", "--group", "b"}, 2,
         "rkstat: descriptive does not take --group; its options are --run, --vars, --select\n"},
        {{"correlation", path, "--run", "pair", "--vars", "a,b", "--processing", "pair"}, 0, ""},
        {{"descriptive", path, "--run", "sel", "--vars", "a", "--select", "0,2"}, 0, ""},
    };
    for (const auto& c : cases) {
        const CommandRun result = run(c.args);
        EXPECT_EQ(result.status, c.status) << c.args[3];
        EXPECT_EQ(result.errors, c.errors);
        EXPECT_EQ(any_result_file(path, c.args[3]), c.status == 0) << c.args[3];
    }
}

// Each row's options are the ones its usage line names, and the reverse.
TEST(RunCommand, OptionListsMatchTheUsageLines) {
    const std::vector<std::string> common = words(kCommonOptions);
    for (const AnalysisCommand& analysis : analysis_commands()) {
        const std::string usage = analysis.usage;
        const std::vector<std::string> options = words(analysis.options);
        for (const std::string& option : options)
            EXPECT_NE(usage.find("--" + option), std::string::npos) << analysis.name << " --" << option;
        std::istringstream usage_words(usage);
        for (std::string word; usage_words >> word;) {
            if (word.compare(0, 2, "--") != 0) continue;
            std::string name = word.substr(2);
            name = name.substr(0, name.find_first_not_of("abcdefghijklmnopqrstuvwxyz-"));
            const bool listed = std::find(options.begin(), options.end(), name) != options.end() ||
                                std::find(common.begin(), common.end(), name) != common.end();
            EXPECT_TRUE(listed) << analysis.name << " usage names --" << name;
        }
    }
}

TEST(RunCommand, UsageHoldsEveryLineWhole) {
    const std::string usage = run_usage();
    for (const AnalysisCommand& analysis : analysis_commands()) {
        std::string line = "  " + std::string(analysis.name);
        line.resize(std::max<size_t>(line.size(), 16), ' ');
        EXPECT_NE(usage.find(line + " " + analysis.usage + "\n"), std::string::npos) << analysis.name;
    }
}

}  // namespace
}  // namespace quorix
