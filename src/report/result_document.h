// The XML result document: its prolog, the head of a <RESULT> element and the
// element writers shared by the analyses, and the banner line of text reports.
#pragma once

#include <array>
#include <cstdint>
#include <string>

#include "frame/run_context.h"

namespace quorix {

// The 14 doubles describing one variable, group or sample.
enum StatsIndex {
    kStatId, kStatCases, kStatMean, kStatSum, kStatSumSquares, kStatStdDev, kStatMedian,
    kStatFirstQuartile, kStatThirdQuartile, kStatMinimum, kStatMaximum, kStatRange,
    kStatSkewness, kStatKurtosis, kStatCount
};
using StatsRow = std::array<double, kStatCount>;

// Marks an ANOVA-table cell without a value.
constexpr double kNotApplicable = 999.0;

enum class FileNameForm { quoted, bare, omitted };

struct ResultHead {
    const char* analysis = "";
    int variable_count = 0;
    const char* title = nullptr;               // <anaName>, written when given
    FileNameForm file_name = FileNameForm::quoted;
    int description_flag = -1;                 // <ISDESC>, written when 0 or 1
};

// <RESULT RTYPE="GENSTAT"> through </DataInf>.
void write_result_head(const RunContext& context, const ResultHead& head);
void write_result_end();

void write_stats_block(const StatsRow& row);
// How matrix values are printed, widened for large values (matrix_value_format).
enum MatrixFormat : int {
    kMatrixFourDecimals = 0,  // "%10.4f"
    kMatrixOneDecimal = 1,    // "%10.1f"
    kMatrixGeneral = 2,       // "%10g"
};

// Lower-triangular matrix of doubles, packed by rows, in a MatrixFormat.
void write_matrix_xml(const int* variables, int count, const double* packed, int format_choice,
                      const RunContext& context);
void write_count_matrix_xml(const RunContext& context, const int* variables, const int32_t* packed, int count);
void write_anova_row(const char* source, int df, double ss, double ms, double f, double p);

// The printf format of one matrix value: the caller's choice, raised to one
// decimal from 10000 on (choice 0) and to "%10g" from 1e7 on.
const char* matrix_value_format(int format_choice, double value);

// Appends the first line of a text report and returns its length.
int report_banner(std::string& text);

}  // namespace quorix
