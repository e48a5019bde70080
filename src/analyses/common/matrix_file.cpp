#include "analyses/common/matrix_file.h"

#include <algorithm>
#include <filesystem>
#include <new>
#include <system_error>

#include "datafile/rkd_writer.h"
#include "frame/channels.h"

namespace quorix {

int split_path(const std::string& path, PathParts& parts) {
    if (path.empty()) return 0;
    try {
        std::error_code error;
        const std::filesystem::path full = std::filesystem::absolute(std::filesystem::path(path), error);
        if (error) return 0;
        const std::string text = full.lexically_normal().string();
        const std::string name = full.lexically_normal().filename().string();
        parts.directory = text.substr(0, text.size() - name.size());
        parts.file_name = name;
        return 1;
    } catch (const std::bad_alloc&) {
        return 0;
    }
}

std::string matrix_file_path(const std::string& data_path) {
    PathParts parts;
    if (!split_path(data_path, parts)) return std::string();
    return parts.directory + "Matrix.rkd";
}

namespace {

// True when both paths name one file: the same full path, or one file reached
// by two names (links, letter case where the file system ignores it).
bool same_file(const std::string& a, const std::string& b) {
    std::error_code error;
    const std::filesystem::path full_a = std::filesystem::absolute(a, error).lexically_normal();
    if (error) return false;
    const std::filesystem::path full_b = std::filesystem::absolute(b, error).lexically_normal();
    if (error) return false;
    if (full_a == full_b) return true;
    const bool equivalent = std::filesystem::equivalent(full_a, full_b, error);
    return !error && equivalent;
}

// Each variable holds k + 2 values, counted in 32 bits in the header.
constexpr int kMaxMatrixVariables = 1 << 30;

// The reader takes the matrix signature "VORW603" for 9-byte names. After a
// "VORW70" data file the current width is 33, and names written at that width
// would shift everything behind them; such a file is therefore stamped
// "VORW70" and keeps the full 33-byte names. Every other width is written as
// 9-byte names under "VORW603", which also covers the width of 8 that a data
// file with an unrecognised signature leaves in a fresh process.
void choose_signature(RkdLayout& layout) {
    if (name_width() == kLongNameWidth) {
        layout.signature = kLongSignature;
        layout.name_width = kLongNameWidth;
    } else {
        layout.signature = kMatrixSignature;
        layout.name_width = kShortNameWidth;
    }
}

int write_file(const std::string& path, int k, int recorded_cases, const int* variables, const double* matrix,
               const double* sd, const double* means, const RunContext& context) {
    RkdLayout layout;
    choose_signature(layout);
    layout.file_kind = kMatrixFileKind;
    layout.marker = 42;
    layout.variable_count = k;
    layout.case_count = k + 2;
    layout.matrix_case_count = recorded_cases;
    layout.file_name_field = path;
    for (int i = 0; i < k; ++i) layout.names.push_back(variable_name(context.header, variables[i]));

    RkdFileWriter writer;
    if (!begin_rkd_file(writer, path, layout)) {
        console_printf("open file failed");
        return 0;
    }
    // Variable i's cases: column i of the matrix, then its sd and its mean.
    const size_t kk = static_cast<size_t>(k);
    try {
        std::vector<double> values(kk + 2);
        for (size_t i = 0; i < kk; ++i) {
            for (size_t r = 0; r < kk; ++r)
                values[r] = matrix[r >= i ? r * (r + 1) / 2 + i : i * (i + 1) / 2 + r];
            values[kk] = sd[i];
            values[kk + 1] = means[i];
            if (!append_numeric_variable(writer, VariableDescriptor(), values.data())) break;
        }
    } catch (const std::bad_alloc&) {
        abandon_rkd_file(writer);
        throw;
    }
    if (!writer.error.empty() || !finish_rkd_file(writer)) {
        abandon_rkd_file(writer);
        console_printf("%s\n", writer.error.c_str());
        return 0;
    }
    console_printf("File succefully written at\n");
    console_printf("%s", path.c_str());
    return 1;
}

}  // namespace

int write_matrix_file(int k, int recorded_cases, const int* variables, const double* matrix, const double* sd,
                      const double* means, const RunContext& context) {
    if (k < 1 || k > kMaxMatrixVariables || !variables || !matrix || !sd || !means) return 0;
    try {
        const std::string path = matrix_file_path(context.path);
        // A data file whose full path cannot be formed has no directory to write into.
        if (path.empty()) {
            console_printf("open file failed");
            return 0;
        }
        // The file is written beside its place and renamed into it; neither
        // name may be the data file this run reads.
        if (same_file(path, context.path) || same_file(rkd_temporary_path(path), context.path)) {
            channel_printf(kLogChannel, "%s%s\n", " The matrix file is not written: it would replace the data file ",
                           context.path.c_str());
            return 0;
        }
        return write_file(path, k, recorded_cases, variables, matrix, sd, means, context);
    } catch (const std::bad_alloc&) {
        console_printf(" Not enough memory!");
        return 0;
    } catch (const std::length_error&) {
        console_printf(" Not enough memory!");
        return 0;
    }
}

}  // namespace quorix
