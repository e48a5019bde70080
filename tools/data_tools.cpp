#include "data_tools.h"

#include <algorithm>
#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <memory>
#include <set>

#include "csv.h"
#include "datafile/rkd_reader.h"
#include "datafile/rkd_writer.h"
#include "frame/case_access.h"
#include "frame/channels.h"

namespace quorix {

namespace {

using FilePtr = std::unique_ptr<std::FILE, int (*)(std::FILE*)>;

FilePtr open_file(const std::string& path, const char* mode) {
    return FilePtr(std::fopen(path.c_str(), mode), &std::fclose);
}

// Opens a file to read. A directory opens on some systems but reads nothing,
// and a FIFO or a device could block the open for good: only regular files
// are opened.
FilePtr open_input(const std::string& path, std::string& error) {
    std::error_code ignored;
    if (std::filesystem::is_directory(path, ignored)) {
        error = "cannot open " + path + ": is a directory";
        return FilePtr(nullptr, &std::fclose);
    }
    if (std::filesystem::exists(path, ignored) && !std::filesystem::is_regular_file(path, ignored)) {
        error = "cannot open " + path + ": not a regular file";
        return FilePtr(nullptr, &std::fclose);
    }
    errno = 0;
    FilePtr file = open_file(path, "rb");
    if (!file) error = "cannot open " + path + ": " + (errno ? std::strerror(errno) : "unknown reason");
    return file;
}

bool split_assignment(const std::string& text, std::string& name, std::string& value, std::string& error) {
    const size_t equals = text.find('=');
    if (equals == std::string::npos || equals == 0) {
        error = "expected NAME=VALUE, got '" + text + "'";
        return false;
    }
    name = text.substr(0, equals);
    value = text.substr(equals + 1);
    return true;
}

std::vector<std::string> split(const std::string& text, char separator) {
    std::vector<std::string> parts;
    size_t start = 0;
    for (;;) {
        const size_t end = text.find(separator, start);
        parts.push_back(text.substr(start, end - start));
        if (end == std::string::npos) return parts;
        start = end + 1;
    }
}

// The header line as it stands in the file, up to its line break outside quotes.
std::string raw_header_line(std::FILE* file) {
    std::string line;
    bool quoted = false;
    for (int c; line.size() < (1u << 20) && (c = std::fgetc(file)) != EOF;) {
        if (c == '"') quoted = !quoted;
        if (c == '\n' && !quoted) break;
        line += static_cast<char>(c);
    }
    return line;
}

bool is_missing_text(const std::string& cell, const ImportOptions& options) {
    return cell.empty() || std::find(options.missing_texts.begin(), options.missing_texts.end(), cell) !=
                               options.missing_texts.end();
}

std::string delimiter_name(char delimiter) {
    switch (delimiter) {
    case ',': return "comma";
    case ';': return "semicolon";
    case '\t': return "tab";
    default: return std::string("'") + delimiter + "'";
    }
}

// A cell's text for a message: quoted, cut short when long.
std::string cell_text(const std::string& cell) {
    return "\"" + (cell.size() > 40 ? cell.substr(0, 37) + "..." : cell) + "\"";
}

bool read_names(CsvReader& reader, const ImportOptions& options, std::vector<std::string>& names, std::string& error) {
    if (!read_csv_record(reader, names, error)) {
        if (error.empty()) error = "the file is empty: no header row";
        return false;
    }
    const size_t limit = options.short_names ? kShortNameWidth - 1 : kLongNameWidth - 1;
    std::set<std::string> seen;
    for (const std::string& name : names) {
        if (name.empty()) {
            error = "line 1: a variable name is empty";
            return false;
        }
        if (name.size() > limit) {
            error = "line 1: variable name '" + name + "' is longer than " + std::to_string(limit) + " bytes";
            return false;
        }
        if (!seen.insert(name).second) {
            error = "line 1: variable name '" + name + "' appears twice";
            return false;
        }
    }
    return true;
}

bool check_option_names(const ImportOptions& options, const std::vector<std::string>& names, std::string& error) {
    const std::set<std::string> known(names.begin(), names.end());
    std::vector<std::string> used;
    for (const auto& entry : options.missing_codes) used.push_back(entry.first);
    for (const auto& entry : options.missing_ranges) used.push_back(entry.first);
    for (const auto& entry : options.valid_ranges) used.push_back(entry.first);
    for (const auto& entry : options.labels) used.push_back(entry.first);
    for (const std::string& name : used)
        if (!known.count(name)) {
            error = "no variable named '" + name + "' in the file";
            return false;
        }
    const size_t label_limit = options.short_names ? kShortLabelTextWidth - 1 : kLongLabelTextWidth - 1;
    for (const auto& entry : options.labels)
        for (const ValueLabel& label : entry.second)
            if (label.label.size() > label_limit) {
                error = "label '" + label.label + "' of " + entry.first + " is longer than " +
                        std::to_string(label_limit) + " bytes";
                return false;
            }
    return true;
}

// Missing values and kind of one variable from the declarations.
bool missing_descriptor(const std::string& name, const ImportOptions& options, VariableDescriptor& d,
                        std::string& error) {
    d.missing_value1 = kSystemMissing;
    d.missing_value2 = kSystemMissing;
    d.missing_value3 = -kSystemMissing;
    d.missing_kind = 0;
    const auto codes = options.missing_codes.find(name);
    const auto range = options.missing_ranges.find(name);
    const auto valid = options.valid_ranges.find(name);
    const size_t code_count = codes == options.missing_codes.end() ? 0 : codes->second.size();
    const bool has_range = range != options.missing_ranges.end();
    if (has_range && code_count > 1) {
        error = name + ": a missing range combines with at most one missing code";
        return false;
    }
    if (valid != options.valid_ranges.end() && (has_range || code_count > 1)) {
        error = name + ": --range cannot be combined with a second or third missing code or a missing range: "
                       "the data file holds either the valid range or those in the same two fields";
        return false;
    }
    if (code_count >= 1) d.missing_value1 = codes->second[0];
    if (code_count >= 2) d.missing_value2 = codes->second[1];
    if (code_count >= 3) d.missing_value3 = codes->second[2];
    d.missing_kind = static_cast<double>(code_count);
    if (has_range) {
        d.missing_value3 = range->second.first;
        d.missing_value2 = range->second.second;
        d.missing_kind = code_count == 1 ? 5 : 4;
    }
    if (valid != options.valid_ranges.end()) {
        d.missing_value3 = valid->second.first;
        d.missing_value2 = valid->second.second;
    }
    return true;
}

std::string line_text(long line) { return "line " + std::to_string(line) + ": "; }

}  // namespace

bool parse_missing_codes(const std::string& text, ImportOptions& options, std::string& error) {
    std::string name, value;
    if (!split_assignment(text, name, value, error)) return false;
    std::vector<double> codes;
    for (const std::string& part : split(value, ',')) {
        double code;
        if (!parse_decimal(part, code)) {
            error = "missing code '" + part + "' of " + name + " is not a number";
            return false;
        }
        codes.push_back(code);
    }
    if (codes.size() > 3) {
        error = name + ": at most three missing codes";
        return false;
    }
    options.missing_codes[name] = codes;
    return true;
}

bool parse_range(const std::string& text, std::map<std::string, std::pair<double, double>>& ranges,
                 std::string& error) {
    std::string name, value;
    if (!split_assignment(text, name, value, error)) return false;
    const std::vector<std::string> bounds = split(value, ':');
    double low, high;
    if (bounds.size() != 2 || !parse_decimal(bounds[0], low) || !parse_decimal(bounds[1], high) || low > high) {
        error = "range of " + name + " must be LOW:HIGH with LOW <= HIGH, got '" + value + "'";
        return false;
    }
    ranges[name] = {low, high};
    return true;
}

void parse_missing_texts(const std::string& text, ImportOptions& options) {
    options.missing_texts = split(text, ',');
}

bool parse_delimiter(const std::string& text, ImportOptions& options, std::string& error) {
    if (text == "comma" || text == ",")
        options.delimiter = ',';
    else if (text == "semicolon" || text == ";")
        options.delimiter = ';';
    else if (text == "tab" || text == "\t" || text == "\\t")
        options.delimiter = '\t';
    else {
        error = "delimiter must be comma, semicolon or tab, got '" + text + "'";
        return false;
    }
    return true;
}

bool check_import_options(const ImportOptions& options, std::string& error) {
    std::set<std::string> names;
    for (const auto& entry : options.missing_codes) names.insert(entry.first);
    for (const auto& entry : options.missing_ranges) names.insert(entry.first);
    for (const auto& entry : options.valid_ranges) names.insert(entry.first);
    VariableDescriptor descriptor;
    for (const std::string& name : names)
        if (!missing_descriptor(name, options, descriptor, error)) return false;
    return true;
}

bool check_distinct_output(const std::string& input, const std::string& output, std::string& error) {
    const std::string temporary = output + ".partial";
    for (const std::string* target : {&output, &temporary}) {
        std::error_code failed;
        const bool same = *target == input || (std::filesystem::equivalent(input, *target, failed) && !failed);
        if (!same) continue;
        error = target == &output ? output + " is the input file " + input + "; give another output path"
                                  : temporary + ", which is written before " + output +
                                        " is renamed into place, is the input file; give another output path";
        return false;
    }
    return true;
}

bool parse_labels(const std::string& text, ImportOptions& options, std::string& error) {
    std::string name, value;
    if (!split_assignment(text, name, value, error)) return false;
    std::vector<ValueLabel> labels;
    for (const std::string& part : split(value, ',')) {
        const size_t colon = part.find(':');
        if (colon == std::string::npos || colon == 0) {
            error = "label of " + name + " must be VALUE:TEXT, got '" + part + "'";
            return false;
        }
        ValueLabel label{part.substr(colon + 1), part.substr(0, colon)};
        if (label.value_text.size() > static_cast<size_t>(kValueTextWidth)) {
            error = "labelled value '" + label.value_text + "' of " + name + " is longer than 3 characters";
            return false;
        }
        labels.push_back(label);
    }
    if (labels.size() > static_cast<size_t>(kLabelEntryCount)) {
        error = name + ": at most 15 value labels";
        return false;
    }
    options.labels[name] = labels;
    return true;
}

bool import_csv(const std::string& csv_path, const std::string& rkd_path, const ImportOptions& options,
                std::string& error, ImportSummary* summary) {
    ImportSummary local_summary;
    ImportSummary& done = summary ? *summary : local_summary;
    done = ImportSummary();
    done.csv_path = csv_path;
    done.rkd_path = rkd_path;
    if (!check_distinct_output(csv_path, rkd_path, error)) {
        done.arguments_refused = true;
        return false;
    }
    FilePtr file = open_input(csv_path, error);
    if (!file) return false;
    done.byte_order_mark = skip_byte_order_mark(file.get());
    const long data_start = std::ftell(file.get());
    done.delimiter = options.delimiter ? options.delimiter : detect_delimiter(raw_header_line(file.get()));
    std::fseek(file.get(), data_start, SEEK_SET);

    CsvReader reader{file.get()};
    reader.delimiter = done.delimiter;
    std::vector<std::string> names;
    if (!read_names(reader, options, names, error)) return false;
    if (!check_option_names(options, names, error)) {
        done.arguments_refused = true;
        return false;
    }

    // First pass: the type and width of every column, its missing cells, and
    // the number of cases.
    std::vector<ImportedColumn>& columns = done.columns;
    columns.resize(names.size());
    std::vector<size_t> longest(names.size(), 0);
    std::vector<std::string> fields;
    int64_t& cases = done.cases;
    while (read_csv_record(reader, fields, error)) {
        if (fields.size() == 1 && fields[0].empty() && names.size() > 1) continue;  // blank line
        if (fields.size() != names.size()) {
            error = line_text(reader.line) + std::to_string(fields.size()) + " fields where the header has " +
                    std::to_string(names.size());
            return false;
        }
        for (size_t v = 0; v < fields.size(); ++v) {
            ImportedColumn& column = columns[v];
            longest[v] = std::max(longest[v], fields[v].size());
            double value;
            if (is_missing_text(fields[v], options)) {
                ++column.missing_cells;
            } else if (!parse_decimal(fields[v], value)) {
                if (!column.text) {
                    column.text = true;
                    column.first_text_line = reader.line;
                    column.first_text = fields[v];
                }
            } else {
                ++column.number_cells;
                if (value == kSystemMissing) {
                    ++column.missing_cells;
                    if (column.system_missing_cells++ == 0) column.first_system_missing_line = reader.line;
                }
            }
        }
        if (++cases > INT32_MAX) {
            error = "more cases than a data file can hold";
            return false;
        }
    }
    if (!error.empty()) return false;
    if (std::ferror(file.get())) {
        error = std::string("cannot be read: ") + std::strerror(errno);
        return false;
    }

    std::vector<VariableDescriptor> descriptors(names.size());
    for (size_t v = 0; v < names.size(); ++v) {
        columns[v].name = names[v];
        if (!missing_descriptor(names[v], options, descriptors[v], error)) {
            done.arguments_refused = true;
            return false;
        }
        if (!columns[v].text && columns[v].system_missing_cells > 0) {
            done.system_missing_cells += columns[v].system_missing_cells;
            if (done.first_system_missing_line == 0 ||
                columns[v].first_system_missing_line < done.first_system_missing_line) {
                done.first_system_missing_line = columns[v].first_system_missing_line;
                done.first_system_missing_column = names[v];
            }
        }
        if (columns[v].text) {
            columns[v].missing_cells = 0;
            columns[v].width = static_cast<int32_t>(std::max<size_t>(longest[v], 1));
            descriptors[v].width = columns[v].width;
        }
    }

    // Second pass: the values.
    std::vector<std::vector<double>> numbers(names.size());
    std::vector<std::vector<std::string>> texts(names.size());
    std::fseek(file.get(), data_start, SEEK_SET);
    reader = CsvReader{file.get()};
    reader.delimiter = done.delimiter;
    read_csv_record(reader, fields, error);
    while (read_csv_record(reader, fields, error)) {
        if (fields.size() == 1 && fields[0].empty() && names.size() > 1) continue;
        for (size_t v = 0; v < names.size(); ++v) {
            if (columns[v].text) {
                texts[v].push_back(fields[v]);
                continue;
            }
            double value = kSystemMissing;
            if (!is_missing_text(fields[v], options)) parse_decimal(fields[v], value);
            numbers[v].push_back(value);
        }
    }

    RkdLayout layout;
    layout.signature = options.short_names ? kShortSignature : kLongSignature;
    layout.variable_count = static_cast<int32_t>(names.size());
    layout.case_count = static_cast<int32_t>(cases);
    layout.names = names;
    const size_t slash = rkd_path.find_last_of("/\\");
    layout.file_name_field = slash == std::string::npos ? rkd_path : rkd_path.substr(slash + 1);
    for (const std::string& name : names) {
        const auto labels = options.labels.find(name);
        if (labels == options.labels.end()) continue;
        ValueLabelSet set;
        set.variable_name = name;
        set.entry_count = static_cast<int32_t>(labels->second.size());
        for (size_t i = 0; i < labels->second.size(); ++i) set.entries[i] = labels->second[i];
        layout.label_sets.push_back(set);
    }

    RkdFileWriter writer;
    errno = 0;
    bool ok = begin_rkd_file(writer, rkd_path, layout);
    for (size_t v = 0; ok && v < names.size(); ++v)
        ok = columns[v].text ? append_text_variable(writer, descriptors[v], texts[v])
                             : append_numeric_variable(writer, descriptors[v], numbers[v].data());
    if (ok) ok = finish_rkd_file(writer);
    if (!ok) {
        const int reason = errno;
        abandon_rkd_file(writer);
        error = writer.error + (reason ? std::string(": ") + std::strerror(reason) : "");
    }
    return ok;
}

std::string import_summary_text(const ImportSummary& summary) {
    std::string text;
    append_printf(text, "%s: %lld %s of %zu %s, %s-separated%s; written to %s\n", summary.csv_path.c_str(),
                  static_cast<long long>(summary.cases), summary.cases == 1 ? "case" : "cases",
                  summary.columns.size(), summary.columns.size() == 1 ? "variable" : "variables",
                  delimiter_name(summary.delimiter).c_str(), summary.byte_order_mark ? ", byte-order mark dropped" : "",
                  summary.rkd_path.c_str());
    int name_width = 8;
    for (const ImportedColumn& column : summary.columns)
        name_width = std::max(name_width, static_cast<int>(column.name.size()));
    append_printf(text, "  %5s  %-*s  %-18s  %s\n", "#", name_width, "variable", "type", "missing cells");
    for (size_t v = 0; v < summary.columns.size(); ++v) {
        const ImportedColumn& column = summary.columns[v];
        if (column.text) {
            const std::string type = "alphanumeric (" + std::to_string(column.width) + ")";
            append_printf(text, "  %5zu  %-*s  %-18s  %13s  text from line %ld: %s", v + 1, name_width,
                          column.name.c_str(), type.c_str(), "-", column.first_text_line,
                          cell_text(column.first_text).c_str());
            if (column.number_cells > 0)
                append_printf(text, " (%lld other %s)", static_cast<long long>(column.number_cells),
                              column.number_cells == 1 ? "cell is a number" : "cells are numbers");
            text += "\n";
        } else {
            append_printf(text, "  %5zu  %-*s  %-18s  %13lld\n", v + 1, name_width, column.name.c_str(), "numeric",
                          static_cast<long long>(column.missing_cells));
        }
    }
    const std::string notice = system_missing_notice(summary);
    if (!notice.empty()) text += notice + "\n";
    return text;
}

std::string system_missing_notice(const ImportSummary& summary) {
    if (summary.system_missing_cells == 0) return "";
    std::string text;
    append_printf(text,
                  "%lld %s equal to 1e35, which a data file holds only as the system-missing value: missing now "
                  "(the first on line %ld, variable %s)",
                  static_cast<long long>(summary.system_missing_cells),
                  summary.system_missing_cells == 1 ? "cell" : "cells", summary.first_system_missing_line,
                  summary.first_system_missing_column.c_str());
    return text;
}

bool open_data_file(const std::string& path, RunContext& context, std::string& error) {
    context = RunContext();
    context.path = path;
    FilePtr file = open_input(path, error);
    if (!file) return false;
    context.data_file = file.release();
    switch (load_data_file(context)) {
    case LoadStatus::ok:
        return true;
    case LoadStatus::header_failed:
        error = path + ": the header, name table or value labels cannot be read";
        break;
    case LoadStatus::bad_magic:
        error = path + ": not a data file (no magic after the value labels)";
        break;
    case LoadStatus::dictionary_failed:
        error = path + ": the dictionary cannot be read; the file may be corrupted";
        break;
    }
    close_data_file(context);
    return false;
}

void close_data_file(RunContext& context) {
    if (context.data_file) std::fclose(context.data_file);
    context.data_file = nullptr;
}

bool export_csv(const std::string& rkd_path, const std::string& csv_path, std::string& error) {
    if (!check_distinct_output(rkd_path, csv_path, error)) return false;
    RunContext context;
    if (!open_data_file(rkd_path, context, error)) return false;
    const int32_t variables = context.header.variable_count;
    std::vector<std::vector<double>> numbers(static_cast<size_t>(variables));
    std::vector<std::vector<unsigned char>> texts(static_cast<size_t>(variables));
    for (int32_t v = 1; v <= variables; ++v) {
        const bool text = context.dictionary[v - 1].type == 1;
        const bool ok = text ? read_variable(context, v, texts[v - 1]) : read_numeric_column(context, v, numbers[v - 1]);
        if (!ok) {
            error = rkd_path + ": cannot read the values of variable " + std::to_string(v);
            close_data_file(context);
            return false;
        }
    }
    close_data_file(context);

    const std::string temporary = csv_path + ".partial";
    errno = 0;
    FilePtr out = open_file(temporary, "wb");
    if (!out) {
        error = temporary + ": cannot be created: " + std::strerror(errno);
        return false;
    }
    std::string line;
    for (int32_t v = 1; v <= variables; ++v)
        line += (v > 1 ? "," : "") + quoted_csv_field(variable_name(context.header, v));
    line += "\n";
    errno = 0;
    bool ok = std::fputs(line.c_str(), out.get()) >= 0;
    const size_t cases = static_cast<size_t>(context.header.case_count);
    for (size_t c = 0; ok && c < cases; ++c) {
        line.clear();
        for (int32_t v = 0; v < variables; ++v) {
            if (v > 0) line += ',';
            if (context.dictionary[v].type == 1) {
                const size_t width = static_cast<size_t>(context.dictionary[v].width);
                line += csv_field(fixed_text(texts[v].data() + c * width, width));
            } else if (numbers[v][c] != kSystemMissing) {
                line += shortest_decimal(numbers[v][c]);
            }
        }
        line += '\n';
        ok = std::fwrite(line.data(), 1, line.size(), out.get()) == line.size();
    }
    int reason = ok ? 0 : errno;
    if (std::fclose(out.release()) != 0 && ok) {
        ok = false;
        reason = errno;
    }
    if (ok) {
        std::remove(csv_path.c_str());
        ok = std::rename(temporary.c_str(), csv_path.c_str()) == 0;
        if (!ok) reason = errno;
    }
    if (!ok) {
        std::remove(temporary.c_str());
        error = "cannot write " + csv_path + ": " + std::strerror(reason != 0 ? reason : EIO);
    }
    return ok;
}

namespace {

int kind_number(double kind) { return std::isfinite(kind) && std::fabs(kind) < 1e9 ? static_cast<int>(kind) : -1; }

std::string number_text(double value) {
    if (value == kSystemMissing) return "1e35";
    if (value == -kSystemMissing) return "-1e35";
    return shortest_decimal(value);
}

}  // namespace

bool describe_data_file(const std::string& rkd_path, std::string& text, std::string& error) {
    RunContext context;
    if (!open_data_file(rkd_path, context, error)) return false;
    close_data_file(context);
    const FileHeader& header = context.header;
    const std::string signature =
        fixed_text(header.raw.data() + header_field::signature, 8);
    append_printf(text, "File:             %s\n", rkd_path.c_str());
    append_printf(text, "Signature:        %s (names %d bytes, %s label records)\n", signature.c_str(), name_width(),
                  context.short_name_layout ? "204-byte" : "588-byte");
    append_printf(text, "File kind:        %d (%s)\n", header.file_kind,
                  header.file_kind == kCaseFileKind     ? "cases"
                  : header.file_kind == kMatrixFileKind ? "correlation matrix"
                                                        : "unknown");
    if (header.file_kind == kMatrixFileKind)
        append_printf(text, "Matrix computed from %d cases\n", header.matrix_case_count);
    append_printf(text, "Variables:        %d\n", header.variable_count);
    append_printf(text, "Cases:            %d\n", header.case_count);
    append_printf(text, "Value-label sets: %d\n\n", header.label_set_count);
    append_printf(text, "%5s  %-32s %-12s %5s %4s  %-14s %-14s %-14s\n", "#", "Name", "Type", "Width", "Kind",
                  "Missing 1", "Missing 2", "Missing 3");
    for (int32_t v = 1; v <= header.variable_count; ++v) {
        const VariableDescriptor& d = context.dictionary[v - 1];
        append_printf(text, "%5d  %-32s %-12s %5d %4d  %-14s %-14s %-14s\n", v, variable_name(header, v).c_str(),
                      d.type == 1 ? "alphanumeric" : "numeric", d.width, kind_number(d.missing_kind),
                      number_text(d.missing_value1).c_str(), number_text(d.missing_value2).c_str(),
                      number_text(d.missing_value3).c_str());
    }
    if (!header.label_sets.empty()) text += "\nValue labels\n";
    for (const ValueLabelSet& set : header.label_sets) {
        append_printf(text, "  %s:", set.variable_name.c_str());
        for (int i = 0; i < entries_in_use(set); ++i)
            append_printf(text, "%s %s = %s", i ? "," : "", set.entries[i].value_text.c_str(),
                          set.entries[i].label.c_str());
        text += "\n";
    }
    return true;
}

}  // namespace quorix
