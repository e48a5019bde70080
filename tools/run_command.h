// rkstat run: runs any analysis of the registry through the same frame as the
// native methods, its options parsed from the analysis's parameter list.
#pragma once

#include <string>
#include <vector>

namespace quorix {

// Variables listed by name or 1-based number ("a,3,b"), checked against the data file.
bool resolve_variables(const std::string& path, const std::string& list, std::vector<int>& variables,
                       std::string& error);

// Returns the process exit status: 0 when the analysis ran, 1 when it
// reported a failure or found no case to analyse, 2 when the arguments are wrong.
int run_command(const std::vector<std::string>& args);

std::string run_usage();

}  // namespace quorix
