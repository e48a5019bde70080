// The analyses, one row each: everything the run frame, the native methods,
// rkstat run and the fuzz targets need to run one. Adding an analysis is its
// driver file, one row in registry.cpp and its native method.
#pragma once

#include <cstddef>
#include <string>
#include <vector>

#include "frame/analysis_arguments.h"
#include "frame/run_frame.h"

namespace quorix {

// In the order of the native methods; the regression method has two rows, one
// per done line.
enum class AnalysisId {
    descriptive,
    frequency,
    one_sample,
    paired_sample,
    independent_sample,
    matched_sample,
    crosstab_two,
    crosstab_three,
    anova_one,
    anova_two,
    anova_glm,
    factor_analysis,
    correlation,
    regression_standard,
    regression_hierarchical,
    regression_step,
    nonparametric,
    missing_diagnosis,
    missing_mean,
    missing_regression,
    missing_em,
};

enum class ParameterKind {
    variables,  // a list of variables (--vars); count fixes its length when nonzero
    variable,   // one variable under its own option (--group)
    number,     // a double
    integer,    // a whole number in the int range
    flag,       // yes/no (1/0)
    word,       // an option word handed over as given; the analysis checks it
    bits,       // comma-separated names of bits, or none, OR-ed into one word
};

struct BitName {
    const char* name;
    int bit;
};

struct ParameterSpec {
    const char* option;  // rkstat's --option, without the dashes
    ParameterKind kind;
    int count = 0;                 // variables: the exact number wanted, 0 for one or more
    const char* roles = "";        // variables: what they are, for messages ("X,Y")
    const char* fallback = "";     // rkstat's value when the option is not given
    std::vector<BitName> names{};  // bits: the names; word: the words a caller may use
    bool numeric = true;           // variables: text variables are refused before the driver runs
};

using AnalysisEntry = int (*)(RunContext& context, const AnalysisArguments& arguments);

struct AnalysisRow {
    AnalysisId id;
    const char* command;  // rkstat run's name
    const char* native_method;
    FrameRow frame;
    AnalysisEntry entry;  // null while the analysis is not built
    const char* usage;    // one line for rkstat run --help
    const char* family;   // the fuzz target that covers it
    std::vector<ParameterSpec> parameters;
};

const std::vector<AnalysisRow>& analysis_rows();
const AnalysisRow& analysis_row(AnalysisId id);
// The built analysis rkstat calls name, or null.
const AnalysisRow* find_analysis(const std::string& name);

// The whole run of one analysis: text variables refused where the analysis
// needs numbers, then the frame around its driver. Returns what run_frame does.
int run_analysis(AnalysisId id, const std::string& data_path, const std::string& run_name,
                 const AnalysisArguments& arguments);

}  // namespace quorix
