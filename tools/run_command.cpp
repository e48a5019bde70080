#include "run_command.h"

#include <climits>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "analyses/registry.h"
#include "data_tools.h"
#include "report_view.h"
#include "frame/channels.h"

namespace quorix {

namespace {

bool parse_integer(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0';
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> parts;
    std::istringstream in(text);
    for (std::string part; std::getline(in, part, ',');)
        if (!part.empty()) parts.push_back(part);
    return parts;
}

// The options every analysis takes besides its own parameters.
const char* const kCommonOptions[] = {"run", "select", "out-dir"};

const ParameterSpec* find_parameter(const AnalysisRow& row, const std::string& name) {
    for (const ParameterSpec& parameter : row.parameters)
        if (name == parameter.option) return &parameter;
    return nullptr;
}

// A misspelled option would otherwise be ignored and the run go on with the default.
std::string unknown_option_message(const AnalysisRow& row, const std::string& option) {
    std::string message = std::string(row.command) + " does not take " + option + "; its options are";
    const char* separator = " --";
    for (const char* name : kCommonOptions) {
        message += separator + std::string(name);
        separator = ", --";
    }
    for (const ParameterSpec& parameter : row.parameters) message += separator + std::string(parameter.option);
    return message + ", --quiet";
}

std::string names_of(const ParameterSpec& parameter) {
    std::string names;
    for (const BitName& name : parameter.names) names += (names.empty() ? "" : ", ") + std::string(name.name);
    return names;
}

// One parameter's value from its option text (the fallback when not given).
bool parse_parameter(const ParameterSpec& parameter, const std::string& data_path, const std::string* given,
                     Argument& argument, std::string& error) {
    const std::string option = std::string("--") + parameter.option;
    const std::string text = given ? *given : parameter.fallback;
    switch (parameter.kind) {
    case ParameterKind::variables:
    case ParameterKind::variable:
        if (!given && parameter.fallback == std::string("none")) return true;  // an optional variable left out
        if (!given) {
            error = option + " is required";
            return false;
        }
        if (!resolve_variables(data_path, text, argument.variables, error)) return false;
        if (parameter.count > 0 && argument.variables.size() != static_cast<size_t>(parameter.count)) {
            error = option + " takes " + (parameter.kind == ParameterKind::variable ? "one variable" : parameter.roles);
            return false;
        }
        if (argument.variables.empty()) {
            error = option + " names no variable";
            return false;
        }
        return true;
    case ParameterKind::number: {
        char* end = nullptr;
        argument.number = std::strtod(text.c_str(), &end);
        if (text.empty() || *end != '\0') {
            error = option + " needs a number, got '" + text + "'";
            return false;
        }
        return true;
    }
    case ParameterKind::integer:
        if (!parse_integer(text, argument.integer) || argument.integer < INT_MIN || argument.integer > INT_MAX) {
            error = option + " needs a whole number, got '" + text + "'";
            return false;
        }
        return true;
    case ParameterKind::flag:
        argument.integer = text == "yes" || text == "1";
        if (argument.integer || text == "no" || text == "0") return true;
        error = option + " takes yes or no, got '" + text + "'";
        return false;
    case ParameterKind::word:
        // Handed over as given: the analysis checks it with its own messages.
        argument = word_argument(given ? given->c_str() : nullptr);
        return true;
    case ParameterKind::bits:
        for (const std::string& word : split_list(text)) {
            if (word == "none") continue;
            int bit = 0;
            for (const BitName& name : parameter.names)
                if (word == name.name) bit = name.bit;
            if (bit == 0) {
                error = option + " takes " + names_of(parameter) + " or none, got '" + word + "'";
                return false;
            }
            argument.integer |= bit;
        }
        return true;
    }
    return false;
}

struct RunRequest {
    const AnalysisRow* row = nullptr;
    std::string data_path;
    std::string run_name = "run";
    std::string out_dir;
    bool quiet = false;
    bool html = false;
    AnalysisArguments arguments;
};

bool parse_request(const AnalysisRow& row, const std::vector<std::string>& args, RunRequest& request,
                   std::string& error) {
    if (args.size() < 2) {
        error = "run needs an analysis and a data file";
        return false;
    }
    request.row = &row;
    request.data_path = args[1];
    std::map<std::string, std::string> given;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option == "--quiet" || option == "--html") {
            (option == "--quiet" ? request.quiet : request.html) = true;
            continue;
        }
        if (option.compare(0, 2, "--") != 0 || i + 1 >= args.size()) {
            error = "expected --option VALUE, got '" + option + "'";
            return false;
        }
        const std::string name = option.substr(2);
        const std::string& value = args[++i];
        if (name == "run") {
            request.run_name = value;
        } else if (name == "out-dir") {
            request.out_dir = value;
        } else if (name == "select") {
            for (const std::string& item : split_list(value)) {
                long long entry;
                if (!parse_integer(item, entry) || entry < INT32_MIN || entry > INT32_MAX) {
                    error = "case selection entry '" + item + "' is not a whole number";
                    return false;
                }
                request.arguments.selection.push_back(static_cast<int32_t>(entry));
            }
        } else if (find_parameter(row, name)) {
            given[name] = value;
        } else {
            error = unknown_option_message(row, option);
            return false;
        }
    }
    for (const ParameterSpec& parameter : row.parameters) {
        const auto value = given.find(parameter.option);
        Argument argument;
        if (!parse_parameter(parameter, request.data_path, value == given.end() ? nullptr : &value->second, argument,
                             error))
            return false;
        request.arguments.values.push_back(std::move(argument));
    }
    return true;
}

// The last line the log holds: the reason a failed run gives.
std::string last_log_line(const std::string& path) {
    std::ifstream in(path);
    std::string line, last;
    while (std::getline(in, line)) {
        const size_t start = line.find_first_not_of(" \t\r");
        if (start != std::string::npos) last = line.substr(start);
    }
    return last;
}

// One closing line on standard error: the frame's own console lines are for
// the application's console, and would tell a user that memory ran out when a
// run was refused.
int report_outcome(const RunRequest& request, const ResultFileNames& names, int status) {
    if (status == 0) {
        if (!request.quiet)
            std::fprintf(stderr, "rkstat: %s done: %s, %s, %s\n", request.row->command, names.report.c_str(),
                         names.log.c_str(), names.xml.c_str());
        return 0;
    }
    if (status == kFoundNothing) {
        std::fprintf(stderr, "rkstat: %s found no case to analyse (see %s)\n", request.row->command,
                     names.report.c_str());
        return 1;
    }
    const std::string& failure = output_state().run_failure;
    const std::string reason = failure.empty() ? last_log_line(names.log) : failure;
    std::fprintf(stderr, "rkstat: %s failed: %s\n", request.row->command, reason.c_str());
    return 1;
}

}  // namespace

// Variables by name or by 1-based number, checked against the file's dictionary.
bool resolve_variables(const std::string& path, const std::string& list, std::vector<int>& variables,
                       std::string& error) {
    RunContext context;
    if (!open_data_file(path, context, error)) return false;
    close_data_file(context);
    for (const std::string& item : split_list(list)) {
        long long number = 0;
        if (!parse_integer(item, number)) {
            for (int v = 1; v <= context.header.variable_count && number == 0; ++v)
                if (variable_name(context.header, v) == item) number = v;
            if (number == 0) {
                error = "no variable named '" + item + "' in " + path;
                return false;
            }
        }
        if (number < 1 || number > context.header.variable_count) {
            error = "variable number " + item + " is not between 1 and " + std::to_string(context.header.variable_count);
            return false;
        }
        variables.push_back(static_cast<int>(number));
    }
    return true;
}

std::string run_usage() {
    std::string text =
        "usage: rkstat run ANALYSIS DATA.rkd --run NAME [--vars A,B,...] [--select ENTRIES] [options]\n"
        "  writes DATA_NAME.out, DATA_NAME.log and DATA_NAME.xml beside the data file (or in\n"
        "  --out-dir DIR) and echoes the report and the log (not with --quiet).\n"
        "  --vars     variables by name or 1-based number, in the order the analysis uses them\n"
        "  --html     also write DATA_NAME.html, the results as a page with tables and charts\n"
        "  --select   the case selection as the analysis reads it: 0-based case numbers for the\n"
        "             basic analyses, one 0/1 flag per case for the others\n"
        "  exit status: 0 done, 1 the run failed or found no case, 2 wrong arguments\n"
        "analyses:\n";
    for (const AnalysisRow& row : analysis_rows())
        if (row.entry && find_analysis(row.command) == &row)  // a command of two rows once
            append_printf(text, "  %-14s %s\n", row.command, row.usage);
    return text;
}

int run_command(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(run_usage().c_str(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    RunRequest request;
    std::string error;
    const AnalysisRow* row = find_analysis(args[0]);
    if (!row) error = "unknown analysis '" + args[0] + "' (rkstat run --help lists them)";
    if (row && args.size() > 1 && (args[1] == "--help" || args[1] == "-h")) {
        std::printf("usage: rkstat run %s DATA.rkd --run NAME [--select ENTRIES] [--out-dir DIR] [--quiet] [--html]\n  %s\n",
                    row->command, row->usage);
        return 0;
    }
    // A data file that cannot be read is a failed run, not a usage error.
    RunContext data;
    if (row && args.size() > 1 && !open_data_file(args[1], data, error)) {
        std::fprintf(stderr, "rkstat: %s\n", error.c_str());
        return 1;
    }
    close_data_file(data);
    if (row && !parse_request(*row, args, request, error)) row = nullptr;
    if (!row) {
        std::fprintf(stderr, "rkstat: %s\n", error.c_str());
        return 2;
    }
    OutputState& state = output_state();
    state.frame_console_lines = false;
    state.echo_suppressed = request.quiet;
    state.result_directory = request.out_dir;
    const int status = run_analysis(row->id, request.data_path, request.run_name, request.arguments);
    const ResultFileNames names = result_file_names(request.data_path, request.run_name);
    state.frame_console_lines = true;
    state.echo_suppressed = false;
    state.result_directory.clear();
    std::fflush(stdout);
    if (!request.quiet) std::fputc('\n', stdout);
    std::fflush(stdout);
    const int outcome = report_outcome(request, names, status);
    if (request.html) {  // a failed run's document still shows what it holds
        const std::string html = names.xml.substr(0, names.xml.size() - 4) + ".html";
        if (!write_html_report(names.xml, html, error)) std::fprintf(stderr, "rkstat: %s\n", error.c_str());
        else if (!request.quiet) std::fprintf(stderr, "rkstat: %s\n", html.c_str());
    }
    return outcome;
}

}  // namespace quorix
