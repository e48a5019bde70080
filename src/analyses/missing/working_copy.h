// The filled copy of a data file that the imputations write. The run's own
// data file is never written: the copy goes to the working-data directory
// under the data file's name, or, when that would be the data file itself, to
// NAME_filled.rkd beside it. The copy is assembled in memory, written under a
// temporary name in its directory and renamed into place only when complete.
#pragma once

#include <string>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

// The environment variable that sets the working-data directory; unset or
// empty means the current directory.
constexpr const char* kWorkDirVariable = "QUORIX_WORK_DIR";

struct WorkingCopy {
    std::string path;                  // where the filled copy goes
    std::vector<unsigned char> bytes;  // the data file's image, columns patched in place
};

// Where the filled copy of data_path goes (see above); empty when no full path
// can be formed.
std::string working_copy_path(const std::string& data_path);

// Reads the run's data file into copy.bytes and sets copy.path. Returns 1, or
// 0; throws std::bad_alloc when memory runs out.
int begin_working_copy(RunContext& context, WorkingCopy& copy);

// Replaces variable v's values (one double per case) in the image: numeric
// values as stored in the file (at most the width's bytes of each double).
// Returns 1, or 0 when the column does not lie inside the image.
int write_numeric_column(const RunContext& context, WorkingCopy& copy, int variable, const std::vector<double>& values);

// Writes the image to a temporary file beside copy.path and renames it into
// place. Returns 1, or 0 with nothing left behind.
int finish_working_copy(const WorkingCopy& copy);

}  // namespace quorix
