#include "analyses/missing/working_copy.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "datafile/byte_order.h"
#include "datafile/file_io.h"
#include "analyses/common/matrix_file.h"
#include "frame/memory.h"

namespace quorix {

std::string working_copy_path(const std::string& data_path) {
    PathParts data;
    if (!split_path(data_path, data)) return "";
    const char* setting = std::getenv(kWorkDirVariable);
    std::string directory = setting && *setting ? setting : ".";
    if (directory.back() != '/' && directory.back() != '\\') directory += '/';
    PathParts target;
    if (!split_path(directory + data.file_name, target)) return "";
    if (target.directory != data.directory) return target.directory + target.file_name;
    // The copy would be the data file itself: the user's file keeps its
    // missing cells and the filled data goes beside it.
    std::string stem = data.file_name;
    if (stem.size() > 4) stem.resize(stem.size() - 4);
    return data.directory + stem + "_filled.rkd";
}

int begin_working_copy(RunContext& context, WorkingCopy& copy) {
    copy.path = working_copy_path(context.path);
    if (copy.path.empty() || !context.data_file || context.data_file_size < 0) return 0;
    const int64_t size = context.data_file_size;
    require_memory(static_cast<uint64_t>(size));
    copy.bytes.resize(static_cast<size_t>(size));
    if (file_seek(context.data_file, 0, SEEK_SET) != 0) return 0;
    if (size > 0 && std::fread(copy.bytes.data(), 1, copy.bytes.size(), context.data_file) != copy.bytes.size())
        return 0;
    return 1;
}

int write_numeric_column(const RunContext& context, WorkingCopy& copy, int variable, const std::vector<double>& values) {
    const int64_t cases = context.header.case_count;
    if (variable < 1 || static_cast<size_t>(variable) > context.dictionary.size() || cases < 0) return 0;
    int64_t position = context.data_start;
    for (int v = 1; v < variable; ++v) position += 48 + int64_t{context.dictionary[static_cast<size_t>(v - 1)].width} * cases;
    position += 48;
    const int32_t width = context.dictionary[static_cast<size_t>(variable - 1)].width;
    if (width <= 0 || static_cast<int64_t>(values.size()) < cases) return 0;
    if (position < 0 || position + int64_t{width} * cases > static_cast<int64_t>(copy.bytes.size())) return 0;
    const size_t kept = static_cast<size_t>(width < 8 ? width : 8);
    for (int64_t t = 0; t < cases; ++t) {
        unsigned char bytes[8];
        store_f64(bytes, values[static_cast<size_t>(t)]);
        std::memcpy(&copy.bytes[static_cast<size_t>(position + t * width)], bytes, kept);
    }
    return 1;
}

int finish_working_copy(const WorkingCopy& copy) {
    const std::string temporary = copy.path + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return 0;
    bool written = copy.bytes.empty() || std::fwrite(copy.bytes.data(), 1, copy.bytes.size(), file) == copy.bytes.size();
    written = (std::fclose(file) == 0) && written;
    if (written) {
        // rename replaces the old copy at once where it can; elsewhere the old one goes first.
        written = std::rename(temporary.c_str(), copy.path.c_str()) == 0;
        if (!written) {
            std::remove(copy.path.c_str());
            written = std::rename(temporary.c_str(), copy.path.c_str()) == 0;
        }
    }
    if (!written) std::remove(temporary.c_str());
    return written ? 1 : 0;
}

}  // namespace quorix
