// The data-file commands of rkstat: import from CSV, export to CSV, describe.
#pragma once

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
};

// Parses "NAME=VALUE" option values; false with a message when malformed.
bool parse_missing_codes(const std::string& text, ImportOptions& options, std::string& error);
bool parse_range(const std::string& text, std::map<std::string, std::pair<double, double>>& ranges,
                 std::string& error);
bool parse_labels(const std::string& text, ImportOptions& options, std::string& error);

bool import_csv(const std::string& csv_path, const std::string& rkd_path, const ImportOptions& options,
                std::string& error);
bool export_csv(const std::string& rkd_path, const std::string& csv_path, std::string& error);
// Header fields, dictionary and value labels as text.
bool describe_data_file(const std::string& rkd_path, std::string& text, std::string& error);

// Opens a data file and reads its header and dictionary without creating result files.
bool open_data_file(const std::string& path, RunContext& context, std::string& error);
void close_data_file(RunContext& context);

}  // namespace quorix
