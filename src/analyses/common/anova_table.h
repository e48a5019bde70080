// The text writers shared by the analyses of variance and the regression
// analyses: the banner naming the variables and the ANOVA table.
#pragma once

#include <string>

#include "datafile/rkd_format.h"

namespace quorix {

// Appends the three-line banner naming up to three variables, given by their
// 0-based dictionary indices (a negative second or third index leaves that
// column out). Returns the characters written.
int anova_banner(std::string& text, const FileHeader& header, int first, int second, int third);

// Appends the text ANOVA table of rows rows; the last row is the error row,
// against whose df each p is taken. Labels are cut to the table's 11-character
// column so that the figures stay aligned (the XML rows carry them in full).
// Returns the characters written.
int anova_table_text(std::string& text, const std::string* labels, const double* ss, const int* df, const double* ms,
                     const double* f, int rows);
// The same table with each effect row's p given (p[r] for r below rows - 1),
// for a caller that has them already.
int anova_table_text(std::string& text, const std::string* labels, const double* ss, const int* df, const double* ms,
                     const double* f, const double* p, int rows);

}  // namespace quorix
