// Frequency tables: missing codes, range bounds, the case selection's reach,
// hostile columns, and whole runs against golden files (which pin the layout).
#include <gtest/gtest.h>

#include <cstdio>
#include <limits>

#include "analyses/basic/frequency.h"
#include "analyses/registry.h"
#include "data_tools.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;
using testing::TestVariable;

using testing::open_descriptor;

struct FrequencyRun {
    ScratchDir dir;
    std::string path = dir.file("f.rkd");
    std::string record;
    int status = 1;
    explicit FrequencyRun(const std::vector<TestVariable>& variables) { testing::write_numeric_file(path, variables); }
    const std::string& run(const std::vector<int>& variables, int option, const std::vector<int32_t>& selection = {}) {
        record = testing::record_run(dir, path, "f", [&] {
            status = run_analysis(AnalysisId::frequency, path, "f", {{variables_argument(variables), integer_argument(option)}, selection});
        });
        return record;
    }
    bool has(const std::string& text) const { return record.find(text) != std::string::npos; }
};

TEST(Frequency, MissingValueOneIsShownWhateverTheKind) {
    VariableDescriptor kind0 = open_descriptor();
    kind0.missing_value1 = 7;
    FrequencyRun data({{"v", {7, 3, 7}, kind0}});
    data.run({1}, 1);
    EXPECT_TRUE(data.has("       VARMISS              2      66.67         100.00\n"));
    // Kind 0: 7 is not missing, so the statistics count it.
    EXPECT_TRUE(data.has("        CASES:              3\n"));
    EXPECT_TRUE(data.has("<CatVAL>VARMISS</CatVAL>\n<OutOfRange>  </OutOfRange>\n"));
}

// The bounds belong to the valid range (the goldens pin the marks' layout and explanation).
TEST(Frequency, RangeBoundsAreValid) {
    VariableDescriptor range = open_descriptor();
    range.missing_value3 = 10;  // minimum
    range.missing_value2 = 20;  // maximum
    FrequencyRun data({{"v", {9.5, 10, 20, 25}, range}});
    data.run({1}, 0);
    EXPECT_TRUE(data.has("          9.50 <            1      25.00          25.00\n"
                         "         10.00              1      25.00          50.00\n"
                         "         20.00              1      25.00          75.00\n"
                         "         25.00 >            1      25.00         100.00\n"));
}

// Missing values 2 and 3 are a range only with kinds 0 and 1; with kinds 2 to 5
// they are missing codes: no marks, and every user-missing value is VARMISS.
TEST(Frequency, RangeMarksOnlyFromADeclaredRange) {
    const struct {
        double kind, m1, m2, m3;
        const char* shown;  // values 1 to 5: the value and mark columns of each line, by hand
    } kinds[] = {
        {0, 1e35, 4, 2, "   1.00 <   2.00     3.00     4.00     5.00 >"},
        {1, 3, 4, 2, "   1.00 <   2.00  VARMISS     4.00     5.00 >"},
        {2, 1, 5, -1e35, "VARMISS     2.00     3.00     4.00  VARMISS  "},
        {3, 1, 2, 5, "VARMISS  VARMISS     3.00     4.00  VARMISS  "},
        {4, 1e35, 4, 2, "   1.00  VARMISS  VARMISS  VARMISS     5.00  "},
        {5, 1, 5, 4, "VARMISS     2.00     3.00  VARMISS  VARMISS  "},
    };
    std::vector<TestVariable> variables;
    std::vector<int> numbers;
    for (const auto& k : kinds) {
        TestVariable v{"k" + std::to_string(variables.size()), {5, 4, 3, 2, 1}, open_descriptor()};
        v.descriptor.missing_kind = k.kind;
        v.descriptor.missing_value1 = k.m1;
        v.descriptor.missing_value2 = k.m2;
        v.descriptor.missing_value3 = k.m3;
        variables.push_back(v);
        numbers.push_back(static_cast<int>(variables.size()));
    }
    FrequencyRun data(variables);
    const std::string out = testing::section(data.run(numbers, 0), "out");
    size_t at = 0;
    for (const auto& k : kinds) {
        at = out.find("_\n", out.find("CUMULATIVE\n", at));
        ASSERT_NE(at, std::string::npos);
        std::string shown;  // from each line after the rule: the value and the mark
        for (int line = 0; line < 5; ++line) {
            at = out.find('\n', at) + 1;
            shown += out.substr(at + 7, 9);
        }
        EXPECT_EQ(shown, k.shown) << "kind " << k.kind;
        const std::string rest = out.substr(at, out.find(" *****", at) - at);
        EXPECT_EQ(rest.find("Values above the maximum") != std::string::npos, k.kind < 2) << "kind " << k.kind;
    }
}

// The frequency table of a report: from its column heading to its totals.
std::string table_part(const std::string& record) {
    const size_t start = record.find("       CATEGORY");
    const size_t end = record.find("TOTAL PERCENT", start);
    return start == std::string::npos || end == std::string::npos ? "" : record.substr(start, end - start);
}

TEST(Frequency, SelectionChangesTheStatisticsNotTheCounts) {
    FrequencyRun data({{"v", {1, 2, 2, 3, 3, 3}, open_descriptor()}});
    const std::string all = data.run({1}, 1);
    const std::string selected = data.run({1}, 1, {0, 1});
    ASSERT_FALSE(table_part(all).empty());
    EXPECT_EQ(table_part(all), table_part(selected));
    EXPECT_NE(all.find("        CASES:              6\n"), std::string::npos);
    EXPECT_NE(selected.find("        CASES:              2\n"), std::string::npos);
    EXPECT_NE(selected.find("<Mean>          1.500</Mean>"), std::string::npos);
}

TEST(Frequency, HostileColumnsAndVariableNumbers) {
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    FrequencyRun data({{"v", {nan, inf, -inf, 1e308, -1e308, nan, 1}, open_descriptor()}});
    data.run({1}, 1);
    EXPECT_EQ(data.status, 0);
    // NaN is a category of its own each time; the infinities lie outside the open range.
    EXPECT_TRUE(data.has("           nan              1      14.29          14.29\n"));
    EXPECT_TRUE(data.has("          -inf <            1      14.29          28.57\n"));
    EXPECT_TRUE(data.has("           inf >            1      14.29          85.71\n"));
    EXPECT_TRUE(data.has("TOTAL COUNTS        7"));
    // A variable outside the file is named in the log and gives no crash.
    data.run({2, 1}, 0);
    EXPECT_EQ(data.status, 0);
    EXPECT_TRUE(data.has(" Variable number 2 is not in the data file (1 - 1).\n"));
    FrequencyRun empty({{"v", {}, open_descriptor()}});
    empty.run({1}, 1);
    EXPECT_EQ(empty.status, 0);
    EXPECT_TRUE(empty.has("        TOTAL COUNTS        0     TOTAL PERCENT    0.00\n"));
}

// Tables far longer than a block of output: every line once, in order, and
// each table right after its own heading; in the XML every category whole.
TEST(Frequency, LongTablesComeWholeAndInPlace) {
    TestVariable v{"v", {}, open_descriptor()};
    for (int i = 0; i < 6000; ++i) v.values.push_back((i % 3000) * 0.5);
    FrequencyRun data({v});
    data.run({1, 1}, 0);
    ASSERT_EQ(data.status, 0);
    // 3000 values 0, 0.5, ..., 1499.5, each twice in 6000 cases: 100 x 2 / 6000
    // percent each, j / 30 percent up to the j-th.
    std::string table = "\n\n **************\n *       v    *\n **************\n"
                        "\n       CATEGORY                     P  E  R  C  E  N  T\n"
                        "         VALUE          COUNT       CELL     CUMULATIVE\n"
                        "_______________________________________________________\n";
    for (int j = 1; j <= 3000; ++j) {
        char line[96];
        std::snprintf(line, sizeof line, "       %7.2f          %5d      %5.2f         %6.2f\n", (j - 1) * 0.5, 2,
                      200.0 / 6000, j / 30.0);
        table += line;
    }
    table += "_______________________________________________________\n"
             "        TOTAL COUNTS     6000     TOTAL PERCENT  100.00\n";
    const std::string out = testing::section(data.record, "out");
    const size_t first = out.find(table);
    ASSERT_NE(first, std::string::npos);
    EXPECT_EQ(out.substr(first), table + table);
    size_t categories = 0;
    for (size_t at = data.record.find("<CAT>\n"); at != std::string::npos; at = data.record.find("<CAT>\n", at + 1))
        ++categories;
    EXPECT_EQ(categories, 6000u);
    EXPECT_TRUE(data.has("<CatVAL>1499.50</CatVAL>\n<OutOfRange>  </OutOfRange>\n<Count>2</Count>\n"));
    EXPECT_TRUE(data.has("</CAT>\n<TCount> 6000</TCount>\n<TPercnt> 100.00</TPercnt>\n<IsOOR>0</IsOOR>\n</Item>\n"));
}

// A run that fails at its second variable writes no report; the XML keeps
// the first variable's table and the second one's heading.
TEST(Frequency, FailedRunWritesNoReport) {
    FrequencyRun data({{"v", {1, 2, 2}, open_descriptor()}});
    data.run({1, 2}, 1);  // variable 2 is not in the file: its statistics cannot be gathered
    EXPECT_EQ(data.status, -1);
    EXPECT_EQ(testing::section(data.record, "out"), "");
    const std::string xml = testing::section(data.record, "xml");
    // 1 once and 2 twice in 3 cases: 33.33 and 66.67 percent.
    EXPECT_NE(xml.find("<CatVAL>   1.00</CatVAL>\n<OutOfRange>  </OutOfRange>\n<Count>1</Count>\n"
                       "<CellPercnt>  33.33</CellPercnt>\n<CumPercnt>  33.33</CumPercnt>\n</CAT>\n<CAT>\n"),
              std::string::npos);
    EXPECT_NE(xml.find("<CumPercnt> 100.00</CumPercnt>\n</CAT>\n<TCount>    3</TCount>\n<TPercnt> 100.00</TPercnt>\n"
                       "<IsOOR>0</IsOOR>\n</Item>\n<Item>\n<ID>2</ID>\n"),
              std::string::npos);
    EXPECT_EQ(xml.find("</RESULT>"), std::string::npos);
}

// The sample file of the golden runs, made as the Java test makes it.
std::string import_grades(const ScratchDir& dir) {
    const std::string path = dir.file("grades.rkd");
    ImportOptions options;
    std::string error;
    EXPECT_TRUE(parse_missing_codes("grade=9", options, error)) << error;
    EXPECT_TRUE(parse_labels("grade=1:low,2:mid,3:high", options, error)) << error;
    EXPECT_TRUE(parse_range("score=10:20", options.valid_ranges, error)) << error;
    EXPECT_TRUE(import_csv(std::string(QUORIX_GOLDEN_DIR) + "/frequency/grades.csv", path, options, error))
        << error;
    return path;
}

TEST(Frequency, LabelsMissingCodesAndRangesGolden) {
    ScratchDir dir;
    const std::string path = import_grades(dir);
    const struct {
        const char* golden;
        const char* run;
        std::vector<int> variables;
        int option;
        std::vector<int32_t> selection;
    } runs[] = {{"labels", "labels", {1, 2}, 1, {}}, {"selection", "sel", {1, 2}, 1, {0, 2, 4, 6, 6, 30}},
                {"plain", "plain", {2}, 0, {}}};
    for (const auto& r : runs)
        testing::expect_golden(std::string("frequency/") + r.golden + ".txt", testing::record_run(dir, path, r.run, [&] {
                                   EXPECT_EQ(run_analysis(AnalysisId::frequency, path, r.run, {{variables_argument(r.variables), integer_argument(r.option)}, r.selection}), 0);
                               }));
}

}  // namespace
}  // namespace quorix
