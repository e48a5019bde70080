#include "analyses/common/sample_statistics.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"
#include "numeric/sorting.h"

namespace quorix {

namespace {

// The moments are those of the values less the sample's shift
// (moment_shift); `mean` is the shifted mean.
struct Moments {
    double shift = 0, mean = 0, m2 = 0, m3 = 0, m4 = 0;
    double minimum = 0, maximum = 0;

    explicit Moments(double first)
        : shift(moment_shift(first)), mean(first - shift), minimum(first), maximum(first) {}

    // Without a shift the mean is the running mean itself, signed zero included.
    double unshifted_mean() const { return shift != 0 ? shift + mean : mean; }
    // What rounding the shift plus the shifted mean to a double left out
    // (the error term of the two-sum), 0 where that is not finite.
    double mean_residual() const {
        if (shift == 0) return 0;
        const double sum = shift + mean, mean_part = sum - shift, shift_part = sum - mean_part;
        const double residual = (shift - shift_part) + (mean - mean_part);
        return std::isfinite(residual) ? residual : 0;
    }

    // The exact one-pass update of the mean and the central moment sums with
    // the value after the first `seen`. Its chain through the mean (a
    // subtraction, a division, a subtraction) bounds the loop; other work on
    // the same values, the shift included, fits beside it.
    void add(double raw, double seen) {
        if (raw < minimum)
            minimum = raw;
        else if (raw > maximum)
            maximum = raw;
        const double value = raw - shift;
        const double d = value - mean;
        const double b = -d / (seen + 1);
        mean -= b;
        const double e = value - mean;
        const double b2 = b * b;
        m4 += e * e * e * e + seen * b2 * b2 + 4 * b * m3 + 6 * b2 * m2;
        m3 += e * e * e + seen * b2 * b + 3 * b * m2;
        m2 += d * e;
    }
};

// Quartiles and median by linear interpolation between order statistics, NaN
// ordered last: each quantile interpolates between the order statistics k and
// k + 1 of all n values.
struct QuartileRanks {
    size_t ranks[6];
    double fractions[3];
    size_t distinct[6];  // the distinct ranks, ascending
    size_t distinct_count;

    explicit QuartileRanks(size_t n) {
        const double probabilities[] = {0.25, 0.5, 0.75};
        for (int q = 0; q < 3; ++q) {
            const double p = static_cast<double>(n - 1) * probabilities[q];
            ranks[2 * q] = static_cast<size_t>(p);
            ranks[2 * q + 1] = ranks[2 * q] + 1;
            fractions[q] = p - static_cast<double>(ranks[2 * q]);
        }
        std::copy(ranks, ranks + 6, distinct);
        std::sort(distinct, distinct + 6);
        distinct_count = static_cast<size_t>(std::unique(distinct, distinct + 6) - distinct);
    }
    // How many distinct ranks fall among the numbers; the rest, among the NaNs
    // that sort last, give NaN.
    size_t wanted(size_t numbers) const {
        return static_cast<size_t>(std::lower_bound(distinct, distinct + distinct_count, numbers) - distinct);
    }
    // The quartiles from the values at the first `wanted` distinct ranks.
    void store(const double* values_at, size_t wanted_count, StatsRow& row) const {
        const int targets[] = {kStatFirstQuartile, kStatMedian, kStatThirdQuartile};
        double order[6];
        for (int r = 0; r < 6; ++r) {
            const size_t at = static_cast<size_t>(std::lower_bound(distinct, distinct + distinct_count, ranks[r]) - distinct);
            order[r] = at < wanted_count ? values_at[at] : std::numeric_limits<double>::quiet_NaN();
        }
        for (int q = 0; q < 3; ++q)
            row[targets[q]] = (1 - fractions[q]) * order[2 * q] + fractions[q] * order[2 * q + 1];
    }
};

// The order statistics are selected, which gives the same numbers as a full
// sort; the values are reordered.
void select_quartiles(double* values, size_t n, const QuartileRanks& q, StatsRow& row) {
    double* const numbers_end = std::partition(values, values + n, [](double v) { return !std::isnan(v); });
    const size_t numbers = static_cast<size_t>(numbers_end - values);
    const size_t wanted = q.wanted(numbers);
    double values_at[6];
    select_order_statistics(values, numbers, q.distinct, wanted, values_at);
    q.store(values_at, wanted, row);
}

// One sample's summary in the making: its moments and, for a large sample,
// the brackets of its quartiles' ranks, both fed value by value in one loop.
struct SampleWork {
    double* values;
    size_t n;
    StatsRow* row;
    double* mean_residual;  // or null
    Moments m;
    QuartileRanks q;
    RankBrackets brackets;
    size_t nans;

    SampleWork(double* sample, size_t count, StatsRow& result, double* residual)
        : values(sample), n(count), row(&result), mean_residual(residual), m(sample[0]), q(count),
          nans(std::isnan(sample[0])) {
        if (count > 1 && brackets.plan(sample, count, q.distinct, q.distinct_count)) brackets.add(sample[0]);
    }
    void finish();
};

void SampleWork::finish() {
    StatsRow& r = *row;
    const double count = static_cast<double>(n);
    r[kStatCases] = count;
    const double mean = m.unshifted_mean();
    r[kStatMean] = mean;
    r[kStatSum] = count * mean;
    if (mean_residual) *mean_residual = m.mean_residual();
    r[kStatSumSquares] = m.m2;
    r[kStatStdDev] = n > 1 ? std::sqrt(m.m2 / (count - 1)) : 0;
    r[kStatMinimum] = m.minimum;
    r[kStatMaximum] = m.maximum;
    r[kStatRange] = m.maximum - m.minimum;
    const double v = m.m2 / count;
    if (v > 0) {
        r[kStatSkewness] = m.m3 / (count * v * std::sqrt(v));
        r[kStatKurtosis] = m.m4 / (count * v * v) - 3;
    }
    if (n == 1) {
        r[kStatMedian] = r[kStatFirstQuartile] = r[kStatThirdQuartile] = values[0];
        return;
    }
    const size_t wanted = q.wanted(n - nans);
    double values_at[6];
    if (brackets.brackets > 0 && brackets.finish(q.distinct, wanted, values_at))
        q.store(values_at, wanted, r);
    else
        select_quartiles(values, n, q, r);
}

// Values from .. to - 1 of one sample. The running sums are copied into
// locals for the loop: in the sample's record the compiler would have to store
// and reload them around every member written to a bracket, which lengthens
// the chain through the mean.
void run_range(SampleWork& work, size_t from, size_t to) {
    Moments m = work.m;
    size_t nans = work.nans;
    const double* const x = work.values;
    for (size_t i = from; i < to; ++i) {
        const double v = x[i];
        m.add(v, static_cast<double>(i));
        work.brackets.add(v);  // nothing once the brackets are given up
        nans += v != v;
    }
    work.m = m;
    work.nans = nans;
}

#if defined(__GNUC__)
typedef double TwoLanes __attribute__((vector_size(16)));
typedef long long TwoMasks __attribute__((vector_size(16)));

// Two samples' values from .. to - 1: their moments go through the lanes of
// vector registers, each lane the scalar update operation for operation
// (minimum and maximum without branches, which gives the same values: the
// minimum never exceeds the maximum).
void run_range_pair(SampleWork* work, size_t from, size_t to) {
    const Moments& a = work[0].m;
    const Moments& b = work[1].m;
    const TwoLanes shift = {a.shift, b.shift};
    TwoLanes mean = {a.mean, b.mean}, m2 = {a.m2, b.m2}, m3 = {a.m3, b.m3}, m4 = {a.m4, b.m4};
    TwoLanes minimum = {a.minimum, b.minimum}, maximum = {a.maximum, b.maximum};
    size_t nans0 = work[0].nans, nans1 = work[1].nans;
    const double* const x0 = work[0].values;
    const double* const x1 = work[1].values;
    const TwoLanes one = {1, 1}, three = {3, 3}, four = {4, 4}, six = {6, 6};
    for (size_t i = from; i < to; ++i) {
        const double v0 = x0[i], v1 = x1[i];
        const TwoLanes raw = {v0, v1};
        const double seen_scalar = static_cast<double>(i);
        const TwoLanes seen = {seen_scalar, seen_scalar};
        const TwoMasks lower = (TwoMasks)(raw < minimum), higher = (TwoMasks)(raw > maximum);
        minimum = (TwoLanes)(((TwoMasks)raw & lower) | ((TwoMasks)minimum & ~lower));
        maximum = (TwoLanes)(((TwoMasks)raw & higher) | ((TwoMasks)maximum & ~higher));
        const TwoLanes value = raw - shift;
        const TwoLanes d = value - mean;
        const TwoLanes step = -d / (seen + one);
        mean -= step;
        const TwoLanes e = value - mean;
        const TwoLanes step2 = step * step;
        m4 += e * e * e * e + seen * step2 * step2 + four * step * m3 + six * step2 * m2;
        m3 += e * e * e + seen * step2 * step + three * step * m2;
        m2 += d * e;
        work[0].brackets.add(v0);
        work[1].brackets.add(v1);
        nans0 += v0 != v0;
        nans1 += v1 != v1;
    }
    for (int s = 0; s < 2; ++s) {
        Moments& m = work[s].m;
        m.mean = mean[s];
        m.m2 = m2[s];
        m.m3 = m3[s];
        m.m4 = m4[s];
        m.minimum = minimum[s];
        m.maximum = maximum[s];
    }
    work[0].nans = nans0;
    work[1].nans = nans1;
}
#else
void run_range_pair(SampleWork* work, size_t from, size_t to) {
    run_range(work[0], from, to);
    run_range(work[1], from, to);
}
#endif

// One or two samples through one loop, run by run: with two, their update
// chains are independent and overlap.
void run_samples(SampleWork* work, size_t k) {
    const size_t longest = k == 2 ? std::max(work[0].n, work[1].n) : work[0].n;
    const size_t common = k == 2 ? std::min(work[0].n, work[1].n) : 0;
    for (size_t start = 1; start < longest; start += RankBrackets::kRun) {
        const size_t stop = std::min(start + RankBrackets::kRun, longest);
        const size_t shared = std::max(start, std::min(stop, common));
        if (shared > start) run_range_pair(work, start, shared);
        for (size_t s = 0; s < k; ++s) {
            if (shared < std::min(stop, work[s].n)) run_range(work[s], shared, std::min(stop, work[s].n));
            work[s].brackets.end_run();
        }
    }
}

}  // namespace

void describe_samples(double* const* values, const size_t* counts, StatsRow* const* rows, size_t k,
                      double* mean_residuals) {
    std::vector<SampleWork> work;
    work.reserve(k);
    for (size_t s = 0; s < k; ++s) {
        StatsRow& row = *rows[s];
        for (int i = kStatCases; i < kStatCount; ++i) row[i] = 0;
        double* residual = mean_residuals ? &mean_residuals[s] : nullptr;
        if (residual) *residual = 0;
        if (counts[s] > 0) work.emplace_back(values[s], counts[s], row, residual);
    }
    for (size_t s = 0; s < work.size(); s += 2) run_samples(&work[s], std::min<size_t>(2, work.size() - s));
    for (SampleWork& w : work) w.finish();
}

int describe_sample(double* values, size_t count, StatsRow& row, double* mean_residual) {
    StatsRow* const rows[] = {&row};
    describe_samples(&values, &count, rows, 1, mean_residual);
    return 0;
}

int stats_block_text(std::string& text, const StatsRow& row) {
    const size_t start = text.size();
    text += "\n";
    append_printf(text, "        CASES:   %12d\n", static_cast<int>(row[kStatCases]));
    append_printf(text, "         MEAN:   %12.3f         MEDIAN:  %12.3f\n", row[kStatMean], row[kStatMedian]);
    append_printf(text, "          SUM:   %12.3f FIRST QUARTILE:  %12.3f\n", row[kStatSum], row[kStatFirstQuartile]);
    append_printf(text, "   SUM OF SQR:   %12.3f THIRD QUARTILE:  %12.3f\n", row[kStatSumSquares],
                  row[kStatThirdQuartile]);
    append_printf(text, "   STND. DEV.:   %12.3f       SKEWNESS:  %12.3f\n", row[kStatStdDev], row[kStatSkewness]);
    append_printf(text, "      MINIMUM:   %12.3f       KURTOSIS:  %12.3f\n", row[kStatMinimum], row[kStatKurtosis]);
    append_printf(text, "      MAXIMUM:   %12.3f\n", row[kStatMaximum]);
    append_printf(text, "        RANGE:   %12.3f\n", row[kStatRange]);
    return static_cast<int>(text.size() - start);
}

}  // namespace quorix
