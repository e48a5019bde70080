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

VariableDescriptor descriptor(double kind, double m1, double m2, double m3) {
    VariableDescriptor d;
    d.missing_kind = kind;
    d.missing_value1 = m1;
    d.missing_value2 = m2;
    d.missing_value3 = m3;
    return d;
}

TEST(CaseAccess, MissingValueKinds) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    struct Case {
        VariableDescriptor d;
        double value;
        int missing;
    };
    const VariableDescriptor codes3 = descriptor(3, 7, 8, 9);
    const VariableDescriptor range = descriptor(4, 0, 3, 1);  // from 1 (value 3) to 3 (value 2)
    const Case cases[] = {
        {descriptor(0, 5, 5, 5), 1e35, 1},    {descriptor(0, 5, 5, 5), 5, 0},
        {descriptor(7, 5, 5, 5), 5, 0},       {descriptor(7, 5, 5, 5), 1e35, 1},
        {descriptor(1, 5, 6, 7), 5, 1},       {descriptor(1, 5, 6, 7), 6, 0},
        {descriptor(2, 5, 6, 7), 6, 1},       {descriptor(2, 5, 6, 7), 7, 0},
        {codes3, 9, 1},                       {codes3, 10, 0},
        {range, 1, 1},                        {range, 2.5, 1},
        {range, 3, 1},                        {range, 0.5, 0},
        {range, 3.5, 0},                      {descriptor(5, 0, 3, 1), 0, 1},
        {descriptor(5, 0, 3, 1), 2, 1},       {descriptor(5, 0, 3, 1), -1, 0},
        {descriptor(4.9, 0, 3, 1), 2, 1},     {descriptor(-1, 5, 5, 5), 5, 0},  // kinds truncate
        {descriptor(4, 0, 3, 1), nan, 0},     {descriptor(1, nan, 0, 0), nan, 0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(is_missing(c.value, c.d), c.missing)
            << "kind " << c.d.missing_kind << " value " << c.value;
}

struct CaseFile {
    CaseFile() {
        path = dir.file("cases.rkd");
        testing::write_numeric_file(
            path, {{"x", {0, 1, 2, 3, 4, 5}, descriptor(1, 3, 1e35, -1e35)}, {"y", {10, 1e35, 12, 13, 14, 99}}});
        context.data_file = std::fopen(path.c_str(), "rb");
        EXPECT_EQ(load_data_file(context), LoadStatus::ok);
    }
    ~CaseFile() { std::fclose(context.data_file); }
    ScratchDir dir;
    std::string path;
    RunContext context;
};

TEST(CaseAccess, IndexFormTakesTheNamedCasesInFileOrderAndDropsMissing) {
    CaseFile file;
    std::vector<double> values;
    file.context.selection = {4, 0, 4, -1, 99};
    EXPECT_EQ(collect_valid_values(file.context, 1, values, nullptr), 2);
    EXPECT_EQ(values, (std::vector<double>{0, 4}));
    file.context.selection = {3, 1, 5};
    EXPECT_EQ(collect_valid_values(file.context, 1, values, nullptr), 2);  // case 3 holds the missing code
    EXPECT_EQ(values, (std::vector<double>{1, 5}));
    file.context.selection.clear();
    const std::vector<int32_t> mask = {0, 0, 1, 0, 0, 0};
    EXPECT_EQ(collect_valid_values(file.context, 2, values, &mask), 4);
    EXPECT_EQ(values, (std::vector<double>{10, 13, 14, 99}));
}

TEST(CaseAccess, FlagFormSkipsCasesWithoutAnEntry) {
    CaseFile file;
    std::vector<double> values;
    file.context.selection = {1, 0, 1};
    EXPECT_EQ(gather_values(file.context, values, 2, nullptr), 2);
    EXPECT_EQ(values, (std::vector<double>{10, 12}));
    file.context.selection = {1, 1, 1, 1, 1};
    EXPECT_EQ(gather_values(file.context, values, 1, nullptr), 5);
    EXPECT_EQ(values, (std::vector<double>{0, 1, 2, 3, 4}));  // the missing code 3 kept as stored
    EXPECT_EQ(gather_values_marked(file.context, values, 1, nullptr), 5);
    EXPECT_EQ(values, (std::vector<double>{0, 1, 2, 1e35, 4}));

    std::vector<int32_t> mask;
    file.context.selection = {1, 0, 1};
    EXPECT_EQ(build_case_mask(file.context, mask), 3);
    EXPECT_EQ(mask, (std::vector<int32_t>{0, 1, 0, 1, 1, 1}));
    file.context.selection.clear();
    EXPECT_EQ(build_case_mask(file.context, mask), 6);
    EXPECT_EQ(mask, (std::vector<int32_t>(6, 0)));
    mask[0] = 1;
    EXPECT_EQ(gather_values_marked(file.context, values, 2, &mask), 5);
    EXPECT_EQ(values, (std::vector<double>{1e35, 12, 13, 14, 99}));
}

TEST(CaseAccess, VariableOutsideTheFileFailsWithALogLine) {
    CaseFile file;
    std::vector<double> values;
    output_state().echo = 1;
    for (int variable : {0, 3, -7, 1 << 30}) {
        ::testing::internal::CaptureStdout();
        EXPECT_EQ(collect_valid_values(file.context, variable, values, nullptr), -1);
        EXPECT_EQ(gather_values(file.context, values, variable, nullptr), 0);
        EXPECT_EQ(gather_values_marked(file.context, values, variable, nullptr), -1);
        const std::string console = ::testing::internal::GetCapturedStdout();
        EXPECT_NE(console.find(" Variable number " + std::to_string(variable) + " is not in the data file (1 - 2).\n"),
                  std::string::npos);
    }
    output_state().echo = 0;
}

TEST(CaseAccess, MarkMissingCasesAnyAndAllRules) {
    CaseFile file;
    // x is missing (code 3) in case 3; y (1e35) in case 1.
    const int both[] = {1, 2};
    std::vector<int32_t> flags(6, 0);
    ASSERT_EQ(mark_missing_cases(1, 2, flags, both, file.context), 1);
    EXPECT_EQ(flags, (std::vector<int32_t>{0, 1, 0, 1, 0, 0}));

    flags.assign(6, 0);
    flags[5] = 1;  // flagged by the caller: stays flagged
    ASSERT_EQ(mark_missing_cases(-1, 2, flags, both, file.context), 1);
    EXPECT_EQ(flags, (std::vector<int32_t>{0, 0, 0, 0, 0, 1}));

    flags.assign(6, 0);
    ASSERT_EQ(mark_missing_cases(0, 2, flags, both, file.context), 1);  // first variable only
    EXPECT_EQ(flags, (std::vector<int32_t>{0, 0, 0, 1, 0, 0}));

    flags.assign(6, 0);
    const int one[] = {2};
    ASSERT_EQ(mark_missing_cases(-1, 1, flags, one, file.context), 1);  // a single variable: any rule
    EXPECT_EQ(flags, (std::vector<int32_t>{0, 1, 0, 0, 0, 0}));

    const int bad[] = {1, 9};
    EXPECT_EQ(mark_missing_cases(1, 2, flags, bad, file.context), 0);

    // The all rule flags only the cases missing in every variable.
    const std::string all = file.dir.file("all.rkd");
    testing::write_numeric_file(all, {{"a", {1, 1e35, 1e35}}, {"b", {2, 1e35, 5}}});
    RunContext context;
    context.data_file = std::fopen(all.c_str(), "rb");
    ASSERT_EQ(load_data_file(context), LoadStatus::ok);
    flags.assign(3, 0);
    ASSERT_EQ(mark_missing_cases(-1, 2, flags, both, context), 1);
    EXPECT_EQ(flags, (std::vector<int32_t>{0, 1, 0}));
    std::fclose(context.data_file);
}

// x is missing in case 3, y in case 1: both columns leave out both cases.
TEST(CaseAccess, CompleteCasesLineUpAcrossVariables) {
    CaseFile file;
    std::vector<double> columns[2];
    const int both[] = {1, 2};
    EXPECT_EQ(read_complete_cases(file.context, both, 2, columns), 4);
    EXPECT_EQ(columns[0], (std::vector<double>{0, 2, 4, 5}));
    EXPECT_EQ(columns[1], (std::vector<double>{10, 12, 14, 99}));
    file.context.selection = {5, 1, 0};
    const int reversed[] = {2, 1};
    EXPECT_EQ(read_complete_cases(file.context, reversed, 2, columns), 2);
    EXPECT_EQ(columns[0], (std::vector<double>{10, 99}));
    EXPECT_EQ(columns[1], (std::vector<double>{0, 5}));
    const int outside[] = {1, 9};
    EXPECT_EQ(read_complete_cases(file.context, outside, 2, columns), -1);
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
    RunContext context;
    context.data_file = std::fopen(path.c_str(), "rb");
    ASSERT_EQ(load_data_file(context), LoadStatus::ok);
    std::vector<double> columns[3];
    const int all[] = {1, 2, 3};
    ASSERT_EQ(read_complete_cases(context, all, 3, columns), 13000 - 13);
    size_t at = 0;
    for (int i = 0; i < 13000; ++i) {
        if (i == 4096 || i == 4200 || i == 8191 || (i >= 5000 && i <= 5009)) continue;
        ASSERT_EQ(columns[0][at], i);
        ASSERT_EQ(columns[1][at], 2.0 * i);
        ASSERT_EQ(columns[2][at], -i);
        ++at;
    }
    // z and y, whose only missing value is the system-missing one: x's range is kept.
    const int two[] = {3, 2};
    ASSERT_EQ(read_complete_cases(context, two, 2, columns), 13000 - 3);
    at = 0;
    for (int i = 0; i < 13000; ++i) {
        if (i == 4096 || i == 4200 || i == 8191) continue;
        ASSERT_EQ(columns[0][at], -i);
        ASSERT_EQ(columns[1][at], 2.0 * i);
        ++at;
    }
    context.selection = {12999, 7, 4096, 7, 8000, -3, 13000, 5005};
    ASSERT_EQ(read_complete_cases(context, all, 3, columns), 3);
    EXPECT_EQ(columns[0], (std::vector<double>{7, 8000, 12999}));
    EXPECT_EQ(columns[1], (std::vector<double>{14, 16000, 25998}));
    std::fclose(context.data_file);
}

TEST(CaseAccess, CaseCountLines) {
    std::string text;
    const int written = case_count_lines(text, 3, "data.rkd", 60, 58, 2);
    EXPECT_EQ(text,
              "3  Variables are selected from file   data.rkd\n\n"
              " Number of cases in data file are ...........     60\n"
              " Number of cases used in this analysis are ..     58\n"
              " Number of cases deleted are ................      2\r\n\n\n");
    EXPECT_EQ(written, static_cast<int>(text.size()));

    text = "kept ";
    const int partial = case_count_lines(text, 1, "f", 10, -1, 4);
    EXPECT_EQ(text,
              "kept 1  Variables are selected from file   f\n\n"
              " Number of cases in data file are ...........     10\n");
    EXPECT_EQ(partial, static_cast<int>(text.size()) - 5);
}

}  // namespace
}  // namespace quorix
