// The data file reader: signatures and name widths, label records, value
// positions, and header counts the file cannot back.
#include <gtest/gtest.h>

#include <climits>
#include <cstring>

#include "datafile/byte_order.h"
#include "datafile/rkd_reader.h"
#include "datafile/rkd_writer.h"
#include "frame/case_access.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;
using testing::TestVariable;

struct OpenFile {
    explicit OpenFile(const std::string& path) { context.data_file = std::fopen(path.c_str(), "rb"); }
    ~OpenFile() {
        if (context.data_file) std::fclose(context.data_file);
    }
    RunContext context;
};

ValueLabelSet labels_for(const std::string& name, std::vector<std::pair<std::string, std::string>> entries) {
    ValueLabelSet set;
    set.variable_name = name;
    set.entry_count = static_cast<int32_t>(entries.size());
    for (size_t i = 0; i < entries.size(); ++i) set.entries[i] = {entries[i].second, entries[i].first};
    return set;
}

std::vector<TestVariable> three_by_five() {
    return {{"alpha", {1, 2, 3, 4, 5}}, {"beta", {10, 20, 30, 40, 50}}, {"gamma", {-1, -2, -3, -4, -5}}};
}

void patch_i32(const std::string& path, size_t offset, int32_t value) {
    std::vector<unsigned char> bytes = testing::read_bytes(path);
    store_i32(bytes.data() + offset, value);
    testing::write_bytes(path, bytes);
}

TEST(Reader, SignaturesSelectNameWidthAndLabelLayout) {
    ScratchDir dir;
    struct Case {
        const char* signature;
        int width;
        int short_layout;
    };
    for (const Case& c : {Case{"VORW60", 9, 1}, Case{"VORW603", 9, 1}, Case{"VORW70", 33, 0}}) {
        const std::string path = dir.file(std::string(c.signature) + ".rkd");
        testing::write_numeric_file(path, three_by_five(), c.signature,
                                    {labels_for("beta", {{"10", "ten"}, {"20", "twenty"}, {"50", "fifty"}})});
        set_name_width(kInitialNameWidth);
        OpenFile file(path);
        ASSERT_EQ(load_data_file(file.context), LoadStatus::ok) << c.signature;
        EXPECT_EQ(name_width(), c.width) << c.signature;
        EXPECT_EQ(file.context.short_name_layout, c.short_layout) << c.signature;
        EXPECT_EQ(variable_name(file.context.header, 3), "gamma");
        ASSERT_EQ(file.context.header.label_sets.size(), 1u);
        const ValueLabelSet& set = file.context.header.label_sets[0];
        EXPECT_EQ(set.variable_name, "beta");
        ASSERT_EQ(entries_in_use(set), 3);
        // Every entry in use survives the short record, not only the first.
        EXPECT_EQ(set.entries[2].label, "fifty");
        EXPECT_EQ(set.entries[2].value_text, "50");
        EXPECT_EQ(set.entries[3].label, "");
    }
}

TEST(Reader, UnknownSignatureInAFreshProcessReadsEightByteNamesAndLongLabels) {
    ScratchDir dir;
    const std::string path = dir.file("unknown.rkd");
    RkdLayout layout;
    layout.signature = "ABCDEF";
    layout.name_width = 8;
    layout.variable_count = 2;
    layout.case_count = 2;
    layout.names = {"eightchr", "b"};
    layout.label_sets = {labels_for("b", {{"1", "one"}})};
    RkdFileWriter writer;
    ASSERT_TRUE(begin_rkd_file(writer, path, layout));
    const double values[] = {1, 2};
    ASSERT_TRUE(append_numeric_variable(writer, VariableDescriptor(), values));
    ASSERT_TRUE(append_numeric_variable(writer, VariableDescriptor(), values));
    ASSERT_TRUE(finish_rkd_file(writer));

    set_name_width(kInitialNameWidth);
    OpenFile file(path);
    ASSERT_EQ(load_data_file(file.context), LoadStatus::ok);
    EXPECT_EQ(name_width(), 8);
    EXPECT_EQ(file.context.short_name_layout, 0);
    EXPECT_EQ(variable_name(file.context.header, 1), "eightchr");  // no terminator within 8 bytes
    EXPECT_EQ(file.context.header.label_sets.at(0).entries[0].label, "one");

    // The width of the last recognised file stays in force for an unknown signature.
    set_name_width(kLongNameWidth);
    OpenFile again(path);
    EXPECT_EQ(load_data_file(again.context), LoadStatus::bad_magic);
}

TEST(Reader, MagicFollowsTheNameTableAndValuesFollowTheirDescriptor) {
    ScratchDir dir;
    const std::string path = dir.file("plain.rkd");
    testing::write_numeric_file(path, three_by_five());
    const std::vector<unsigned char> bytes = testing::read_bytes(path);
    EXPECT_EQ(std::memcmp(bytes.data() + kHeaderSize + 3 * kLongNameWidth, kMagic, kMagicSize), 0);
    OpenFile file(path);
    ASSERT_EQ(load_data_file(file.context), LoadStatus::ok);
    EXPECT_TRUE(file.context.header.label_sets.empty());
    EXPECT_EQ(file.context.data_start, kHeaderSize + 3 * kLongNameWidth + kMagicSize);
    // The second variable's values start behind the first block.
    const int64_t expected = 176 + 3 * 33 + 8 + (48 + 40) + 48;
    EXPECT_EQ(value_position(file.context.header, file.context.dictionary, 0, 2), expected);
    EXPECT_EQ(load_f64(bytes.data() + expected), 10.0);
    std::vector<double> column;
    ASSERT_TRUE(read_numeric_column(file.context, 2, column));
    EXPECT_EQ(column, (std::vector<double>{10, 20, 30, 40, 50}));
}

TEST(Reader, HeaderCountsTheFileCannotHoldFailWithoutAllocating) {
    ScratchDir dir;
    const std::string path = dir.file("counts.rkd");
    testing::write_numeric_file(path, three_by_five());
    struct Case {
        size_t offset;
        int32_t value;
        LoadStatus status;
        HeaderFailure failure = HeaderFailure::none;
    };
    const Case cases[] = {
        {header_field::variable_count, INT_MAX, LoadStatus::header_failed, HeaderFailure::names_premature_end},
        {header_field::variable_count, -5, LoadStatus::header_failed, HeaderFailure::negative_variable_count},
        {header_field::label_set_count, INT_MAX, LoadStatus::bad_magic},
        {header_field::case_count, INT_MAX, LoadStatus::dictionary_failed},
        {header_field::case_count, -1, LoadStatus::dictionary_failed},
        {kHeaderSize + 3 * kLongNameWidth + kMagicSize + 8, INT_MAX, LoadStatus::dictionary_failed},
        {kHeaderSize + 3 * kLongNameWidth + kMagicSize + 8, -8, LoadStatus::dictionary_failed},
    };
    for (const Case& c : cases) {
        testing::write_numeric_file(path, three_by_five());
        patch_i32(path, c.offset, c.value);
        OpenFile file(path);
        EXPECT_EQ(load_data_file(file.context), c.status) << c.offset << " = " << c.value;
        EXPECT_EQ(file.context.header_failure, c.failure) << c.offset << " = " << c.value;
    }
}

TEST(Reader, WriterRefusesCountsThatDisagree) {
    ScratchDir dir;
    RkdLayout layout;
    layout.variable_count = 2;
    layout.names = {"a"};
    RkdFileWriter writer;
    EXPECT_FALSE(begin_rkd_file(writer, dir.file("x.rkd"), layout));
    layout.names = {"a", "b"};
    ASSERT_TRUE(begin_rkd_file(writer, dir.file("x.rkd"), layout));
    ASSERT_TRUE(append_numeric_variable(writer, VariableDescriptor(), nullptr));
    EXPECT_FALSE(finish_rkd_file(writer));  // one variable short
    EXPECT_FALSE(testing::file_exists(dir.file("x.rkd")));
    EXPECT_FALSE(testing::file_exists(dir.file("x.rkd.partial")));
}

}  // namespace
}  // namespace quorix
