// Whole analyses on small data files and argument sets made from the fuzzer's
// bytes: the first byte picks the analysis among those of the target's family
// (QUORIX_FUZZ_FAMILY; every analysis when it is not set).
#include <cstdint>
#include <cstdio>
#include <cstring>
#include <vector>

#include "analyses/basic/anova.h"
#include "analyses/basic/correlation.h"
#include "analyses/factor/factor.h"
#include "analyses/basic/crosstab.h"
#include "analyses/basic/descriptive.h"
#include "analyses/basic/frequency.h"
#include "analyses/basic/ttest.h"
#include "fuzz_input.h"

using namespace quorix;
using namespace quorix::fuzzing;

namespace {

std::vector<int> variable_list(ByteReader& in, const FuzzFile& file) {
    std::vector<int> variables(static_cast<size_t>(in.small(file.variables + 2)));
    for (int& variable : variables) variable = in.variable(file.variables);
    return variables;
}

void run_descriptive(ByteReader& in, const FuzzFile& file) {
    const std::vector<int> variables = variable_list(in, file);
    descriptive_frame(file.path.c_str(), "fz", variables, in.selection(file.cases));
}

void run_frequency(ByteReader& in, const FuzzFile& file) {
    const std::vector<int> variables = variable_list(in, file);
    frequency_frame(file.path.c_str(), "fz", variables, in.small(3) - 1, in.selection(file.cases));
}

template <typename Steps>
void run_ttest(ByteReader& in, const FuzzFile& file, Steps steps) {
    const std::vector<int32_t> selection = in.selection(file.cases);
    open_ttest_run(file.path.c_str(), "fz", [&](RunContext& context) { return steps(context, selection); });
}

void run_one_sample(ByteReader& in, const FuzzFile& file) {
    const int variable = in.variable(file.variables);
    const double test_value = in.value();
    run_ttest(in, file, [&](RunContext& context, const std::vector<int32_t>& selection) {
        return one_sample_frame(context, variable, test_value, selection);
    });
}

void run_paired(ByteReader& in, const FuzzFile& file) {
    const int first = in.variable(file.variables), second = in.variable(file.variables);
    const double test_value = in.value();
    run_ttest(in, file, [&](RunContext& context, const std::vector<int32_t>& selection) {
        return paired_sample_frame(context, first, second, test_value, selection);
    });
}

void run_independent(ByteReader& in, const FuzzFile& file) {
    const int variable = in.variable(file.variables), group = in.variable(file.variables);
    const double test_value = in.value();
    run_ttest(in, file, [&](RunContext& context, const std::vector<int32_t>& selection) {
        return independent_sample_frame(context, variable, group, test_value, selection);
    });
}

void run_matched(ByteReader& in, const FuzzFile& file) {
    const int variable = in.variable(file.variables), group = in.variable(file.variables);
    const double test_value = in.value();
    run_ttest(in, file, [&](RunContext& context, const std::vector<int32_t>& selection) {
        return matched_sample_frame(context, variable, group, test_value, selection);
    });
}

void run_crosstab_two(ByteReader& in, const FuzzFile& file) {
    const int row = in.variable(file.variables), column = in.variable(file.variables);
    const int display = in.byte() | (in.byte() << 8);
    crosstab_two_frame(file.path.c_str(), "fz", row, column, display, in.selection(file.cases));
}

void run_crosstab_three(ByteReader& in, const FuzzFile& file) {
    const int row = in.variable(file.variables), column = in.variable(file.variables);
    const int layer = in.variable(file.variables);
    const int display = in.byte() | (in.byte() << 8);
    crosstab_three_frame(file.path.c_str(), "fz", row, column, layer, display, in.selection(file.cases));
}

void run_anova_one(ByteReader& in, const FuzzFile& file) {
    const int dependent = in.variable(file.variables), factor = in.variable(file.variables);
    anova_one_frame(file.path.c_str(), "fz", dependent, factor, in.selection(file.cases));
}

void run_anova_two(ByteReader& in, const FuzzFile& file) {
    const int dependent = in.variable(file.variables), a = in.variable(file.variables);
    const int b = in.variable(file.variables);
    anova_two_frame(file.path.c_str(), "fz", dependent, a, b, in.selection(file.cases));
}

void run_correlation(ByteReader& in, const FuzzFile& file) {
    static const char* const kWords[] = {nullptr, "complete", "pair", "PAIR", "corr", "cov", "COV", "x", ""};
    const std::vector<int> variables = variable_list(in, file);
    const char* processing = kWords[in.small(9)];
    const char* matrix = kWords[in.small(9)];
    const int alpha = in.flag(), write_matrix = in.flag();
    correlation_frame(file.path.c_str(), "fz", variables, processing, matrix, alpha, write_matrix,
                      in.selection(file.cases));
}

void run_factor(ByteReader& in, const FuzzFile& file) {
    static const char* const kWords[] = {nullptr, "varimax", "OBLIMIN", "othosim", "pca", "Epic", "pair",
                                         "complete", "factor", "Commuality", "none", "x", ""};
    static const double kCutoffs[] = {0, 1, 0.5, -1, 1e308, -0.0, 2.5, 1e-300};
    FactorOptions options;
    options.variables = variable_list(in, file);
    options.rotation = kWords[in.small(13)];
    options.initial_value = kWords[in.small(13)];
    options.processing = kWords[in.small(13)];
    options.sort = kWords[in.small(13)];
    options.factor_scores = in.flag();
    options.cutoff = in.flag() ? in.value() : kCutoffs[in.small(8)];
    factor_frame(file.path.c_str(), "fz", options, in.selection(file.cases));
}

struct Runner {
    const char* family;
    void (*run)(ByteReader&, const FuzzFile&);
};

const Runner kAllRunners[] = {
    {"summaries", run_descriptive},     {"summaries", run_frequency},      {"ttests", run_one_sample},
    {"ttests", run_paired},             {"ttests", run_independent},       {"ttests", run_matched},
    {"tables", run_crosstab_two},       {"tables", run_crosstab_three},    {"tables", run_anova_one},
    {"tables", run_anova_two},          {"correlation", run_correlation},  {"correlation", run_factor},
};

std::vector<Runner> family_runners() {
    std::vector<Runner> runners;
#ifdef QUORIX_FUZZ_FAMILY
    for (const Runner& runner : kAllRunners)
        if (std::strcmp(runner.family, QUORIX_FUZZ_FAMILY) == 0) runners.push_back(runner);
#else
    runners.assign(std::begin(kAllRunners), std::end(kAllRunners));
#endif
    return runners;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<Runner> runners = family_runners();
    ByteReader in{data, size};
    const Runner& runner = runners[static_cast<size_t>(in.small(static_cast<int>(runners.size())))];
    const FuzzFile file = make_data_file(in);
    runner.run(in, file);
    return 0;
}
