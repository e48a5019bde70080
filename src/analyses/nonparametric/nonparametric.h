// The nonparametric tests of a variable list: sign, Wilcoxon signed-rank and
// two-sample Kolmogorov-Smirnov tests and Spearman and Kendall correlations
// for every pair of variables, Kruskal-Wallis (with Mann-Whitney) across the
// groups of a grouping variable, and Friedman with Kendall's W.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

// The test selection word.
enum NonparametricTest {
    kKruskalWallis = 0x1,
    kSpearman = 0x2,
    kKendall = 0x4,
    kSignTest = 0x8,
    kWilcoxon = 0x10,
    kKolmogorovSmirnov = 0x20,
    kFriedman = 0x40,
    kMultipleComparisons = 0x80,  // set by the driver after Kruskal-Wallis and Friedman
};

struct NonparametricOptions {
    std::vector<int> variables;         // 1-based
    int group_variable = -1;            // below 1: none
    const char* missing_option = nullptr;  // "pair" in any letter case: pairwise deletion
    int tests = 0;
};

// Returns 0; -1 for a refused request or exhausted memory; 2 when the data
// allow no analysis (no used cases, a constant or too finely divided grouping
// variable).
int nonparametric_driver(RunContext& context, const NonparametricOptions& options);

}  // namespace quorix
