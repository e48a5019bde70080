// The process-wide output state of a run: the report channel (1, the .out
// file), the log channel (0, the .log file) and the XML result document, with
// the echo of both channels to the console.
#pragma once

#include <cstdarg>
#include <cstdio>
#include <string>

#if defined(__GNUC__)
#define QUORIX_PRINTF(format_index, first_arg) __attribute__((format(printf, format_index, first_arg)))
#else
#define QUORIX_PRINTF(format_index, first_arg)
#endif

namespace quorix {

constexpr int kLogChannel = 0;
constexpr int kReportChannel = 1;

struct OutputState {
    std::FILE* report = nullptr;
    std::FILE* log = nullptr;
    std::FILE* xml = nullptr;
    int files_open = 0;
    int echo = 0;
    // The frame's own console lines (the driver's status line and the done
    // line) are for the application's console; rkstat prints its own.
    bool frame_console_lines = true;
    // Why the last run could not start (a path and the system's reason), for
    // callers that say it in their own words; empty when it started.
    std::string run_failure;
    // rkstat's --quiet and --out-dir: no echo of the channels, and the result
    // files formed in another directory (the file name as usual).
    bool echo_suppressed = false;
    std::string result_directory;
    // The result files' paths, and the first write error of each (errno; 0 = none).
    std::string report_path, log_path, xml_path;
    int report_error = 0, log_error = 0, xml_error = 0;
};

OutputState& output_state();

// Records the paths of the result files just opened, for the messages of
// close_result_files, and clears their write errors.
void note_result_paths(const std::string& report, const std::string& log, const std::string& xml);

// Flushes and closes the three result files and clears the files-open flag.
// A file that could not be written completely (a write, the final flush or
// the close failed) is removed, so that no cut report or document is left
// looking complete; for each such file the console gets "\ncan't write
// <path>: <reason>", and the log, when it is still writable, says so too and
// that the run failed. Returns 0 when every file was written, else -1.
int close_result_files();

// printf to a channel's file while the files are open, echoed to the console
// while the echo flag is set. Returns the number of characters formatted.
int channel_printf(int channel, const char* format, ...) QUORIX_PRINTF(2, 3);
// Writes text as it is (no formatting) to a channel, with the same echo.
void channel_write(int channel, const std::string& text);
// Console-only lines (standard output).
int console_printf(const char* format, ...) QUORIX_PRINTF(1, 2);
// The XML result document; never echoed.
int xml_printf(const char* format, ...) QUORIX_PRINTF(1, 2);
// Writes text as it is to the XML result document.
void xml_write(const std::string& text);
// The XML declaration, the style sheet line and <RESULTS>, which open every
// result document; the document is never closed.
void write_document_prolog();

// printf into a growing string; returns the number of characters appended.
int append_printf(std::string& text, const char* format, ...) QUORIX_PRINTF(2, 3);
int append_vprintf(std::string& text, const char* format, va_list args);

// The text printf gives for "%<width>.<precision>f" with value, appended
// without printf where the digits come exactly from integer arithmetic
// (finite values below 2^43 in magnitude, precision 0 to 3) and through it
// otherwise. Returns the number of characters appended.
int append_fixed(std::string& text, double value, int width, int precision);
// The text printf gives for "%<width>d" with value; returns its length.
int append_int(std::string& text, long long value, int width);

}  // namespace quorix
