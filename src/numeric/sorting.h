// Ordering and coding of observation columns, and the printers of packed
// lower-triangular matrices. Free functions over caller-owned arrays; no state.
// A count n (or k) below 1 makes every routine return at once.
#pragma once

#include <cstdint>
#include <string>
#include <vector>


namespace quorix {

// idx[0..n-1] = 0..n-1 ordered so that keys[idx[0]] <= keys[idx[1]] <= ...
// Worst case O(n log n), no heap. NaN keys go last; equal keys (and -0.0
// with 0.0) keep their positions' order.
void sort_index(int* idx, int n, const double* keys);

// Sorts doubles without NaN ascending (-0.0 before 0.0); linear time for large arrays.
void sort_numbers(double* values, size_t n);

// The values at 0-based ranks ranks[0..count-1] (ascending, each below n) of
// values[0..n-1], which must hold no NaN, into out: the numbers a full sort
// would put there. Large arrays are bracketed through a sorted sample and one
// pass, then selected within the brackets; values may be reordered.
void select_order_statistics(double* values, size_t n, const size_t* ranks, size_t count, double* out);

// Order statistics of a large array through brackets: a sorted sample gives a
// range of values around each wanted rank, one pass over the array counts what
// lies below each range and copies its members, and each rank is then selected
// among its bracket's members. The pass is left to the caller, so that it can
// share a loop over the values with other work:
//   RankBrackets brackets;
//   if (brackets.plan(values, n, ranks, count))
//       for each run of at most RankBrackets::kRun values: add() each, then end_run();
//   brackets.finish(ranks, wanted, out) (false: select in the whole array).
struct RankBrackets {
    static constexpr size_t kMax = 8;
    static constexpr size_t kRun = 4096;

    // False, with nothing planned, when n is too small to gain from brackets,
    // there are more than kMax ranks, or the sample drawn holds a NaN. NaN in
    // the array is fine: it counts in no bracket.
    bool plan(const double* values, size_t n, const size_t* ranks, size_t count);
    void add(double v) {
        for (size_t b = 0; b < brackets; ++b) {
            below[b] += v < low[b];
            members[b][size[b]] = v;
            size[b] += (v >= low[b]) & (v <= high[b]);
        }
    }
    // After each run of at most kRun values added; false once a bracket has
    // grown too large (the pass can stop: finish will fail).
    bool end_run();
    // The values at ranks[0..wanted-1], wanted at most the count planned,
    // each rank below the number of non-NaN values; members are reordered.
    bool finish(const size_t* ranks, size_t wanted, double* out);

    size_t brackets = 0;
    bool overflowed = false;
    double low[kMax], high[kMax];
    size_t first_rank[kMax], below[kMax], size[kMax];
    size_t limit = 0;
    std::vector<double> members[kMax];
};

// Replaces keys by their 1-based average ranks (ties by exact equality; each
// NaN ranks alone, after every number) and returns the tie sum, the sum of
// t(t^2 - 1) over groups of t > 1 equal keys. work: n ints, or null to
// allocate them here.
double rank_average(double* keys, int n, int* work);

// array[i] becomes the old array[perm[i]], by following cycles in place; perm
// is only read. An entry out of 0..n-1, or one that leads back into a cycle
// already walked, closes its walk early: the array then stays a rearrangement
// of its old values.
void apply_permutation(double* array, int n, const int* perm);

// Distinct values of values[0..n-1] in ascending order with their frequencies
// (counts may be null); returns their number k. distinct and counts need room
// for n entries. Equality is exact: -0.0 and 0.0 are one value, kept with the
// sign of its first occurrence; every NaN is an entry of its own with count 1,
// placed behind the numbers not above the largest one read before it.
int count_distinct(const double* values, int n, double* distinct, int* counts);

// The distinct values of a column in ascending order (count_distinct), their
// frequencies, and for every case the index of its value in that list.
struct Categories {
    std::vector<double> values;
    std::vector<int> counts;
    std::vector<int> codes;
};

// Few categories are found in two passes through a small hash table; otherwise
// O(n log n): each case is found by binary search among the distinct numbers;
// a NaN, which count_distinct keeps as a category of its own, is matched to
// the NaN categories in input order.
Categories code_categories(const std::vector<double>& cases);

// Packed k x k covariances into correlations, in place; sd receives
// sqrt(|c_ii|). Rows and columns of a zero variance become 0.
void covariance_to_correlation(int k, double* packed, double* sd);

}  // namespace quorix
