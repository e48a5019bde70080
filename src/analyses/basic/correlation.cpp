#include "analyses/basic/correlation.h"

#include <cstdint>
#include <new>
#include <stdexcept>
#include <string>

#include "analyses/common/variable_filter.h"
#include "analyses/common/matrix_file.h"
#include "frame/case_access.h"
#include "frame/memory.h"
#include "frame/channels.h"
#include "frame/run_frame.h"
#include "numeric/sorting.h"
#include "report/matrix_text.h"
#include "report/result_document.h"

namespace quorix {

CorrelationState& correlation_state() {
    static CorrelationState state;
    return state;
}

int parse_matrix_option(const char* text) {
    if (text == nullptr || same_option_word(text, "cov")) return 1;
    if (same_option_word(text, "corr")) return 0;
    return -1;
}

double cronbach_alpha(int k, const double* matrix) {
    if (k < 2) return 0;
    double diagonal = 0, below = 0;
    for (size_t i = 0; i < static_cast<size_t>(k); ++i) {
        for (size_t j = 0; j < i; ++j) below += matrix[packed_index(i, j)];
        diagonal += matrix[packed_index(i, i)];
    }
    const double total = diagonal + 2 * below;
    if (total == 0) return 0;
    return (static_cast<double>(k) / (k - 1)) * 2 * below / total;
}

namespace {

int log_failure(const char* message) {
    channel_printf(kLogChannel, "%s\n", message);
    return -1;
}

// The driver's arrays: the packed matrix, the means, the standard deviations
// when the matrix is turned into correlations, and under pairwise deletion
// then also the pairs' own correlations.
bool allocate(size_t k, bool with_sd, bool with_pairs, std::vector<double>& matrix, std::vector<double>& means,
              std::vector<double>& sd, std::vector<double>& pairs) {
    try {
        // k(k + 1)/2 must not wrap where size_t has 32 bits.
        if (k + 1 > 2 * (matrix.max_size() / k)) return false;
        require_memory(uint64_t{8} * packed_size(k) * (with_pairs ? 2 : 1));
        matrix.resize(packed_size(k));
        means.resize(k);
        if (with_sd) sd.resize(k);
        if (with_pairs) pairs.resize(packed_size(k));
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

}  // namespace

int correlation_driver(RunContext& context, std::vector<int> variables, const char* processing,
                       const char* matrix_kind, int alpha, int write_matrix) {
    CorrelationState& state = correlation_state();
    if (variables.empty()) return log_failure(" At Least one variable must be selected !");
    if (drop_alphanumeric(variables, "Selected", context) == 0) return -1;
    const int listwise = parse_processing_option(processing);
    if (listwise < 0) return log_failure(" error options!");
    state.listwise = listwise;
    const int covariance_kind = parse_matrix_option(matrix_kind);
    if (covariance_kind < 0) return log_failure(" error options!");
    state.covariance_kind = covariance_kind;
    state.alpha_wanted = alpha != 0;

    const int k = static_cast<int>(variables.size());
    std::vector<double> matrix, means, sd, pairs;
    const bool correlations = write_matrix || !covariance_kind;
    if (!allocate(variables.size(), correlations, correlations && !listwise, matrix, means, sd, pairs))
        return log_failure(" Not enough memory !");
    const int status = accumulate_covariances(context, variables, state, matrix.data(), means.data(),
                                              pairs.empty() ? nullptr : pairs.data());
    if (status != 0) return status;

    std::string text = "\n";
    if (covariance_kind) {
        text += "COVARIANCE MATRIX\n\n";
    } else {
        text += "CORRELATION MATRIX\n\n";
        covariances_to_correlations(k, matrix.data(), sd.data(), pairs);
    }
    case_count_lines(text, k, context.path.c_str(), context.header.case_count, state.cases_used, -1);
    ResultHead head;
    head.analysis = "Correlation Analysis";
    head.variable_count = k;
    write_result_head(context, head);
    if (!state.listwise)
        append_printf(text, " Number of cases used in this analysis are ..%7d - average\n", state.average_pair_cases);
    print_lower_matrix(matrix.data(), text, k, variables.data(), kMatrixFourDecimals, -1, context);
    xml_printf("<CorrTbl>\n");
    write_matrix_xml(variables.data(), k, matrix.data(), kMatrixFourDecimals, context);
    xml_printf("</CorrTbl>\n");
    if (state.alpha_wanted) {
        state.alpha = cronbach_alpha(k, matrix.data());
        append_printf(text, " Cronbach's alpha = %10.3lf\n\n", state.alpha);
    }
    if (write_matrix) {
        // The file always holds correlations.
        if (covariance_kind) covariances_to_correlations(k, matrix.data(), sd.data(), pairs);
        write_matrix_file(k, state.average_pair_cases, variables.data(), matrix.data(), sd.data(), means.data(),
                          context);
    }
    channel_write(kReportChannel, text);
    channel_printf(kLogChannel, "%s\n", covariance_kind ? "COVARIANCES DONE !" : "CORRELATIONS DONE !");
    write_result_end();
    return 0;
}

}  // namespace quorix
