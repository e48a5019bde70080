// The state of one analysis run, owned by the run frame and handed to the driver.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "datafile/data_file.h"

namespace quorix {

struct RunContext : DataFile {
    std::vector<int32_t> selection;  // the caller's case selection; empty = every case
    std::string path;                // the data file path as the caller passed it
    bool found_nothing = false;      // set by a driver that had no case to analyse
};

inline int32_t selection_count(const RunContext& context) {
    return static_cast<int32_t>(context.selection.size());
}

}  // namespace quorix
