#include "analyses/missing/working_copy.h"

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <new>
#include <utility>

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
    copy.patches.clear();
    if (copy.path.empty() || !context.data_file || context.data_file_size < 0) return 0;
    copy.source = context.data_file;
    copy.size = context.data_file_size;
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
    if (position < 0 || position + int64_t{width} * cases > copy.size) return 0;
    require_memory(static_cast<uint64_t>(width) * static_cast<uint64_t>(cases));
    WorkingCopy::Patch patch;
    patch.position = position;
    patch.bytes.resize(static_cast<size_t>(int64_t{width} * cases));
    const size_t kept = static_cast<size_t>(width < 8 ? width : 8);
    for (int64_t t = 0; t < cases; ++t) {
        unsigned char bytes[8];
        store_f64(bytes, values[static_cast<size_t>(t)]);
        std::memcpy(&patch.bytes[static_cast<size_t>(t * width)], bytes, kept);
    }
    copy.patches.push_back(std::move(patch));
    return 1;
}

namespace {

// Copies the data file to file in blocks, each with the patches laid over it.
bool stream_copy(const WorkingCopy& copy, std::FILE* file) {
    if (!copy.source || file_seek(copy.source, 0, SEEK_SET) != 0) return false;
    constexpr int64_t kBlock = int64_t{1} << 22;
    std::vector<unsigned char> buffer(static_cast<size_t>(copy.size < kBlock ? copy.size : kBlock));
    for (int64_t start = 0; start < copy.size; start += kBlock) {
        const int64_t length = copy.size - start < kBlock ? copy.size - start : kBlock;
        if (std::fread(buffer.data(), 1, static_cast<size_t>(length), copy.source) != static_cast<size_t>(length))
            return false;
        for (const WorkingCopy::Patch& patch : copy.patches) {
            const int64_t end = patch.position + static_cast<int64_t>(patch.bytes.size());
            const int64_t from = patch.position > start ? patch.position : start;
            const int64_t to = end < start + length ? end : start + length;
            if (from < to)
                std::memcpy(buffer.data() + (from - start), patch.bytes.data() + (from - patch.position),
                            static_cast<size_t>(to - from));
        }
        if (std::fwrite(buffer.data(), 1, static_cast<size_t>(length), file) != static_cast<size_t>(length))
            return false;
    }
    return true;
}

}  // namespace

int finish_working_copy(const WorkingCopy& copy) {
    const std::string temporary = copy.path + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "wb");
    if (!file) return 0;
    bool written = false;
    try {
        written = stream_copy(copy, file);
    } catch (const std::bad_alloc&) {
        written = false;
    }
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
