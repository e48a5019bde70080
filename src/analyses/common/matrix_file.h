// The matrix file: a data file whose variables are the analysed variables and
// whose cases are the rows of their correlation matrix, then the standard
// deviations, then the means. Written by correlation and EM; regression and
// factor analysis read it as their input.
#pragma once

#include <string>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

struct PathParts {
    std::string directory;  // drive and directory, ending in a separator
    std::string file_name;  // name and extension
};

// Splits the full (absolute, normalised) form of path. Returns 1, or 0 when
// the full path cannot be formed; parts is then left as it was.
int split_path(const std::string& path, PathParts& parts);

// Where the matrix file of a data file goes: "Matrix.rkd" in its directory.
// Empty when the data file's full path cannot be formed.
std::string matrix_file_path(const std::string& data_path);

// Writes the matrix file of the k listed variables: packed lower-triangular
// correlations, k standard deviations and k means, with recorded_cases in the
// header. Reports on the console; returns 1 when the file was written. The
// file appears complete or not at all.
int write_matrix_file(int k, int recorded_cases, const int* variables, const double* matrix, const double* sd,
                      const double* means, const RunContext& context);

}  // namespace quorix
