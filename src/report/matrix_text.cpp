#include "report/matrix_text.h"

#include <cmath>
#include <cstdlib>

#include "frame/channels.h"
#include "report/result_document.h"

namespace quorix {

const ValueLabelSet* find_variable(const std::vector<ValueLabelSet>& sets, const std::string& name) {
    for (const ValueLabelSet& set : sets)
        if (set.variable_name == name) return &set;
    return nullptr;
}

int value_label_text(std::string& text, const ValueLabelSet* set, double value) {
    if (set != nullptr) {
        const int used = entries_in_use(*set);
        for (int i = 0; i < used; ++i) {
            const ValueLabel& entry = set->entries[static_cast<size_t>(i)];
            if (std::strtod(entry.value_text.c_str(), nullptr) == value) {
                text += entry.label;
                return static_cast<int>(entry.label.size());
            }
        }
    }
    return append_printf(text, "%8g", value);
}

namespace {

constexpr int kBlockColumns = 10;

std::string name_of(const RunContext& context, const int* variables, int i) {
    return variables != nullptr ? variable_name(context.header, variables[i]) : std::string();
}

// The shared block layout; cell(r, c) appends element (r, c) of the triangle.
template <typename Cell>
int print_blocks(const RunContext& context, int k, const int* variables, std::string& text, Cell cell) {
    int written = 0;
    for (int b = 0; b < k; b += kBlockColumns) {
        const int last = std::min(b + kBlockColumns - 1, k - 1);
        written += append_printf(text, "\n           ");
        for (int c = b; c <= last; ++c) written += append_printf(text, " %9s", name_of(context, variables, c).c_str());
        written += append_printf(text, "\n");
        for (int r = b; r < k; ++r) {
            written += append_printf(text, "  %9s", name_of(context, variables, r).c_str());
            for (int c = b; c <= std::min(last, r); ++c) written += cell(r, c);
            written += append_printf(text, "\n");
        }
    }
    return written;
}

}  // namespace

int print_lower_matrix(const double* packed, std::string& text, int k, const int* variables, int format_code,
                       int min_cases, const RunContext& context) {
    if (k < 1 || packed == nullptr) return 0;
    bool asterisk = false;
    int written = print_blocks(context, k, variables, text, [&](int r, int c) {
        const double value = packed[static_cast<size_t>(r) * (r + 1) / 2 + c];
        if (value == kSystemMissing) {
            asterisk = true;
            return append_printf(text, "%s", "     *    ");
        }
        return append_printf(text, matrix_value_format(format_code, value), value);
    });
    if (min_cases >= 1 && asterisk)
        written += append_printf(text, "\nAn asterisk indicates that the number of used cases is less than%3d.\n",
                                 min_cases);
    return written;
}

int print_lower_counts(const RunContext& context, int k, const int* variables, const int32_t* packed,
                       std::string& text) {
    if (k < 1 || packed == nullptr) return 0;
    return print_blocks(context, k, variables, text, [&](int r, int c) {
        return append_printf(text, "%10d", static_cast<int>(packed[static_cast<size_t>(r) * (r + 1) / 2 + c]));
    });
}

}  // namespace quorix
