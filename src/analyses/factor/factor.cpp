#include "analyses/factor/factor.h"

#include <cmath>
#include <new>
#include <stdexcept>
#include <string>

#include "analyses/common/covariance.h"
#include "analyses/common/variable_filter.h"
#include "analyses/common/eigen.h"
#include "analyses/factor/factor_model.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"
#include "numeric/sorting.h"
#include "report/matrix_text.h"
#include "report/result_document.h"

namespace quorix {

FactorState& factor_state() {
    static FactorState state;
    return state;
}

int parse_rotation_option(const char* text) {
    if (text == nullptr || same_option_word(text, "Varimax")) return kRotationVarimax;
    if (same_option_word(text, "Othosim")) return kRotationQuartimax;
    if (same_option_word(text, "Oblimin")) return kRotationOblimin;
    return -1;
}

int parse_extraction_option(const char* text) {
    if (text == nullptr || same_option_word(text, "PCA")) return kExtractionPca;
    if (same_option_word(text, "EPIC")) return kExtractionPrincipalAxis;
    return -1;
}

int parse_sort_option(const char* text) {
    if (same_option_word(text, "None")) return kSortNone;
    if (same_option_word(text, "Factor")) return kSortFactor;
    if (same_option_word(text, "Commuality")) return kSortCommunality;
    return -1;
}

namespace {

int log_line(const char* message) {
    channel_printf(kLogChannel, "%s\n", message);
    return 0;
}

// The work arrays of one run: the packed correlation matrix and the copy the
// eigenvalue routine overwrites, the standard deviations and the means.
bool allocate_matrices(size_t k, std::vector<double>& matrix, std::vector<double>& copy, std::vector<double>& sd,
                       std::vector<double>& means) {
    try {
        // k(k + 1)/2 must not wrap where size_t has 32 bits.
        if (k + 1 > 2 * (matrix.max_size() / k)) return false;
        require_memory(uint64_t{16} * packed_size(k));
        matrix.resize(packed_size(k));
        copy.resize(packed_size(k));
        sd.resize(k);
        means.resize(k);
        return true;
    } catch (const std::bad_alloc&) {
        return false;
    } catch (const std::length_error&) {
        return false;
    }
}

// The correlations of the listed variables from a matrix file: the column of
// variable v holds its correlations with the file's variables 1..rows in cases
// 0..rows-1, then its standard deviation and its mean. Returns 0, or 2 after a
// line on the log when the file does not hold them.
int read_matrix_input(RunContext& context, const std::vector<int>& variables, double* matrix, double* sd,
                      double* means) {
    const int64_t cases = context.header.case_count;
    const int64_t rows = cases - 2;
    std::vector<double> column;
    for (size_t i = 0; i < variables.size(); ++i) {
        if (rows < 1 || !read_numeric_column(context, variables[i], column) ||
            column.size() != static_cast<size_t>(cases)) {
            channel_printf(kLogChannel, "%s\n", " The correlation matrix file cannot be read!");
            return 2;
        }
        for (size_t j = 0; j <= i; ++j) {
            const int row = variables[j] - 1;
            if (row < 0 || row >= rows) {
                channel_printf(kLogChannel, "%s\n", " The correlation matrix file cannot be read!");
                return 2;
            }
            matrix[packed_index(i, j)] = column[static_cast<size_t>(row)];
        }
        sd[i] = column[static_cast<size_t>(rows)];
        means[i] = column[static_cast<size_t>(rows + 1)];
    }
    return 0;
}

// Steps after the XML head: correlations, their report and their eigenvalues,
// then the factors. Failures end it after their message.
void factor_analysis_proper(RunContext& context, FactorState& state) {
    const std::vector<int>& variables = state.variables;
    const int k = static_cast<int>(variables.size());
    std::string text;
    std::vector<double> matrix, copy, sd, means;
    if (!allocate_matrices(variables.size(), matrix, copy, sd, means)) {
        console_printf(" Not enough memory space !");
        return;
    }
    CorrelationState counts;
    counts.listwise = state.processing == 0;
    counts.cases_used = -1;  // until the cases have been counted
    int status;
    if (state.matrix_input) {
        status = read_matrix_input(context, variables, matrix.data(), sd.data(), means.data());
        counts.cases_used = counts.average_pair_cases = context.header.matrix_case_count;
    } else {
        // Pairwise, each pair's correlation is taken over the pair's own cases.
        std::vector<double> pairs(counts.listwise ? 0 : packed_size(k));
        status = accumulate_covariances(context, variables, counts, matrix.data(), means.data(),
                                        pairs.empty() ? nullptr : pairs.data());
        if (status == 0) covariances_to_correlations(k, matrix.data(), sd.data(), pairs);
    }
    text += " FACTOR ANALYSIS\n\n";
    append_printf(text, "%d  Variables are selected from file   ", k);
    text += context.path;
    text += "\n\n";
    append_printf(text, " Number of cases in data file are ...........%7d\n",
                  state.matrix_input ? counts.cases_used : context.header.case_count);
    append_printf(text, " Number of cases used in this analysis are ..%7d\n", counts.cases_used);
    if (!counts.listwise)
        append_printf(text, "\n\n Number of cases used in this analysis are ..%7d - average\n",
                      counts.average_pair_cases);
    if (status != 0) {
        context.found_nothing = !state.matrix_input && counts.cases_used >= 0 && counts.cases_used < 2;
        return;
    }

    copy = matrix;
    print_lower_matrix(matrix.data(), text, k, variables.data(), 0, -1, context);
    xml_printf("<CorrTbl>\n");
    write_matrix_xml(variables.data(), k, matrix.data(), 0, context);
    xml_printf("</CorrTbl>\n");

    std::vector<double> d, e, e2, spare, eigenvalues;
    std::vector<int> tags;
    try {
        const size_t n = variables.size();
        d.resize(n);
        e.resize(n);
        e2.resize(n);
        spare.resize(n);
        eigenvalues.resize(n);
        tags.resize(n);
    } catch (const std::bad_alloc&) {
        log_line(" Not enough memory space !");
        return;
    }
    if (packed_eigenvalues(k, copy.data(), d.data(), e.data(), e2.data(), spare.data(), eigenvalues.data(),
                           tags.data()) != 0) {
        log_line(" Eigenvalue calculation failed to converge!");
        return;
    }
    text += "\n Eigenvalues\n\n";
    xml_printf("<EigenTbl>\n");
    for (int i = 0; i < k; ++i) {
        append_printf(text, "    %3d   %10.3lf\n", i + 1, eigenvalues[static_cast<size_t>(i)]);
        xml_printf("%s%10.3lf%s\n", "<EigVal>", eigenvalues[static_cast<size_t>(i)], "</EigVal>");
    }
    xml_printf("</EigenTbl>\n");
    text += "\n";
    channel_write(kReportChannel, text);
    state.eigenvalues = eigenvalues;

    FactorInput input{context, state, matrix, sd, means, eigenvalues};
    report_factors(input);
}

}  // namespace

int factor_analysis_driver(RunContext& context, const FactorOptions& options) {
    FactorState& state = factor_state();
    state.rotation = kRotationVarimax;
    state.initial_value = 0;
    state.extraction = kExtractionPca;
    state.processing = 0;
    state.factor_scores = options.factor_scores;
    state.cutoff = 1.0;
    state.matrix_input = context.header.file_kind == kMatrixFileKind;

    const int rotation = parse_rotation_option(options.rotation);
    if (rotation < 0) {
        channel_printf(kLogChannel, "%s\n", " please specify a rotate method!\n othosim, varimax or blimin");
        return -1;
    }
    state.rotation = rotation;
    const int extraction = parse_extraction_option(options.initial_value);
    if (extraction < 0)
        channel_printf(kLogChannel, "%s\n", " please specify initialvalue method!\n pca or epic");
    else
        state.extraction = extraction;
    const int listwise = parse_processing_option(options.processing);
    if (listwise < 0) {
        console_printf(" wrong option for data process option \n please specify case or pair !\n");
        return -1;
    }
    state.processing = listwise ? 0 : 1;
    if (options.sort != nullptr) {
        const int sort = parse_sort_option(options.sort);
        if (sort < 0)
            channel_printf(kLogChannel, "%s\n", " wrong option for sort");
        else
            state.sort = sort;
    }
    if (options.cutoff == 0) {
        channel_printf(kLogChannel, "Cut off can not be equal to 0. \n put on the default value cutoff=1.\n");
        state.cutoff = 1.0;
    } else {
        state.cutoff = options.cutoff;
    }

    std::vector<int> variables = options.variables;
    const int remaining = drop_alphanumeric(variables, "Selected", context);
    if (remaining == 0) return remaining;
    try {
        state.variables = variables;
    } catch (const std::bad_alloc&) {
        return log_line(" Not enough memory space !");
    }
    if (state.factor_scores && state.matrix_input)
        log_line("When correlations are input, factor scores are not calculated.");

    ResultHead head;
    head.analysis = "Factor";
    head.variable_count = static_cast<int>(options.variables.size());
    write_result_head(context, head);
    factor_analysis_proper(context, state);
    write_result_end();
    return 0;
}

}  // namespace quorix
