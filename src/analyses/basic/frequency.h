// Frequency tables: every distinct value of a variable's whole column with its
// count and percentages, value labels, missing codes and out-of-range marks,
// optionally with the variable's descriptive statistics.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "datafile/rkd_format.h"
#include "frame/case_access.h"
#include "frame/run_context.h"

namespace quorix {

// One variable's table: the distinct values in ascending order with their counts.
struct FrequencyTable {
    const double* values = nullptr;
    const int* counts = nullptr;
    int categories = 0;
    int cases = 0;                          // cases in the file, the base of the percentages
    const ValueLabelSet* labels = nullptr;  // the variable's value labels, or none
    double missing1 = kSystemMissing;       // shown as "VARMISS"
    double maximum = kSystemMissing;        // missing value 2: values above it are marked " >"
    double minimum = kSystemMissing;        // missing value 3: values below it are marked " <"
    // The variable's missing-value test. With kinds 2 to 5 missing values 2
    // and 3 are missing codes, not a range: every user-missing value is shown
    // as "VARMISS" and nothing is marked.
    MissingRule missing{0, kSystemMissing, kSystemMissing, kSystemMissing};
};

// Appends the text table; returns the characters appended.
int frequency_table_text(std::string& text, const FrequencyTable& table);
// Writes the <CAT> elements and the totals to the XML result document.
void frequency_table_xml(const FrequencyTable& table);

// The driver: one table per selected variable (1-based numbers); a nonzero
// option adds the descriptive statistics of the selected cases.
int frequency_driver(RunContext& context, const std::vector<int>& variables, int option);


}  // namespace quorix
