// rkstat run: runs an analysis through the same frame as the native methods.
#pragma once

#include <string>
#include <vector>

namespace quorix {

// Returns the process exit status: 0 when the analysis ran, 1 when it
// reported a failure, 2 when the run could not start or the arguments are wrong.
int run_command(const std::vector<std::string>& args);

std::string run_usage();

}  // namespace quorix
