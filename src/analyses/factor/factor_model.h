// The factors of a factor analysis, reported after its eigenvalues: how many,
// their loadings by principal components or principal axes, the rotation,
// the sorted tables and the factor scores.
#pragma once

#include <string>
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
};

// Appends the factors to the report and the XML document.
void report_factors(const FactorInput& input);

// Loadings are k x m, row-major: variable i's loading on factor f at i * m + f.
struct Extraction {
    std::vector<double> loadings;
    int iterations = 0;       // principal axes: iterations run
    bool converged = true;    // principal axes: the communalities settled
    double last_change = 0;   // principal axes: largest change of a communality in the last iteration
};

// Principal components: eigenvector f times the square root of eigenvalue f.
bool principal_components(int k, const double* correlations, const double* eigenvalues, int m, Extraction& out);
// Principal axes: the diagonal replaced by communalities, starting from the
// squared multiple correlations, until no communality changes by 0.001 or
// more, at most 25 iterations.
bool principal_axes(int k, const double* correlations, int m, Extraction& out);

struct Rotation {
    std::vector<double> loadings;     // k x m: rotated loadings (the pattern when oblique)
    std::vector<double> structure;    // k x m, oblique only
    std::vector<double> correlations; // m x m factor correlations, oblique only
    int iterations = 0;
    bool converged = false;
};

// Rotates k x m loadings by the gradient projection method, rows scaled to
// unit length while rotating (Kaiser normalisation): varimax and quartimax
// orthogonally, direct oblimin (delta 0) obliquely. Each factor is then
// turned so that its loadings sum to a positive number.
bool rotate_loadings(int k, int m, const std::vector<double>& loadings, int rotation, Rotation& out);

}  // namespace quorix
