#include "datafile/rkd_format.h"

#include <algorithm>
#include <cstring>

#include "datafile/byte_order.h"

namespace quorix {

namespace {

int g_name_width = kInitialNameWidth;

constexpr int kShortEntryStride = kShortLabelTextWidth + kValueTextWidth;
constexpr int kLongEntryStride = kLongLabelTextWidth + kValueTextWidth;

struct LabelRecordLayout {
    int size;
    int name_width;
    int label_width;
    int entry_stride;
    int carried_field;
    int entry_count;
};

// The short record holds 15 entries of 12 bytes from offset 9, ending at 189.
constexpr LabelRecordLayout kShortRecord = {kShortLabelRecordSize, kShortNameWidth, kShortLabelTextWidth,
                                            kShortEntryStride, 192, 196};
constexpr LabelRecordLayout kLongRecord = {kLongLabelRecordSize, kLongNameWidth, kLongLabelTextWidth,
                                           kLongEntryStride, 576, 580};

const LabelRecordLayout& record_layout(int short_layout) { return short_layout ? kShortRecord : kLongRecord; }

}  // namespace

int name_width() { return g_name_width; }
void set_name_width(int width) { g_name_width = width; }

int signature_name_width(const FileHeader& header, int* short_layout) {
    const char* signature = reinterpret_cast<const char*>(header.raw.data() + header_field::signature);
    *short_layout = 0;
    if (std::strncmp(signature, kShortSignature, 6) == 0) {
        *short_layout = 1;
        return kShortNameWidth;
    }
    if (std::strncmp(signature, kLongSignature, 6) == 0) return kLongNameWidth;
    return 0;
}

int entries_in_use(const ValueLabelSet& set) { return std::clamp(set.entry_count, 0, kLabelEntryCount); }

std::string fixed_text(const unsigned char* field, size_t width) {
    const void* nul = std::memchr(field, 0, width);
    size_t length = nul ? static_cast<size_t>(static_cast<const unsigned char*>(nul) - field) : width;
    return std::string(reinterpret_cast<const char*>(field), length);
}

void put_fixed_text(unsigned char* field, size_t width, const std::string& text) {
    std::memset(field, 0, width);
    std::memcpy(field, text.data(), std::min(width, text.size()));
}

void decode_header_fields(FileHeader& header) {
    const unsigned char* raw = header.raw.data();
    header.file_kind = load_i32(raw + header_field::file_kind);
    header.variable_count = load_i32(raw + header_field::variable_count);
    header.case_count = load_i32(raw + header_field::case_count);
    header.matrix_case_count = load_i32(raw + header_field::matrix_case_count);
    header.label_set_count = load_i32(raw + header_field::label_set_count);
}

void encode_header_fields(FileHeader& header) {
    unsigned char* raw = header.raw.data();
    store_i32(raw + header_field::file_kind, header.file_kind);
    store_i32(raw + header_field::variable_count, header.variable_count);
    store_i32(raw + header_field::case_count, header.case_count);
    store_i32(raw + header_field::matrix_case_count, header.matrix_case_count);
    store_i32(raw + header_field::label_set_count, header.label_set_count);
}

VariableDescriptor decode_descriptor(const unsigned char* bytes) {
    VariableDescriptor d;
    d.tag = load_u16(bytes);
    d.type = load_u16(bytes + 2);
    d.width = load_i32(bytes + 8);
    d.missing_value1 = load_f64(bytes + 16);
    d.missing_value2 = load_f64(bytes + 24);
    d.missing_value3 = load_f64(bytes + 32);
    d.missing_kind = load_f64(bytes + 40);
    return d;
}

void encode_descriptor(const VariableDescriptor& d, unsigned char* bytes) {
    std::memset(bytes, 0, kDescriptorSize);
    store_u16(bytes, d.tag);
    store_u16(bytes + 2, d.type);
    store_i32(bytes + 8, d.width);
    store_f64(bytes + 16, d.missing_value1);
    store_f64(bytes + 24, d.missing_value2);
    store_f64(bytes + 32, d.missing_value3);
    store_f64(bytes + 40, d.missing_kind);
}

int label_record_size(int short_layout) { return record_layout(short_layout).size; }

ValueLabelSet decode_label_set(const unsigned char* bytes, int short_layout) {
    const LabelRecordLayout& layout = record_layout(short_layout);
    ValueLabelSet set;
    set.variable_name = fixed_text(bytes, static_cast<size_t>(layout.name_width));
    set.carried_field = load_i32(bytes + layout.carried_field);
    set.entry_count = load_i32(bytes + layout.entry_count);
    // Slots beyond the count stay empty, as in a zero-filled converted record.
    int used = short_layout ? entries_in_use(set) : kLabelEntryCount;
    for (int i = 0; i < used; ++i) {
        const unsigned char* entry = bytes + layout.name_width + layout.entry_stride * i;
        set.entries[i].label = fixed_text(entry, static_cast<size_t>(layout.label_width));
        set.entries[i].value_text = fixed_text(entry + layout.label_width, kValueTextWidth);
    }
    return set;
}

void encode_label_set(const ValueLabelSet& set, int short_layout, unsigned char* bytes) {
    const LabelRecordLayout& layout = record_layout(short_layout);
    std::memset(bytes, 0, static_cast<size_t>(layout.size));
    put_fixed_text(bytes, static_cast<size_t>(layout.name_width), set.variable_name);
    for (int i = 0; i < kLabelEntryCount; ++i) {
        unsigned char* entry = bytes + layout.name_width + layout.entry_stride * i;
        put_fixed_text(entry, static_cast<size_t>(layout.label_width), set.entries[i].label);
        put_fixed_text(entry + layout.label_width, kValueTextWidth, set.entries[i].value_text);
    }
    store_i32(bytes + layout.carried_field, set.carried_field);
    store_i32(bytes + layout.entry_count, set.entry_count);
}

std::string variable_name(const FileHeader& header, int variable) {
    const size_t width = static_cast<size_t>(name_width());
    if (variable < 1 || width == 0) return std::string();
    const size_t offset = static_cast<size_t>(variable - 1) * width;
    if (offset + width > header.name_table.size()) return std::string();
    return fixed_text(reinterpret_cast<const unsigned char*>(header.name_table.data()) + offset, width);
}

int64_t value_position(const FileHeader& header, const std::vector<VariableDescriptor>& dictionary,
                       int short_layout, int variable) {
    if (variable < 1 || variable > header.variable_count || static_cast<size_t>(variable) > dictionary.size())
        return -1;
    const int64_t cases = header.case_count;
    if (cases < 0) return -1;
    int64_t position = kHeaderSize + int64_t{header.variable_count} * name_width() +
                       int64_t{std::max(header.label_set_count, 0)} * label_record_size(short_layout) + kMagicSize;
    for (int k = 0; k < variable - 1; ++k) {
        if (dictionary[k].width < 0) return -1;
        position += kDescriptorSize + int64_t{dictionary[k].width} * cases;
    }
    return position + kDescriptorSize;
}

}  // namespace quorix
