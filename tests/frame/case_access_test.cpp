// Case access: missing-value kinds, both selection forms, the missing-case
// flags, the complete cases of several variables and the case-count lines.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "datafile/rkd_reader.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;
using testing::TestVariable;
using Doubles = std::vector<double>;
using Flags = std::vector<int32_t>;

VariableDescriptor descriptor(double kind, double m1, double m2, double m3) {
    VariableDescriptor d;
    d.missing_kind = kind;
    d.missing_value1 = m1;
    d.missing_value2 = m2;
    d.missing_value3 = m3;
    return d;
}

TEST(CaseAccess, MissingValueKinds) {
    for (const std::vector<double>& row : testing::read_number_table("frame/missing_kinds.csv"))
        EXPECT_EQ(is_missing(row[4], descriptor(row[0], row[1], row[2], row[3])), row[5])
            << "kind " << row[0] << " value " << row[4];
}

// A data file opened and loaded.
struct OpenData : testing::OpenDataFile {
    explicit OpenData(const std::string& path) : OpenDataFile(path) { EXPECT_EQ(load_data_file(context), LoadStatus::ok); }
};

// x is missing (code 3) in case 3, y (1e35) in case 1.
std::string cases_file(const ScratchDir& dir) {
    const std::string path = dir.file("cases.rkd");
    testing::write_numeric_file(
        path, {{"x", {0, 1, 2, 3, 4, 5}, descriptor(1, 3, 1e35, -1e35)}, {"y", {10, 1e35, 12, 13, 14, 99}}});
    return path;
}

struct CaseFile {
    ScratchDir dir;
    OpenData data{cases_file(dir)};
    RunContext& context = data.context;
};

TEST(CaseAccess, IndexAndFlagFormsOfTheSelection) {
    CaseFile file;
    Doubles values;
    // Index form: the named cases in file order, missing values dropped.
    file.context.selection = {4, 0, 4, -1, 99};
    EXPECT_EQ(collect_valid_values(file.context, 1, values, nullptr), 2);
    EXPECT_EQ(values, (Doubles{0, 4}));
    file.context.selection = {3, 1, 5};
    EXPECT_EQ(collect_valid_values(file.context, 1, values, nullptr), 2);  // case 3 holds the missing code
    EXPECT_EQ(values, (Doubles{1, 5}));
    file.context.selection.clear();
    const Flags left_out = {0, 0, 1, 0, 0, 0};
    EXPECT_EQ(collect_valid_values(file.context, 2, values, &left_out), 4);
    EXPECT_EQ(values, (Doubles{10, 13, 14, 99}));
    // Flag form: cases without an entry are skipped.
    file.context.selection = {1, 0, 1};
    EXPECT_EQ(gather_values(file.context, values, 2, nullptr), 2);
    EXPECT_EQ(values, (Doubles{10, 12}));
    file.context.selection = {1, 1, 1, 1, 1};
    EXPECT_EQ(gather_values(file.context, values, 1, nullptr), 5);
    EXPECT_EQ(values, (Doubles{0, 1, 2, 3, 4}));  // the missing code 3 kept as stored
    EXPECT_EQ(gather_values_marked(file.context, values, 1, nullptr), 5);
    EXPECT_EQ(values, (Doubles{0, 1, 2, 1e35, 4}));
    Flags mask;
    file.context.selection = {1, 0, 1};
    EXPECT_EQ(build_case_mask(file.context, mask), 3);
    EXPECT_EQ(mask, (Flags{0, 1, 0, 1, 1, 1}));
    file.context.selection.clear();
    EXPECT_EQ(build_case_mask(file.context, mask), 6);
    EXPECT_EQ(mask, Flags(6, 0));
    mask[0] = 1;
    EXPECT_EQ(gather_values_marked(file.context, values, 2, &mask), 5);
    EXPECT_EQ(values, (Doubles{1e35, 12, 13, 14, 99}));
}

TEST(CaseAccess, VariableOutsideTheFileFailsWithALogLine) {
    CaseFile file;
    Doubles values;
    output_state().echo = 1;
    for (int variable : {0, 3, -7, 1 << 30}) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(collect_valid_values(file.context, variable, values, nullptr), -1);
        EXPECT_EQ(gather_values(file.context, values, variable, nullptr), 0);
        EXPECT_EQ(gather_values_marked(file.context, values, variable, nullptr), -1);
        EXPECT_NE(::testing::internal::GetCapturedStdout().find(" Variable number " + std::to_string(variable) +
                                                                 " is not in the data file (1 - 2).\n"),
                  std::string::npos);
    }
    output_state().echo = 0;
}

TEST(CaseAccess, MarkMissingCasesAnyFirstAndAllRules) {
    CaseFile file;
    const int both[] = {1, 2}, second[] = {2}, bad[] = {1, 9};
    const struct {
        int rule, count;
        const int* variables;
        Flags before, after;
    } cases[] = {
        {kMarkMissingInAny, 2, both, Flags(6, 0), {0, 1, 0, 1, 0, 0}},
        {kMarkMissingInAll, 2, both, {0, 0, 0, 0, 0, 1}, {0, 0, 0, 0, 0, 1}},  // flagged by the caller: stays
        {kMarkMissingInFirst, 2, both, Flags(6, 0), {0, 0, 0, 1, 0, 0}},
        {kMarkMissingInAll, 1, second, Flags(6, 0), {0, 1, 0, 0, 0, 0}},  // a single variable: any rule
    };
    for (const auto& c : cases) {
        Flags flags = c.before;
        ASSERT_EQ(mark_missing_cases(c.rule, c.count, flags, c.variables, file.context), 1);
        EXPECT_EQ(flags, c.after) << c.rule;
    }
    Flags flags(6, 0);
    EXPECT_EQ(mark_missing_cases(kMarkMissingInAny, 2, flags, bad, file.context), 0);
    // The all rule flags only the cases missing in every variable.
    const std::string all = file.dir.file("all.rkd");
    testing::write_numeric_file(all, {{"a", {1, 1e35, 1e35}}, {"b", {2, 1e35, 5}}});
    OpenData data(all);
    flags.assign(3, 0);
    ASSERT_EQ(mark_missing_cases(kMarkMissingInAll, 2, flags, both, data.context), 1);
    EXPECT_EQ(flags, (Flags{0, 1, 0}));
}

// x is missing in case 3, y in case 1: both columns leave out both cases.
TEST(CaseAccess, CompleteCasesLineUpAcrossVariables) {
    CaseFile file;
    const auto complete = [&](std::vector<int> variables) {
        std::vector<Doubles> read(variables.size());
        const int n = read_complete_cases(file.context, variables.data(), static_cast<int>(variables.size()), read.data());
        return n < 0 ? std::vector<Doubles>{} : read;
    };
    EXPECT_EQ(complete({1, 2}), (std::vector<Doubles>{{0, 2, 4, 5}, {10, 12, 14, 99}}));
    file.context.selection = {5, 1, 0};  // index form, taken in file order
    EXPECT_EQ(complete({2, 1}), (std::vector<Doubles>{{10, 99}, {0, 5}}));
    EXPECT_EQ(complete({1, 9}), std::vector<Doubles>{});
}

// Cases are dropped a block of 4096 at a time: a first block with nothing to
// drop, missing values at the start and the end of the second block and a
// user-missing range inside it, then two blocks with nothing to drop that must
// still move up; a selection that names cases on all sides.
TEST(CaseAccess, CompleteCasesAcrossBlocks) {
    ScratchDir dir;
    const std::string path = dir.file("blocks.rkd");
    TestVariable x{"x", {}, descriptor(4, 0, 5009, 5000)};  // 5000 to 5009 missing
    TestVariable y{"y", {}}, z{"z", {}};
    for (int i = 0; i < 13000; ++i) {
        x.values.push_back(i);
        y.values.push_back(i == 4096 || i == 4200 ? 1e35 : 2.0 * i);
        z.values.push_back(i == 8191 ? 1e35 : -i);
    }
    testing::write_numeric_file(path, {x, y, z});
    OpenData data(path);
    const auto expect_cases = [&](std::vector<int> variables, bool range_missing) {
        Doubles columns[3], want[3];
        for (int i = 0; i < 13000; ++i) {
            if (i == 4096 || i == 4200 || i == 8191 || (range_missing && i >= 5000 && i <= 5009)) continue;
            for (size_t v = 0; v < variables.size(); ++v)
                want[v].push_back(variables[v] == 1 ? i : variables[v] == 2 ? 2.0 * i : -i);
        }
        ASSERT_EQ(read_complete_cases(data.context, variables.data(), static_cast<int>(variables.size()), columns),
                  static_cast<int>(want[0].size()));
        for (size_t v = 0; v < variables.size(); ++v) EXPECT_EQ(columns[v], want[v]);
    };
    expect_cases({1, 2, 3}, true);
    expect_cases({3, 2}, false);  // x's range does not count without x
    data.context.selection = {12999, 7, 4096, 7, 8000, -3, 13000, 5005};
    Doubles columns[3];
    const int all[] = {1, 2, 3};
    ASSERT_EQ(read_complete_cases(data.context, all, 3, columns), 3);
    EXPECT_EQ(columns[0], (Doubles{7, 8000, 12999}));
    EXPECT_EQ(columns[1], (Doubles{14, 16000, 25998}));
}

// The shorter forms, without the deleted or the used line, are pinned by the golden runs.
TEST(CaseAccess, CaseCountLinesWithDeletedCases) {
    std::string text = "kept ";
    const int written = case_count_lines(text, 3, "data.rkd", 60, 58, 2);
    EXPECT_EQ(text,
              "kept 3  Variables are selected from file   data.rkd\n\n"
              " Number of cases in data file are ...........     60\n"
              " Number of cases used in this analysis are ..     58\n"
              " Number of cases deleted are ................      2\r\n\n\n");
    EXPECT_EQ(written, static_cast<int>(text.size()) - 5);
}

}  // namespace
}  // namespace quorix
