// rkstat import and export: names, missing values, labels, refusals, and a
// round trip that keeps every number.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <filesystem>
#include <random>

#include "csv.h"
#include "data_tools.h"
#include "frame/case_access.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;

std::string write_csv(const ScratchDir& dir, const std::string& text) {
    const std::string path = dir.file("in.csv");
    const std::vector<unsigned char> bytes(text.begin(), text.end());
    testing::write_bytes(path, bytes);
    return path;
}

TEST(Import, MissingCodesRangesAndLabelsReachTheDictionary) {
    ScratchDir dir;
    const std::string csv = write_csv(dir, "\"a\",b,c,d,e,f,name\n1,2,3,4,5,6,x\n,7,8,9,10,11,\"long, text\"\n");
    ImportOptions options;
    std::string error;
    ASSERT_TRUE(parse_missing_codes("b=9", options, error) && parse_missing_codes("c=1,2,3", options, error) &&
                parse_range("d=0:5", options.missing_ranges, error) && parse_missing_codes("e=99", options, error) &&
                parse_range("e=0:5", options.missing_ranges, error) && parse_range("f=1:20", options.valid_ranges, error) &&
                parse_labels("a=1:one,2:two", options, error))
        << error;
    const std::string rkd = dir.file("out.rkd");
    ASSERT_TRUE(import_csv(csv, rkd, options, error)) << error;

    RunContext context;
    ASSERT_TRUE(open_data_file(rkd, context, error)) << error;
    close_data_file(context);
    ASSERT_EQ(context.header.variable_count, 7);
    EXPECT_EQ(context.header.case_count, 2);
    // {variable, kind, missing value 1, 2, 3}; undeclared: nothing but 1e35 is missing and the
    // frequency tables' valid range (value 3 to value 2) stays open.
    const struct {
        int variable;
        double kind, m1, m2, m3;
    } expected[] = {{0, 0, 1e35, 1e35, -1e35}, {1, 1, 9, 1e35, -1e35}, {2, 3, 1, 2, 3},
                    {3, 4, 1e35, 5, 0},        {4, 5, 99, 5, 0},        {5, 0, 1e35, 20, 1}};
    for (const auto& e : expected) {
        const VariableDescriptor& d = context.dictionary[e.variable];
        EXPECT_EQ((std::vector<double>{d.missing_kind, d.missing_value1, d.missing_value2, d.missing_value3}),
                  (std::vector<double>{e.kind, e.m1, e.m2, e.m3}))
            << "variable " << e.variable;
    }
    EXPECT_EQ(context.dictionary[6].type, 1);
    EXPECT_EQ(context.dictionary[6].width, 10);
    ASSERT_EQ(context.header.label_sets.size(), 1u);
    EXPECT_EQ(context.header.label_sets[0].variable_name, "a");
    EXPECT_EQ(context.header.label_sets[0].entries[1].label, "two");

    const std::string back = dir.file("back.csv");
    ASSERT_TRUE(export_csv(rkd, back, error)) << error;
    EXPECT_EQ(testing::read_text(back),
              "\"a\",\"b\",\"c\",\"d\",\"e\",\"f\",\"name\"\n1,2,3,4,5,6,x\n,7,8,9,10,11,\"long, text\"\n");
}

TEST(Import, RefusalsNameTheLineAndLeaveNoFile) {
    ScratchDir dir;
    const std::string rkd = dir.file("out.rkd");
    struct Case {
        const char* csv;
        bool short_names;
        const char* message;
    };
    const Case cases[] = {
        {"a,b\n1,2\n3\n", false, "line 3: 1 fields where the header has 2"},
        {"a,a\n1,2\n", false, "line 1: variable name 'a' appears twice"},
        {"abcdefghijklmnopqrstuvwxyz0123456,b\n1,2\n", false, "is longer than 32 bytes"},
        {"ninechars,b\n1,2\n", true, "line 1: variable name 'ninechars' is longer than 8 bytes"},
        {"a,\n1,2\n", false, "line 1: a variable name is empty"},
        {"", false, "no header row"},
        {"a\n\"open\n", false, "unterminated quoted field starting on line 2"},
    };
    for (const Case& c : cases) {
        ImportOptions options;
        options.short_names = c.short_names;
        std::string error;
        EXPECT_FALSE(import_csv(write_csv(dir, c.csv), rkd, options, error)) << c.csv;
        EXPECT_NE(error.find(c.message), std::string::npos) << error;
        EXPECT_FALSE(testing::file_exists(rkd)) << c.csv;
        EXPECT_FALSE(testing::file_exists(rkd + ".partial")) << c.csv;
    }
    ImportOptions options;
    std::string error;
    EXPECT_FALSE(parse_missing_codes("a=1,2,3,4", options, error));
    EXPECT_FALSE(parse_range("a=5:1", options.valid_ranges, error));
    EXPECT_FALSE(parse_labels("a=1234:x", options, error));
    ASSERT_TRUE(parse_labels("zz=1:x", options, error));
    EXPECT_FALSE(import_csv(write_csv(dir, "a\n1\n"), rkd, options, error));
    EXPECT_EQ(error, "no variable named 'zz' in the file");
    // A valid range shares its two fields with the second and third codes and the missing range.
    for (const char* codes : {"a=1,2", "a=1,2,3"}) {
        ImportOptions both;
        ASSERT_TRUE(parse_range("a=0:9", both.valid_ranges, error) && parse_missing_codes(codes, both, error));
        EXPECT_FALSE(check_import_options(both, error)) << codes;
        EXPECT_NE(error.find("holds either the valid range or those"), std::string::npos) << error;
    }
    ImportOptions ranges;
    ASSERT_TRUE(parse_range("a=0:9", ranges.valid_ranges, error) && parse_missing_codes("a=99", ranges, error));
    EXPECT_TRUE(check_import_options(ranges, error));
    ASSERT_TRUE(parse_range("a=90:99", ranges.missing_ranges, error));
    EXPECT_FALSE(check_import_options(ranges, error));
}

// What the summary says of each column: N and its missing cells, or T and the
// line and text of its first text cell; then the delimiter, the byte-order
// mark and the 1e35 cells.
std::string summary_of(const ImportSummary& summary) {
    std::string text;
    for (const ImportedColumn& c : summary.columns)
        text += c.name + (c.text ? ":T" + std::to_string(c.first_text_line) + "=" + c.first_text
                                 : ":N" + std::to_string(c.missing_cells)) + " ";
    text += std::string("|") + summary.delimiter + (summary.byte_order_mark ? "|bom" : "|");
    if (summary.system_missing_cells)
        text += "|1e35 x" + std::to_string(summary.system_missing_cells) + " line " +
                std::to_string(summary.first_system_missing_line) + " " + summary.first_system_missing_column;
    return text;
}

TEST(Import, SaysWhatItRead) {
    ScratchDir dir;
    const struct {
        const char* csv;
        const char* na;         // --na, or null for the default
        const char* delimiter;  // --delimiter, or null to detect it
        const char* summary;
    } cases[] = {
        {"\xEF\xBB\xBFx,y\n1,NA\n2,\n", nullptr, nullptr, "x:N0 y:N2 |,|bom"},
        {"x;y\n1;2\n3;a\n", nullptr, nullptr, "x:N0 y:T3=a |;|"},
        {"x\ty\n1\t2\nNA\t3\n", nullptr, nullptr, "x:N1 y:N0 |\t|"},
        {"\"a;b\",c\n1,2\n", nullptr, nullptr, "a;b:N0 c:N0 |,|"},
        {"a,b;c\n1,2;3\n", nullptr, "semicolon", "a,b:T2=1,2 c:N0 |;|"},
        {"x,y\n1,1e35\n1.0e35,2\n5,1E+35\n", nullptr, nullptr, "x:N1 y:N2 |,||1e35 x3 line 2 y"},
        {"x,y\n1e35,2\nz,1e35\n", nullptr, nullptr, "x:T3=z y:N1 |,||1e35 x1 line 3 y"},  // text keeps 1e35
        {"x,y\n.,1\nNA,\n", ".", nullptr, "x:T3=NA y:N1 |,|"},
        {"x\n1\n\n3\n", nullptr, nullptr, "x:N1 |,|"},  // a blank line of one column is a missing value
    };
    for (const auto& c : cases) {
        ImportOptions options;
        std::string error;
        if (c.na) parse_missing_texts(c.na, options);
        if (c.delimiter) {
            ASSERT_TRUE(parse_delimiter(c.delimiter, options, error));
        }
        ImportSummary summary;
        ASSERT_TRUE(import_csv(write_csv(dir, c.csv), dir.file("s.rkd"), options, error, &summary)) << error;
        EXPECT_EQ(summary_of(summary), c.summary) << c.csv;
    }
    EXPECT_EQ(testing::read_column(dir.file("s.rkd"), 1), (std::vector<double>{1, 1e35, 3}));  // the last case's
    // The first case's file: NA and empty cells are missing, the name has no byte-order mark.
    ImportSummary summary;
    std::string error;
    const std::string rkd = dir.file("s.rkd");
    ASSERT_TRUE(import_csv(write_csv(dir, cases[0].csv), rkd, ImportOptions(), error, &summary));
    EXPECT_EQ(testing::read_column(rkd, 2), (std::vector<double>{1e35, 1e35}));
    RunContext context;
    ASSERT_TRUE(open_data_file(rkd, context, error)) << error;
    close_data_file(context);
    EXPECT_EQ(variable_name(context.header, 1), "x");
    EXPECT_EQ(import_summary_text(summary).rfind(
                  dir.file("in.csv") + ": 2 cases of 2 variables, comma-separated, byte-order mark dropped", 0),
              0u);
}

// import and export refuse an output that is their input, under any name,
// and an input that is the output's temporary file.
TEST(Import, NeverWritesOverItsInput) {
    ScratchDir dir;
    const std::string csv = write_csv(dir, "x\n1\n2\n"), rkd = dir.file("x.rkd"), partial = rkd + ".partial";
    std::string error;
    ASSERT_TRUE(import_csv(csv, rkd, ImportOptions(), error)) << error;
    std::filesystem::copy_file(csv, partial);
    std::filesystem::create_hard_link(csv, dir.file("link.csv"));
    const auto csv_bytes = testing::read_bytes(csv), rkd_bytes = testing::read_bytes(rkd);
    for (const std::string& output : {csv, dir.path + "/./in.csv", dir.file("link.csv")}) {
        ImportSummary summary;
        EXPECT_FALSE(import_csv(csv, output, ImportOptions(), error, &summary)) << output;
        EXPECT_TRUE(summary.arguments_refused);
        EXPECT_NE(error.find("is the input file"), std::string::npos) << error;
    }
    EXPECT_FALSE(import_csv(partial, rkd, ImportOptions(), error));
    for (const std::string& output : {rkd, dir.path + "/./x.rkd"}) EXPECT_FALSE(export_csv(rkd, output, error));
    EXPECT_EQ(testing::read_bytes(csv), csv_bytes);
    EXPECT_EQ(testing::read_bytes(partial), csv_bytes);
    EXPECT_EQ(testing::read_bytes(rkd), rkd_bytes);
}

TEST(Import, RoundTripKeepsEveryDoubleInItsShortestText) {
    ScratchDir dir;
    std::mt19937_64 random(20261205);
    std::string csv = "x,y\n";
    std::vector<double> expected;
    for (int i = 0; i < 2000; ++i) {
        uint64_t bits = random();
        double x;
        std::memcpy(&x, &bits, sizeof x);
        if (!std::isfinite(x) || x == 1e35) x = 0.1 * i;
        const double y = std::ldexp(static_cast<double>(random() % 1000000), -static_cast<int>(random() % 40));
        csv += shortest_decimal(x) + "," + shortest_decimal(y) + "\n";
        expected.push_back(x);
        expected.push_back(y);
    }
    std::string error;
    const std::string rkd = dir.file("r.rkd"), back = dir.file("back.csv");
    ASSERT_TRUE(import_csv(write_csv(dir, csv), rkd, ImportOptions(), error)) << error;
    ASSERT_TRUE(export_csv(rkd, back, error)) << error;
    std::FILE* file = std::fopen(back.c_str(), "rb");
    CsvReader reader{file};
    std::vector<std::string> fields;
    ASSERT_TRUE(read_csv_record(reader, fields, error));
    size_t k = 0;
    while (read_csv_record(reader, fields, error))
        for (const std::string& field : fields) {
            double value;
            ASSERT_TRUE(parse_decimal(field, value)) << field;
            ASSERT_EQ(value, expected.at(k++)) << field;
        }
    std::fclose(file);
    EXPECT_EQ(k, expected.size());
    // The texts themselves, and what is not a decimal.
    EXPECT_EQ(shortest_decimal(10), "10");
    EXPECT_EQ(shortest_decimal(0.1), "0.1");
    EXPECT_EQ(shortest_decimal(-2.5e-7), "-2.5e-07");
    EXPECT_EQ(shortest_decimal(123456789012), "123456789012");
    EXPECT_EQ(shortest_decimal(1.0 / 3), "0.3333333333333333");
    double value;
    EXPECT_FALSE(parse_decimal("nan", value));
    EXPECT_FALSE(parse_decimal("1e400", value));
    EXPECT_FALSE(parse_decimal("1.5x", value));
    EXPECT_FALSE(parse_decimal(".", value));
    EXPECT_TRUE(parse_decimal("-.5e+3", value));
    EXPECT_EQ(value, -500);
}

}  // namespace
}  // namespace quorix
