#include "analyses/common/covariance.h"

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <new>
#include <stdexcept>
#include <system_error>
#include <thread>

#include "analyses/basic/descriptive.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"
#include "numeric/sorting.h"

namespace quorix {

bool same_option_word(const char* text, const char* word) {
    // ASCII only: the locale must not change which words are accepted.
    const auto lower = [](unsigned char c) { return c >= 'A' && c <= 'Z' ? static_cast<unsigned char>(c + 32) : c; };
    for (;; ++text, ++word) {
        const unsigned char a = lower(static_cast<unsigned char>(*text));
        if (a != lower(static_cast<unsigned char>(*word))) return false;
        if (a == 0) return true;
    }
}

int parse_processing_option(const char* text) {
    if (text == nullptr || same_option_word(text, "complete")) return 1;
    if (same_option_word(text, "pair")) return 0;
    return -1;
}

namespace {

// The kernels walk the cases in slices, each copied from the variable-major
// input into rows of `stride` values (case-major) small enough to stay in
// cache; columns from k up to the stride hold missing values.
struct CaseSlices {
    const double* values;
    size_t n, k, stride, size;
    std::vector<double> rows;
};

CaseSlices case_slices(const double* values, size_t n, size_t k, size_t stride) {
    const size_t size = std::max<size_t>(64, (size_t{1} << 15) / stride);
    return CaseSlices{values, n, k, stride, size, std::vector<double>(size * stride, kSystemMissing)};
}

// Fills the rows with cases first .. first + count - 1, each variable's values
// less its shift when shifts are given (no value may then be missing);
// returns count.
size_t load_slice(CaseSlices& slices, size_t first, const double* shifts = nullptr) {
    const size_t count = std::min(slices.size, slices.n - first);
    for (size_t i = 0; i < slices.k; ++i) {
        const double* column = slices.values + i * slices.n + first;
        double* row = slices.rows.data() + i;
        if (shifts && shifts[i] != 0) {
            const double shift = shifts[i];
            for (size_t t = 0; t < count; ++t) row[t * slices.stride] = column[t] - shift;
        } else {
            for (size_t t = 0; t < count; ++t) row[t * slices.stride] = column[t];
        }
    }
    return count;
}

// Means and cross-products are accumulated from each variable's values less
// the shift of its first present value (moment_shift).
double shift_of(const double* column, size_t n) {
    for (size_t t = 0; t < n; ++t)
        if (column[t] != kSystemMissing) return moment_shift(column[t]);
    return 0;
}

// The mean of the values from the mean of the shifted values; without a shift
// the mean itself, signed zero included.
double unshifted(double shift, double mean) { return shift != 0 ? shift + mean : mean; }

}  // namespace

namespace {

#if defined(__GNUC__)
typedef double Quad __attribute__((vector_size(32)));
typedef long long QuadMask __attribute__((vector_size(32)));
#define QUORIX_INLINE inline __attribute__((always_inline))
#else
#define QUORIX_INLINE inline
#endif

// Runs work(0) .. work(parts - 1), parts after the first on threads of their
// own; a part whose thread cannot be started runs on this one. Every part
// writes only its own results, so the outcome is the same however the parts
// were run. work must not throw (it runs on threads) and should not allocate.
template <class Work>
void run_parts(size_t parts, const Work& work) {
    std::vector<std::thread> threads;
    threads.reserve(parts);
    for (size_t p = 1; p < parts; ++p) {
        try {
            threads.emplace_back([&work, p] { work(p); });
        } catch (const std::system_error&) {
            work(p);
        }
    }
    work(0);
    for (std::thread& thread : threads) thread.join();
}

// The rows of the triangle are shared between kParts parts of about equal
// work once a computation is large enough to pay for a thread. The number is
// fixed, not taken from the machine, and each element belongs to one part.
constexpr size_t kParts = 2;
constexpr double kThreadWork = 4e6;  // multiply-adds below which one part runs

size_t parts_for(size_t n, size_t k) {
    return static_cast<double>(n) * static_cast<double>(packed_size(k)) < kThreadWork || k < 2 * kParts ? 1 : kParts;
}

// The first rows of parts 0 .. parts - 1 and the end: rows split where the
// running total of weight(i) crosses each part's share.
template <class Weight>
std::vector<size_t> split_rows(size_t first, size_t end, size_t parts, const Weight& weight) {
    double total = 0;
    for (size_t i = first; i < end; ++i) total += weight(i);
    std::vector<size_t> bounds{first};
    double sum = 0;
    for (size_t i = first; i < end && bounds.size() < parts; ++i) {
        sum += weight(i);
        if (sum >= total * static_cast<double>(bounds.size()) / static_cast<double>(parts) && i + 1 < end)
            bounds.push_back(i + 1);
    }
    bounds.push_back(end);
    return bounds;
}

// Listwise, an element (i, j) of the triangle receives e_j * d_i once a case,
// d_i being variable i's deviation from its old mean and e_j variable j's from
// its updated one. A slice's deviations are worked out first, case after case
// (the running means), into case-major rows; the triangle then takes them in
// tiles whose sums stay in registers through the slice: each element still
// gets its products one by one in case order, the plain update's arithmetic
// (no fused multiply-adds), so the tiles and the register width change no bit.
// Rows of the working triangle are padded to whole quads (kQuad elements),
// their lanes past the diagonal computed and not used.
constexpr size_t kQuad = 4;

size_t padded_row(size_t i) { return (i / kQuad + 1) * kQuad; }
size_t padded_start(size_t i) {
    return kQuad * kQuad * (i / kQuad) * (i / kQuad + 1) / 2 + (i % kQuad) * padded_row(i);
}

#if defined(__GNUC__)
// kRows rows from row i, kQuads quads of columns from j, over one slice; the
// working triangle holds the rows from the one starting at origin.
template <size_t kRows, size_t kQuads>
QUORIX_INLINE void deviation_tile(double* triangle, size_t origin, size_t i, size_t j, const double* d,
                                  const double* e, size_t stride, size_t cases) {
    Quad sums[kRows][kQuads];
    double* rows[kRows];
#pragma GCC unroll 4
    for (size_t r = 0; r < kRows; ++r) {
        rows[r] = triangle + (padded_start(i + r) - origin) + j;
#pragma GCC unroll 4
        for (size_t q = 0; q < kQuads; ++q) std::memcpy(&sums[r][q], rows[r] + q * kQuad, sizeof(Quad));
    }
    for (size_t t = 0; t < cases; ++t) {
        Quad deviations[kQuads];
#pragma GCC unroll 4
        for (size_t q = 0; q < kQuads; ++q) std::memcpy(&deviations[q], e + t * stride + j + q * kQuad, sizeof(Quad));
#pragma GCC unroll 4
        for (size_t r = 0; r < kRows; ++r) {
            const double di = d[t * stride + i + r];
            const Quad broadcast = {di, di, di, di};
#pragma GCC unroll 4
            for (size_t q = 0; q < kQuads; ++q) sums[r][q] = sums[r][q] + deviations[q] * broadcast;
        }
    }
#pragma GCC unroll 4
    for (size_t r = 0; r < kRows; ++r)
#pragma GCC unroll 4
        for (size_t q = 0; q < kQuads; ++q) std::memcpy(rows[r] + q * kQuad, &sums[r][q], sizeof(Quad));
}
#else
template <size_t kRows, size_t kQuads>
void deviation_tile(double* triangle, size_t origin, size_t i, size_t j, const double* d, const double* e,
                    size_t stride, size_t cases) {
    for (size_t r = 0; r < kRows; ++r) {
        double* row = triangle + (padded_start(i + r) - origin) + j;
        for (size_t t = 0; t < cases; ++t)
            for (size_t l = 0; l < kQuads * kQuad; ++l) row[l] += e[t * stride + j + l] * d[t * stride + i + r];
    }
}
#endif

// kRows rows from row i, all of whose quads they share: four quads at a time,
// then the rest in one tile.
template <size_t kRows>
QUORIX_INLINE void deviation_row_span(double* triangle, size_t origin, size_t i, const double* d, const double* e,
                                      size_t stride, size_t cases) {
    const size_t length = padded_row(i);
    size_t j = 0;
    for (; j + 4 * kQuad <= length; j += 4 * kQuad)
        deviation_tile<kRows, 4>(triangle, origin, i, j, d, e, stride, cases);
    switch ((length - j) / kQuad) {
        case 3: deviation_tile<kRows, 3>(triangle, origin, i, j, d, e, stride, cases); break;
        case 2: deviation_tile<kRows, 2>(triangle, origin, i, j, d, e, stride, cases); break;
        case 1: deviation_tile<kRows, 1>(triangle, origin, i, j, d, e, stride, cases); break;
        default: break;
    }
}

// Rows first .. end - 1 of the working triangle over one slice, two rows at a
// time from an even row (two such rows have the same padded length).
QUORIX_INLINE void deviation_rows(double* triangle, size_t origin, size_t first, size_t end, const double* d,
                                  const double* e, size_t stride, size_t cases) {
    size_t i = first;
    if (i % 2 != 0 && i < end) deviation_row_span<1>(triangle, origin, i++, d, e, stride, cases);
    for (; i + 2 <= end; i += 2) deviation_row_span<2>(triangle, origin, i, d, e, stride, cases);
    if (i < end) deviation_row_span<1>(triangle, origin, i, d, e, stride, cases);
}

void update_deviation_rows(double* triangle, size_t origin, size_t first, size_t end, const double* d, const double* e,
                           size_t stride, size_t cases) {
    deviation_rows(triangle, origin, first, end, d, e, stride, cases);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The same code in 256-bit registers where the processor has them.
__attribute__((target("avx2"))) void update_deviation_rows_avx2(double* triangle, size_t origin, size_t first, size_t end,
                                                                const double* d, const double* e, size_t stride,
                                                                size_t cases) {
    deviation_rows(triangle, origin, first, end, d, e, stride, cases);
}

bool wide_registers() { return __builtin_cpu_supports("avx2"); }
#else
void update_deviation_rows_avx2(double* triangle, size_t origin, size_t first, size_t end, const double* d, const double* e,
                                size_t stride, size_t cases) {
    deviation_rows(triangle, origin, first, end, d, e, stride, cases);
}

bool wide_registers() { return false; }
#endif

// One part of the listwise triangle: rows first .. end - 1, over every case.
// It keeps its own running means of variables 0 .. end - 1 (the same values
// in every part) and its own slice buffers, so parts share nothing but input.
struct ListwisePart {
    size_t first, end;
    CaseSlices slices;
    std::vector<double> d, e, means, triangle;
};

void listwise_part(ListwisePart& part, const double* shifts, bool wide) {
    CaseSlices& slices = part.slices;
    const size_t stride = slices.stride, used = part.end;
    double* d = part.d.data();
    double* e = part.e.data();
    double* means = part.means.data();
    double* triangle = part.triangle.data();
    const size_t origin = padded_start(part.first);
    for (size_t first = 0; first < slices.n; first += slices.size) {
        const size_t count = load_slice(slices, first, shifts);
        for (size_t t = 0; t < count; ++t) {
            const double* x = slices.rows.data() + t * stride;
            double* dt = d + t * stride;
            double* et = e + t * stride;
            const double cases = static_cast<double>(first + t + 1);
            for (size_t i = 0; i < used; ++i) {
                dt[i] = x[i] - means[i];
                means[i] += dt[i] / cases;
                et[i] = x[i] - means[i];
            }
        }
        if (wide)
            update_deviation_rows_avx2(triangle, origin, part.first, part.end, d, e, stride, count);
        else
            update_deviation_rows(triangle, origin, part.first, part.end, d, e, stride, count);
    }
}

}  // namespace

void listwise_covariances(const double* values, size_t n, int k, double* matrix, double* means, bool wide_allowed) {
    if (k < 1) return;
    const size_t kk = static_cast<size_t>(k);
    // Per case, d_i is the deviation from the old mean and e_j from the
    // updated one; each element then receives e_j * d_i once a case, which is
    // the update variable by variable in list order (see deviation_tile).
    std::vector<double> shifts(kk);
    for (size_t i = 0; i < kk; ++i) shifts[i] = shift_of(values + i * n, n);
    const size_t stride = padded_row(kk - 1);
    const std::vector<size_t> bounds =
        split_rows(0, kk, parts_for(n, kk), [](size_t i) { return static_cast<double>(padded_row(i)); });
    std::vector<ListwisePart> parts;
    for (size_t p = 0; p + 1 < bounds.size(); ++p) {
        ListwisePart part{bounds[p], bounds[p + 1], case_slices(values, n, kk, stride), {}, {}, {}, {}};
        part.d.assign(part.slices.size * stride, 0.0);
        part.e.assign(part.slices.size * stride, 0.0);
        part.means.assign(kk, 0.0);
        part.triangle.assign(padded_start(part.end) - padded_start(part.first), 0.0);
        parts.push_back(std::move(part));
    }
    const bool wide = wide_allowed && wide_registers();
    run_parts(parts.size(), [&](size_t p) { listwise_part(parts[p], shifts.data(), wide); });
    for (const ListwisePart& part : parts)
        for (size_t i = part.first; i < part.end; ++i)
            std::copy_n(part.triangle.data() + (padded_start(i) - padded_start(part.first)), i + 1,
                        matrix + packed_index(i, 0));
    // The last part kept the running means of every variable.
    for (size_t i = 0; i < kk; ++i) means[i] = unshifted(shifts[i], parts.back().means[i]);
    if (n < 2) return;
    const double divisor = static_cast<double>(n - 1);
    for (size_t p = 0; p < packed_size(kk); ++p) matrix[p] /= divisor;
}

namespace {

// Pairwise deletion keeps a running count, two means and a cross-product for
// every pair, each updated case after case with two divisions, from the values
// less their variables' shifts. Pairs are independent, so the pairs (i, j) ..
// (i, j + kLanes - 1) of variable i go through the cases together as vector
// lanes, and kInFlight such blocks at a time, which keeps the divider busy
// instead of waiting on one pair's chain. Every lane computes the update and
// keeps it only when both of its values are present; the arithmetic of each
// lane is the plain update's, operation for operation (no contraction into
// fused multiply-adds). For correlations each pair also keeps the sums of
// squared deviations of its two variables over its own cases (kOwnSums).
constexpr size_t kLanes = 8;
constexpr size_t kInFlight = 4;

struct PairLanes {
    double count[kLanes], mean_x[kLanes], mean_y[kLanes], cross[kLanes], squares_x[kLanes], squares_y[kLanes];
};

struct PairBlock {
    size_t i, j;  // lanes hold the pairs (i, j + l)
    PairLanes* sums;
};

#if defined(__GNUC__)
// kBlocks blocks over one slice of case rows; shifts holds one per column of a row.
template <size_t kBlocks, bool kOwnSums>
QUORIX_INLINE void update_blocks(const PairBlock* blocks, const double* rows, size_t stride, size_t cases,
                                 const double* shifts) {
    constexpr size_t kQuads = kLanes / 4 * kBlocks;
    Quad count[kQuads], mean_x[kQuads], mean_y[kQuads], cross[kQuads], squares_x[kQuads], squares_y[kQuads];
    Quad shift_y[kQuads];
    double shift_x[kBlocks];
    for (size_t b = 0; b < kBlocks; ++b) shift_x[b] = shifts[blocks[b].i];
    for (size_t q = 0; q < kQuads; ++q) {
        const PairBlock& block = blocks[q / (kLanes / 4)];
        const PairLanes& sums = *block.sums;
        const size_t at = q % (kLanes / 4) * 4;
        std::memcpy(&count[q], sums.count + at, sizeof(Quad));
        std::memcpy(&mean_x[q], sums.mean_x + at, sizeof(Quad));
        std::memcpy(&mean_y[q], sums.mean_y + at, sizeof(Quad));
        std::memcpy(&cross[q], sums.cross + at, sizeof(Quad));
        if (kOwnSums) {
            std::memcpy(&squares_x[q], sums.squares_x + at, sizeof(Quad));
            std::memcpy(&squares_y[q], sums.squares_y + at, sizeof(Quad));
        }
        std::memcpy(&shift_y[q], shifts + block.j + at, sizeof(Quad));
    }
    for (size_t t = 0; t < cases; ++t) {
        const double* row = rows + t * stride;
        for (size_t q = 0; q < kQuads; ++q) {
            const size_t b = q / (kLanes / 4);
            const PairBlock& block = blocks[b];
            const double raw_x = row[block.i];
            Quad raw_y;
            std::memcpy(&raw_y, row + block.j + q % (kLanes / 4) * 4, sizeof(Quad));
            const QuadMask counts = (QuadMask)(Quad{} + raw_x != kSystemMissing) & (QuadMask)(raw_y != kSystemMissing);
            const Quad x = Quad{} + (raw_x - shift_x[b]);
            const Quad y = raw_y - shift_y[q];
            const Quad c = count[q] + 1.0;
            const Quad dx = x - mean_x[q];
            const Quad dy = y - mean_y[q];
            const Quad mx = mean_x[q] + dx / c;
            const Quad my = mean_y[q] + dy / c;
            const Quad s = cross[q] + dx * (y - my);
            count[q] = (Quad)(((QuadMask)c & counts) | ((QuadMask)count[q] & ~counts));
            mean_x[q] = (Quad)(((QuadMask)mx & counts) | ((QuadMask)mean_x[q] & ~counts));
            mean_y[q] = (Quad)(((QuadMask)my & counts) | ((QuadMask)mean_y[q] & ~counts));
            cross[q] = (Quad)(((QuadMask)s & counts) | ((QuadMask)cross[q] & ~counts));
            if (kOwnSums) {
                // The increments of absent lanes are masked to 0 (adding +0
                // changes no sum of squares).
                squares_x[q] += (Quad)((QuadMask)(dx * (x - mx)) & counts);
                squares_y[q] += (Quad)((QuadMask)(dy * (y - my)) & counts);
            }
        }
    }
    for (size_t q = 0; q < kQuads; ++q) {
        PairLanes& sums = *blocks[q / (kLanes / 4)].sums;
        const size_t at = q % (kLanes / 4) * 4;
        std::memcpy(sums.count + at, &count[q], sizeof(Quad));
        std::memcpy(sums.mean_x + at, &mean_x[q], sizeof(Quad));
        std::memcpy(sums.mean_y + at, &mean_y[q], sizeof(Quad));
        std::memcpy(sums.cross + at, &cross[q], sizeof(Quad));
        if (kOwnSums) {
            std::memcpy(sums.squares_x + at, &squares_x[q], sizeof(Quad));
            std::memcpy(sums.squares_y + at, &squares_y[q], sizeof(Quad));
        }
    }
}
#else
template <size_t kBlocks, bool kOwnSums>
void update_blocks(const PairBlock* blocks, const double* rows, size_t stride, size_t cases, const double* shifts) {
    for (size_t b = 0; b < kBlocks; ++b) {
        PairLanes& sums = *blocks[b].sums;
        for (size_t t = 0; t < cases; ++t) {
            const double* row = rows + t * stride;
            const double raw_x = row[blocks[b].i];
            for (size_t l = 0; l < kLanes; ++l) {
                const double raw_y = row[blocks[b].j + l];
                if (raw_x == kSystemMissing || raw_y == kSystemMissing) continue;
                const double x = raw_x - shifts[blocks[b].i], y = raw_y - shifts[blocks[b].j + l];
                const double c = sums.count[l] + 1.0;
                const double dx = x - sums.mean_x[l];
                const double dy = y - sums.mean_y[l];
                sums.mean_x[l] += dx / c;
                sums.mean_y[l] += dy / c;
                sums.cross[l] += dx * (y - sums.mean_y[l]);
                if (kOwnSums) {
                    sums.squares_x[l] += dx * (x - sums.mean_x[l]);
                    sums.squares_y[l] += dy * (y - sums.mean_y[l]);
                }
                sums.count[l] = c;
            }
        }
    }
}
#endif

// Blocks blocks .. blocks + count - 1 over one slice, kInFlight at a time.
template <bool kOwnSums>
QUORIX_INLINE void update_all_blocks(const PairBlock* blocks, size_t count, const double* rows, size_t stride,
                                     size_t cases, const double* shifts) {
    // With the pairs' own sums of squares two blocks at a time: their running
    // sums then stay closer to the registers, and the divider is still kept busy.
    constexpr size_t in_flight = kOwnSums ? 2 : kInFlight;
    size_t b = 0;
    for (; b + in_flight <= count; b += in_flight)
        update_blocks<in_flight, kOwnSums>(blocks + b, rows, stride, cases, shifts);
    for (; b < count; ++b) update_blocks<1, kOwnSums>(blocks + b, rows, stride, cases, shifts);
}

void update_slice(const PairBlock* blocks, size_t count, const double* rows, size_t stride, size_t cases,
                  const double* shifts, bool own_sums) {
    if (own_sums)
        update_all_blocks<true>(blocks, count, rows, stride, cases, shifts);
    else
        update_all_blocks<false>(blocks, count, rows, stride, cases, shifts);
}

#if defined(__GNUC__) && (defined(__x86_64__) || defined(__i386__))
// The same code in 256-bit registers where the processor has them.
__attribute__((target("avx2"))) void update_slice_avx2(const PairBlock* blocks, size_t count, const double* rows,
                                                       size_t stride, size_t cases, const double* shifts,
                                                       bool own_sums) {
    if (own_sums)
        update_all_blocks<true>(blocks, count, rows, stride, cases, shifts);
    else
        update_all_blocks<false>(blocks, count, rows, stride, cases, shifts);
}
#else
void update_slice_avx2(const PairBlock* blocks, size_t count, const double* rows, size_t stride, size_t cases,
                       const double* shifts, bool own_sums) {
    update_slice(blocks, count, rows, stride, cases, shifts, own_sums);
}
#endif

// The correlation of a pair over its own cases: its covariance divided by the
// standard deviations of its two variables over the same cases, which keeps
// it within [-1, 1] (bounds enforced against rounding); 0 when either of them
// is 0 or the pair has fewer than two cases.
double own_correlation(const PairLanes& block, size_t l) {
    const double c = block.count[l];
    if (!(c > 1)) return 0;
    const double sd_x = std::sqrt(block.squares_x[l] / (c - 1)), sd_y = std::sqrt(block.squares_y[l] / (c - 1));
    if (!(sd_x > 0 && sd_y > 0)) return 0;
    const double r = block.cross[l] / (c - 1) / (sd_x * sd_y);
    return r > 1 ? 1 : r < -1 ? -1 : r;
}

}  // namespace

int64_t pairwise_covariances(const double* values, size_t n, int k, double* matrix, double* means,
                             double* pair_correlations, bool wide_allowed) {
    if (k < 1) return 0;
    const size_t kk = static_cast<size_t>(k);
    // The row stride is a multiple of kLanes, so row i's last lanes may run
    // past its diagonal: lanes with j > i are computed and not used.
    const size_t stride = (kk + kLanes - 1) / kLanes * kLanes;
    std::vector<double> shifts(stride, 0.0);
    for (size_t i = 0; i < kk; ++i) shifts[i] = shift_of(values + i * n, n);
    // Each part of the rows walks the cases with slice buffers of its own.
    const size_t part_count = parts_for(n, kk);
    std::vector<CaseSlices> slices;
    for (size_t p = 0; p < part_count; ++p) slices.push_back(case_slices(values, n, kk, stride));
    std::vector<PairLanes> lanes;
    std::vector<PairBlock> blocks;
    const bool wide = wide_allowed && wide_registers();
    const bool own_sums = pair_correlations != nullptr;
    int64_t total = 0;
    // Rows of the triangle in groups whose running sums take at most
    // kMaxBlocks blocks (24 MB), however long the list.
    constexpr size_t kMaxBlocks = size_t{1} << 16;
    for (size_t first_row = 0, end_row = 0; first_row < kk; first_row = end_row) {
        size_t count_blocks = 0;
        for (end_row = first_row;
             end_row < kk && (end_row == first_row || count_blocks + end_row / kLanes < kMaxBlocks); ++end_row)
            count_blocks += end_row / kLanes + 1;
        lanes.assign(count_blocks, PairLanes{});
        blocks.clear();
        for (size_t i = first_row, b = 0; i < end_row; ++i)
            for (size_t j = 0; j <= i; j += kLanes) blocks.push_back(PairBlock{i, j, &lanes[b++]});
        // The group's blocks in parts of whole rows, the blocks of part p
        // from block_bounds[p]; each pair sees its cases in order: slice
        // after slice, case after case.
        const std::vector<size_t> row_bounds = split_rows(
            first_row, end_row, part_count, [](size_t i) { return static_cast<double>(i / kLanes + 1); });
        std::vector<size_t> block_bounds;
        for (const size_t row : row_bounds) {
            size_t b = 0;
            for (size_t i = first_row; i < row; ++i) b += i / kLanes + 1;
            block_bounds.push_back(b);
        }
        run_parts(row_bounds.size() - 1, [&](size_t p) {
            const PairBlock* part = blocks.data() + block_bounds[p];
            const size_t part_blocks = block_bounds[p + 1] - block_bounds[p];
            for (size_t first = 0; first < n; first += slices[p].size) {
                const size_t count = load_slice(slices[p], first);
                if (wide)
                    update_slice_avx2(part, part_blocks, slices[p].rows.data(), stride, count, shifts.data(), own_sums);
                else
                    update_slice(part, part_blocks, slices[p].rows.data(), stride, count, shifts.data(), own_sums);
            }
        });
        const PairLanes* row = lanes.data();
        for (size_t i = first_row; i < end_row; row += i / kLanes + 1, ++i)
            for (size_t j = 0; j <= i; ++j) {
                const PairLanes& block = row[j / kLanes];
                const size_t l = j % kLanes;
                const double c = block.count[l];
                matrix[packed_index(i, j)] = c > 1 ? block.cross[l] / (c - 1) : 0.0;
                if (own_sums) pair_correlations[packed_index(i, j)] = own_correlation(block, l);
                total += static_cast<int64_t>(c);
                if (i == j) means[i] = unshifted(shifts[i], block.mean_x[l]);
            }
    }
    return total;
}

namespace {

int fail(const char* message) {
    channel_printf(kLogChannel, "%s\n", message);
    return 2;
}

// The used cases of the listed variables, variable after variable, missing values as 1e35.
int load_used_cases(RunContext& context, const std::vector<int>& variables, const std::vector<int32_t>& flags,
                    size_t used, std::vector<double>& values) {
    const size_t k = variables.size();
    if (used > std::min(values.max_size(), std::numeric_limits<size_t>::max() / 8) / k)
        return fail(" not enough memory!");
    if (!memory_available(uint64_t{8} * k * used)) return fail(" not enough memory!");
    resize_for_overwrite(values, k * used);
    std::vector<double> column;
    for (size_t i = 0; i < k; ++i) {
        const int taken = gather_values_marked(context, column, variables[i], &flags);
        if (taken < 0 || static_cast<size_t>(taken) != used) return 2;
        std::copy(column.begin(), column.end(), values.begin() + static_cast<std::ptrdiff_t>(i * used));
    }
    return 0;
}

}  // namespace

int accumulate_covariances(RunContext& context, const std::vector<int>& variables, CorrelationState& state,
                           double* matrix, double* means, double* pair_correlations) {
    const int k = static_cast<int>(variables.size());
    if (k < 1) return fail(" Fewer than two used cases were found!");
    std::vector<int32_t> flags;
    try {
        build_case_mask(context, flags);
    } catch (const std::bad_alloc&) {
        return fail(" Not enough memory space!");
    }
    if (!mark_missing_cases(state.listwise ? kMarkMissingInAny : kMarkMissingInAll, k, flags, variables.data(), context)) return 2;
    const size_t used = static_cast<size_t>(std::count(flags.begin(), flags.end(), 0));
    state.cases_used = state.average_pair_cases = static_cast<int>(used);
    if (used < 2) return fail(" Fewer than two used cases were found!");

    std::vector<double> values;
    try {
        if (const int status = load_used_cases(context, variables, flags, used, values)) return status;
        if (state.listwise) {
            listwise_covariances(values.data(), used, k, matrix, means);
            return 0;
        }
        const int64_t total = pairwise_covariances(values.data(), used, k, matrix, means, pair_correlations);
        const int64_t pairs = static_cast<int64_t>(packed_size(static_cast<size_t>(k)));
        state.average_pair_cases = static_cast<int>((pairs + 2 * total) / (2 * pairs));
        return 0;
    } catch (const std::bad_alloc&) {
        return fail(" not enough memory!");
    } catch (const std::length_error&) {
        return fail(" not enough memory!");
    }
}

void covariances_to_correlations(int k, double* matrix, double* sd, const std::vector<double>& pairs) {
    covariance_to_correlation(k, matrix, sd);
    if (pairs.empty()) return;
    for (size_t i = 0; i < static_cast<size_t>(k); ++i)
        for (size_t j = 0; j < i; ++j) matrix[packed_index(i, j)] = pairs[packed_index(i, j)];
}

}  // namespace quorix
