// Factor analysis: the correlation matrix of a variable list, listwise or
// pairwise, its eigenvalues in descending order, then the factors the options
// ask for (extraction, rotation, sorting, factor scores).
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

// Option words as the caller passes them; null selects the default.
struct FactorOptions {
    std::vector<int> variables;  // 1-based variable numbers
    const char* rotation = nullptr;       // "Othosim", "Varimax" or "Oblimin"
    const char* initial_value = nullptr;  // extraction: "PCA" or "EPIC"
    const char* processing = nullptr;     // "Complete" or "Pair"
    int factor_scores = 0;                // nonzero: write the factor scores of every case
    const char* sort = nullptr;           // "None", "Factor" or "Commuality"
    double cutoff = 0;                    // eigenvalues at least this many give factors; 0 means 1.0
};

enum FactorRotation { kRotationQuartimax = 1, kRotationVarimax = 2, kRotationOblimin = 3 };
enum FactorExtraction { kExtractionPca = 1, kExtractionPrincipalAxis = 2 };
enum FactorSort { kSortNone = 0, kSortFactor = 1, kSortCommunality = 2 };

// The analysis's working record, kept for the process; each run overwrites
// it, except the sort setting, which carries over when a run does not set it.
struct FactorState {
    int rotation = kRotationVarimax;
    int initial_value = 0;   // validated, then 0
    int extraction = kExtractionPca;
    int processing = 0;      // 0 listwise, 1 pairwise
    int factor_scores = 0;
    int sort = kSortNone;
    double cutoff = 1.0;
    std::vector<int> variables;
    std::vector<double> eigenvalues;  // descending
    int matrix_input = 0;             // the data file is a correlation matrix file
};

FactorState& factor_state();

// The option words: 0 or more for a known word, -1 for any other; letter case is ignored.
int parse_rotation_option(const char* text);
int parse_extraction_option(const char* text);
int parse_sort_option(const char* text);

// The driver: 0 once the analysis ran (or stopped after the XML head), -1 for
// a bad rotation or processing option.
int factor_analysis_driver(RunContext& context, const FactorOptions& options);

}  // namespace quorix
