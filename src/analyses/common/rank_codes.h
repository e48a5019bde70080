// Ties and orders of a column computed once and shared by the rank statistics
// that need them: average ranks, and Kendall's pair counts in O(n log n).
#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

namespace quorix {

// A column's ascending order (sort_index: NaN last, each NaN a value of its
// own) and, per case, the 0-based number of its value among the distinct
// values in that order. Codes from first_nan_code on belong to NaN.
struct RankCodes {
    std::vector<int32_t> order;
    std::vector<int32_t> code;
    std::vector<int32_t> sorted_code;  // code[order[p]], nondecreasing
    int32_t first_nan_code = 0;
    int64_t tied_pairs = 0;  // pairs of cases with equal values
};

// The radix order's work arrays, kept by callers that code several columns
// so that each column does not fault in fresh pages.
struct RankScratch {
    // Twelve bytes, without padding: the records are all the sort moves.
#pragma pack(push, 4)
    struct KeyedCase {
        KeyedCase() {}  // left unset: the sort writes every record it reads
        KeyedCase(uint64_t k, int32_t i) : key(k), index(i) {}
        uint64_t key;
        int32_t index;
    };
#pragma pack(pop)
    std::vector<KeyedCase> from, to;
    std::vector<uint32_t> counts;
};

// False when memory ran out (codes left empty). scratch may be null. Without
// case_codes, code is left empty (average_ranks does without it).
bool compute_rank_codes(const double* values, int n, RankCodes& codes, RankScratch* scratch = nullptr,
                        bool case_codes = true);

// The 1-based average ranks of the cases (ranks[case]) and the tie sum, the
// sum of t(t^2 - 1) over groups of t equal values: the numbers rank_average
// gives, bit for bit.
double average_ranks(const RankCodes& codes, double* ranks);

// Kendall's counts of the pairs of cases of two columns: S (concordant minus
// discordant pairs), the pairs not tied on x and the pairs not tied on y. A
// NaN is tied with nothing; a pair with a NaN y is neither concordant nor
// discordant. Exact in 64 bits for any int case count.
struct KendallCounts {
    int64_t s = 0;
    int64_t untied_x = 0;
    int64_t untied_y = 0;
};

// From the two columns' codes (same cases, same n). work and merge_buffer are
// resized to n as needed and may be reused between calls.
KendallCounts kendall_counts(const RankCodes& x, const RankCodes& y, std::vector<int32_t>& work,
                             std::vector<int32_t>& merge_buffer);

}  // namespace quorix
