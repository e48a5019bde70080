// An open data file as the reader leaves it: header with name table and
// value labels, the dictionary, and where the case data begins.
#pragma once

#include <cstdint>
#include <cstdio>
#include <vector>

#include "datafile/rkd_format.h"

namespace quorix {

// Why the header or the name table could not be read; the run frame says it
// in the system's words.
enum class HeaderFailure { none, premature_end, read_error, negative_variable_count, names_premature_end, names_read_error };

struct DataFile {
    FileHeader header;                           // with the name table and the value-label sets
    std::vector<VariableDescriptor> dictionary;  // one per variable, in file order
    std::FILE* data_file = nullptr;
    int64_t data_start = 0;                      // just behind the magic
    int64_t data_file_size = 0;
    int32_t short_name_layout = 0;               // 1 for "VORW60" files
    HeaderFailure header_failure = HeaderFailure::none;
};

}  // namespace quorix
