#include "frame/run_frame.h"

#include <cerrno>
#include <cstring>
#include <filesystem>
#include <system_error>

#include "datafile/rkd_reader.h"
#include "frame/messages.h"

namespace quorix {

namespace {

constexpr size_t kExtensionLength = 4;  // ".rkd"

void release_data(RunContext& context) {
    context.header = FileHeader();
    context.dictionary.clear();
    context.dictionary.shrink_to_fit();
    if (context.data_file) std::fclose(context.data_file);
    context.data_file = nullptr;
}

int fail_open(RunContext& context) {
    release_data(context);
    close_result_files();
    return -1;
}

void list_variable_names(const RunContext& context) {
    const int32_t count = context.header.variable_count;
    for (int32_t v = 1; v <= count; ++v) {
        channel_printf(kLogChannel, "%9s", variable_name(context.header, v).c_str());
        if (v % 6 == 0) channel_printf(kLogChannel, "\n");
    }
    channel_printf(kLogChannel, "\n");
}

}  // namespace

ResultFileNames result_file_names(const std::string& data_path, const std::string& run_name) {
    ResultFileNames names;
    // A path too short to carry an extension has no result files: the run is
    // refused as one whose result files cannot be created.
    if (data_path.size() < kExtensionLength) return names;
    std::string base = data_path.substr(0, data_path.size() - kExtensionLength) + "_" + run_name;
    const std::string& directory = output_state().result_directory;
    if (!directory.empty()) {
        const size_t slash = base.find_last_of("/\\");
        base = directory + "/" + (slash == std::string::npos ? base : base.substr(slash + 1));
    }
    names.report = base + ".out";
    names.log = base + ".log";
    names.xml = base + ".xml";
    return names;
}

void print_status_line(int status) {
    if (!output_state().frame_console_lines) return;
    if (status == -1)
        console_printf("\nMemory allocation error when doing Descriptive Operation");
    else if (status == 0)
        console_printf("\nDescriptive Operation Done");
    else
        console_printf("\nThe Return Value ( %d ) from Descriptive Operation is undeclared error number", status);
}

namespace {

// Opening a FIFO or a device could block the caller's thread for good, and a
// directory opens as a stream that reads nothing: a data file must be a
// regular file.
bool is_regular_or_absent(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return !std::filesystem::exists(status) || std::filesystem::is_regular_file(status);
}

// A result file may be a device (a user's /dev/null); a FIFO would block its
// open until something reads it.
bool can_take_results(const std::string& path) {
    std::error_code error;
    const std::filesystem::file_status status = std::filesystem::status(path, error);
    return !std::filesystem::is_fifo(status) && !std::filesystem::is_directory(status) &&
           !std::filesystem::is_socket(status);
}

bool same_file(const std::string& first, const std::string& second) {
    std::error_code error;
    return std::filesystem::equivalent(first, second, error) && !error;
}

std::string system_reason(int error_number) { return error_number ? std::strerror(error_number) : "unknown reason"; }

// The three result files, opened for writing; false with the reason in the
// output state when any of them cannot be. A result name that is the data
// file itself is refused: a run never writes over what it reads.
bool open_result_files(const char* data_path, const char* run_name) {
    OutputState& state = output_state();
    if (!data_path || !run_name) {
        state.run_failure = "no data file path or run name";
        return false;
    }
    const ResultFileNames names = result_file_names(data_path, run_name);
    if (names.report.empty()) {
        state.run_failure = std::string("the data file path '") + data_path + "' is too short to name result files";
        return false;
    }
    note_result_paths(names.report, names.log, names.xml);
    std::FILE** streams[3] = {&state.report, &state.log, &state.xml};
    const std::string* paths[3] = {&names.report, &names.log, &names.xml};
    for (int k = 0; k < 3; ++k) {
        const std::string& path = *paths[k];
        if (!can_take_results(path)) {
            state.run_failure = "cannot create " + path + ": not a regular file";
            return false;
        }
        if (same_file(path, data_path)) {
            state.run_failure = "cannot create " + path + ": it is the data file";
            return false;
        }
        errno = 0;
        *streams[k] = std::fopen(path.c_str(), "w");
        if (!*streams[k]) {
            state.run_failure = "cannot create " + path + ": " + system_reason(errno);
            return false;
        }
    }
    return true;
}

Message header_failure_message(HeaderFailure failure) {
    switch (failure) {
    case HeaderFailure::premature_end: return Message::header_premature_end;
    case HeaderFailure::negative_variable_count: return Message::negative_variable_count;
    case HeaderFailure::names_premature_end: return Message::names_premature_end;
    case HeaderFailure::names_read_error: return Message::names_read_error;
    case HeaderFailure::none:
    case HeaderFailure::read_error: break;
    }
    return Message::header_read_error;
}

}  // namespace

int open_run(const char* data_path, const char* run_name, RunContext& context) {
    OutputState& state = output_state();
    state.echo = 1;
    state.files_open = 1;
    state.run_failure.clear();
    context = RunContext();
    if (!open_result_files(data_path, run_name)) {
        report(Message::cannot_create_result_files);
        return fail_open(context);
    }
    context.path = data_path;
    write_document_prolog();

    if (!is_regular_or_absent(data_path)) {
        report(Message::open_failed);
        state.run_failure = std::string("cannot open ") + data_path + ": not a regular file";
        channel_printf(kLogChannel, " %s\n", state.run_failure.c_str());
        return fail_open(context);
    }
    errno = 0;
    context.data_file = std::fopen(data_path, "rb");
    if (!context.data_file) {
        state.run_failure = std::string("cannot open ") + data_path + ": " + system_reason(errno);
        report(Message::open_failed);
        return fail_open(context);
    }
    channel_printf(kLogChannel, " Open success, %s\n", data_path);

    switch (load_data_file(context)) {
    case LoadStatus::ok:
        break;
    case LoadStatus::header_failed:
        report(header_failure_message(context.header_failure));
        report(Message::header_unreadable);
        return fail_open(context);
    case LoadStatus::bad_magic:
        report(Message::bad_magic);
        return fail_open(context);
    case LoadStatus::dictionary_failed:
        report(Message::dictionary_unreadable);
        return fail_open(context);
    }
    list_variable_names(context);
    return 0;
}

void refuse_run(const char* data_path, const char* run_name, const std::string& reason) {
    OutputState& state = output_state();
    state.echo = 1;
    state.files_open = 1;
    state.run_failure = reason;
    if (open_result_files(data_path, run_name)) {
        write_document_prolog();
        // The console has had the reason already.
        std::fprintf(state.log, " Invalid argument: %s.\n", reason.c_str());
    }
    close_result_files();
}

int close_run(RunContext& context, const char* done_line) {
    release_data(context);
    const int written = close_result_files();
    if (output_state().frame_console_lines) channel_printf(kLogChannel, "%s\n", done_line);
    return written;
}

}  // namespace quorix
