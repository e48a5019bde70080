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

enum class FrameId {
    descriptive,
    frequency,
    one_sample,
    paired_sample,
    independent_sample,
    matched_sample,
    crosstab_two,
    crosstab_three,
    anova_one,
    anova_two,
    anova_glm,
    factor_analysis,
    correlation,
    regression_standard,
    regression_hierarchical,
    regression_step,
    nonparametric,
    missing_diagnosis,
    missing_mean,
    missing_regression,
    missing_em,
};

struct FrameRow {
    FrameId id;
    const char* native_method;
    const char* done_line;
    bool takes_selection;
    bool reports_status;  // prints the console line for the driver's result
};

const FrameRow& frame_row(FrameId id);

// The console line for a driver's result, the same words for every analysis.
void print_status_line(int status);

// Frame steps 2-6, for a run whose open_run has succeeded. The driver is
// called as driver(context) and returns its status.
template <typename Driver>
int finish_frame(RunContext& context, FrameId id, const std::vector<int32_t>& selection, Driver&& driver) {
    const FrameRow& row = frame_row(id);
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
    if (close_run(context, row.done_line) != 0) status = -1;
    return status;
}

// The whole frame of one analysis. Returns -1 when open_run failed, else the
// driver's status.
template <typename Driver>
int run_frame(const char* data_path, const char* run_name, FrameId id, const std::vector<int32_t>& selection,
              Driver&& driver) {
    RunContext context;
    if (open_run(data_path, run_name, context) != 0) return -1;
    return finish_frame(context, id, selection, driver);
}

}  // namespace quorix
