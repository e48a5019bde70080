// Reading columns for the analyses: one variable at a time, restricted to the
// selected cases and, where wanted, cleaned of missing values.
//
// The case selection is read in one of two forms. Index form: the entries are
// 0-based case numbers to use (out-of-range entries select nothing). Flag
// form: entry i belongs to case i and the case is used when it is 1; cases
// without an entry are not used.
//
// A case mask has one entry per case, 0 when the case takes part; a null mask
// means every case takes part, and cases beyond a short mask take part.
#pragma once

#include <cmath>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/messages.h"
#include "frame/run_context.h"

namespace quorix {

// A case mask entry: 0 when the case takes part (the polarity is the reverse
// of the flag-form selection, where 1 selects the case).
constexpr int32_t kCaseTakesPart = 0;
constexpr int32_t kCaseLeftOut = 1;
constexpr int32_t kCaseSelected = 1;  // a flag-form selection entry

// Which cases mark_missing_cases flags: missing in any of the variables, in
// all of them, or in the first.
enum MissingMark : int { kMarkMissingInAll = -1, kMarkMissingInFirst = 0, kMarkMissingInAny = 1 };

// Reads variable v's whole column (width x cases bytes) with one seek and one
// read. Returns 1 on success, 0 otherwise; a variable number outside the file
// is refused with a line on the log channel.
int read_variable(RunContext& context, int variable, std::vector<unsigned char>& buffer);

// The column as one double per case. A value block narrower than 8 bytes a
// case is read as the bytes would lie in a zero-filled array of doubles.
// Returns 1, or 0 when the variable is not in the file or its values cannot be
// read (then with " can't read data!" on the console).
int read_numeric_column(RunContext& context, int variable, std::vector<double>& column);

// A descriptor's missing-value test, taken once per column: the kind
// truncated to a whole number and the three values.
struct MissingRule {
    int kind;
    double value1, value2, value3;
};

inline MissingRule missing_rule(const VariableDescriptor& d) {
    const double kind = std::trunc(d.missing_kind);
    return MissingRule{kind >= 1 && kind <= 5 ? static_cast<int>(kind) : 0, d.missing_value1, d.missing_value2,
                       d.missing_value3};
}

// 1 when the value is missing: the system-missing value, or a user-missing
// value of the rule's kind (exact comparisons; NaN never).
inline int is_missing(double value, const MissingRule& r) {
    if (value == kSystemMissing) return 1;
    switch (r.kind) {
    case 1: return value == r.value1;
    case 2: return value == r.value1 || value == r.value2;
    case 3: return value == r.value1 || value == r.value2 || value == r.value3;
    case 4: return r.value3 <= value && value <= r.value2;
    case 5: return value == r.value1 || (r.value3 <= value && value <= r.value2);
    default: return 0;
    }
}

inline int is_missing(double value, const VariableDescriptor& d) { return is_missing(value, missing_rule(d)); }

// Index form, missing values dropped. Returns the number of values, or -1.
int collect_valid_values(RunContext& context, int variable, std::vector<double>& values,
                         const std::vector<int32_t>* mask);
// Flag form, missing values left as stored. Returns the number of values, 0 on failure.
int gather_values(RunContext& context, std::vector<double>& values, int variable, const std::vector<int32_t>* mask);
// Flag form, missing values written as 1e35 in place. Returns the number of values, or -1.
int gather_values_marked(RunContext& context, std::vector<double>& values, int variable,
                         const std::vector<int32_t>* mask);

// Flag form into a mask of one entry per case; returns the selection count, or
// the number of cases when there is no selection.
int build_case_mask(const RunContext& context, std::vector<int32_t>& mask);

// Flags the cases with missing values in place (flags already set stay set).
// mode > 0, or a single variable: a case missing in any variable; mode < 0: a
// case missing in all of them; mode 0: the first variable only. Returns 1, or 0
// when memory ran out or a column could not be read.
int mark_missing_cases(int mode, int count, std::vector<int32_t>& flags, const int* variables,
                       RunContext& context);

// Listwise deletion over several variables, each column read once and no
// per-case flags: columns[k] receives variable variables[k]'s values at the
// selected cases (index form) where none of the count variables is missing,
// in case order, each column read into its own vector and compacted there, so
// that the columns line up case by case. Returns the number of cases kept; -1
// when a column cannot be read, and -1 after memory_message when memory ran out.
int read_complete_cases(RunContext& context, const int* variables, int count, std::vector<double>* columns,
                        Message memory_message = Message::marking_not_enough_memory);

// Appends the case-count block; a negative count ends it. Returns the characters written.
int case_count_lines(std::string& text, int variable_count, const char* title, int cases_in_file, int cases_used,
                     int cases_deleted);

}  // namespace quorix
