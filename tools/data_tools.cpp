#include "data_tools.h"

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <cstring>
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

struct ColumnShape {
    bool numeric = true;
    size_t longest = 0;
};

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
        error = name + ": a valid range cannot be combined with a missing range or several missing codes";
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
                std::string& error) {
    FilePtr file = open_file(csv_path, "rb");
    if (!file) {
        error = "cannot open " + csv_path;
        return false;
    }
    CsvReader reader{file.get()};
    std::vector<std::string> names;
    if (!read_names(reader, options, names, error) || !check_option_names(options, names, error)) return false;

    // First pass: the type and width of every column, and the number of cases.
    std::vector<ColumnShape> shapes(names.size());
    std::vector<std::string> fields;
    int64_t cases = 0;
    while (read_csv_record(reader, fields, error)) {
        if (fields.size() == 1 && fields[0].empty() && names.size() > 1) continue;  // blank line
        if (fields.size() != names.size()) {
            error = line_text(reader.line) + std::to_string(fields.size()) + " fields where the header has " +
                    std::to_string(names.size());
            return false;
        }
        for (size_t v = 0; v < fields.size(); ++v) {
            double value;
            if (!fields[v].empty() && !parse_decimal(fields[v], value)) shapes[v].numeric = false;
            shapes[v].longest = std::max(shapes[v].longest, fields[v].size());
        }
        if (++cases > INT32_MAX) {
            error = "more cases than a data file can hold";
            return false;
        }
    }
    if (!error.empty()) return false;

    std::vector<VariableDescriptor> descriptors(names.size());
    for (size_t v = 0; v < names.size(); ++v) {
        if (!missing_descriptor(names[v], options, descriptors[v], error)) return false;
        if (!shapes[v].numeric) descriptors[v].width = static_cast<int32_t>(std::max<size_t>(shapes[v].longest, 1));
    }

    // Second pass: the values.
    std::vector<std::vector<double>> numbers(names.size());
    std::vector<std::vector<std::string>> texts(names.size());
    std::rewind(file.get());
    reader = CsvReader{file.get()};
    read_csv_record(reader, fields, error);
    while (read_csv_record(reader, fields, error)) {
        if (fields.size() == 1 && fields[0].empty() && names.size() > 1) continue;
        for (size_t v = 0; v < names.size(); ++v) {
            if (!shapes[v].numeric) {
                texts[v].push_back(fields[v]);
                continue;
            }
            double value = kSystemMissing;
            if (!fields[v].empty()) parse_decimal(fields[v], value);
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
    bool ok = begin_rkd_file(writer, rkd_path, layout);
    for (size_t v = 0; ok && v < names.size(); ++v)
        ok = shapes[v].numeric ? append_numeric_variable(writer, descriptors[v], numbers[v].data())
                               : append_text_variable(writer, descriptors[v], texts[v]);
    if (ok) ok = finish_rkd_file(writer);
    if (!ok) {
        abandon_rkd_file(writer);
        error = writer.error;
    }
    return ok;
}

bool open_data_file(const std::string& path, RunContext& context, std::string& error) {
    context = RunContext();
    context.path = path;
    context.data_file = std::fopen(path.c_str(), "rb");
    if (!context.data_file) {
        error = "cannot open " + path;
        return false;
    }
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
    FilePtr out = open_file(temporary, "wb");
    if (!out) {
        error = "cannot create " + temporary;
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
