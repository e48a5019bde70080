#include <algorithm>
#include <cmath>
#include <new>
#include <stdexcept>
#include <unordered_map>

#include "analyses/glm/glm_model.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"

namespace quorix {

namespace {

size_t packed_at(size_t i, size_t j) { return i >= j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i; }

// Reads one column of the file for every case; false after the log line.
bool read_column(RunContext& context, int variable, std::vector<double>& column, size_t cases) {
    if (!read_numeric_column(context, variable, column)) return false;
    column.resize(cases, kSystemMissing);
    return true;
}

// Missing for this analysis: the variable's missing rule, and NaN, which
// could be neither a level nor a covariate value.
bool missing_value(double value, const MissingRule& rule) { return std::isnan(value) || is_missing(value, rule) != 0; }

MissingRule rule_of(const RunContext& context, int variable) {
    if (variable < 1 || static_cast<size_t>(variable) > context.dictionary.size()) return MissingRule{0, 0, 0, 0};
    return missing_rule(context.dictionary[static_cast<size_t>(variable - 1)]);
}

// The next combination of r positions out of g in lexicographic order; false after the last.
bool next_combination(std::vector<int>& combination, int g) {
    const int r = static_cast<int>(combination.size());
    for (int i = r - 1; i >= 0; --i) {
        if (combination[static_cast<size_t>(i)] < g - r + i) {
            ++combination[static_cast<size_t>(i)];
            for (int j = i + 1; j < r; ++j)
                combination[static_cast<size_t>(j)] = combination[static_cast<size_t>(j - 1)] + 1;
            return true;
        }
    }
    return false;
}

std::vector<int> first_combination(int r) {
    std::vector<int> combination(static_cast<size_t>(r));
    for (int i = 0; i < r; ++i) combination[static_cast<size_t>(i)] = i;
    return combination;
}

int64_t term_parameters(const GlmModel& model, const std::vector<int>& factors) {
    int64_t count = 1;
    for (int f : factors) count *= static_cast<int64_t>(model.levels[static_cast<size_t>(f)].size()) - 1;
    return count;
}

}  // namespace

int glm_prepare_data(RunContext& context, GlmModel& model, GlmData& data) {
    const size_t cases = context.header.case_count > 0 ? static_cast<size_t>(context.header.case_count) : 0;
    std::vector<int32_t> excluded;
    build_case_mask(context, excluded);
    excluded.resize(cases, kCaseTakesPart);
    std::vector<std::vector<double>> grouping(model.grouping.size()), covariates(model.covariates.size());
    std::vector<double> dependent;
    try {
        require_memory(uint64_t{8} * cases * (grouping.size() + covariates.size() + 1));
        for (size_t j = 0; j < covariates.size(); ++j) {
            if (!read_column(context, model.covariates[j], covariates[j], cases)) return 2;
            const MissingRule rule = rule_of(context, model.covariates[j]);
            for (size_t c = 0; c < cases; ++c)
                if (missing_value(covariates[j][c], rule)) excluded[c] = kCaseLeftOut;
        }
        // A missing grouping value excludes the case like a missing covariate:
        // a missing code must never become a level.
        for (size_t j = 0; j < grouping.size(); ++j) {
            if (!read_column(context, model.grouping[j], grouping[j], cases)) return 2;
            const MissingRule rule = rule_of(context, model.grouping[j]);
            for (size_t c = 0; c < cases; ++c)
                if (missing_value(grouping[j][c], rule)) excluded[c] = kCaseLeftOut;
        }
        if (!read_column(context, model.dependent_variable, dependent, cases)) return 2;
        const MissingRule rule = rule_of(context, model.dependent_variable);
        // A case with a missing dependent value stays a used case without an
        // observation: n counts it, N does not.
        size_t used = 0;
        for (size_t c = 0; c < cases; ++c) {
            if (excluded[c] != kCaseTakesPart) continue;
            for (size_t j = 0; j < grouping.size(); ++j) grouping[j][used] = grouping[j][c];
            for (size_t j = 0; j < covariates.size(); ++j) covariates[j][used] = covariates[j][c];
            dependent[used] = missing_value(dependent[c], rule) ? kSystemMissing : dependent[c];
            ++used;
        }
        model.used_cases = static_cast<int>(used);
        if (used < 2) {
            channel_printf(kLogChannel, "%s", " Fewer than two used cases were found.\n");
            return 2;
        }
        for (auto& column : grouping) column.resize(used);
        for (auto& column : covariates) column.resize(used);
        dependent.resize(used);
        model.levels.assign(grouping.size(), {});
        for (size_t j = 0; j < grouping.size(); ++j) {
            std::vector<double> values = grouping[j];
            std::sort(values.begin(), values.end());
            values.erase(std::unique(values.begin(), values.end()), values.end());
            const char* name = model.grouping_names[j].c_str();
            if (values.size() > static_cast<size_t>(kMaxGlmLevels)) {
                channel_printf(kLogChannel, "Grouping variable %-s has more than%3d categories.\n", name,
                               kMaxGlmLevels);
                return 2;
            }
            if (values.size() < 2) {
                channel_printf(kLogChannel, "Grouping variable %-s is a constant.\n", name);
                return 2;
            }
            model.levels[j] = values;
        }
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s\n", " Do not have enough memory space");
        return 2;
    }
    data.grouping = std::move(grouping);
    data.covariates = std::move(covariates);
    data.dependent = std::move(dependent);
    return 0;
}

int glm_count_design(GlmModel& model) {
    const int g = static_cast<int>(model.grouping.size());
    int64_t counted = 0;
    model.highest_order = 0;
    for (int r = 1; r <= g; ++r) {
        // An order once started is counted whole.
        if (counted > kGlmParameterLimit) break;
        std::vector<int> combination = first_combination(r);
        do {
            counted += term_parameters(model, combination);
        } while (next_combination(combination, g));
        model.highest_order = r;
    }
    const int64_t k = (model.intercept ? 1 : 0) + counted + static_cast<int64_t>(model.covariates.size());
    if (k > 50000000) {
        channel_printf(kLogChannel, "%s\n", " Do not have enough memory space");
        return 2;
    }
    model.k = static_cast<int>(k);
    return 0;
}

void glm_make_labels(GlmModel& model) {
    const size_t g = model.grouping.size();
    const size_t c = model.covariates.size();
    model.letters.clear();
    for (const auto& name : model.grouping_names) model.letters.push_back(name.empty() ? ' ' : name[0]);
    for (const auto& name : model.covariate_names) model.letters.push_back(name.empty() ? ' ' : name[0]);
    bool repeated = false;
    for (size_t i = 0; i < model.letters.size(); ++i)
        for (size_t j = i + 1; j < model.letters.size(); ++j) repeated = repeated || model.letters[i] == model.letters[j];
    if (repeated) {
        // Beyond 28 variables the fall-back letters start again.
        static const char kLetters[] = "ABCDEFGHIJKLMNOPQRSTUVWXYZ+-";
        for (size_t i = 0; i < model.letters.size(); ++i) model.letters[i] = kLetters[i % (sizeof kLetters - 1)];
    }

    model.terms.clear();
    model.parameter_labels.clear();
    if (model.intercept) {
        GlmTerm term;
        term.label = "Constant";
        model.terms.push_back(term);
        model.parameter_labels.push_back("Intercept");
    }
    for (int r = 1; r <= model.highest_order; ++r) {
        std::vector<int> combination = first_combination(r);
        do {
            GlmTerm term;
            term.kind = r == 1 ? kTermMainEffect : kTermInteraction;
            term.factors = combination;
            term.first = static_cast<int>(model.parameter_labels.size());
            term.size = static_cast<int>(term_parameters(model, combination));
            if (r == 1) {
                const int f = combination[0];
                term.label = model.grouping_names[static_cast<size_t>(f)] + " (" +
                             model.letters[static_cast<size_t>(f)] + ")";
            } else {
                for (int f : combination) {
                    if (!term.label.empty()) term.label += '.';
                    term.label += model.letters[static_cast<size_t>(f)];
                }
            }
            if (term.label.size() > kTermLabelLength) term.label.resize(kTermLabelLength);
            // Every combination of level numbers, the last factor's varying fastest.
            std::vector<int> level(static_cast<size_t>(r), 1);
            for (int p = 0; p < term.size; ++p) {
                std::string label;
                for (size_t i = 0; i < level.size(); ++i) {
                    if (i > 0) label += '.';
                    label += model.letters[static_cast<size_t>(combination[i])];
                    append_printf(label, "%-d", level[i]);
                }
                if (label.size() > kParameterLabelLength) label.resize(kParameterLabelLength);
                model.parameter_labels.push_back(label);
                for (int i = r - 1; i >= 0; --i) {
                    const size_t f = static_cast<size_t>(combination[static_cast<size_t>(i)]);
                    if (++level[static_cast<size_t>(i)] < static_cast<int>(model.levels[f].size())) break;
                    level[static_cast<size_t>(i)] = 1;
                }
            }
            model.terms.push_back(term);
        } while (next_combination(combination, static_cast<int>(g)));
    }
    for (size_t j = 0; j < c; ++j) {
        GlmTerm term;
        term.kind = kTermCovariate;
        term.covariate = static_cast<int>(j);
        term.first = static_cast<int>(model.parameter_labels.size());
        term.label = model.covariate_names[j].substr(0, kTermLabelLength);
        model.terms.push_back(term);
        model.parameter_labels.push_back(model.covariate_names[j].substr(0, kParameterLabelLength));
    }
}

int glm_build_design(GlmModel& model, const GlmData& data) {
    const size_t g = model.grouping.size();
    const size_t c = model.covariates.size();
    const size_t order = c + 2;  // 1, covariates, y
    const size_t cell_size = order * (order + 1) / 2;
    const size_t y_at = c + 1;
    const size_t n = data.dependent.size();
    const size_t k = static_cast<size_t>(model.k);
    try {
        // One pass over the cases gathers each cell's sufficient statistics.
        // X'WX, X'Wy and y'Wy then come from the cells: every case of a cell
        // has the same factor columns, so these are the per-case sums
        // regrouped (identical in exact arithmetic), without an n by k matrix.
        std::unordered_map<std::string, size_t> cell_of_key;
        std::string key(g, '\0');
        std::vector<int> levels(g);
        std::vector<double> z(order);
        model.cells.clear();
        model.patterns.clear();
        model.pattern_first_case.clear();
        for (size_t i = 0; i < n; ++i) {
            // The pattern of present dependent values (one dependent here).
            const uint32_t pattern = data.dependent[i] == kSystemMissing ? 0u : 1u;
            if (std::find(model.patterns.begin(), model.patterns.end(), pattern) == model.patterns.end()) {
                model.patterns.push_back(pattern);
                model.pattern_first_case.push_back(static_cast<int64_t>(i));
            }
            if (pattern == 0) continue;
            for (size_t j = 0; j < g; ++j) {
                const std::vector<double>& values = model.levels[j];
                const double v = data.grouping[j][i];
                levels[j] = static_cast<int>(std::lower_bound(values.begin(), values.end(), v) - values.begin());
                key[j] = static_cast<char>(levels[j]);
            }
            auto found = cell_of_key.find(key);
            size_t cell;
            if (found == cell_of_key.end()) {
                cell = model.cells.size();
                cell_of_key.emplace(key, cell);
                model.cells.push_back(GlmCell{levels, std::vector<double>(cell_size, 0.0)});
            } else {
                cell = found->second;
            }
            z[0] = 1.0;
            for (size_t j = 0; j < c; ++j) z[j + 1] = data.covariates[j][i];
            z[y_at] = data.dependent[i];
            double* cross = model.cells[cell].cross.data();
            for (size_t a = 0; a < order; ++a)
                for (size_t b = 0; b <= a; ++b) *cross++ += z[a] * z[b];
        }

        double weights = 0, sum = 0, squares = 0;
        for (const GlmCell& cell : model.cells) {
            weights += cell.cross[0];
            sum += cell.cross[packed_at(y_at, 0)];
            squares += cell.cross[packed_at(y_at, y_at)];
        }
        model.observations = static_cast<int>(weights);
        model.complete_cases = model.observations;
        const double corrected = squares - sum * sum / weights;
        // Fewer than two observations leave no variation to measure.
        if (weights < 2 || corrected < 9.999999747378752e-5 * squares) {
            console_printf("%s\n", "Dependent variable is constant!");
            return 2;
        }
        model.initial_variance = corrected / (weights - 1);

        require_memory(uint64_t{8} * (k + 1) * (k + 2) / 2);
        model.cross_products.assign((k + 1) * (k + 2) / 2, 0.0);
        double* xx = model.cross_products.data();
        std::vector<std::pair<size_t, double>> row;  // the nonzero factor columns of a cell
        std::vector<std::vector<std::pair<size_t, double>>> codes(g);
        for (const GlmCell& cell : model.cells) {
            for (size_t j = 0; j < g; ++j) {
                // Effect coding: level l < L-1 is 1 in column l, the last level -1 in all.
                const size_t last = model.levels[j].size() - 1;
                const size_t l = static_cast<size_t>(cell.levels[j]);
                codes[j].clear();
                if (l < last) codes[j].emplace_back(l, 1.0);
                else
                    for (size_t col = 0; col < last; ++col) codes[j].emplace_back(col, -1.0);
            }
            row.clear();
            if (model.intercept) row.emplace_back(0, 1.0);
            for (const GlmTerm& term : model.terms) {
                if (term.kind != kTermMainEffect && term.kind != kTermInteraction) continue;
                // The product of the factors' codes over every choice of nonzero columns.
                std::vector<size_t> pick(term.factors.size(), 0);
                for (;;) {
                    size_t column = 0;
                    double value = 1.0;
                    for (size_t i = 0; i < pick.size(); ++i) {
                        const size_t f = static_cast<size_t>(term.factors[i]);
                        column = column * (model.levels[f].size() - 1) + codes[f][pick[i]].first;
                        value *= codes[f][pick[i]].second;
                    }
                    row.emplace_back(static_cast<size_t>(term.first) + column, value);
                    size_t i = pick.size();
                    while (i > 0 && ++pick[i - 1] == codes[static_cast<size_t>(term.factors[i - 1])].size())
                        pick[--i] = 0;
                    if (i == 0) break;
                }
            }
            const std::vector<double>& s = cell.cross;
            const double count = s[0];
            const size_t first_covariate = k - c;
            for (size_t a = 0; a < row.size(); ++a) {
                const auto [column_a, value_a] = row[a];
                for (size_t b = 0; b <= a; ++b) xx[packed_at(column_a, row[b].first)] += value_a * row[b].second * count;
                for (size_t j = 0; j < c; ++j) xx[packed_at(first_covariate + j, column_a)] += value_a * s[packed_at(j + 1, 0)];
                xx[packed_at(k, column_a)] += value_a * s[packed_at(y_at, 0)];
            }
            for (size_t j = 0; j < c; ++j) {
                for (size_t l = 0; l <= j; ++l)
                    xx[packed_at(first_covariate + j, first_covariate + l)] += s[packed_at(j + 1, l + 1)];
                xx[packed_at(k, first_covariate + j)] += s[packed_at(y_at, j + 1)];
            }
            xx[packed_at(k, k)] += s[packed_at(y_at, y_at)];
        }
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s\n", " Do not have enough memory space");
        return 2;
    } catch (const std::length_error&) {
        channel_printf(kLogChannel, "%s\n", " Do not have enough memory space");
        return 2;
    }
    return 0;
}

}  // namespace quorix
