#include "analyses/missing/diagnosis.h"

#include <cstddef>
#include <new>
#include <string>

#include "analyses/common/covariance.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"
#include "numeric/sorting.h"
#include "report/matrix_text.h"
#include "report/result_document.h"

namespace quorix {

void indicator_pair_statistics(int k, int n, const int32_t* indicators, double* covariances, double* means,
                               int32_t* counts) {
    const size_t variables = static_cast<size_t>(k), cases = static_cast<size_t>(n);
    for (size_t p = 0; p < packed_size(variables); ++p) {
        covariances[p] = 0;
        counts[p] = 0;
    }
    for (size_t i = 0; i < variables; ++i) means[i] = 0;
    for (size_t t = 0; t < cases; ++t) {
        for (size_t i = 0; i < variables; ++i) {
            const int32_t xi = indicators[i * cases + t];
            const double d = xi - means[i];
            means[i] += d / static_cast<double>(t + 1);
            for (size_t j = 0; j <= i; ++j) {
                const int32_t xj = indicators[j * cases + t];
                covariances[packed_index(i, j)] += (xj - means[j]) * d;
                if (!(xi == 1 && xj == 1)) ++counts[packed_index(i, j)];
            }
        }
    }
    if (n > 1)
        for (size_t p = 0; p < packed_size(variables); ++p) covariances[p] /= n - 1;
}

namespace {

int stop_in_log(const char* message) {
    channel_printf(kLogChannel, "%s\n", message);
    return -1;
}

}  // namespace

int missing_diagnosis_driver(RunContext& context, const std::vector<int>& variables) {
    if (!context.selection.empty()) {
        console_printf(" You cannot use selected data to perform Missing Data Analysis\n");
        return -1;
    }
    const int n = context.header.case_count;
    std::vector<int32_t> mask;
    try {
        if (build_case_mask(context, mask) != n) return stop_in_log(" read data error ");
    } catch (const std::bad_alloc&) {
        console_printf(" Not enough memory !");
        return -1;
    }
    std::string text;
    report_banner(text);
    text += "MISSING DATA DIAGNOSIS\n\n";
    case_count_lines(text, context.header.variable_count, context.path.c_str(), n, n, -1);
    if (n < 2) {
        context.found_nothing = true;
        return stop_in_log(" At most one used case was found.");
    }

    const int k = static_cast<int>(variables.size());
    const size_t cases = static_cast<size_t>(n);
    std::vector<int32_t> indicators;
    try {
        require_memory(uint64_t{4} * cases * variables.size());
        indicators.resize(cases * variables.size());
        std::vector<double> column;
        for (size_t i = 0; i < variables.size(); ++i) {
            if (gather_values_marked(context, column, variables[i], nullptr) < 0 || column.size() < cases)
                return stop_in_log(" read data error ");
            for (size_t t = 0; t < cases; ++t) indicators[i * cases + t] = column[t] != kSystemMissing;
        }
    } catch (const std::bad_alloc&) {
        console_printf(" Not enough memory !");
        return -1;
    }

    ResultHead head;
    head.analysis = "MisDiag";
    head.variable_count = k;
    write_result_head(context, head);

    std::vector<double> covariances, means, percentages;
    std::vector<int32_t> counts;
    try {
        const size_t packed = packed_size(variables.size());
        require_memory(uint64_t{20} * packed);
        covariances.resize(packed);
        percentages.resize(packed);
        counts.resize(packed);
        means.resize(variables.size());
    } catch (const std::bad_alloc&) {
        return stop_in_log(" Not enough memory !");
    }
    indicator_pair_statistics(k, n, indicators.data(), covariances.data(), means.data(), counts.data());

    text += "\nPairwise Frequencies of Missing Data\n";
    print_lower_counts(context, k, variables.data(), counts.data(), text);
    xml_printf("<PairFreqTbl>\n");
    write_count_matrix_xml(context, variables.data(), counts.data(), k);
    xml_printf("</PairFreqTbl>\n");

    for (size_t p = 0; p < counts.size(); ++p) percentages[p] = counts[p] * 100.0 / n;
    text += "\n\n Pairwise Percentages of Missing Data\n";
    print_lower_matrix(percentages.data(), text, k, variables.data(), kMatrixFourDecimals, -1, context);
    xml_printf("<PercentTbl>\n");
    write_matrix_xml(variables.data(), k, percentages.data(), kMatrixFourDecimals, context);
    xml_printf("</PercentTbl>\n");

    // The standard deviations are a by-product not reported here.
    covariance_to_correlation(k, covariances.data(), means.data());
    text += "\n\nCorrelations of the Dichotomized Variables\n";
    print_lower_matrix(covariances.data(), text, k, variables.data(), kMatrixFourDecimals, -1, context);
    xml_printf("<CorrTbl>\n");
    write_matrix_xml(variables.data(), k, covariances.data(), kMatrixFourDecimals, context);
    xml_printf("</CorrTbl>\n");

    channel_write(kReportChannel, text);
    channel_printf(kReportChannel, " Missing diagnosis done \n");
    write_result_end();
    return 0;
}

}  // namespace quorix
