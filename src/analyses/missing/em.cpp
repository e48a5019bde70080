#include "analyses/missing/em.h"

#include <algorithm>
#include <cmath>
#include <cstddef>
#include <cstdio>
#include <map>
#include <new>
#include <string>
#include <unordered_map>

#include "analyses/common/covariance.h"
#include "analyses/common/matrix_file.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"
#include "numeric/sorting.h"
#include "numeric/sweep.h"
#include "report/matrix_text.h"
#include "report/result_document.h"

namespace quorix {

namespace {

size_t index_of(size_t i, size_t j) { return i >= j ? packed_index(i, j) : packed_index(j, i); }

int bit_count(uint64_t x) {
    x = x - ((x >> 1) & 0x5555555555555555u);
    x = (x & 0x3333333333333333u) + ((x >> 2) & 0x3333333333333333u);
    x = (x + (x >> 4)) & 0x0f0f0f0f0f0f0f0fu;
    return static_cast<int>((x * 0x0101010101010101u) >> 56);
}

int missing_count(const char* mask, size_t k) {
    int count = 0;
    for (size_t i = 0; i < k; ++i) count += !mask[i];
    return count;
}

}  // namespace

void order_patterns(EmData& data, const std::vector<double>& file_order_values, const std::vector<int>& case_numbers) {
    const size_t k = static_cast<size_t>(data.k), n = case_numbers.size();
    std::vector<char> masks(n * k);
    for (size_t t = 0; t < n * k; ++t) masks[t] = file_order_values[t] != kSystemMissing;
    std::vector<size_t> order;
    std::vector<char> placed(n, 0);
    data.pattern_start.clear();
    data.complete = 0;
    for (size_t t = 0; t < n; ++t)
        if (missing_count(&masks[t * k], k) == 0) {
            if (order.empty()) data.pattern_start.push_back(0);
            order.push_back(t);
            placed[t] = 1;
            ++data.complete;
        }
    // Cases with the same mask form one pattern: group them once (in order of
    // first appearance), with each mask as bits, so that choosing the nearest
    // next pattern compares patterns, not cases.
    const size_t words = (k + 63) / 64;
    std::map<std::string, size_t> group_of;
    std::vector<std::vector<size_t>> members;
    std::vector<uint64_t> bits;
    std::vector<int> missing;
    // Up to 64 variables the mask's bits are the key; beyond, the mask itself.
    std::unordered_map<uint64_t, size_t> group_of_mask;
    for (size_t t = 0; t < n; ++t) {
        if (placed[t]) continue;
        size_t group = members.size();
        if (words == 1) {
            uint64_t key = 0;
            for (size_t i = 0; i < k; ++i) key |= static_cast<uint64_t>(!masks[t * k + i]) << i;
            group = group_of_mask.emplace(key, members.size()).first->second;
        } else {
            group = group_of.emplace(std::string(&masks[t * k], k), members.size()).first->second;
        }
        if (group == members.size()) {
            members.emplace_back();
            missing.push_back(missing_count(&masks[t * k], k));
            bits.resize(bits.size() + words, 0);
            for (size_t i = 0; i < k; ++i)
                if (!masks[t * k + i]) bits[group * words + i / 64] |= uint64_t{1} << (i % 64);
        }
        members[group].push_back(t);
    }
    auto distance = [&](size_t a, size_t b) {
        int count = 0;
        for (size_t w = 0; w < words; ++w) count += bit_count(bits[a * words + w] ^ bits[b * words + w]);
        return count;
    };
    // The first case with the most missing cells starts the incomplete patterns.
    const size_t groups = members.size();
    std::vector<char> used(groups, 0);
    size_t current = groups;
    for (size_t g = 0; g < groups; ++g)
        if (current == groups || missing[g] > missing[current]) current = g;
    // The nearest remaining pattern is looked up, while that is cheaper than
    // comparing with every remaining pattern, among the masks at distance 1,
    // 2, ... from the current one (up to 64 variables); else the remaining
    // patterns are scanned. Both find the same pattern: the nearest, ties to
    // more missing cells, then to the earlier first case.
    std::vector<size_t> alive(groups);
    for (size_t g = 0; g < groups; ++g) alive[g] = g;
    size_t remaining = groups;
    std::vector<int> positions;
    while (current < groups) {
        data.pattern_start.push_back(static_cast<int>(order.size()));
        order.insert(order.end(), members[current].begin(), members[current].end());
        used[current] = 1;
        --remaining;
        if (words == 1) group_of_mask.erase(bits[current]);
        size_t next = groups;
        int nearest = 0;
        auto consider = [&](size_t g, int d) {
            if (next == groups || d < nearest || (d == nearest && (missing[g] > missing[next] ||
                                                                   (missing[g] == missing[next] && g < next)))) {
                next = g;
                nearest = d;
            }
        };
        bool found = remaining == 0;
        double ring = 1;  // masks at the distance tried next: C(k, d)
        for (int d = 1; words == 1 && !found && d <= static_cast<int>(k); ++d) {
            ring = ring * static_cast<double>(k - static_cast<size_t>(d) + 1) / d;
            if (ring > static_cast<double>(remaining)) break;
            // Every set of d of the k positions, flipped in the current mask.
            positions.resize(static_cast<size_t>(d));
            for (int i = 0; i < d; ++i) positions[static_cast<size_t>(i)] = i;
            for (;;) {
                uint64_t flip = 0;
                for (int i : positions) flip |= uint64_t{1} << i;
                const auto hit = group_of_mask.find(bits[current] ^ flip);
                if (hit != group_of_mask.end()) consider(hit->second, d);
                int i = d - 1;
                while (i >= 0 && positions[static_cast<size_t>(i)] == static_cast<int>(k) - d + i) --i;
                if (i < 0) break;
                ++positions[static_cast<size_t>(i)];
                for (int j = i + 1; j < d; ++j) positions[static_cast<size_t>(j)] = positions[static_cast<size_t>(j - 1)] + 1;
            }
            found = next < groups;
        }
        if (!found) {
            size_t kept = 0;
            for (size_t g : alive) {
                if (used[g]) continue;
                alive[kept++] = g;
                consider(g, distance(g, current));
            }
            alive.resize(kept);
        }
        current = next;
    }
    data.pattern_start.push_back(static_cast<int>(order.size()));
    data.n = static_cast<int>(n);
    data.case_numbers.resize(n);
    data.values.resize(n * k);
    data.present.resize(n * k);
    for (size_t p = 0; p < n; ++p) {
        const size_t t = order[p];
        data.case_numbers[p] = case_numbers[t];
        for (size_t i = 0; i < k; ++i) {
            data.values[p * k + i] = file_order_values[t * k + i];
            data.present[p * k + i] = masks[t * k + i];
        }
    }
}

namespace {

struct SweepWork {
    std::vector<double> matrix, work, reference;
    std::vector<int32_t> state;
    std::vector<char> swept;
    // ln det of the covariance of the variables swept now: the sum of ln |pivot| over
    // the sweeps (a sweep-in adds the conditional variance, a sweep-out the reciprocal
    // of the one it removes); false when a pivot had the wrong sign for that.
    double log_determinant = 0;
    bool determinant_known = false;
};

// Sweeps w.matrix, which holds covariance with nothing swept, on the variables
// marked in wanted. Returns false when a pivot is refused or the sweep fails.
bool sweep_fresh(SweepWork& w, const std::vector<double>& covariance, const char* wanted, size_t k, double tolerance) {
    w.matrix = covariance;
    for (size_t i = 0; i < k; ++i) w.state[i] = wanted[i] ? kSweepCandidate : kSweepNotCandidate;
    SweepResult result{};
    const int status = sweep_all(static_cast<int>(k), w.state.data(), w.work.data(), w.reference.data(), 1, &result,
                                 tolerance, w.matrix.data());
    for (size_t i = 0; i < k; ++i) w.swept[i] = wanted[i] != 0;
    w.log_determinant = result.log_determinant;
    w.determinant_known = result.positive_definite != 0;
    return status == 0 && result.remaining <= 0;
}

// Moves w from the variables swept now to those marked in wanted.
bool sweep_to(SweepWork& w, const char* wanted, size_t k, double tolerance) {
    for (size_t i = 0; i < k; ++i)
        w.state[i] = wanted[i] && !w.swept[i] ? kSweepCandidate : (!wanted[i] && w.swept[i] ? kSweepForced
                                                                                            : kSweepNotCandidate);
    SweepResult result{};
    const int status = sweep_all(static_cast<int>(k), w.state.data(), w.work.data(), w.reference.data(), 0, &result,
                                 tolerance, w.matrix.data());
    for (size_t i = 0; i < k; ++i) w.swept[i] = wanted[i] != 0;
    w.log_determinant += result.log_determinant;
    w.determinant_known = w.determinant_known && result.positive_definite != 0;
    return status == 0 && result.remaining <= 0;
}

// Adds one case to the sums and the packed sums of products.
void add_products(const double* __restrict x, size_t k, double* __restrict sums, double* __restrict products) {
    for (size_t i = 0; i < k; ++i) {
        sums[i] += x[i];
        double* __restrict row = products + packed_index(i, 0);
        const double xi = x[i];
        for (size_t j = 0; j <= i; ++j) row[j] += xi * x[j];
    }
}

// The complete cases, summed once: raw sums and cross-products for the E-step, and
// their mean and centred cross-products for the log likelihood.
struct CompleteCases {
    std::vector<double> sums, products, mean, scatter;
};

constexpr double kLogTwoPi = 1.8378770664093454836;

// -0.5 (n ln det S + sum of (x - mu)' S^-1 (x - mu)) over cases with k present variables; quad
// holds the sum of the quadratic forms.
double log_likelihood_term(double cases, size_t present, double log_determinant, double quad) {
    return -0.5 * (cases * (static_cast<double>(present) * kLogTwoPi + log_determinant) + quad);
}

// One iteration; returns 1 converged, 0 not yet, -1 singular. The E-step's sweeps also give
// the observed-data log likelihood at the iteration's starting estimates, into *log_likelihood
// (NaN when a pattern's covariance is not positive definite). Without estimate only that is
// done: no cell is filled and the estimates stay.
int em_iteration(EmData& data, SweepWork& w, const CompleteCases& complete, bool estimate, double* log_likelihood) {
    const size_t k = static_cast<size_t>(data.k), n = static_cast<size_t>(data.n);
    const std::vector<char> all(k, 1);
    if (!sweep_fresh(w, data.covariances, all.data(), k, kEmSweepTolerance)) return -1;
    const std::vector<double> old_means = data.means, old_covariances = data.covariances;
    double likelihood = 0;
    bool known = true;
    if (data.complete > 0) {
        // W holds -S^-1: sum of (x - mu)' S^-1 (x - mu) = tr(S^-1 C) + c d' S^-1 d, with C the
        // centred cross-products and d the complete cases' mean minus mu.
        const double c = static_cast<double>(data.complete);
        double quad = 0;
        for (size_t i = 0; i < k; ++i) {
            const double di = complete.mean[i] - old_means[i];
            for (size_t j = 0; j <= i; ++j) {
                const double dj = complete.mean[j] - old_means[j];
                const double twice = i == j ? 1.0 : 2.0;
                quad -= twice * w.matrix[packed_index(i, j)] * (complete.scatter[packed_index(i, j)] + c * di * dj);
            }
        }
        known = w.determinant_known;
        likelihood += log_likelihood_term(c, k, w.log_determinant, quad);
    }
    std::vector<double> sums = complete.sums, products = complete.products;
    std::vector<size_t> observed, absent;
    std::vector<double> coefficients, deviations(k);
    const size_t first = data.complete > 0 ? 1 : 0;
    for (size_t p = first; p + 1 < data.pattern_start.size(); ++p) {
        const size_t begin = static_cast<size_t>(data.pattern_start[p]), end = static_cast<size_t>(data.pattern_start[p + 1]);
        const char* mask = &data.present[begin * k];
        if (!sweep_to(w, mask, k, kEmSweepTolerance) &&
            !sweep_fresh(w, old_covariances, mask, k, kEmFallbackTolerance))
            return -1;
        // The pattern's present and missing variables, and the regression coefficients of
        // each missing variable on the present ones, taken out of the swept matrix once.
        observed.clear();
        absent.clear();
        for (size_t i = 0; i < k; ++i) (mask[i] ? observed : absent).push_back(i);
        const size_t no = observed.size(), na = absent.size();
        // W's block of the present variables is -S_oo^-1.
        double quad = 0;
        for (size_t t = begin; t < end; ++t) {
            const double* x = &data.values[t * k];
            for (size_t o = 0; o < no; ++o) deviations[o] = x[observed[o]] - old_means[observed[o]];
            for (size_t a = 0; a < no; ++a) {
                const double* w_row = &w.matrix[packed_index(observed[a], 0)];
                double row = 0.5 * w_row[observed[a]] * deviations[a];
                for (size_t b = 0; b < a; ++b) row += w_row[observed[b]] * deviations[b];
                quad -= 2.0 * deviations[a] * row;
            }
        }
        known = known && w.determinant_known;
        likelihood += log_likelihood_term(static_cast<double>(end - begin), no, w.log_determinant, quad);
        if (!estimate) continue;
        coefficients.resize(na * no);
        for (size_t a = 0; a < na; ++a)
            for (size_t o = 0; o < no; ++o) coefficients[a * no + o] = w.matrix[index_of(absent[a], observed[o])];
        for (size_t t = begin; t < end; ++t) {
            double* x = &data.values[t * k];
            for (size_t o = 0; o < no; ++o) deviations[o] = x[observed[o]] - old_means[observed[o]];
            for (size_t a = 0; a < na; ++a) {
                const double* row = &coefficients[a * no];
                double expected = old_means[absent[a]];
                for (size_t o = 0; o < no; ++o) expected += row[o] * deviations[o];
                x[absent[a]] = expected;
            }
            add_products(x, k, sums.data(), products.data());
        }
        const double cases = static_cast<double>(end - begin);
        for (size_t i = 0; i < k; ++i)
            for (size_t j = 0; j <= i; ++j)
                if (!mask[i] && !mask[j]) products[packed_index(i, j)] += cases * w.matrix[packed_index(i, j)];
    }
    if (log_likelihood) *log_likelihood = known ? likelihood : std::nan("");
    if (!estimate) return 0;
    const double count = static_cast<double>(n);
    for (size_t i = 0; i < k; ++i) data.means[i] = sums[i] / count;
    for (size_t i = 0; i < k; ++i)
        for (size_t j = 0; j <= i; ++j)
            data.covariances[packed_index(i, j)] = products[packed_index(i, j)] / count - data.means[i] * data.means[j];
    auto settled = [](double now, double before) { return std::fabs(now - before) / std::max(std::fabs(before), 1.0) <= kEmCriterion; };
    for (size_t i = 0; i < k; ++i)
        if (!settled(data.means[i], old_means[i])) return 0;
    for (size_t p = 0; p < data.covariances.size(); ++p)
        if (!settled(data.covariances[p], old_covariances[p])) return 0;
    return 1;
}

}  // namespace

int run_em(EmData& data, int* iterations) {
    const size_t k = static_cast<size_t>(data.k), n = static_cast<size_t>(data.n);
    // Starting values: the available-data means, missing cells at their
    // variable's mean, and covariances over the cases where both are present,
    // divided by n - 1.
    data.means.assign(k, 0);
    std::vector<double> counts(k, 0);
    for (size_t t = 0; t < n; ++t)
        for (size_t i = 0; i < k; ++i)
            if (data.present[t * k + i]) {
                data.means[i] += data.values[t * k + i];
                ++counts[i];
            }
    for (size_t i = 0; i < k; ++i) data.means[i] = counts[i] > 0 ? data.means[i] / counts[i] : 0;
    data.covariances.assign(packed_size(k), 0);
    for (size_t t = 0; t < n; ++t) {
        double* x = &data.values[t * k];
        const char* mask = &data.present[t * k];
        for (size_t i = 0; i < k; ++i) {
            if (!mask[i]) {
                x[i] = data.means[i];
                continue;
            }
            for (size_t j = 0; j <= i; ++j)
                if (mask[j]) data.covariances[packed_index(i, j)] += (x[i] - data.means[i]) * (x[j] - data.means[j]);
        }
    }
    for (double& c : data.covariances) c /= static_cast<double>(n - 1);

    CompleteCases complete;
    complete.sums.assign(k, 0);
    complete.products.assign(packed_size(k), 0);
    complete.mean.assign(k, 0);
    complete.scatter.assign(packed_size(k), 0);
    const size_t c = static_cast<size_t>(data.complete);
    for (size_t t = 0; t < c; ++t) add_products(&data.values[t * k], k, complete.sums.data(), complete.products.data());
    for (size_t i = 0; i < k && c > 0; ++i) complete.mean[i] = complete.sums[i] / static_cast<double>(c);
    for (size_t t = 0; t < c; ++t)
        for (size_t i = 0; i < k; ++i)
            for (size_t j = 0; j <= i; ++j)
                complete.scatter[packed_index(i, j)] +=
                    (data.values[t * k + i] - complete.mean[i]) * (data.values[t * k + j] - complete.mean[j]);
    SweepWork w;
    w.work.resize(k);
    w.reference.resize(k);
    w.state.resize(k);
    w.swept.resize(k);
    data.log_likelihoods.clear();
    int status = 0;
    int t = 0;
    while (t < kEmMaxIterations && status == 0) {
        // Iteration t + 1 evaluates the estimates of iteration t on its way.
        double at_start = 0;
        status = em_iteration(data, w, complete, true, &at_start);
        if (t > 0 && status >= 0) data.log_likelihoods.push_back(at_start);
        ++t;
    }
    double at_end = 0;
    if (status >= 0 && em_iteration(data, w, complete, false, &at_end) == 0) data.log_likelihoods.push_back(at_end);
    if (iterations) *iterations = t;
    return status;
}

namespace {

int stop_in_log(const char* message) {
    channel_printf(kLogChannel, "%s\n", message);
    return -1;
}

// Names, counts (when given) and means in blocks of ten variables.
void means_table(std::string& text, const RunContext& context, const std::vector<int>& variables,
                 const std::vector<int>* counts, const std::vector<double>& means) {
    for (size_t start = 0; start < variables.size(); start += 10) {
        const size_t end = std::min(variables.size(), start + 10);
        text += "\nVariable   ";
        for (size_t i = start; i < end; ++i)
            append_printf(text, " %9s", variable_name(context.header, variables[i]).c_str());
        text += "\n";
        if (counts) {
            text += "No. Cases ";
            for (size_t i = start; i < end; ++i) append_printf(text, "%10d", (*counts)[i]);
            text += "\n";
        }
        text += "Mean       ";
        for (size_t i = start; i < end; ++i) append_printf(text, "%10.4f", means[i]);
        text += "\n";
    }
}

void means_xml(const RunContext& context, const std::vector<int>& variables, const std::vector<int>* counts,
               const std::vector<double>& means) {
    xml_printf("<line>\n");
    for (int v : variables) xml_printf("%s%s%s\n", "<cell>", variable_name(context.header, v).c_str(), "</cell>");
    xml_printf("</line>\n");
    if (counts) {
        xml_printf("<line>\n");
        for (int count : *counts) xml_printf("%s%d%s\n", "<cell>", count, "</cell>");
        xml_printf("</line>\n");
    }
    xml_printf("<line>\n");
    for (double mean : means) xml_printf("%s%f%s\n", "<cell>", mean, "</cell>");
    xml_printf("</line>\n");
}

// The tens and units lines over the first hundred variables.
void pattern_header(std::string& text, size_t k) {
    const size_t shown = std::min<size_t>(k, 100);
    text += "                         Variables";
    if (k >= 100) {
        text.append(90, ' ');
        text += "1";
    }
    text += "\n";
    std::string tens, units;
    for (size_t group = 1; group * 10 <= shown; ++group) {
        tens.append(9, ' ');
        tens += static_cast<char>('0' + group % 10);
    }
    for (size_t i = 0; i < shown; ++i) units += static_cast<char>('0' + (i + 1) % 10);
    append_printf(text, "   #        #       %1s    %s\n", "%", tens.c_str());
    append_printf(text, "Missing   Cases   Cases  %s\r\n", units.c_str());
    text += "-------   -----   -----\n";
}

// The imputed cells, written complete under a temporary name and renamed into place.
bool write_imputed_cells(const std::string& path, const EmData& data, const std::vector<int>& variables) {
    const std::string temporary = path + ".partial";
    std::FILE* file = std::fopen(temporary.c_str(), "w");
    if (!file) return false;
    const size_t k = variables.size();
    bool ok = true;
    for (size_t i = 0; i < k; ++i) {
        ok &= std::fprintf(file, "%d\n", variables[i]) > 0;
        for (size_t p = data.complete > 0 ? 1 : 0; p + 1 < data.pattern_start.size(); ++p) {
            const size_t begin = static_cast<size_t>(data.pattern_start[p]);
            const size_t end = static_cast<size_t>(data.pattern_start[p + 1]);
            if (i == 0)  // once for each pattern
                console_printf("Pattern count lpPatternCount[%d]=%d\n", static_cast<int>(p),
                               static_cast<int>(end - begin));
            for (size_t t = begin; t < end; ++t)
                if (!data.present[t * k + i])
                    ok &= std::fprintf(file, "%d,%f\n", data.case_numbers[t], data.values[t * k + i]) > 0;
        }
    }
    ok = (std::fclose(file) == 0) && ok;
    if (ok && std::rename(temporary.c_str(), path.c_str()) != 0) {
        std::remove(path.c_str());
        ok = std::rename(temporary.c_str(), path.c_str()) == 0;
    }
    if (!ok) std::remove(temporary.c_str());
    return ok;
}

// True when path names the run's own data file.
bool is_data_file(const std::string& path, const RunContext& context) {
    PathParts data, target;
    return split_path(context.path, data) && split_path(path, target) && data.directory == target.directory &&
           data.file_name == target.file_name;
}

int em_analysis(RunContext& context, const std::vector<int>& variables, int write_matrix) {
    std::string text;
    report_banner(text);
    text += "EM IMPUTATION OF MISSING DATA\n\n";
    const size_t k = variables.size();
    EmData data;
    data.k = static_cast<int>(k);
    std::vector<int32_t> mask;
    std::vector<double> loaded;
    std::vector<int> case_numbers;
    int complete = 0;
    try {
        build_case_mask(context, mask);
        if (!mark_missing_cases(kMarkMissingInAll, data.k, mask, variables.data(), context))
            return stop_in_log(" Not enough memory !");
        for (size_t c = 0; c < mask.size(); ++c)
            if (mask[c] == kCaseTakesPart) case_numbers.push_back(static_cast<int>(c));
        const size_t n = case_numbers.size();
        require_memory(uint64_t{17} * n * k);
        loaded.resize(n * k);
        std::vector<double> column;
        for (size_t i = 0; i < k; ++i) {
            if (gather_values_marked(context, column, variables[i], &mask) < 0 || column.size() < n)
                return stop_in_log(" read data error ");
            for (size_t t = 0; t < n; ++t) loaded[t * k + i] = column[t];
        }
        for (size_t t = 0; t < n; ++t)
            complete += std::none_of(&loaded[t * k], &loaded[t * k] + k, [](double x) { return x == kSystemMissing; });
        if (n < 2) {
            context.found_nothing = true;
            channel_printf(kLogChannel, " at least two cases are needed\n");
            return -1;
        }
        if (complete == static_cast<int>(n)) {
            channel_printf(kLogChannel, " there is no missing data!\n");
            return -1;
        }
        order_patterns(data, loaded, case_numbers);
    } catch (const std::bad_alloc&) {
        return stop_in_log(" Not enough memory !");
    }
    const int n = data.n, patterns = static_cast<int>(data.pattern_start.size()) - 1;
    // The deleted line counts the cases left out because every listed
    // variable is missing in them: the cases used and those with missing
    // data have their own lines, so this one completes the account of the file.
    const int deleted = context.header.case_count - n;
    case_count_lines(text, data.k, context.path.c_str(), context.header.case_count, n, deleted);
    append_printf(text, " Number of cases with missing data ..........%7d\n", n - data.complete);

    // Available-data statistics: counts and means of each variable, and
    // pairwise-present covariances with running means in pattern order.
    std::vector<int> counts(k, 0);
    std::vector<double> means(k, 0), pair_covariances(packed_size(k), 0), mean_i(packed_size(k), 0),
        mean_j(packed_size(k), 0);
    std::vector<int32_t> pair_counts(packed_size(k), 0);
    for (size_t t = 0; t < static_cast<size_t>(n); ++t) {
        const double* x = &data.values[t * k];
        const char* present = &data.present[t * k];
        for (size_t i = 0; i < k; ++i) {
            if (!present[i]) continue;
            ++counts[i];
            means[i] += (x[i] - means[i]) / counts[i];
            for (size_t j = 0; j <= i; ++j) {
                if (!present[j]) continue;
                const size_t p = packed_index(i, j);
                const int32_t c = ++pair_counts[p];
                const double di = x[i] - mean_i[p];
                mean_i[p] += di / c;
                mean_j[p] += (x[j] - mean_j[p]) / c;
                pair_covariances[p] += di * (x[j] - mean_j[p]);
            }
        }
    }
    for (size_t p = 0; p < pair_covariances.size(); ++p)
        pair_covariances[p] = pair_counts[p] >= 2 ? pair_covariances[p] / (pair_counts[p] - 1) : 0;

    xml_printf("<MisInf>\n");
    xml_printf("%s%d%s\n", "<nCase>", context.header.case_count, "</nCase>");
    xml_printf("%s%d%s\n", "<UsedCase>", n, "</UsedCase>");
    xml_printf("%s%d%s\n", "<NumDeleted>", deleted, "</NumDeleted>");
    xml_printf("%s%d%s\n", "<CaseMiss>", n - data.complete, "</CaseMiss>");
    xml_printf("%s%d%s\n", "<Patterns>", patterns, "</Patterns>");
    xml_printf("</MisInf>\n");

    append_printf(text, " Number of missingness patterns in the data .%7d\n\n", patterns);
    append_printf(text, "In the summary of missingness patterns, %1s represents a missing value.\n\n", "M");
    pattern_header(text, k);
    xml_printf("<patRep>\n<Miss>M</Miss>\n<nonMiss> </nonMiss>\n</patRep>\n");
    xml_printf("<MisPatTbl>\n");
    for (int p = 0; p < patterns; ++p) {
        const size_t begin = static_cast<size_t>(data.pattern_start[static_cast<size_t>(p)]);
        const int cases = data.pattern_start[static_cast<size_t>(p) + 1] - data.pattern_start[static_cast<size_t>(p)];
        std::string pattern;
        for (size_t i = 0; i < k; ++i) pattern += data.present[begin * k + i] ? ' ' : 'M';
        const int missing = static_cast<int>(std::count(pattern.begin(), pattern.end(), 'M'));
        const double percent = 100.0 * cases / n;
        append_printf(text, "%7d%8d%8.2f  ", missing, cases, percent);
        append_printf(text, "%s\n", pattern.c_str());
        xml_printf("<line>\n");
        xml_printf("%s%d%s\n", "<Missing>", missing, "</Missing>");
        xml_printf("%s%d%s\n", "<nCases>", cases, "</nCases>");
        xml_printf("%s%10.2f%s\n", "<pCases>", percent, "</pCases>");
        xml_printf("%s%s%s\n", "<MisPat>", pattern.c_str(), "</MisPat>");
        xml_printf("</line>\n");
    }
    xml_printf("</MisPatTbl>\n");
    report_banner(text);
    text += "\nVariable Means\n";
    means_table(text, context, variables, &counts, means);
    text += "\nPairwise-Present Covariance Matrix\n";
    print_lower_matrix(pair_covariances.data(), text, data.k, variables.data(), kMatrixFourDecimals, -1, context);
    text += "Sample Sizes for Each Pair of Variables\n";
    print_lower_counts(context, data.k, variables.data(), pair_counts.data(), text);
    xml_printf("<MeanTbl>\n");
    means_xml(context, variables, &counts, means);
    xml_printf("</MeanTbl>\n");
    xml_printf("<PairCovTbl>\n");
    write_matrix_xml(variables.data(), data.k, pair_covariances.data(), kMatrixFourDecimals, context);
    xml_printf("</PairCovTbl>\n");
    xml_printf("<PairSampleTbl>\n");
    write_count_matrix_xml(context, variables.data(), pair_counts.data(), data.k);
    xml_printf("</PairSampleTbl>\n");

    int iterations = 0;
    const int status = run_em(data, &iterations);
    report_banner(text);
    if (status < 0) {
        text += "EM Imputation failed because of a singular matrix.\n";
    } else {
        if (status == 0)
            append_printf(text, "Maximum likelihood algorithm did not converge in%4d iterations.\n", kEmMaxIterations);
        text += "\nMaximum Likelihood Estimate of Means and Covariances\n";
        xml_printf("<MaxLikEst>\n<MeanEst>\n");
        means_table(text, context, variables, nullptr, data.means);
        means_xml(context, variables, nullptr, data.means);
        xml_printf("</MeanEst>\n<CovEst>\n");
        print_lower_matrix(data.covariances.data(), text, data.k, variables.data(), kMatrixFourDecimals, -1, context);
        write_matrix_xml(variables.data(), data.k, data.covariances.data(), kMatrixFourDecimals, context);
        xml_printf("</CovEst>\n</MaxLikEst>\n");
    }
    // Beyond the estimates: the observed-data log likelihood at the estimates of each iteration.
    if (std::any_of(data.log_likelihoods.begin(), data.log_likelihoods.end(), [](double v) { return !std::isnan(v); })) {
        xml_printf("<LogLikHistory>\n");
        for (size_t t = 0; t < data.log_likelihoods.size(); ++t)
            if (!std::isnan(data.log_likelihoods[t]))
                xml_printf("<line>\n<Iteration>%d</Iteration>\n<LogLik>%.6f</LogLik>\n</line>\n", static_cast<int>(t + 1),
                           data.log_likelihoods[t]);
        xml_printf("</LogLikHistory>\n");
    }

    PathParts parts;
    if (split_path(context.path, parts)) {
        const std::string path = parts.directory + "MissingEM.dat";
        if (is_data_file(path, context))
            channel_printf(kLogChannel, "%s\n", " MissingEM.dat is the data file itself; the imputed cells are not written.");
        else if (!write_imputed_cells(path, data, variables))
            channel_printf(kLogChannel, "%s\n", " The imputed cells could not be written.");
    }
    if (write_matrix) {
        if (is_data_file(matrix_file_path(context.path), context)) {
            channel_printf(kLogChannel, "%s\n", " Matrix.rkd is the data file itself; the matrix file is not written.");
        } else {
            std::vector<double> correlations = data.covariances, sd(k);
            covariance_to_correlation(data.k, correlations.data(), sd.data());
            write_matrix_file(data.k, n, variables.data(), correlations.data(), sd.data(), data.means.data(), context);
        }
    }
    channel_write(kReportChannel, text);
    channel_printf(kReportChannel, "EM missing data imputation is done.");
    return 0;
}

}  // namespace

int missing_em_driver(RunContext& context, const std::vector<int>& variables, int write_matrix) {
    if (context.header.file_kind == 10) {
        console_printf("You have to use a raw data file to perform missing data imputation.");
        return -1;
    }
    if (!context.selection.empty()) {
        console_printf(" You cannot use selected data to perform Missing Data Analysis\n");
        return -1;
    }
    if (variables.size() < 2) return stop_in_log(" You must select at least two variables");
    ResultHead head;
    head.analysis = "MisEM";
    head.variable_count = static_cast<int>(variables.size());
    head.file_name = FileNameForm::omitted;
    write_result_head(context, head);
    int status = -1;
    try {
        status = em_analysis(context, variables, write_matrix);
    } catch (const std::bad_alloc&) {
        status = stop_in_log(" Not enough memory !");
    }
    write_result_end();
    return status;
}

}  // namespace quorix
