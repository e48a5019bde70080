// rkstat run: runs an analysis through the same frame as the native methods.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace quorix {

struct RunRequest {
    std::string analysis;
    std::string data_path;
    std::string run_name = "run";
    std::vector<int> variables;
    std::vector<int32_t> selection;
    std::map<std::string, std::string> options;  // the analysis's own --name value pairs
};

// Variables listed by name or 1-based number ("a,3,b"), checked against the data file.
bool resolve_variables(const std::string& path, const std::string& list, std::vector<int>& variables,
                       std::string& error);

// An analysis option's value, or the fallback when it was not given.
std::string option_text(const RunRequest& request, const std::string& name, const std::string& fallback);
// A numeric option; false with a message when it is not a number.
bool option_number(const RunRequest& request, const std::string& name, double fallback, double& value,
                   std::string& error);
// A variable option (name or 1-based number) resolved against the data file.
bool option_variable(const RunRequest& request, const std::string& name, int& variable, std::string& error);

struct AnalysisCommand {
    const char* name;
    const char* usage;    // one line for rkstat run --help, options included
    const char* options;  // the options it reads, space-separated names without "--"
    // Runs the analysis; returns the frame's status, or sets error and returns
    // kInvalidRequest when the options are wrong.
    int (*run)(const RunRequest& request, std::string& error);
};

constexpr int kInvalidRequest = -1000;

// Every analysis takes these; the rest are refused unless its row names them.
constexpr const char* kCommonOptions = "run vars select";

// The analyses rkstat run knows, in the order of the native methods.
const std::vector<AnalysisCommand>& analysis_commands();

// Returns the process exit status: 0 when the analysis ran, 1 when it
// reported a failure, 2 when the run could not start or the arguments are wrong.
int run_command(const std::vector<std::string>& args);

std::string run_usage();

}  // namespace quorix
