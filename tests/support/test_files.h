// Helpers shared by the tests: scratch directories, small data files, file
// contents, captured output and golden-file comparison.
#pragma once

#include <cstdint>
#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "datafile/rkd_format.h"
#include "frame/run_context.h"
#include "report/result_document.h"

namespace quorix::testing {

// A fresh directory, removed with everything in it when the object goes.
struct ScratchDir {
    ScratchDir();
    ~ScratchDir();
    ScratchDir(const ScratchDir&) = delete;
    ScratchDir& operator=(const ScratchDir&) = delete;
    std::string file(const std::string& name) const { return path + "/" + name; }
    std::string path;
};

// The descriptor rkstat import writes when nothing is declared: only 1e35 is
// missing and the valid range is open.
inline VariableDescriptor open_descriptor() {
    VariableDescriptor descriptor;
    descriptor.missing_value3 = -kSystemMissing;
    return descriptor;
}

struct TestVariable {
    std::string name;
    std::vector<double> values;
    VariableDescriptor descriptor = open_descriptor();
};

// Writes a data file of numeric variables with the given signature and label sets.
void write_numeric_file(const std::string& path, const std::vector<TestVariable>& variables,
                        const std::string& signature = kLongSignature,
                        const std::vector<ValueLabelSet>& label_sets = {});

std::string read_text(const std::string& path);
std::vector<unsigned char> read_bytes(const std::string& path);
void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes);
bool file_exists(const std::string& path);

// Replaces every occurrence of `from` with `to`.
std::string replace_all(std::string text, const std::string& from, const std::string& to);
// Masks the date and time of report banners.
std::string mask_banner_time(const std::string& text);

// Compares text with tests/golden/NAME line by line (the first differing line
// is reported). With QUORIX_UPDATE_GOLDEN=1 in the environment the golden file
// is written instead.
void expect_golden(const std::string& name, const std::string& actual);

// Runs an analysis and records, in one text, its console output and each result
// file of the run (or "<no file>"), with the scratch path and the banner time masked.
std::string record_run(const ScratchDir& dir, const std::string& data_path, const std::string& run_name,
                       const std::function<void()>& run);

// The text of the section "== name" of a record_run record, up to the next
// section; "" when the record has no such section.
std::string section(const std::string& record, const std::string& name);

// Imports csv of the sample data into dir as rkd (rkstat import), with value
// labels "NAME=VALUE:LABEL,..."; returns the data file's path.
std::string import_sample(const ScratchDir& dir, const std::string& csv, const std::string& rkd,
                          const std::vector<std::string>& labels);

// The rows of numbers of a CSV table under tests/ (NAME relative to it). Lines
// starting with '#' (where the table says how its values were obtained) and
// the header line are skipped; "nan" and "inf" are read as such.
std::vector<std::vector<double>> read_number_table(const std::string& name);

// Each element near its expected value: within tolerance * max(1, |expected|).
void expect_near_each(const std::vector<double>& actual, const std::vector<double>& expected, double tolerance,
                      const std::string& what);

// Numeric column `variable` (1-based) of a data file; empty when it cannot be read.
std::vector<double> read_column(const std::string& path, int variable);

// The same for tables whose first column names a function: each row's name and numbers.
std::vector<std::pair<std::string, std::vector<double>>> read_named_table(const std::string& name);

// The statistics row of values (describe_sample, which reorders its copy).
StatsRow describe(std::vector<double> values);

// A run context whose header holds these variable names, long ones (set_name_width).
RunContext context_with_names(const std::vector<std::string>& names);

// A data file opened for reading as the context's data file, closed with the object.
struct OpenDataFile {
    explicit OpenDataFile(const std::string& path) { context.data_file = std::fopen(path.c_str(), "rb"); }
    ~OpenDataFile() {
        if (context.data_file) std::fclose(context.data_file);
    }
    OpenDataFile(const OpenDataFile&) = delete;
    OpenDataFile& operator=(const OpenDataFile&) = delete;
    RunContext context;
};

// Routes the XML result document into a temporary file for the writers' tests.
struct XmlCapture {
    XmlCapture();
    ~XmlCapture();
    std::string text();
    std::FILE* file;
};

}  // namespace quorix::testing
