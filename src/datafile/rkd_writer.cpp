#include "datafile/rkd_writer.h"

#include <cerrno>
#include <cstring>

#include "datafile/byte_order.h"

namespace quorix {

namespace {

// "cannot write PATH: REASON" with the reason errno gives.
std::string write_error(const std::string& path) {
    const int error = errno != 0 ? errno : EIO;
    return "cannot write " + path + ": " + std::strerror(error);
}

bool write_bytes(RkdFileWriter& writer, const void* bytes, size_t size) {
    errno = 0;
    if (size == 0 || std::fwrite(bytes, 1, size, writer.file) == size) return true;
    writer.error = write_error(writer.temporary_path);
    return false;
}

bool check_variable_slot(RkdFileWriter& writer) {
    if (!writer.file) {
        writer.error = "the file is not open";
        return false;
    }
    if (writer.variables_written >= writer.layout.variable_count) {
        writer.error = "more variables than the header announces";
        return false;
    }
    return true;
}

bool write_descriptor(RkdFileWriter& writer, const VariableDescriptor& descriptor) {
    unsigned char bytes[kDescriptorSize];
    encode_descriptor(descriptor, bytes);
    return write_bytes(writer, bytes, sizeof bytes);
}

}  // namespace

int layout_name_width(const RkdLayout& layout) {
    if (layout.name_width > 0) return layout.name_width;
    if (layout.signature.compare(0, 6, kShortSignature) == 0) return kShortNameWidth;
    if (layout.signature.compare(0, 6, kLongSignature) == 0) return kLongNameWidth;
    return name_width();
}

std::string rkd_temporary_path(const std::string& path) { return path + ".partial"; }

bool begin_rkd_file(RkdFileWriter& writer, const std::string& path, const RkdLayout& layout) {
    writer = RkdFileWriter();
    writer.path = path;
    writer.temporary_path = rkd_temporary_path(path);
    writer.layout = layout;
    if (layout.names.size() != static_cast<size_t>(layout.variable_count) || layout.variable_count < 0 ||
        layout.case_count < 0) {
        writer.error = "variable names and counts disagree";
        return false;
    }
    const int short_layout = layout.signature.compare(0, 6, kShortSignature) == 0 ? 1 : 0;
    const size_t width = static_cast<size_t>(layout_name_width(layout));

    FileHeader header;
    unsigned char* raw = header.raw.data();
    put_fixed_text(raw + header_field::file_name, 30, layout.file_name_field.substr(0, 29));
    put_fixed_text(raw + header_field::extension, 4, "rkd");
    put_fixed_text(raw + header_field::producer, 10, "VORPMBWIN");
    put_fixed_text(raw + header_field::signature, 8, layout.signature.substr(0, 7));
    store_u16(raw + header_field::marker, layout.marker);
    header.file_kind = layout.file_kind;
    header.variable_count = layout.variable_count;
    header.case_count = layout.case_count;
    header.matrix_case_count = layout.matrix_case_count;
    header.label_set_count = static_cast<int32_t>(layout.label_sets.size());
    encode_header_fields(header);

    std::vector<unsigned char> names(width * layout.names.size(), 0);
    for (size_t v = 0; v < layout.names.size(); ++v)
        put_fixed_text(names.data() + v * width, width, layout.names[v]);
    const size_t record_size = static_cast<size_t>(label_record_size(short_layout));
    std::vector<unsigned char> labels(record_size * layout.label_sets.size(), 0);
    for (size_t i = 0; i < layout.label_sets.size(); ++i)
        encode_label_set(layout.label_sets[i], short_layout, labels.data() + i * record_size);

    writer.file = std::fopen(writer.temporary_path.c_str(), "wb");
    if (!writer.file) {
        writer.error = "cannot create " + writer.temporary_path;
        return false;
    }
    if (write_bytes(writer, raw, kHeaderSize) && write_bytes(writer, names.data(), names.size()) &&
        write_bytes(writer, labels.data(), labels.size()) && write_bytes(writer, kMagic, kMagicSize))
        return true;
    abandon_rkd_file(writer);
    return false;
}

bool append_numeric_variable(RkdFileWriter& writer, VariableDescriptor descriptor, const double* values) {
    if (!check_variable_slot(writer)) return false;
    descriptor.type = 0;
    descriptor.width = 8;
    if (!write_descriptor(writer, descriptor)) return false;
    std::vector<unsigned char> block(8 * static_cast<size_t>(writer.layout.case_count));
    for (size_t c = 0; c < block.size() / 8; ++c) store_f64(block.data() + 8 * c, values[c]);
    if (!write_bytes(writer, block.data(), block.size())) return false;
    ++writer.variables_written;
    return true;
}

bool append_text_variable(RkdFileWriter& writer, VariableDescriptor descriptor, const std::vector<std::string>& texts) {
    if (!check_variable_slot(writer)) return false;
    if (texts.size() != static_cast<size_t>(writer.layout.case_count) || descriptor.width < 1) {
        writer.error = "a text variable needs one text per case and a width of at least 1";
        return false;
    }
    descriptor.type = 1;
    if (!write_descriptor(writer, descriptor)) return false;
    const size_t width = static_cast<size_t>(descriptor.width);
    std::vector<unsigned char> block(width * texts.size(), 0);
    for (size_t c = 0; c < texts.size(); ++c) put_fixed_text(block.data() + c * width, width, texts[c]);
    if (!write_bytes(writer, block.data(), block.size())) return false;
    ++writer.variables_written;
    return true;
}

bool finish_rkd_file(RkdFileWriter& writer) {
    if (!writer.file) return false;
    if (writer.variables_written != writer.layout.variable_count) {
        writer.error = "fewer variables written than the header announces";
        abandon_rkd_file(writer);
        return false;
    }
    errno = 0;
    const bool closed = std::fclose(writer.file) == 0;
    writer.file = nullptr;
    if (!closed) {
        writer.error = write_error(writer.temporary_path);
        std::remove(writer.temporary_path.c_str());
        return false;
    }
    // rename replaces the old file in one step where it can; where it does not
    // replace a file (Windows), the old one is removed first.
    if (std::rename(writer.temporary_path.c_str(), writer.path.c_str()) != 0 &&
        (std::remove(writer.path.c_str()), std::rename(writer.temporary_path.c_str(), writer.path.c_str()) != 0)) {
        writer.error = "cannot rename " + writer.temporary_path + " to " + writer.path;
        std::remove(writer.temporary_path.c_str());
        return false;
    }
    return true;
}

void abandon_rkd_file(RkdFileWriter& writer) {
    if (writer.file) std::fclose(writer.file);
    writer.file = nullptr;
    if (!writer.temporary_path.empty()) std::remove(writer.temporary_path.c_str());
}

}  // namespace quorix
