#include "analyses/basic/covariance.h"

#include <algorithm>
#include <limits>
#include <new>
#include <stdexcept>

#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"

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

// Fills the rows with cases first .. first + count - 1; returns count.
size_t load_slice(CaseSlices& slices, size_t first) {
    const size_t count = std::min(slices.size, slices.n - first);
    for (size_t i = 0; i < slices.k; ++i) {
        const double* column = slices.values + i * slices.n + first;
        for (size_t t = 0; t < count; ++t) slices.rows[t * slices.stride + i] = column[t];
    }
    return count;
}

}  // namespace

void listwise_covariances(const double* values, size_t n, int k, double* matrix, double* means) {
    if (k < 1) return;
    const size_t kk = static_cast<size_t>(k);
    std::fill(matrix, matrix + packed_size(kk), 0.0);
    std::fill(means, means + kk, 0.0);
    // Per case, d_i is the deviation from the old mean and e_j from the
    // updated one; each element then receives e_j * d_i once a case, which is
    // the update variable by variable in list order, written so that the
    // rows of the triangle run over contiguous arrays.
    std::vector<double> d(kk), e(kk);
    CaseSlices slices = case_slices(values, n, kk, kk);
    for (size_t first = 0; first < n; first += slices.size) {
        const size_t count = load_slice(slices, first);
        for (size_t t = 0; t < count; ++t) {
            const double* x = slices.rows.data() + t * kk;
            const double cases = static_cast<double>(first + t + 1);
            for (size_t i = 0; i < kk; ++i) {
                d[i] = x[i] - means[i];
                means[i] += d[i] / cases;
                e[i] = x[i] - means[i];
            }
            double* row = matrix;
            const double* deviation = e.data();
            for (size_t i = 0; i < kk; ++i) {
                const double di = d[i];
                size_t j = 0;
                // Two elements at a time, loaded before they are stored, which
                // lets the compiler pair the arithmetic.
                for (; j + 1 <= i; j += 2) {
                    const double e0 = deviation[j], e1 = deviation[j + 1], r0 = row[j], r1 = row[j + 1];
                    row[j] = r0 + e0 * di;
                    row[j + 1] = r1 + e1 * di;
                }
                if (j <= i) row[j] += deviation[j] * di;
                row += i + 1;
            }
        }
    }
    if (n < 2) return;
    const double divisor = static_cast<double>(n - 1);
    for (size_t p = 0; p < packed_size(kk); ++p) matrix[p] /= divisor;
}

namespace {

// Pairs (i, j) .. (i, j + kLanes - 1) go through the cases together: their
// running means are independent, which keeps the divider busy.
constexpr size_t kLanes = 4;

struct PairLanes {
    double count[kLanes], mean_x[kLanes], mean_y[kLanes], cross[kLanes];
};

// One slice of case rows for the pairs of variable i with variables
// j .. j + kLanes - 1. A case counts for a pair when neither value is
// missing; every lane computes the update and keeps it only then.
void update_pairs(PairLanes& lanes, const double* rows, size_t stride, size_t cases, size_t i, size_t j) {
    double count[kLanes], mean_x[kLanes], mean_y[kLanes], cross[kLanes];
    for (size_t l = 0; l < kLanes; ++l) {
        count[l] = lanes.count[l];
        mean_x[l] = lanes.mean_x[l];
        mean_y[l] = lanes.mean_y[l];
        cross[l] = lanes.cross[l];
    }
    for (size_t t = 0; t < cases; ++t) {
        const double* row = rows + t * stride;
        const double x = row[i];
        if (x == kSystemMissing) continue;
        for (size_t l = 0; l < kLanes; ++l) {
            const double y = row[j + l];
            const double c = count[l] + 1.0;
            const double dx = x - mean_x[l];
            const double mx = mean_x[l] + dx / c;
            const double my = mean_y[l] + (y - mean_y[l]) / c;
            const double s = cross[l] + dx * (y - my);
            const bool counts = y != kSystemMissing;
            count[l] = counts ? c : count[l];
            mean_x[l] = counts ? mx : mean_x[l];
            mean_y[l] = counts ? my : mean_y[l];
            cross[l] = counts ? s : cross[l];
        }
    }
    for (size_t l = 0; l < kLanes; ++l) {
        lanes.count[l] = count[l];
        lanes.mean_x[l] = mean_x[l];
        lanes.mean_y[l] = mean_y[l];
        lanes.cross[l] = cross[l];
    }
}

}  // namespace

int64_t pairwise_covariances(const double* values, size_t n, int k, double* matrix, double* means) {
    if (k < 1) return 0;
    const size_t kk = static_cast<size_t>(k);
    // The row stride is a multiple of kLanes, so row i's last lanes may run
    // past its diagonal: lanes with j > i are computed and not used.
    const size_t stride = (kk + kLanes - 1) / kLanes * kLanes;
    CaseSlices slices = case_slices(values, n, kk, stride);
    std::vector<PairLanes> lanes;
    int64_t total = 0;
    // Rows of the triangle in groups whose running sums take at most
    // kMaxBlocks blocks (8 MB), however long the list.
    constexpr size_t kMaxBlocks = size_t{1} << 16;
    for (size_t first_row = 0, end_row = 0; first_row < kk; first_row = end_row) {
        size_t blocks = 0;
        for (end_row = first_row; end_row < kk && (end_row == first_row || blocks + end_row / kLanes < kMaxBlocks);
             ++end_row)
            blocks += end_row / kLanes + 1;
        lanes.assign(blocks, PairLanes{});
        // Each pair sees its cases in order: slice after slice, case after case.
        for (size_t first = 0; first < n; first += slices.size) {
            const size_t count = load_slice(slices, first);
            PairLanes* block = lanes.data();
            for (size_t i = first_row; i < end_row; ++i)
                for (size_t j = 0; j <= i; j += kLanes)
                    update_pairs(*block++, slices.rows.data(), stride, count, i, j);
        }
        const PairLanes* row = lanes.data();
        for (size_t i = first_row; i < end_row; row += i / kLanes + 1, ++i)
            for (size_t j = 0; j <= i; ++j) {
                const PairLanes& block = row[j / kLanes];
                const size_t l = j % kLanes;
                const double c = block.count[l];
                matrix[packed_index(i, j)] = c > 1 ? block.cross[l] / (c - 1) : 0.0;
                total += static_cast<int64_t>(c);
                if (i == j) means[i] = block.mean_x[l];
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
    values.resize(k * used);
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
                           double* matrix, double* means) {
    const int k = static_cast<int>(variables.size());
    if (k < 1) return fail(" Fewer than two used cases were found!");
    std::vector<int32_t> flags;
    try {
        build_case_mask(context, flags);
    } catch (const std::bad_alloc&) {
        return fail(" Not enough memory space!");
    }
    if (!mark_missing_cases(state.listwise ? 1 : -1, k, flags, variables.data(), context)) return 2;
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
        const int64_t total = pairwise_covariances(values.data(), used, k, matrix, means);
        const int64_t pairs = static_cast<int64_t>(packed_size(static_cast<size_t>(k)));
        state.average_pair_cases = static_cast<int>((pairs + 2 * total) / (2 * pairs));
        return 0;
    } catch (const std::bad_alloc&) {
        return fail(" not enough memory!");
    } catch (const std::length_error&) {
        return fail(" not enough memory!");
    }
}

}  // namespace quorix
