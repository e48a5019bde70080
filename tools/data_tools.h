// The data-file commands of rkstat: import from CSV, export to CSV, describe.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <utility>
#include <vector>

#include "datafile/rkd_format.h"
#include "frame/run_context.h"

namespace quorix {

struct ImportOptions {
    bool short_names = false;  // 8-byte names and short label records
    std::map<std::string, std::vector<double>> missing_codes;            // 1 to 3 codes: kinds 1-3
    std::map<std::string, std::pair<double, double>> missing_ranges;     // kind 4, or 5 with one code
    std::map<std::string, std::pair<double, double>> valid_ranges;       // minimum and maximum of valid values
    std::map<std::string, std::vector<ValueLabel>> labels;
    std::vector<std::string> missing_texts{"NA"};  // cells read as missing besides empty ones
    char delimiter = 0;                            // 0: comma, semicolon or tab, from the header line
};

// Parses "NAME=VALUE" option values; false with a message when malformed.
bool parse_missing_codes(const std::string& text, ImportOptions& options, std::string& error);
bool parse_range(const std::string& text, std::map<std::string, std::pair<double, double>>& ranges,
                 std::string& error);
bool parse_labels(const std::string& text, ImportOptions& options, std::string& error);
// "TEXT,TEXT,...": the texts read as missing ("" for none).
void parse_missing_texts(const std::string& text, ImportOptions& options);
// "comma", "semicolon", "tab" or the character itself.
bool parse_delimiter(const std::string& text, ImportOptions& options, std::string& error);
// Declarations the data file cannot hold together: a valid range shares its
// two fields with the second and third missing codes and the missing range.
bool check_import_options(const ImportOptions& options, std::string& error);

// False, with a message, when writing output would replace input: the same
// path, the same file under another name, or the output's temporary file.
bool check_distinct_output(const std::string& input, const std::string& output, std::string& error);

// One column as the import read it.
struct ImportedColumn {
    std::string name;
    bool text = false;
    int32_t width = 8;
    int64_t missing_cells = 0;  // empty, a missing text, or 1e35 (numeric columns)
    long first_text_line = 0;   // where the first cell that is neither a number nor missing lies
    std::string first_text;
    int64_t number_cells = 0;   // cells that are numbers (a text column with many holds a stray text)
    int64_t system_missing_cells = 0;  // cells equal to 1e35
    long first_system_missing_line = 0;
};

struct ImportSummary {
    std::string csv_path, rkd_path;
    char delimiter = ',';
    bool byte_order_mark = false;
    int64_t cases = 0;
    std::vector<ImportedColumn> columns;
    // Cells equal to 1e35, which a data file holds only as the system-missing value.
    int64_t system_missing_cells = 0;
    long first_system_missing_line = 0;
    std::string first_system_missing_column;
    bool arguments_refused = false;  // the failure lies in the arguments, not in the file
};

bool import_csv(const std::string& csv_path, const std::string& rkd_path, const ImportOptions& options,
                std::string& error, ImportSummary* summary = nullptr);
// What an import did: the variables with their types and missing cells, the
// cases, and where each text column's first text lies.
std::string import_summary_text(const ImportSummary& summary);
// The 1e35 cells' notice, or "" when there were none.
std::string system_missing_notice(const ImportSummary& summary);

bool export_csv(const std::string& rkd_path, const std::string& csv_path, std::string& error);
// Header fields, dictionary and value labels as text.
bool describe_data_file(const std::string& rkd_path, std::string& text, std::string& error);

// Opens a data file and reads its header and dictionary without creating result files.
bool open_data_file(const std::string& path, RunContext& context, std::string& error);
void close_data_file(RunContext& context);

}  // namespace quorix
