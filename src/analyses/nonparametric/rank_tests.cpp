#include "analyses/nonparametric/rank_tests.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "numeric/distributions.h"
#include "numeric/sorting.h"

namespace quorix {

namespace {

bool either_missing(double x, double y) { return x == kNotShown || y == kNotShown; }

// The cases of a pair present in both columns, into work.a and work.b.
size_t compact_pair(const double* x, const double* y, size_t n, PairWork& work) {
    work.a.resize(n);
    work.b.resize(n);
    size_t m = 0;
    for (size_t c = 0; c < n; ++c) {
        if (either_missing(x[c], y[c])) continue;
        work.a[m] = x[c];
        work.b[m++] = y[c];
    }
    return m;
}

// sort_index's order of a few keys (numbers ascending, NaN last, ties by
// position) by insertion, without the call and setup of a general sort.
constexpr int kInsertionUpTo = 16;

bool before(const double* keys, int a, int b) {
    const double x = keys[a], y = keys[b];
    if (x < y) return true;
    if (y < x) return false;
    const bool x_nan = x != x, y_nan = y != y;
    if (x_nan != y_nan) return y_nan;
    return a < b;
}

void order_few(int* index, int k, const double* keys) {
    for (int i = 0; i < k; ++i) {
        int j = i;
        for (; j > 0 && before(keys, i, index[j - 1]); --j) index[j] = index[j - 1];
        index[j] = i;
    }
}

double half_power(size_t exponent) { return std::ldexp(1.0, -static_cast<int>(exponent)); }

}  // namespace

SignResult sign_test(const double* x, const double* y, size_t n) {
    SignResult result;
    for (size_t c = 0; c < n; ++c) {
        if (either_missing(x[c], y[c])) continue;
        const double d = y[c] - x[c];
        if (d != 0) {
            ++result.nonzero;
            if (d > 0) ++result.positive;
        }
    }
    const int64_t nonzero = result.nonzero;
    const int64_t smaller = std::min<int64_t>(result.positive, nonzero - result.positive);
    const int64_t c = nonzero - 2 * smaller - 1;
    if (c < 1) return result;
    if (nonzero > 100) {
        const double cd = static_cast<double>(c);
        result.p = gamma_q(0.5, cd * cd / static_cast<double>(nonzero) / 2);
        return result;
    }
    double term = 1, sum = 1;
    for (int64_t i = 1; i <= smaller; ++i) {
        term = term * static_cast<double>(nonzero - i + 1) / static_cast<double>(i);
        sum += term;
    }
    result.p = half_power(static_cast<size_t>(nonzero - 1)) * sum;
    return result;
}

WilcoxonResult wilcoxon_test(const double* x, const double* y, size_t n, PairWork& work) {
    WilcoxonResult result;
    work.a.resize(n);
    work.positive.resize(n);
    size_t m = 0;
    for (size_t c = 0; c < n; ++c) {
        if (either_missing(x[c], y[c])) continue;
        const double d = y[c] - x[c];
        if (d == 0) continue;
        work.a[m] = std::fabs(d);
        work.positive[m++] = d > 0;
    }
    result.nonzero = static_cast<int32_t>(m);
    if (m < 2) return result;
    // The ranks rank_average gives, through the radix order for long columns.
    double* const ranks = work.a.data();
    if (!compute_rank_codes(ranks, static_cast<int>(m), work.codes_x, &work.scratch, false)) throw std::bad_alloc();
    average_ranks(work.codes_x, ranks);
    double plus = 0, minus = 0;
    for (size_t i = 0; i < m; ++i) (work.positive[i] ? plus : minus) += ranks[i];
    const double t = std::min(plus, minus);
    result.smaller_sum = t;
    if (plus == minus) return result;
    if (t <= 2.5) {
        double count = 1;
        if (t > 0)
            for (size_t i = 0; i < m; ++i) count += ranks[i] <= t;
        result.p = half_power(m - 1) * count;
    } else if (m > 8) {
        const double nd = static_cast<double>(m);
        const double centre = nd * (nd + 1) / 4 - t;
        const double z2 = centre * centre / (nd * (nd + 1) * (2 * nd + 1) / 24);
        result.p = gamma_q(0.5, z2 / 2);
    } else {
        // Every sign pattern of the first m - 1 ranks; the last one's sign is
        // fixed, which halves the count of the two-sided tail.
        const double larger = std::max(plus, minus);
        int count = 0;
        for (unsigned subset = 0; subset < (1u << (m - 1)); ++subset) {
            double sum = 0;
            for (size_t i = 0; i + 1 < m; ++i)
                if (subset & (1u << i)) sum += ranks[i];
            count += sum <= t || sum >= larger;
        }
        result.p = half_power(m - 1) * count;
    }
    return result;
}

double kolmogorov_q(double z) {
    if (!(z > 0.0625)) return 1.0;
    const int terms = static_cast<int>(std::sqrt(10 / z)) + 1;
    double sum = 0, sign = 1;
    for (int k = 1; k <= terms; ++k) {
        sum += sign * std::exp(-2.0 * k * k * z);
        sign = -sign;
    }
    return 2 * sum;
}

KsResult ks_test(const double* a, size_t na, const double* b, size_t nb) {
    KsResult result;
    if (na == 0 || nb == 0) return result;
    const double size_a = static_cast<double>(na), size_b = static_cast<double>(nb);
    size_t i = 0, j = 0;
    double fa = 0, fb = 0, d = 0;
    while (i < na && j < nb) {
        if (b[j] <= a[i]) {
            const double old = fb;
            fb = static_cast<double>(++j) / size_b;
            d = std::max({d, std::fabs(old - fa), std::fabs(fb - fa)});
        } else {
            const double old = fa;
            fa = static_cast<double>(++i) / size_a;
            d = std::max({d, std::fabs(old - fb), std::fabs(fa - fb)});
        }
    }
    if (d > 0) {
        result.d = d;
        result.p = std::min(na, nb) >= 20 ? kolmogorov_q(d * d * size_a * size_b / (size_a + size_b)) : kNotShown;
    }
    return result;
}

void sorted_sample(const double* column, const int32_t* order, size_t n, std::vector<double>& sample) {
    sample.clear();
    for (size_t p = 0; p < n; ++p) {
        const double value = column[order[p]];
        if (value != kNotShown) sample.push_back(value);
    }
}

Correlation spearman_from_ranks(const double* rank_x, const double* rank_y, size_t n, double tie_x, double tie_y) {
    Correlation result;
    result.n = static_cast<int64_t>(n);
    if (n < 2) return result;
    double d = 0;
    for (size_t c = 0; c < n; ++c) {
        const double gap = rank_x[c] - rank_y[c];
        d += gap * gap;
    }
    const double nd = static_cast<double>(n);
    const double m = nd * (nd * nd - 1);
    double r;
    if (tie_x == 0 && tie_y == 0) {
        r = 1 - 6 * d / m;
    } else {
        const double sx = (m - tie_x) / 12, sy = (m - tie_y) / 12;
        if (sx <= 0 || sy <= 0) return result;
        r = (sx + sy - d) / (2 * std::sqrt(sx * sy));
    }
    result.r = r;
    if (r == 0) return result;
    if (n < 10)
        result.p = kNotShown;
    else if (r * r >= 1)
        result.p = 0;
    else
        result.p = f_upper_p(1, static_cast<int>(n - 2), (nd - 2) * r * r / (1 - r * r));
    return result;
}

Correlation kendall_from_counts(const KendallCounts& counts, size_t n) {
    Correlation result;
    result.n = static_cast<int64_t>(n);
    if (n < 2 || counts.s == 0) return result;
    const double tau = static_cast<double>(counts.s) /
                       std::sqrt(std::fabs(static_cast<double>(counts.untied_x) * static_cast<double>(counts.untied_y)));
    result.r = tau;
    if (n < 11) {
        result.p = kNotShown;
    } else {
        const double nd = static_cast<double>(n);
        const double z2 = 9 * (nd - 1) * tau * tau / (4 + 10 / nd);
        result.p = gamma_q(0.5, z2 / 2);
    }
    return result;
}

Correlation spearman_test(const double* x, const double* y, size_t n, PairWork& work) {
    const size_t m = compact_pair(x, y, n, work);
    if (m < 2) return spearman_from_ranks(nullptr, nullptr, m, 0, 0);
    if (!compute_rank_codes(work.a.data(), static_cast<int>(m), work.codes_x, &work.scratch, false) ||
        !compute_rank_codes(work.b.data(), static_cast<int>(m), work.codes_y, &work.scratch, false))
        throw std::bad_alloc();
    const double tie_x = average_ranks(work.codes_x, work.a.data());
    const double tie_y = average_ranks(work.codes_y, work.b.data());
    return spearman_from_ranks(work.a.data(), work.b.data(), m, tie_x, tie_y);
}

Correlation kendall_test(const double* x, const double* y, size_t n, PairWork& work) {
    const size_t m = compact_pair(x, y, n, work);
    if (m < 2) return kendall_from_counts(KendallCounts(), m);
    if (!compute_rank_codes(work.a.data(), static_cast<int>(m), work.codes_x, &work.scratch) ||
        !compute_rank_codes(work.b.data(), static_cast<int>(m), work.codes_y, &work.scratch))
        throw std::bad_alloc();
    return kendall_from_counts(kendall_counts(work.codes_x, work.codes_y, work.kendall, work.merge), m);
}

KruskalResult kruskal_wallis(const double* values, const int* group, size_t n, int groups) {
    PairWork work;
    return kruskal_wallis(values, group, n, groups, work);
}

KruskalResult kruskal_wallis(const double* values, const int* group, size_t n, int groups, PairWork& work) {
    KruskalResult result;
    const size_t g_count = groups > 0 ? static_cast<size_t>(groups) : 0;
    result.count.assign(g_count, 0);
    result.rank_sum.assign(g_count, 0.0);
    std::vector<double>& ranks = work.a;
    std::vector<int>& members = work.members;
    ranks.resize(n);
    members.resize(n);
    size_t total = 0;
    for (size_t c = 0; c < n; ++c) {
        if (group[c] < 0 || group[c] >= groups || values[c] == kNotShown) continue;
        ranks[total] = values[c];
        members[total++] = group[c];
        ++result.count[static_cast<size_t>(group[c])];
    }
    result.n = static_cast<int32_t>(total);
    if (total < 1) return result;
    // rank_average's ranks and tie sum, through the radix order for long columns.
    if (!compute_rank_codes(ranks.data(), static_cast<int>(total), work.codes_x, &work.scratch, false))
        throw std::bad_alloc();
    const double tie_sum = average_ranks(work.codes_x, ranks.data());
    for (size_t c = 0; c < total; ++c) result.rank_sum[static_cast<size_t>(members[c])] += ranks[c];
    if (total < 2) return result;
    result.tie_sum = tie_sum;
    const double nd = static_cast<double>(total);
    double sum = 0;
    for (size_t g = 0; g < g_count; ++g) {
        if (result.count[g] == 0) continue;
        const double size = result.count[g];
        const double gap = result.rank_sum[g] / size - (nd + 1) / 2;
        sum += size * gap * gap;
    }
    double h = 12 / (nd * (nd + 1)) * sum;
    const double d = (nd - 1) * nd * (nd + 1);
    if (tie_sum > 0 && tie_sum < d) h = h * d / (d - tie_sum);
    result.h = h;
    return result;
}

FriedmanResult friedman_test(const std::vector<const double*>& columns, size_t n) {
    FriedmanResult result;
    const size_t k = columns.size();
    result.rank_sum.assign(k, 0.0);
    if (k == 0) return result;
    std::vector<double> keys(k);
    std::vector<int> index(k);
    const int kk = static_cast<int>(k);
    for (size_t c = 0; c < n; ++c) {
        bool complete = true;
        for (size_t j = 0; j < k && complete; ++j) {
            keys[j] = columns[j][c];
            complete = keys[j] != kNotShown;
        }
        if (!complete) continue;
        ++result.n;
        if (kk <= kInsertionUpTo)
            order_few(index.data(), kk, keys.data());
        else
            sort_index(index.data(), kk, keys.data());
        int start = 0;
        while (start < kk) {
            const double key = keys[static_cast<size_t>(index[static_cast<size_t>(start)])];
            int end = start + 1;
            while (end < kk && keys[static_cast<size_t>(index[static_cast<size_t>(end)])] == key) ++end;
            const double rank = (static_cast<double>(start) + end + 1) / 2.0;
            for (int i = start; i < end; ++i) result.rank_sum[static_cast<size_t>(index[static_cast<size_t>(i)])] += rank;
            start = end;
        }
    }
    if (result.n == 0 || k < 2) return result;
    const double kd = static_cast<double>(k), nd = result.n;
    double squares = 0;
    for (const double sum : result.rank_sum) squares += sum * sum;
    result.chi_square = 12 * squares / (kd * nd * (kd + 1)) - 3 * nd * (kd + 1);
    result.w = result.chi_square / ((kd - 1) * nd);
    result.p = gamma_q((kd - 1) / 2, result.chi_square / 2);
    return result;
}

}  // namespace quorix
