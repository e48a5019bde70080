// The state of one analysis run, owned by the run frame and handed to the driver.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "datafile/rkd_format.h"

namespace quorix {

struct RunContext {
    FileHeader header;                           // with the name table and the value-label sets
    std::vector<VariableDescriptor> dictionary;  // one per variable, in file order
    std::FILE* data_file = nullptr;
    int64_t data_start = 0;                      // just behind the magic
    int64_t data_file_size = 0;
    std::vector<int32_t> selection;              // the caller's case selection; empty = every case
    std::string path;                            // the data file path as the caller passed it
    int32_t short_name_layout = 0;               // 1 for "VORW60" files
    bool found_nothing = false;                  // set by a driver that had no case to analyse
};

inline int32_t selection_count(const RunContext& context) {
    return static_cast<int32_t>(context.selection.size());
}

}  // namespace quorix
