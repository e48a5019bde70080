#include "datafile/rkd_reader.h"

#include <cstdio>
#include <cstring>

#include "datafile/file_io.h"

namespace quorix {

namespace {

size_t read_bytes(std::FILE* file, void* buffer, size_t size) {
    return size == 0 ? 0 : std::fread(buffer, 1, size, file);
}

int64_t bytes_left(DataFile& context) {
    int64_t here = file_tell(context.data_file);
    return here < 0 ? 0 : context.data_file_size - here;
}

// Reads the value-label records. Counts that the file cannot hold behave like
// a short read: the list stays empty and the stream is left at its end, so the
// caller finds no magic.
void read_label_sets(DataFile& context) {
    FileHeader& header = context.header;
    header.label_sets.clear();
    if (header.label_set_count <= 0) return;
    const int64_t record_size = label_record_size(context.short_name_layout);
    const int64_t total = record_size * header.label_set_count;
    if (total > bytes_left(context)) {
        file_seek(context.data_file, 0, SEEK_END);
        return;
    }
    std::vector<unsigned char> records(static_cast<size_t>(total));
    if (read_bytes(context.data_file, records.data(), records.size()) != records.size()) return;
    header.label_sets.reserve(static_cast<size_t>(header.label_set_count));
    for (int32_t i = 0; i < header.label_set_count; ++i)
        header.label_sets.push_back(
            decode_label_set(records.data() + record_size * i, context.short_name_layout));
}

}  // namespace

int read_header(DataFile& context) {
    std::FILE* file = context.data_file;
    FileHeader& header = context.header;
    header = FileHeader();
    context.dictionary.clear();
    context.header_failure = HeaderFailure::none;
    context.data_file_size = file_size(file);

    if (file_seek(file, 0, SEEK_SET) != 0 ||
        read_bytes(file, header.raw.data(), kHeaderSize) != static_cast<size_t>(kHeaderSize)) {
        context.header_failure = std::feof(file) ? HeaderFailure::premature_end : HeaderFailure::read_error;
        return 0;
    }
    decode_header_fields(header);

    int short_layout = 0;
    if (int width = signature_name_width(header, &short_layout)) {
        set_name_width(width);
        context.short_name_layout = short_layout;
    }

    if (header.variable_count < 0) {
        context.header_failure = HeaderFailure::negative_variable_count;
        return 0;
    }
    const int64_t table_size = int64_t{header.variable_count} * name_width();
    if (table_size > bytes_left(context)) {
        // The table cannot be in the file: fail as the short read would, without allocating.
        context.header_failure = HeaderFailure::names_premature_end;
        header = FileHeader();
        return 0;
    }
    header.name_table.resize(static_cast<size_t>(table_size));
    if (read_bytes(file, &header.name_table[0], header.name_table.size()) != header.name_table.size() &&
        table_size > 0) {
        context.header_failure = std::feof(file) ? HeaderFailure::names_premature_end : HeaderFailure::names_read_error;
        header = FileHeader();
        return 0;
    }
    read_label_sets(context);
    return 1;
}

int read_dictionary(DataFile& context) {
    const FileHeader& header = context.header;
    const int64_t cases = header.case_count;
    // Case counts that no value block could hold are refused before any
    // analysis sizes its arrays by them.
    if (cases < 0 || (cases > 0 && header.variable_count <= 0)) return -1;
    context.dictionary.clear();
    unsigned char bytes[kDescriptorSize];
    for (int32_t v = 0; v < header.variable_count; ++v) {
        if (read_bytes(context.data_file, bytes, kDescriptorSize) != static_cast<size_t>(kDescriptorSize))
            return -1;
        VariableDescriptor descriptor = decode_descriptor(bytes);
        if (descriptor.width < 0 || (descriptor.width == 0 && cases > 0)) return -1;
        const int64_t values = int64_t{descriptor.width} * cases;
        if (values > bytes_left(context)) return -1;
        context.dictionary.push_back(descriptor);
        if (file_seek(context.data_file, values, SEEK_CUR) != 0) return -1;
    }
    return 0;
}

}  // namespace quorix

namespace quorix {

LoadStatus load_data_file(DataFile& context) {
    if (read_header(context) != 1) return LoadStatus::header_failed;
    char magic[kMagicSize];
    if (std::fread(magic, 1, kMagicSize, context.data_file) != static_cast<size_t>(kMagicSize) ||
        std::memcmp(magic, kMagic, kMagicSize) != 0)
        return LoadStatus::bad_magic;
    context.data_start = file_tell(context.data_file);
    return read_dictionary(context) == 0 ? LoadStatus::ok : LoadStatus::dictionary_failed;
}

}  // namespace quorix
