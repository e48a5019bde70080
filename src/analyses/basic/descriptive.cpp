#include "analyses/basic/descriptive.h"

#include <algorithm>
#include <cmath>
#include <limits>

#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"
#include "frame/run_frame.h"
#include "numeric/sorting.h"

namespace quorix {

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
    // Two variables at a time when there is room for both columns.
    const uint64_t column_bytes = uint64_t{8} * static_cast<uint64_t>(std::max(context.header.case_count, 0));
    const size_t together = memory_available(3 * column_bytes) ? 2 : 1;
    std::vector<double> values[2];
    for (size_t first = 0; first < variables.size(); first += together) {
        const size_t k = std::min(together, variables.size() - first);
        double* samples[2];
        size_t counts[2];
        StatsRow* targets[2];
        for (size_t s = 0; s < k; ++s) {
            const size_t i = first + s;
            rows[i][kStatId] = variables[i];
            names[i] = variable_name(context.header, variables[i]);
            if (collect_valid_values(context, variables[i], values[s], nullptr) < 0) return -1;
            samples[s] = values[s].data();
            counts[s] = values[s].size();
            targets[s] = &rows[i];
        }
        describe_samples(samples, counts, targets, k);
    }
    channel_write(kReportChannel, descriptive_report(context, rows, names));
    descriptive_xml(context, rows, names);
    return 0;
}

}  // namespace quorix
