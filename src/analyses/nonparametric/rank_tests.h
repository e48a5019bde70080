// The computations of the nonparametric tests, one pair of columns (or one
// column, or one case) at a time. The missing marker 1e35 is skipped where a
// pair of values is needed.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

#include "analyses/common/rank_codes.h"

namespace quorix {

constexpr double kNotShown = 1e35;  // a p-value the matrix printers show as an asterisk

// Reusable buffers of the per-pair tests, so that pairs allocate nothing. The
// tests throw std::bad_alloc when memory runs out.
struct PairWork {
    std::vector<double> a, b;
    std::vector<unsigned char> positive;
    RankCodes codes_x, codes_y;
    RankScratch scratch;
    std::vector<int32_t> kendall, merge;
    std::vector<int> members;
};

struct SignResult {
    int32_t nonzero = 0, positive = 0;
    double p = 1.0;
};
// Differences y - x.
SignResult sign_test(const double* x, const double* y, size_t n);

struct WilcoxonResult {
    int32_t nonzero = 0;
    double smaller_sum = 0, p = 1.0;
};
WilcoxonResult wilcoxon_test(const double* x, const double* y, size_t n, PairWork& work);

// Q_KS(z), the Kolmogorov distribution's upper tail at sqrt(z).
double kolmogorov_q(double z);
struct KsResult {
    double d = 0, p = 1.0;
};
// Two samples sorted ascending.
KsResult ks_test(const double* a, size_t na, const double* b, size_t nb);
// The sorted values of a column other than 1e35, from its ascending order.
void sorted_sample(const double* column, const int32_t* order, size_t n, std::vector<double>& sample);

struct Correlation {
    double r = 0, p = 1.0;
    int64_t n = 0;
};
// From the ranks of the same n cases and the two tie sums.
Correlation spearman_from_ranks(const double* rank_x, const double* rank_y, size_t n, double tie_x, double tie_y);
// Tau-b and its p-value from the pair counts of n cases.
Correlation kendall_from_counts(const KendallCounts& counts, size_t n);
// The pair's cases without 1e35 in either column, ranked on their own.
Correlation spearman_test(const double* x, const double* y, size_t n, PairWork& work);
Correlation kendall_test(const double* x, const double* y, size_t n, PairWork& work);

// Kruskal-Wallis for one variable: values[c] in group group[c] (0..groups-1;
// negative codes and 1e35 values are skipped).
struct KruskalResult {
    std::vector<int32_t> count;
    std::vector<double> rank_sum;
    int32_t n = 0;
    double h = 0, tie_sum = 0;
};
KruskalResult kruskal_wallis(const double* values, const int* group, size_t n, int groups);
KruskalResult kruskal_wallis(const double* values, const int* group, size_t n, int groups, PairWork& work);

// Friedman: the rank sums of k columns over the cases complete in all of them.
struct FriedmanResult {
    std::vector<double> rank_sum;
    int32_t n = 0;
    double chi_square = 0, w = 0, p = 1.0;
};
FriedmanResult friedman_test(const std::vector<const double*>& columns, size_t n);

}  // namespace quorix
