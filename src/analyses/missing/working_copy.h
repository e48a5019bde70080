// The filled copy of a data file that the imputations write. The run's own
// data file is never written: the copy goes to the working-data directory
// under the data file's name, or, when that would be the data file itself, to
// NAME_filled.rkd beside it. The filled columns are kept in memory; the copy
// is the data file streamed in large blocks with those columns laid over it,
// written under a temporary name in its directory and renamed into place only
// when complete.
#pragma once

#include <cstdint>
#include <cstdio>
#include <string>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

// The environment variable that sets the working-data directory; unset or
// empty means the current directory.
constexpr const char* kWorkDirVariable = "QUORIX_WORK_DIR";

struct WorkingCopy {
    std::string path;              // where the filled copy goes
    std::FILE* source = nullptr;   // the run's data file
    int64_t size = 0;              // its size in bytes
    struct Patch {
        int64_t position = 0;              // offset in the file
        std::vector<unsigned char> bytes;  // what goes there
    };
    std::vector<Patch> patches;    // in the order written; a later one wins
};

// Where the filled copy of data_path goes (see above); empty when no full path
// can be formed.
std::string working_copy_path(const std::string& data_path);

// Sets copy.path and the source (the run's data file, which must stay open
// until the copy is finished). Returns 1, or 0 when there is no data file to copy.
int begin_working_copy(RunContext& context, WorkingCopy& copy);

// Replaces variable v's values (one double per case) in the copy: numeric
// values as stored in the file (at most the width's bytes of each double).
// Returns 1, or 0 when the column does not lie inside the file; throws
// std::bad_alloc when memory runs out.
int write_numeric_column(const RunContext& context, WorkingCopy& copy, int variable, const std::vector<double>& values);

// Writes the data file with the replaced columns to a temporary file beside
// copy.path and renames it into place. Returns 1, or 0 with nothing left
// behind (also when the data file is shorter than when the copy began).
int finish_working_copy(const WorkingCopy& copy);

}  // namespace quorix
