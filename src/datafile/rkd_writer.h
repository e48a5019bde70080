// Writing .rkd files: header, name table, value labels, magic, then one
// variable after another. The data is written under a temporary name and
// renamed into place when complete, so a failure never leaves half a file.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "datafile/rkd_format.h"

namespace quorix {

struct RkdLayout {
    std::string signature = kLongSignature;
    int32_t file_kind = kCaseFileKind;
    int32_t variable_count = 0;
    int32_t case_count = 0;
    int32_t matrix_case_count = 0;
    uint16_t marker = 0;                    // 42 in matrix files
    std::string file_name_field;            // informational, at most 29 bytes kept
    int name_width = 0;                     // 0: the width the signature selects
    std::vector<std::string> names;         // one per variable
    std::vector<ValueLabelSet> label_sets;
};

struct RkdFileWriter {
    std::string path;
    std::string temporary_path;
    std::FILE* file = nullptr;
    RkdLayout layout;
    int32_t variables_written = 0;
    std::string error;
};

// Where a file for path is written until it is complete: path + ".partial".
std::string rkd_temporary_path(const std::string& path);

// Writes everything up to the magic. Returns false with writer.error set.
bool begin_rkd_file(RkdFileWriter& writer, const std::string& path, const RkdLayout& layout);
// One numeric variable: its descriptor (width forced to 8) and case_count values.
bool append_numeric_variable(RkdFileWriter& writer, VariableDescriptor descriptor, const double* values);
// One alphanumeric variable: each text NUL-padded or cut to the descriptor's width.
bool append_text_variable(RkdFileWriter& writer, VariableDescriptor descriptor, const std::vector<std::string>& texts);
// Checks that every variable was written, then renames the file into place.
bool finish_rkd_file(RkdFileWriter& writer);
// Drops an unfinished file.
void abandon_rkd_file(RkdFileWriter& writer);

// The name width a layout is written with.
int layout_name_width(const RkdLayout& layout);

}  // namespace quorix
