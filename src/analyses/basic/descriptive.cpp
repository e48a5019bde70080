#include "analyses/basic/descriptive.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/run_frame.h"
#include "numeric/sorting.h"

namespace quorix {

namespace {

struct Moments {
    double mean = 0, m2 = 0, m3 = 0, m4 = 0;
    double minimum = 0, maximum = 0;
};

// The exact one-pass update of the mean and the central moment sums.
Moments one_pass_moments(const double* x, size_t n) {
    Moments m;
    m.mean = m.minimum = m.maximum = x[0];
    for (size_t i = 1; i < n; ++i) {
        const double value = x[i];
        if (value < m.minimum)
            m.minimum = value;
        else if (value > m.maximum)
            m.maximum = value;
        const double seen = static_cast<double>(i);
        const double d = value - m.mean;
        const double b = -d / (seen + 1);
        m.mean -= b;
        const double e = value - m.mean;
        const double b2 = b * b;
        m.m4 += e * e * e * e + seen * b2 * b2 + 4 * b * m.m3 + 6 * b2 * m.m2;
        m.m3 += e * e * e + seen * b2 * b + 3 * b * m.m2;
        m.m2 += d * e;
    }
    return m;
}

// Quartiles and median by linear interpolation between order statistics, NaN
// ordered last. The order statistics are selected, which gives the same
// numbers as a full sort; the values are reordered.
void quantiles(double* values, size_t n, StatsRow& row) {
    double* const numbers_end = std::partition(values, values + n, [](double v) { return !std::isnan(v); });
    const size_t numbers = static_cast<size_t>(numbers_end - values);
    const double probabilities[] = {0.25, 0.5, 0.75};
    const int targets[] = {kStatFirstQuartile, kStatMedian, kStatThirdQuartile};
    // Each quantile interpolates between the order statistics k and k + 1.
    size_t ranks[6];
    double fractions[3];
    for (int q = 0; q < 3; ++q) {
        const double p = static_cast<double>(n - 1) * probabilities[q];
        ranks[2 * q] = static_cast<size_t>(p);
        ranks[2 * q + 1] = ranks[2 * q] + 1;
        fractions[q] = p - static_cast<double>(ranks[2 * q]);
    }
    // Distinct ranks in ascending order; ranks among the NaNs, which sort last, give NaN.
    size_t distinct[6];
    std::copy(ranks, ranks + 6, distinct);
    std::sort(distinct, distinct + 6);
    size_t* const distinct_end = std::unique(distinct, distinct + 6);
    size_t* const selected_end = std::lower_bound(distinct, distinct_end, numbers);
    double values_at[6];
    select_order_statistics(values, numbers, distinct, static_cast<size_t>(selected_end - distinct), values_at);
    double order[6];
    for (int r = 0; r < 6; ++r) {
        const size_t at = static_cast<size_t>(std::lower_bound(distinct, distinct_end, ranks[r]) - distinct);
        order[r] = distinct + at < selected_end ? values_at[at] : std::numeric_limits<double>::quiet_NaN();
    }
    for (int q = 0; q < 3; ++q)
        row[targets[q]] = (1 - fractions[q]) * order[2 * q] + fractions[q] * order[2 * q + 1];
}

}  // namespace

int describe_sample(double* values, size_t count, StatsRow& row) {
    for (int i = kStatCases; i < kStatCount; ++i) row[i] = 0;
    if (count == 0) return 0;
    const Moments m = one_pass_moments(values, count);
    const double n = static_cast<double>(count);
    row[kStatCases] = n;
    row[kStatMean] = m.mean;
    row[kStatSum] = n * m.mean;
    row[kStatSumSquares] = m.m2;
    row[kStatStdDev] = count > 1 ? std::sqrt(m.m2 / (n - 1)) : 0;
    row[kStatMinimum] = m.minimum;
    row[kStatMaximum] = m.maximum;
    row[kStatRange] = m.maximum - m.minimum;
    const double v = m.m2 / n;
    if (v > 0) {
        row[kStatSkewness] = m.m3 / (n * v * std::sqrt(v));
        row[kStatKurtosis] = m.m4 / (n * v * v) - 3;
    }
    if (count == 1) {
        row[kStatMedian] = row[kStatFirstQuartile] = row[kStatThirdQuartile] = values[0];
        return 0;
    }
    quantiles(values, count, row);
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

namespace {

std::string descriptive_report(const RunContext& context, const std::vector<StatsRow>& rows,
                               const std::vector<std::string>& names) {
    std::string text;
    report_banner(text);
    text += " DESCRIPTIVE STATISTICS \n";
    case_count_lines(text, static_cast<int>(rows.size()), context.path.c_str(), context.header.case_count, -1, -1);
    text += "\n Variable                                                     SUM of \n";
    text += "    ID      NAME     CASES        MEAN            SUM         SQUARE \n";
    text += "-------------------------------------------------------------------- \n";
    for (size_t i = 0; i < rows.size(); ++i) {
        const StatsRow& r = rows[i];
        append_printf(text, "%6.0f%10s%10.0f%12.3f%15.3f%15.3f\n", r[kStatId], names[i].c_str(), r[kStatCases],
                      r[kStatMean], r[kStatSum], r[kStatSumSquares]);
    }
    text += "\n";
    text += "           Standard                   One        Three\n";
    text += "    ID    Deviation      Median    Quartile    Quartile     Minimum     Maximum\n";
    text += "-------------------------------------------------------------------------------\n";
    for (const StatsRow& r : rows)
        append_printf(text, "%6.0f%13.3f%12.3f%12.3f%12.3f%12.3f%12.3f\n", r[kStatId], r[kStatStdDev], r[kStatMedian],
                      r[kStatFirstQuartile], r[kStatThirdQuartile], r[kStatMinimum], r[kStatMaximum]);
    text += "\n";
    text += "    ID       Range    SKEWNESS    KURTOSIS\n";
    text += "------------------------------------------\n";
    for (const StatsRow& r : rows)
        append_printf(text, "%6.0f%12.3f%12.3f%12.3f\n", r[kStatId], r[kStatRange], r[kStatSkewness], r[kStatKurtosis]);
    return text;
}

void descriptive_xml(const RunContext& context, const std::vector<StatsRow>& rows,
                     const std::vector<std::string>& names) {
    ResultHead head;
    head.analysis = "Descriptive";
    head.variable_count = static_cast<int>(rows.size());
    write_result_head(context, head);
    xml_printf("<DescTbl>\n");
    for (size_t i = 0; i < rows.size(); ++i) {
        xml_printf("<Item>\n");
        xml_printf("%s%5.0f%s\n", "<ID>", rows[i][kStatId], "</ID>");
        xml_printf("%s%s%s\n", "<Name>", names[i].c_str(), "</Name>");
        write_stats_block(rows[i]);
        xml_printf("</Item>\n");
    }
    xml_printf("</DescTbl>\n");
    write_result_end();
}

}  // namespace

int descriptive_driver(RunContext& context, const std::vector<int>& variables) {
    std::vector<StatsRow> rows(variables.size());
    std::vector<std::string> names(variables.size());
    std::vector<double> values;
    for (size_t i = 0; i < variables.size(); ++i) {
        rows[i][kStatId] = variables[i];
        names[i] = variable_name(context.header, variables[i]);
        const int count = collect_valid_values(context, variables[i], values, nullptr);
        if (count < 0) return -1;
        if (describe_sample(values.data(), values.size(), rows[i]) != 0) return -1;
    }
    channel_write(kReportChannel, descriptive_report(context, rows, names));
    descriptive_xml(context, rows, names);
    return 0;
}

int descriptive_frame(const char* data_path, const char* run_name, const std::vector<int>& variables,
                      const std::vector<int32_t>& selection) {
    return run_frame(data_path, run_name, FrameId::descriptive, selection,
                     [&variables](RunContext& context) { return descriptive_driver(context, variables); });
}

}  // namespace quorix
