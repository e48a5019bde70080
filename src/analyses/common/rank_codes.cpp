#include "analyses/common/rank_codes.h"

#include <algorithm>
#include <cstring>
#include <new>
#include <stdexcept>

#include "numeric/sorting.h"

namespace quorix {

namespace {

int64_t pairs_of(int64_t t) { return t * (t - 1) / 2; }

// Sorts a ascending and returns the number of inversions, the pairs p < q
// with a[p] > a[q], by bottom-up merging (each exchange across a merge
// counts the elements it jumps).
int64_t count_inversions(int32_t* a, size_t n, int32_t* buffer) {
    // Blocks of 16 by insertion, each step left one inversion.
    constexpr size_t kBlock = 16;
    int64_t inversions = 0;
    for (size_t lo = 0; lo < n; lo += kBlock) {
        const size_t hi = std::min(lo + kBlock, n);
        for (size_t i = lo + 1; i < hi; ++i) {
            const int32_t value = a[i];
            size_t j = i;
            for (; j > lo && a[j - 1] > value; --j) a[j] = a[j - 1];
            a[j] = value;
            inversions += static_cast<int64_t>(i - j);
        }
    }
    int32_t* from = a;
    int32_t* to = buffer;
    for (size_t width = kBlock; width < n; width *= 2) {
        for (size_t lo = 0; lo < n; lo += 2 * width) {
            const size_t mid = std::min(lo + width, n), hi = std::min(lo + 2 * width, n);
            size_t i = lo, j = mid, out = lo;
            // Without branches: which side moves is as good as random.
            while (i < mid && j < hi) {
                const int32_t left = from[i], right = from[j];
                const size_t take_right = right < left;
                to[out++] = take_right ? right : left;
                inversions += static_cast<int64_t>((mid - i) & (0 - take_right));
                j += take_right;
                i += 1 - take_right;
            }
            while (i < mid) to[out++] = from[i++];
            while (j < hi) to[out++] = from[j++];
        }
        std::swap(from, to);
    }
    if (from != a) std::copy(from, from + n, a);
    return inversions;
}

// The y codes of one run of tied x, work[begin, end), sorted in place; adds the
// run's pairs tied in x and those tied in both.
void sort_tied_run(std::vector<int32_t>& work, size_t begin, size_t end, int64_t& tied_x, int64_t& tied_both) {
    std::sort(work.begin() + static_cast<std::ptrdiff_t>(begin), work.begin() + static_cast<std::ptrdiff_t>(end));
    tied_x += pairs_of(static_cast<int64_t>(end - begin));
    size_t same = 1;
    for (size_t q = begin + 1; q < end; ++q) {
        if (work[q] == work[q - 1]) {
            ++same;
        } else {
            tied_both += pairs_of(static_cast<int64_t>(same));
            same = 1;
        }
    }
    tied_both += pairs_of(static_cast<int64_t>(same));
}

// A key whose unsigned order is the numeric order of the doubles: -0.0 as
// 0.0, every NaN after every number.
uint64_t order_key(double value) {
    if (value != value) return ~uint64_t{0};
    value += 0.0;  // -0.0 becomes 0.0
    uint64_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits >> 63 ? ~bits : bits | (uint64_t{1} << 63);
}

using KeyedCase = RankScratch::KeyedCase;

// The order sort_index gives (equal values by position, NaN last), by a
// stable least-significant-digit radix sort on the keys: four passes of 16
// bits, each skipped when all keys share its digit.
bool radix_order(const double* values, size_t n, int32_t* order, RankScratch& scratch) {
    std::vector<KeyedCase>& from = scratch.from;
    std::vector<KeyedCase>& to = scratch.to;
    std::vector<uint32_t>& counts = scratch.counts;
    if (from.size() < n) from.resize(n);
    if (to.size() < n) to.resize(n);
    counts.assign(4 * 65536, 0);
    for (size_t c = 0; c < n; ++c) {
        from[c] = KeyedCase{order_key(values[c]), static_cast<int32_t>(c)};
        for (int pass = 0; pass < 4; ++pass) ++counts[pass * 65536 + ((from[c].key >> (16 * pass)) & 0xFFFF)];
    }
    for (int pass = 0; pass < 4; ++pass) {
        uint32_t* count = counts.data() + pass * 65536;
        if (count[(from[0].key >> (16 * pass)) & 0xFFFF] == n) continue;
        uint32_t start = 0;
        for (size_t digit = 0; digit < 65536; ++digit) {
            const uint32_t here = count[digit];
            count[digit] = start;
            start += here;
        }
        for (size_t c = 0; c < n; ++c) to[count[(from[c].key >> (16 * pass)) & 0xFFFF]++] = from[c];
        from.swap(to);
    }
    for (size_t c = 0; c < n; ++c) order[c] = from[c].index;
    return true;
}

// Below this size the index sort is as quick as the radix passes.
constexpr int kRadixFrom = 1 << 14;

}  // namespace

bool compute_rank_codes(const double* values, int n, RankCodes& codes, RankScratch* scratch, bool case_codes) {
    try {
        const size_t count = n > 0 ? static_cast<size_t>(n) : 0;
        codes.order.resize(count);
        if (case_codes)
            codes.code.resize(count);
        else
            codes.code.clear();  // its memory kept for a later call that wants it
        codes.sorted_code.resize(count);
    } catch (const std::bad_alloc&) {
        codes = RankCodes();
        return false;
    } catch (const std::length_error&) {
        codes = RankCodes();
        return false;
    }
    codes.tied_pairs = 0;
    codes.first_nan_code = 0;
    if (n < 1) return true;
    try {
        if (n >= kRadixFrom) {
            RankScratch own;
            radix_order(values, static_cast<size_t>(n), codes.order.data(), scratch != nullptr ? *scratch : own);
        } else
            sort_index(codes.order.data(), n, values);
    } catch (const std::bad_alloc&) {
        sort_index(codes.order.data(), n, values);
    }
    int32_t current = 0;
    int64_t run = 1;
    bool nan_seen = false;
    if (case_codes) codes.code[static_cast<size_t>(codes.order[0])] = 0;
    codes.sorted_code[0] = 0;
    if (values[codes.order[0]] != values[codes.order[0]]) nan_seen = true;
    for (int p = 1; p < n; ++p) {
        const double value = values[codes.order[static_cast<size_t>(p)]];
        // NaN equals nothing, itself included: every NaN starts a code.
        if (value == values[codes.order[static_cast<size_t>(p) - 1]]) {
            ++run;
        } else {
            codes.tied_pairs += pairs_of(run);
            run = 1;
            ++current;
            if (value != value && !nan_seen) {
                nan_seen = true;
                codes.first_nan_code = current;
            }
        }
        if (case_codes) codes.code[static_cast<size_t>(codes.order[static_cast<size_t>(p)])] = current;
        codes.sorted_code[static_cast<size_t>(p)] = current;
    }
    codes.tied_pairs += pairs_of(run);
    if (!nan_seen) codes.first_nan_code = current + 1;
    return true;
}

double average_ranks(const RankCodes& codes, double* ranks) {
    const int n = static_cast<int>(codes.order.size());
    double tie_sum = 0.0;
    int start = 0;
    while (start < n) {
        const int32_t group = codes.sorted_code[static_cast<size_t>(start)];
        int end = start + 1;
        while (end < n && codes.sorted_code[static_cast<size_t>(end)] == group) ++end;
        const double rank = (static_cast<double>(start) + end + 1) / 2.0;
        for (int i = start; i < end; ++i) ranks[codes.order[static_cast<size_t>(i)]] = rank;
        const double t = end - start;
        if (t > 1) tie_sum += t * (t * t - 1.0);
        start = end;
    }
    return tie_sum;
}

// Sorting by (x, y) leaves the discordant pairs as the inversions of the y
// sequence; with n0 pairs, n1 tied on x, n2 tied on y and n3 tied on both,
// S = n0 - n1 - n2 + n3 - 2 * discordant (Knight's method).
KendallCounts kendall_counts(const RankCodes& x, const RankCodes& y, std::vector<int32_t>& work,
                             std::vector<int32_t>& merge_buffer) {
    KendallCounts counts;
    const size_t n = x.order.size();
    if (n < 2 || y.order.size() != n || y.code.size() != n) return counts;
    const int64_t all_pairs = pairs_of(static_cast<int64_t>(n));
    counts.untied_x = all_pairs - x.tied_pairs;
    counts.untied_y = all_pairs - y.tied_pairs;

    // The y codes in x order, without the NaN ys (they add nothing to S);
    // within each run of equal x, y ascending.
    work.resize(n);
    merge_buffer.resize(n);
    size_t m = 0;
    int64_t tied_x = 0, tied_both = 0;
    size_t p = 0;
    if (y.sorted_code[n - 1] < y.first_nan_code) {
        // No NaN y: the y codes in x order in one pass without branches, then
        // the runs of equal x (in the same positions) sorted and counted.
        const int32_t* const order = x.order.data();
        const int32_t* const y_code = y.code.data();
        for (size_t q = 0; q < n; ++q) work[q] = y_code[order[q]];
        m = n;
        const int32_t* const x_code = x.sorted_code.data();
        while (p < n) {
            if (p + 1 >= n || x_code[p + 1] != x_code[p]) {
                ++p;
                continue;
            }
            const size_t run_start = p;
            const int32_t group = x_code[p];
            while (p < n && x_code[p] == group) ++p;
            sort_tied_run(work, run_start, p, tied_x, tied_both);
        }
    }
    while (p < n) {
        const int32_t group = x.sorted_code[p];
        const size_t run_start = m;
        for (; p < n && x.sorted_code[p] == group; ++p) {
            const int32_t code = y.code[static_cast<size_t>(x.order[p])];
            if (code < y.first_nan_code) work[m++] = code;
        }
        const size_t length = m - run_start;
        if (length < 2) continue;
        sort_tied_run(work, run_start, m, tied_x, tied_both);
    }
    const int64_t discordant = count_inversions(work.data(), m, merge_buffer.data());
    counts.s = pairs_of(static_cast<int64_t>(m)) - tied_x - y.tied_pairs + tied_both - 2 * discordant;
    return counts;
}

}  // namespace quorix
