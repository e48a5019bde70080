// Layout of the .rkd data file: a 176-byte header, the name table, the
// value-label records, the magic, then per variable a 48-byte descriptor
// followed by its values for all cases. Shared by the reader and the writer.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

namespace quorix {

constexpr int kHeaderSize = 176;
constexpr int kDescriptorSize = 48;
constexpr int kLongLabelRecordSize = 588;
constexpr int kShortLabelRecordSize = 204;
constexpr int kLongNameWidth = 33;
constexpr int kShortNameWidth = 9;
constexpr int kInitialNameWidth = 8;
constexpr int kLabelEntryCount = 15;
constexpr int kLongLabelTextWidth = 33;
constexpr int kShortLabelTextWidth = 9;
constexpr int kValueTextWidth = 3;
constexpr int kMagicSize = 8;
constexpr char kMagic[kMagicSize + 1] = "$$&&$$&&";
constexpr double kSystemMissing = 1e35;
constexpr int32_t kCaseFileKind = 2;
constexpr int32_t kMatrixFileKind = 10;

constexpr char kShortSignature[] = "VORW60";    // also matches "VORW603"
constexpr char kLongSignature[] = "VORW70";
constexpr char kMatrixSignature[] = "VORW603";  // written by the matrix writers

// Byte offsets inside the header.
namespace header_field {
constexpr int file_name = 12;          // 30 bytes
constexpr int extension = 42;          // 4 bytes
constexpr int producer = 78;           // 10 bytes
constexpr int signature = 90;          // 8 bytes, first six compared
constexpr int marker = 114;            // 16-bit, 42 in matrix files
constexpr int file_kind = 116;
constexpr int variable_count = 120;
constexpr int case_count = 124;
constexpr int matrix_case_count = 128;
constexpr int label_set_count = 144;
}  // namespace header_field

struct ValueLabel {
    std::string label;       // at most 32 bytes (8 in the short layout)
    std::string value_text;  // at most 3 bytes, converted with strtod when matched
};

// One labelled variable's labels, always held in the long layout: 15 entry
// slots, those not in use empty.
struct ValueLabelSet {
    std::string variable_name;
    std::array<ValueLabel, kLabelEntryCount> entries;
    int32_t carried_field = 0;  // stored at 576 (192 in the short layout), not interpreted
    int32_t entry_count = 0;    // as stored; may disagree with the slots
};

struct FileHeader {
    std::array<unsigned char, kHeaderSize> raw{};
    int32_t file_kind = 0;
    int32_t variable_count = 0;
    int32_t case_count = 0;
    int32_t matrix_case_count = 0;
    int32_t label_set_count = 0;
    std::string name_table;                // variable_count x name width bytes
    std::vector<ValueLabelSet> label_sets;  // in file order
};

struct VariableDescriptor {
    uint16_t tag = 4;
    uint16_t type = 0;  // 0 numeric, 1 alphanumeric
    int32_t width = 8;
    double missing_value1 = kSystemMissing;
    double missing_value2 = kSystemMissing;  // upper bound of the missing range
    double missing_value3 = kSystemMissing;  // lower bound of the missing range
    double missing_kind = 0.0;
};

// Name width of the last recognised data file; one setting for the process.
int name_width();
void set_name_width(int width);

// Signature handling: returns the name width the signature selects and whether
// it is the short-name layout; an unrecognised signature selects nothing (0).
int signature_name_width(const FileHeader& header, int* short_layout);

// Entries of a label set that hold labels: the stored count, limited to the slots.
int entries_in_use(const ValueLabelSet& set);

// Text of a fixed-width field up to its first NUL, never past the width.
std::string fixed_text(const unsigned char* field, size_t width);
// Writes text into a fixed-width field, NUL-padded; text longer than the width is cut.
void put_fixed_text(unsigned char* field, size_t width, const std::string& text);

void decode_header_fields(FileHeader& header);
void encode_header_fields(FileHeader& header);  // the decoded fields back into raw

VariableDescriptor decode_descriptor(const unsigned char* bytes);
void encode_descriptor(const VariableDescriptor& descriptor, unsigned char* bytes);

int label_record_size(int short_layout);
ValueLabelSet decode_label_set(const unsigned char* bytes, int short_layout);
void encode_label_set(const ValueLabelSet& set, int short_layout, unsigned char* bytes);

// Name of variable v (1-based) at the current name width; empty when v is not in the table.
std::string variable_name(const FileHeader& header, int variable);

// Byte offset of the first value of variable v (1-based), computed from the
// header and the dictionary; -1 when v is out of range or a width is negative.
int64_t value_position(const FileHeader& header, const std::vector<VariableDescriptor>& dictionary,
                       int short_layout, int variable);

}  // namespace quorix
