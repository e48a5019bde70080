#include "frame/case_access.h"

#include "frame/messages.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <new>

#include "datafile/byte_order.h"
#include "datafile/file_io.h"
#include "frame/channels.h"
#include "frame/memory.h"

namespace quorix {

namespace {

size_t case_total(const RunContext& context) {
    return context.header.case_count > 0 ? static_cast<size_t>(context.header.case_count) : 0;
}

bool host_is_little_endian() {
    const uint16_t probe = 1;
    unsigned char first;
    std::memcpy(&first, &probe, 1);
    return first == 1;
}

bool takes_part(const std::vector<int32_t>* mask, size_t c) {
    return !mask || c >= mask->size() || (*mask)[c] == 0;
}

// Index form: which cases the selection names.
std::vector<unsigned char> selected_by_index(const RunContext& context) {
    std::vector<unsigned char> selected(case_total(context), 0);
    for (int32_t entry : context.selection)
        if (entry >= 0 && static_cast<size_t>(entry) < selected.size()) selected[static_cast<size_t>(entry)] = 1;
    return selected;
}

}  // namespace

int read_variable(RunContext& context, int variable, std::vector<unsigned char>& buffer) {
    if (variable < 1 || variable > context.header.variable_count ||
        static_cast<size_t>(variable) > context.dictionary.size()) {
        channel_printf(kLogChannel, " Variable number %d is not in the data file (1 - %d).\n", variable,
                       context.header.variable_count);
        return 0;
    }
    const int64_t position =
        value_position(context.header, context.dictionary, context.short_name_layout, variable);
    const int64_t size = int64_t{context.dictionary[variable - 1].width} * context.header.case_count;
    if (!context.data_file || position < 0 || size < 0 || position + size > context.data_file_size) return 0;
    require_memory(static_cast<uint64_t>(size));
    buffer.resize(static_cast<size_t>(size));
    if (file_seek(context.data_file, position, SEEK_SET) != 0) return 0;
    return size == 0 || std::fread(buffer.data(), 1, buffer.size(), context.data_file) == buffer.size();
}

int read_numeric_column(RunContext& context, int variable, std::vector<double>& column) {
    const size_t cases = case_total(context);
    const bool known = variable >= 1 && static_cast<size_t>(variable) <= context.dictionary.size() &&
                       variable <= context.header.variable_count;
    // A column of a listed variable that cannot be read: the file is shorter
    // than its header says, or was cut or changed after the dictionary was read.
    const auto unreadable = [] {
        report(Message::flags_cannot_read);
        return 0;
    };
    if (known && context.dictionary[variable - 1].width == 8 && host_is_little_endian()) {
        // The common case: read the doubles straight into the column.
        const int64_t position =
            value_position(context.header, context.dictionary, context.short_name_layout, variable);
        const int64_t size = int64_t{8} * static_cast<int64_t>(cases);
        if (!context.data_file || position < 0 || position + size > context.data_file_size) return unreadable();
        require_memory(static_cast<uint64_t>(size));
        resize_for_overwrite(column, cases);
        if (file_seek(context.data_file, position, SEEK_SET) != 0) return unreadable();
        if (cases != 0 && std::fread(column.data(), 8, cases, context.data_file) != cases) return unreadable();
        return 1;
    }
    std::vector<unsigned char> bytes;
    if (!read_variable(context, variable, bytes)) return known ? unreadable() : 0;
    bytes.resize(cases * 8, 0);
    column.resize(cases);
    for (size_t c = 0; c < cases; ++c) column[c] = load_f64(bytes.data() + 8 * c);
    return 1;
}

namespace {

// drop[i] |= 1 where values[i] is missing; the common rule (the system-missing
// value only) in a loop of its own.
void mark_missing(const double* values, size_t count, const MissingRule& rule, unsigned char* drop) {
    if (rule.kind == 0) {
        for (size_t i = 0; i < count; ++i) drop[i] |= values[i] == kSystemMissing;
        return;
    }
    for (size_t i = 0; i < count; ++i) drop[i] |= static_cast<unsigned char>(is_missing(values[i], rule));
}

// True when none of the values is the system-missing value.
bool none_system_missing(const double* values, size_t count) {
    bool found = false;
    for (size_t i = 0; i < count; ++i) found |= values[i] == kSystemMissing;
    return !found;
}

// Moves the complete cases of the columns (selected, when selected is not
// null, and missing in none) to their fronts, in case order; returns their
// number. Cases are taken a block at a time: the cases to drop are marked,
// and a block with none of them stays where it is (found in one pass when
// every rule is the system-missing value alone and every case is selected).
// N > 0 fixes the number of columns at compile time.
template <int N>
size_t keep_complete(double* const* data, const MissingRule* rules, int count, size_t cases,
                     const unsigned char* selected) {
    const int columns = N > 0 ? N : count;
    bool plain = !selected;
    for (int k = 0; k < columns; ++k) plain = plain && rules[k].kind == 0;
    constexpr size_t kBlock = 4096;
    unsigned char drop[kBlock];
    size_t kept = 0;
    for (size_t start = 0; start < cases; start += kBlock) {
        const size_t length = std::min(kBlock, cases - start);
        if (plain && kept == start) {
            bool clean = true;
            for (int k = 0; k < columns && clean; ++k) clean = none_system_missing(data[k] + start, length);
            if (clean) {
                kept += length;
                continue;
            }
        }
        if (selected) {
            for (size_t i = 0; i < length; ++i) drop[i] = selected[start + i] == 0;
        } else {
            std::memset(drop, 0, length);
        }
        for (int k = 0; k < columns; ++k) mark_missing(data[k] + start, length, rules[k], drop);
        unsigned char any = 0;
        for (size_t i = 0; i < length; ++i) any |= drop[i];
        if (!any && kept == start) {
            kept += length;
            continue;
        }
        // Every case is copied and only the kept ones advance: the slot
        // written, at or below the case's own, has been read already.
        for (size_t i = 0; i < length; ++i) {
            for (int k = 0; k < columns; ++k) data[k][kept] = data[k][start + i];
            kept += drop[i] == 0;
        }
    }
    return kept;
}

}  // namespace

int collect_valid_values(RunContext& context, int variable, std::vector<double>& values,
                         const std::vector<int32_t>* mask) {
    // The column is read into the output and compacted in place.
    try {
        require_memory(uint64_t{8} * case_total(context));
        values.reserve(case_total(context));
    } catch (const std::bad_alloc&) {
        report(Message::values_not_enough_memory);
        return -1;
    }
    if (!read_numeric_column(context, variable, values)) return -1;
    std::vector<unsigned char> selected;
    if (!context.selection.empty()) {
        try {
            selected = selected_by_index(context);
        } catch (const std::bad_alloc&) {
            report(Message::values_memory_error);
            return -1;
        }
    }
    const MissingRule rule = missing_rule(context.dictionary[variable - 1]);
    size_t kept = 0;
    if (!mask) {
        double* const data = values.data();
        kept = keep_complete<1>(&data, &rule, 1, values.size(), selected.empty() ? nullptr : selected.data());
        values.resize(kept);
        return static_cast<int>(kept);
    }
    for (size_t c = 0; c < values.size(); ++c) {
        if (!selected.empty() && !selected[c]) continue;
        if (!takes_part(mask, c) || is_missing(values[c], rule)) continue;
        values[kept++] = values[c];
    }
    values.resize(kept);
    return static_cast<int>(kept);
}

namespace {

// Both flag-form gatherers: copy the taken cases, optionally marking missing values.
int gather_flagged(RunContext& context, std::vector<double>& values, int variable, const std::vector<int32_t>* mask,
                   bool mark_missing) {
    // The column is read into the output and compacted in place.
    if (!read_numeric_column(context, variable, values)) {
        // A listed variable's unreadable column has been reported by the read.
        if (variable < 1 || variable > context.header.variable_count) report(Message::flags_cannot_read);
        return -1;
    }
    const MissingRule rule = missing_rule(context.dictionary[variable - 1]);
    const size_t cases = values.size();
    const bool every_case = context.selection.empty();
    const size_t flagged = std::min(cases, context.selection.size());
    const int32_t* const flags = context.selection.data();
    const size_t masked = mask ? std::min(cases, mask->size()) : 0;
    const int32_t* const mask_data = mask ? mask->data() : nullptr;
    size_t kept = 0;
    for (size_t c = 0; c < cases; ++c) {
        const bool selected = every_case || (c < flagged && flags[c] == 1);
        if (!selected || (c < masked && mask_data[c] != 0)) continue;
        const double value = values[c];
        values[kept++] = mark_missing && is_missing(value, rule) ? kSystemMissing : value;
    }
    values.resize(kept);
    return static_cast<int>(kept);
}

}  // namespace

int gather_values(RunContext& context, std::vector<double>& values, int variable, const std::vector<int32_t>* mask) {
    try {
        const int count = gather_flagged(context, values, variable, mask, false);
        return count < 0 ? 0 : count;
    } catch (const std::bad_alloc&) {
        report(Message::gather_memory_error);
        return 0;
    }
}

// A column that cannot be read gives -1 here, as a memory failure does: a
// count of 0 is a valid result for this operation.
int gather_values_marked(RunContext& context, std::vector<double>& values, int variable,
                         const std::vector<int32_t>* mask) {
    try {
        return gather_flagged(context, values, variable, mask, true);
    } catch (const std::bad_alloc&) {
        report(Message::gather_marked_memory_error);
        return -1;
    }
}

int build_case_mask(const RunContext& context, std::vector<int32_t>& mask) {
    const size_t cases = case_total(context);
    if (context.selection.empty()) {
        mask.assign(cases, kCaseTakesPart);
        return static_cast<int>(cases);
    }
    mask.assign(cases, kCaseLeftOut);
    for (size_t i = 0; i < cases && i < context.selection.size(); ++i)
        mask[i] = context.selection[i] == kCaseSelected ? kCaseTakesPart : kCaseLeftOut;
    return selection_count(context);
}

int mark_missing_cases(int mode, int count, std::vector<int32_t>& flags, const int* variables,
                       RunContext& context) {
    const size_t cases = case_total(context);
    std::vector<double> column;
    try {
        require_memory(uint64_t{8} * cases);
        column.reserve(cases);
        if (flags.size() < cases) flags.resize(cases, 0);
    } catch (const std::bad_alloc&) {
        report(Message::marking_not_enough_memory);
        return 0;
    }
    if (count < 1 || !variables) return 1;

    const bool all_rule = mode < 0 && count > 1;
    const int used = mode == 0 ? 1 : count;
    if (all_rule)
        for (size_t c = 0; c < cases; ++c)
            if (flags[c]) flags[c] = count;
    for (int k = 0; k < used; ++k) {
        if (!read_numeric_column(context, variables[k], column)) return 0;
        const MissingRule rule = missing_rule(context.dictionary[variables[k] - 1]);
        int32_t* const flag = flags.data();
        for (size_t c = 0; c < cases; ++c) {
            if (!is_missing(column[c], rule)) continue;
            if (all_rule)
                ++flag[c];
            else
                flag[c] = 1;
        }
    }
    if (all_rule)
        for (size_t c = 0; c < cases; ++c) flags[c] = flags[c] >= count ? 1 : 0;
    return 1;
}

int read_complete_cases(RunContext& context, const int* variables, int count, std::vector<double>* columns,
                        Message memory_message) {
    if (count < 1 || !variables || !columns) return 0;
    const size_t cases = case_total(context);
    std::vector<unsigned char> selected;
    std::vector<double*> data;
    std::vector<MissingRule> rules;
    try {
        data.resize(static_cast<size_t>(count));
        rules.resize(static_cast<size_t>(count));
        for (int k = 0; k < count; ++k) {
            if (!read_numeric_column(context, variables[k], columns[k])) return -1;
            data[k] = columns[k].data();
            rules[k] = missing_rule(context.dictionary[variables[k] - 1]);
        }
        if (!context.selection.empty()) selected = selected_by_index(context);
    } catch (const std::bad_alloc&) {
        report(memory_message);
        return -1;
    }
    const unsigned char* const chosen = selected.empty() ? nullptr : selected.data();
    size_t kept;
    switch (count) {
    case 1: kept = keep_complete<1>(data.data(), rules.data(), count, cases, chosen); break;
    case 2: kept = keep_complete<2>(data.data(), rules.data(), count, cases, chosen); break;
    case 3: kept = keep_complete<3>(data.data(), rules.data(), count, cases, chosen); break;
    default: kept = keep_complete<0>(data.data(), rules.data(), count, cases, chosen); break;
    }
    for (int k = 0; k < count; ++k) columns[k].resize(kept);
    return static_cast<int>(kept);
}

int case_count_lines(std::string& text, int variable_count, const char* title, int cases_in_file, int cases_used,
                     int cases_deleted) {
    const size_t start = text.size();
    append_printf(text, "%d  Variables are selected from file   ", variable_count);
    text += title ? title : "";
    text += "\n\n";
    if (cases_in_file >= 0) {
        append_printf(text, " Number of cases in data file are ...........%7d\n", cases_in_file);
        if (cases_used >= 0) {
            append_printf(text, " Number of cases used in this analysis are ..%7d\n", cases_used);
            if (cases_deleted >= 0) {
                append_printf(text, " Number of cases deleted are ................%7d\r\n", cases_deleted);
                text += "\n\n";
            }
        }
    }
    return static_cast<int>(text.size() - start);
}

}  // namespace quorix
