#include "numeric/sorting.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstdlib>
#include <cstring>


namespace quorix {

void sort_index(int* idx, int n, const double* keys) {
    if (n < 1 || idx == nullptr || keys == nullptr) return;
    for (int i = 0; i < n; ++i) idx[i] = i;
    // A strict total order whatever the keys hold: numbers by value (-0.0 and
    // 0.0 alike), NaN after them all, ties by position. std::sort is an
    // introsort: O(n log n) at worst and in place.
    std::sort(idx, idx + n, [keys](int a, int b) {
        const double x = keys[a];
        const double y = keys[b];
        if (x < y) return true;
        if (y < x) return false;
        const bool x_nan = std::isnan(x);
        const bool y_nan = std::isnan(y);
        if (x_nan != y_nan) return y_nan;
        return a < b;
    });
}

namespace {

// Arrays from this size on are selected through a sample.
constexpr size_t kSampledSelectionFrom = size_t{1} << 17;
constexpr size_t kSampleSize = size_t{1} << 15;
// Half a bracket, in sample positions: over four standard deviations of a
// sample quantile's position (sqrt(kSampleSize p (1 - p)), at most 91), so that
// a rank falls outside its bracket rarely (about once in 10,000 brackets; the
// selection then runs in the whole array). A bracket holds about 2.3% of the
// values.
constexpr size_t kBracketHalfWidth = 384;

}  // namespace

bool RankBrackets::plan(const double* values, size_t n, const size_t* ranks, size_t count) {
    brackets = 0;
    overflowed = false;
    if (n < kSampledSelectionFrom || count > kMax) return false;
    std::vector<double> sample(kSampleSize);
    for (size_t i = 0; i < kSampleSize; ++i) {
        sample[i] = values[i * n / kSampleSize];
        if (std::isnan(sample[i])) return false;
    }
    std::sort(sample.begin(), sample.end());

    // Brackets of values [low, high] around each rank, merged where they overlap.
    for (size_t r = 0; r < count; ++r) {
        const size_t at = static_cast<size_t>(static_cast<double>(ranks[r]) / static_cast<double>(n) * kSampleSize);
        const size_t from = at > kBracketHalfWidth ? at - kBracketHalfWidth : 0;
        const size_t to = std::min(at + kBracketHalfWidth, kSampleSize - 1);
        const double low_value = from == 0 ? -HUGE_VAL : sample[from];
        const double high_value = to == kSampleSize - 1 ? HUGE_VAL : sample[to];
        if (brackets > 0 && low_value <= high[brackets - 1]) {
            high[brackets - 1] = std::max(high[brackets - 1], high_value);
        } else {
            low[brackets] = low_value;
            high[brackets] = high_value;
            first_rank[brackets++] = r;
        }
    }
    // Every value is written to every bracket, only members advance: room
    // for the limit and one run beyond it.
    limit = n / 32;
    for (size_t b = 0; b < brackets; ++b) {
        below[b] = size[b] = 0;
        members[b].resize(limit + kRun + 1);
    }
    return true;
}

bool RankBrackets::end_run() {
    for (size_t b = 0; b < brackets; ++b) overflowed = overflowed || size[b] > limit;
    if (overflowed) brackets = 0;  // the rest of the pass writes nothing
    return !overflowed;
}

bool RankBrackets::finish(const size_t* ranks, size_t wanted, double* out) {
    if (overflowed) return false;
    for (size_t b = 0; b < brackets; ++b) {
        double* lower = members[b].data();
        double* const end = lower + size[b];
        const size_t last_rank = std::min(b + 1 < brackets ? first_rank[b + 1] : wanted, wanted);
        for (size_t r = first_rank[b]; r < last_rank; ++r) {
            if (ranks[r] < below[b] || ranks[r] - below[b] >= size[b]) return false;
            double* const nth = members[b].data() + (ranks[r] - below[b]);
            // The rank after one just selected is the least of what lies above it.
            if (nth == lower + 1 && r > first_rank[b])
                std::iter_swap(nth, std::min_element(nth, end));
            else
                std::nth_element(lower, nth, end);
            out[r] = *nth;
            lower = nth;
        }
    }
    return true;
}

namespace {

bool select_by_sample(const double* values, size_t n, const size_t* ranks, size_t count, double* out) {
    RankBrackets brackets;
    if (!brackets.plan(values, n, ranks, count)) return false;
    for (size_t start = 0; start < n; start += RankBrackets::kRun) {
        const size_t stop = std::min(start + RankBrackets::kRun, n);
        for (size_t i = start; i < stop; ++i) brackets.add(values[i]);
        if (!brackets.end_run()) return false;
    }
    return brackets.finish(ranks, count, out);
}

}  // namespace

// Ascending order of doubles without NaN, -0.0 before 0.0: a least-significant
// digit radix sort on order-preserving keys, linear in n, for large arrays.
void sort_numbers(double* values, size_t n) {
    constexpr size_t kRadixFrom = 1 << 16;
    constexpr int kDigitBits = 11;
    constexpr int kDigits = 6;  // 66 bits cover the 64 of a key
    constexpr size_t kBuckets = size_t{1} << kDigitBits;
    if (n < kRadixFrom) {
        std::sort(values, values + n);
        return;
    }
    // The keys live in the array itself (their bits stored in its doubles) and
    // in one spare array, each pass moving them from one to the other.
    const auto load = [](const double* at) {
        uint64_t bits;
        std::memcpy(&bits, at, sizeof bits);
        return bits;
    };
    const auto store = [](double* at, uint64_t bits) { std::memcpy(at, &bits, sizeof bits); };
    std::vector<double> spare(n);
    std::vector<size_t> counts(kDigits * kBuckets, 0);
    for (size_t i = 0; i < n; ++i) {
        const uint64_t bits = load(&values[i]);
        // Negative numbers reversed below the positive ones.
        const uint64_t key = (bits >> 63) ? ~bits : bits | (uint64_t{1} << 63);
        store(&values[i], key);
        for (int d = 0; d < kDigits; ++d) ++counts[d * kBuckets + ((key >> (d * kDigitBits)) & (kBuckets - 1))];
    }
    double* from = values;
    double* to = spare.data();
    for (int d = 0; d < kDigits; ++d) {
        size_t* const count = &counts[d * kBuckets];
        if (count[load(from) >> (d * kDigitBits) & (kBuckets - 1)] == n) continue;  // one digit value: nothing to do
        size_t position = 0;
        for (size_t b = 0; b < kBuckets; ++b) {
            const size_t here = count[b];
            count[b] = position;
            position += here;
        }
        for (size_t i = 0; i < n; ++i) {
            const uint64_t key = load(&from[i]);
            store(&to[count[(key >> (d * kDigitBits)) & (kBuckets - 1)]++], key);
        }
        std::swap(from, to);
    }
    for (size_t i = 0; i < n; ++i) {
        const uint64_t key = load(&from[i]);
        store(&values[i], (key >> 63) ? key & ~(uint64_t{1} << 63) : ~key);
    }
}

void select_order_statistics(double* values, size_t n, const size_t* ranks, size_t count, double* out) {
    if (n == 0 || count == 0) return;
    if (n >= kSampledSelectionFrom && select_by_sample(values, n, ranks, count, out)) return;
    double* lower = values;  // everything before it is in its final place
    for (size_t r = 0; r < count; ++r) {
        double* const nth = values + ranks[r];
        std::nth_element(lower, nth, values + n);
        out[r] = *nth;
        lower = nth;
    }
}

double rank_average(double* keys, int n, int* work) {
    if (n < 1 || keys == nullptr) return 0.0;
    std::vector<int> own;
    if (work == nullptr) {
        own.resize(static_cast<size_t>(n));
        work = own.data();
    }
    sort_index(work, n, keys);
    double tie_sum = 0.0;
    int start = 0;
    while (start < n) {
        // Read the whole group before any of its keys is overwritten.
        const double key = keys[work[start]];
        int end = start + 1;
        while (end < n && keys[work[end]] == key) ++end;
        const double rank = (static_cast<double>(start) + end + 1) / 2.0;
        for (int i = start; i < end; ++i) keys[work[i]] = rank;
        const double t = end - start;
        if (t > 1) tie_sum += t * (t * t - 1.0);
        start = end;
    }
    return tie_sum;
}

void apply_permutation(double* array, int n, const int* perm) {
    if (n < 1 || array == nullptr || perm == nullptr) return;
    // A bitmap instead of marks in perm: every int may be a caller's
    // out-of-range entry, so no mark value could be told apart from one.
    std::vector<bool> visited(static_cast<size_t>(n), false);
    for (int start = 0; start < n; ++start) {
        if (visited[start]) continue;
        visited[start] = true;
        const double first = array[start];
        int at = start;
        for (;;) {
            const int from = perm[at];
            if (from == start || from < 0 || from >= n || visited[from]) {
                array[at] = first;
                break;
            }
            array[at] = array[from];
            visited[from] = true;
            at = from;
        }
    }
}

namespace {

// The distinct numbers of a column counted in an open-addressing hash table
// keyed by their bits (both zeros as one key, the bits of 0.0), for columns of
// few of them: the slots hold indices into a list of (key, count), the table
// grows with the numbers found, at most half full, and is given up (false)
// once it would pass half a slot per value. Otherwise distinct[0..k) receives
// the numbers in ascending order, a zero as the first zero read, and counts
// (when given) their frequencies; NaNs are only counted.
bool count_distinct_hashed(const double* values, int n, double* distinct, int* counts, int& k, int& nans) {
    struct Tally {
        uint64_t key;
        int count;
    };
    size_t max_slots = 16;
    while (max_slots * 4 <= static_cast<size_t>(n)) max_slots *= 2;
    int shift = 60;  // 64 minus the bits of a slot number
    std::vector<uint32_t> slots(size_t{1} << (64 - shift), 0);  // 0 free, else list index + 1
    std::vector<Tally> tallies;
    tallies.reserve(max_slots / 2);  // pages are taken as the list grows
    const auto home = [&shift](uint64_t key) {
        return static_cast<size_t>(((key ^ (key >> 29)) * 0x9E3779B97F4A7C15ull) >> shift);
    };
    // The slot of key, or the free slot where it belongs. A probe longer than
    // kMaxProbe (values made to collide) gives the table up, so that no
    // column can make the count quadratic.
    constexpr size_t kMaxProbe = 64;
    constexpr size_t kGiveUp = ~size_t{0};
    const auto find = [&home, &tallies](const std::vector<uint32_t>& table, uint64_t key) {
        const size_t mask = table.size() - 1;
        size_t at = home(key);
        for (size_t probe = 0; table[at] != 0 && tallies[table[at] - 1].key != key; at = (at + 1) & mask)
            if (++probe > kMaxProbe) return kGiveUp;
        return at;
    };

    bool zero_seen = false;
    double first_zero = 0.0;
    nans = 0;
    for (int i = 0; i < n; ++i) {
        const double v = values[i];
        if (std::isnan(v)) {
            ++nans;
            continue;
        }
        uint64_t key = 0;
        if (v != 0.0) {
            std::memcpy(&key, &v, sizeof key);
        } else if (!zero_seen) {
            zero_seen = true;
            first_zero = v;
        }
        const size_t at = find(slots, key);
        if (at == kGiveUp) return false;
        if (slots[at] != 0) {
            ++tallies[slots[at] - 1].count;
            continue;
        }
        if (2 * (tallies.size() + 1) > slots.size()) {
            if (slots.size() >= max_slots) return false;
            std::vector<uint32_t> more(2 * slots.size(), 0);
            --shift;
            for (size_t t = 0; t < tallies.size(); ++t) {
                const size_t to = find(more, tallies[t].key);
                if (to == kGiveUp) return false;
                more[to] = static_cast<uint32_t>(t + 1);
            }
            slots.swap(more);
            const size_t free_at = find(slots, key);
            if (free_at == kGiveUp) return false;
            slots[free_at] = static_cast<uint32_t>(tallies.size() + 1);
        } else {
            slots[at] = static_cast<uint32_t>(tallies.size() + 1);
        }
        tallies.push_back(Tally{key, 1});
    }
    std::vector<uint32_t>().swap(slots);

    const auto number = [](uint64_t key) {
        double v;
        std::memcpy(&v, &key, sizeof v);
        return v;
    };
    std::sort(tallies.begin(), tallies.end(),
              [&number](const Tally& a, const Tally& b) { return number(a.key) < number(b.key); });
    k = static_cast<int>(tallies.size());
    for (int j = 0; j < k; ++j) {
        distinct[j] = tallies[j].key == 0 ? first_zero : number(tallies[j].key);
        if (counts != nullptr) counts[j] = tallies[j].count;
    }
    return true;
}

}  // namespace

int count_distinct(const double* values, int n, double* distinct, int* counts) {
    if (n < 1 || values == nullptr || distinct == nullptr) return 0;
    // The result is that of inserting each value in turn into an ascending
    // list at the first entry it is <= to, counting it there when equal. So:
    //  - -0.0 and 0.0 are one entry holding the first zero read;
    //  - a NaN is <= nothing and equal to nothing: it is appended, count 1,
    //    and later numbers land before it exactly when they are <= the
    //    largest number read before it. Each NaN thus sits behind the numbers
    //    not above that running maximum, NaNs in input order.
    // The numbers are counted here instead, in a hash table while they are
    // few, else sorted and run-length counted in distinct itself; the NaNs
    // are merged in afterwards.
    int k = 0;
    int nans = 0;
    if (!count_distinct_hashed(values, n, distinct, counts, k, nans)) {
        int numbers = 0;
        nans = 0;
        bool zero_seen = false;
        double first_zero = 0.0;
        for (int i = 0; i < n; ++i) {
            const double v = values[i];
            if (std::isnan(v)) {
                ++nans;
                continue;
            }
            if (v == 0.0 && !zero_seen) {
                zero_seen = true;
                first_zero = v;
            }
            distinct[numbers++] = v;
        }
        sort_numbers(distinct, static_cast<size_t>(numbers));
        k = 0;
        for (int i = 0; i < numbers;) {
            int end = i + 1;
            while (end < numbers && distinct[end] == distinct[i]) ++end;
            distinct[k] = distinct[i] == 0.0 ? first_zero : distinct[i];
            if (counts != nullptr) counts[k] = end - i;
            ++k;
            i = end;
        }
    }
    if (nans == 0) return k;

    // Move the numbers to the tail, then fill from the front: the write
    // position never passes the read position.
    const int total = k + nans;
    std::copy_backward(distinct, distinct + k, distinct + total);
    if (counts != nullptr) std::copy_backward(counts, counts + k, counts + total);
    int write = 0;
    int read = nans;
    bool any_number = false;
    double running_max = 0.0;
    for (int i = 0; i < n; ++i) {
        const double v = values[i];
        if (!std::isnan(v)) {
            if (!any_number || v > running_max) running_max = v;
            any_number = true;
            continue;
        }
        while (any_number && read < total && distinct[read] <= running_max) {
            distinct[write] = distinct[read];
            if (counts != nullptr) counts[write] = counts[read];
            ++write;
            ++read;
        }
        distinct[write] = v;
        if (counts != nullptr) counts[write] = 1;
        ++write;
    }
    return total;
}

namespace {

// Columns of few categories, the common case of grouping variables, are coded
// in two passes through a small hash table keyed by the values' bits (both
// zeros as one key, holding the first zero read). False when a NaN or more
// than kFewCategories distinct values turn up.
constexpr size_t kFewCategories = 256;

bool code_few_categories(const std::vector<double>& cases, Categories& c) {
    constexpr size_t kSlots = 4 * kFewCategories;
    std::vector<uint64_t> keys(kSlots);
    std::vector<int> slot_of_key(kSlots, -1);  // index into the distinct values, or -1 when free
    c.values.clear();
    c.counts.clear();
    c.codes.resize(cases.size());
    for (size_t i = 0; i < cases.size(); ++i) {
        const double v = cases[i];
        if (std::isnan(v)) return false;
        uint64_t key;
        const double normalized = v == 0.0 ? 0.0 : v;
        std::memcpy(&key, &normalized, sizeof key);
        size_t slot = static_cast<size_t>((key * 0x9E3779B97F4A7C15ull) >> 54) & (kSlots - 1);
        while (slot_of_key[slot] >= 0 && keys[slot] != key) slot = (slot + 1) & (kSlots - 1);
        if (slot_of_key[slot] < 0) {
            if (c.values.size() == kFewCategories) return false;
            keys[slot] = key;
            slot_of_key[slot] = static_cast<int>(c.values.size());
            c.values.push_back(v);
            c.counts.push_back(0);
        }
        const int found = slot_of_key[slot];
        ++c.counts[static_cast<size_t>(found)];
        c.codes[i] = found;
    }
    // Ascending order of the distinct values, then the codes renumbered.
    std::vector<int> order(c.values.size());
    for (size_t j = 0; j < order.size(); ++j) order[j] = static_cast<int>(j);
    std::sort(order.begin(), order.end(), [&c](int a, int b) { return c.values[a] < c.values[b]; });
    std::vector<int> rank(order.size());
    std::vector<double> values(order.size());
    std::vector<int> counts(order.size());
    for (size_t r = 0; r < order.size(); ++r) {
        rank[static_cast<size_t>(order[r])] = static_cast<int>(r);
        values[r] = c.values[static_cast<size_t>(order[r])];
        counts[r] = c.counts[static_cast<size_t>(order[r])];
    }
    c.values.swap(values);
    c.counts.swap(counts);
    for (int& code : c.codes) code = rank[static_cast<size_t>(code)];
    return true;
}

}  // namespace

Categories code_categories(const std::vector<double>& cases) {
    Categories c;
    if (code_few_categories(cases, c)) return c;
    const int n = static_cast<int>(cases.size());
    c.values.resize(cases.size());
    c.counts.resize(cases.size());
    const int k = count_distinct(cases.data(), n, c.values.data(), c.counts.data());
    c.values.resize(static_cast<size_t>(k));
    c.counts.resize(static_cast<size_t>(k));

    std::vector<double> numbers;
    std::vector<int> number_at, nan_at;
    for (int j = 0; j < k; ++j) {
        if (std::isnan(c.values[j])) {
            nan_at.push_back(j);
        } else {
            numbers.push_back(c.values[j]);
            number_at.push_back(j);
        }
    }
    c.codes.resize(cases.size());
    size_t next_nan = 0;
    for (size_t i = 0; i < cases.size(); ++i) {
        const double v = cases[i];
        if (std::isnan(v)) {
            c.codes[i] = next_nan < nan_at.size() ? nan_at[next_nan++] : 0;
            continue;
        }
        // Every number of the column is in the list: the search finds it exactly.
        const size_t at = static_cast<size_t>(std::lower_bound(numbers.begin(), numbers.end(), v) - numbers.begin());
        c.codes[i] = at < number_at.size() ? number_at[at] : 0;
    }
    return c;
}

void covariance_to_correlation(int k, double* packed, double* sd) {
    if (k < 1 || packed == nullptr || sd == nullptr) return;
    for (int i = 0; i < k; ++i) {
        const double c = packed[static_cast<size_t>(i) * (i + 1) / 2 + i];
        sd[i] = c == 0.0 ? 0.0 : std::sqrt(std::fabs(c));
    }
    for (int i = 0; i < k; ++i) {
        for (int j = 0; j <= i; ++j) {
            double& element = packed[static_cast<size_t>(i) * (i + 1) / 2 + j];
            element = (sd[i] > 0.0 && sd[j] > 0.0) ? element / (sd[i] * sd[j]) : 0.0;
        }
    }
}

}  // namespace quorix
