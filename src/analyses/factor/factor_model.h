// The factors of a factor analysis, reported after its eigenvalues: how many,
// their loadings by principal components or principal axes, the rotation,
// the sorted table and the factor scores.
#pragma once

#include <vector>

#include "analyses/factor/factor.h"
#include "frame/run_context.h"

namespace quorix {

// What the analysis has computed when the factors are reported.
struct FactorInput {
    RunContext& context;
    const FactorState& state;
    const std::vector<double>& correlations;  // packed
    const std::vector<double>& sd;
    const std::vector<double>& means;
    const std::vector<double>& eigenvalues;  // descending
    bool listwise;
};

// Appends the factors to the report and the XML document.
void report_factors(const FactorInput& input);

}  // namespace quorix
