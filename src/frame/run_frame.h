// The frame every analysis runs in: open_run creates the result files and
// reads the data file's header and dictionary, the driver runs, close_run
// releases everything and the done line is written.
#pragma once

#include <cstdint>
#include <new>
#include <stdexcept>
#include <vector>

#include "frame/channels.h"
#include "frame/run_context.h"

namespace quorix {

// Returns 0 when the run can start, -1 otherwise; on failure everything it
// opened is already released.
int open_run(const char* data_path, const char* run_name, RunContext& context);

// A run refused for its arguments before it could start: the result files in
// the minimal form of a failed run (the XML prolog), the reason on the log.
void refuse_run(const char* data_path, const char* run_name, const std::string& reason);

// Frees the header and dictionary, closes the data file and the three result
// files (report, log, XML), clears the files-open flag, then writes the done
// line, which with the files closed reaches the console only. Returns -1 when
// a result file could not be written completely (close_result_files), else 0.
int close_run(RunContext& context, const char* done_line);

// Result file names for a data file path and a run name: the path without its
// last four characters, "_", the run name and the extension. Paths shorter
// than four characters have no result names (empty strings).
struct ResultFileNames {
    std::string report;
    std::string log;
    std::string xml;
};
ResultFileNames result_file_names(const std::string& data_path, const std::string& run_name);

// What distinguishes one analysis's frame from another's besides its driver.
struct FrameRow {
    const char* done_line;
    bool takes_selection;  // the missing-data analyses run on every case
    bool reports_status;   // prints the console line for the driver's result
};

// The console line for a driver's result, the same words for every analysis.
void print_status_line(int status);

// The whole frame of one analysis: open_run, the case selection stored, the
// driver called as driver(context), the status line, close_run with the done
// line. Returns -1 when open_run failed or a result file could not be
// written completely, else the driver's status, or
// kFoundNothing when the driver ran but found no case to analyse (the status
// line still shows the driver's own status).
constexpr int kFoundNothing = 1;

template <typename Driver>
int run_frame(const char* data_path, const char* run_name, const FrameRow& row, const std::vector<int32_t>& selection,
              Driver&& driver) {
    RunContext context;
    if (open_run(data_path, run_name, context) != 0) return -1;
    if (row.takes_selection) context.selection = selection;
    int status;
    try {
        status = driver(context);
    } catch (const std::bad_alloc&) {
        status = -1;
    } catch (const std::length_error&) {
        status = -1;
    }
    if (row.reports_status) print_status_line(status);
    // Result files that could not be written completely fail the run.
    if (close_run(context, row.done_line) != 0) return -1;
    return status == 0 && context.found_nothing ? kFoundNothing : status;
}

}  // namespace quorix
