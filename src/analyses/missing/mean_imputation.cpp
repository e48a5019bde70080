#include "analyses/missing/mean_imputation.h"

#include <cstddef>
#include <new>
#include <string>

#include "analyses/missing/working_copy.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "numeric/sorting.h"
#include "report/result_document.h"

namespace quorix {

namespace {

int stop_in_log(const char* message) {
    channel_printf(kLogChannel, "%s\n", message);
    return -1;
}

// Mean of the values that are not 1e35 among values[t] where in_group(t); 1e35 without any.
template <typename Member>
double mean_of(const std::vector<double>& values, Member in_group) {
    double sum = 0;
    long long count = 0;
    for (size_t t = 0; t < values.size(); ++t) {
        if (values[t] == kSystemMissing || !in_group(t)) continue;
        sum += values[t];
        ++count;
    }
    return count ? sum / static_cast<double>(count) : kSystemMissing;
}

struct Groups {
    std::vector<double> codes;  // ascending
    std::vector<int> of_case;   // per used case
};

void write_mean_xml(int first_line, int variable, const std::string& name, const double* code, double mean) {
    xml_printf("<line>\n");
    if (first_line) {
        xml_printf("%s%d%s\n", "<ID>", variable, "</ID>");
        xml_printf("%s%s%s\n", "<Name>", name.c_str(), "</Name>");
    } else {
        xml_printf("<ID>  </ID>\n");
        xml_printf("<Name>  </Name>\n");
    }
    if (code) xml_printf("%s%11.2lf%s\n", "<gCode>", *code, "</gCode>");
    if (mean == kSystemMissing)
        xml_printf("%s%s%s\n", "<Mean>", "No Valid Cases", "</Mean>");
    else
        xml_printf("%s%11.4f%s\n", "<Mean>", mean, "</Mean>");
    xml_printf("</line>\n");
}

}  // namespace

int mean_imputation_driver(RunContext& context, const std::vector<int>& variables, int group) {
    const int k = static_cast<int>(variables.size());
    std::vector<int32_t> mask;
    std::vector<double> group_values, values, column;
    Groups groups;
    std::vector<int> used_cases;
    WorkingCopy copy;
    try {
        build_case_mask(context, mask);
        if (group > context.header.variable_count) return stop_in_log(" read data error ");
        if (group > 0 && !mark_missing_cases(kMarkMissingInAny, 1, mask, &group, context))
            return stop_in_log(" Not enough memory !");
        for (size_t c = 0; c < mask.size(); ++c)
            if (mask[c] == kCaseTakesPart) used_cases.push_back(static_cast<int>(c));
        if (context.header.case_count <= 0 || used_cases.empty()) {
            context.found_nothing = true;
            return stop_in_log(" No used data found!");
        }
        if (group > 0) {
            const std::string name = variable_name(context.header, group);
            if (gather_values_marked(context, group_values, group, &mask) < 0 ||
                group_values.size() < used_cases.size())
                return stop_in_log(" read data error ");
            group_values.resize(used_cases.size());
            std::vector<double> distinct(group_values.size());
            const int levels = count_distinct(group_values.data(), static_cast<int>(group_values.size()),
                                              distinct.data(), nullptr);
            if (levels > kMaxImputationGroups) {
                channel_printf(kLogChannel, "Grouping variable %-s has more than%3d categories.\n", name.c_str(),
                               kMaxImputationGroups);
                return -1;
            }
            if (levels <= 1) {
                channel_printf(kLogChannel, "Grouping variable %-s is a constant.\n", name.c_str());
                return -1;
            }
            groups.codes.assign(distinct.begin(), distinct.begin() + levels);
            for (double value : group_values) {
                int index = 0;
                while (index + 1 < levels && !(groups.codes[static_cast<size_t>(index)] == value)) ++index;
                groups.of_case.push_back(index);
            }
        }
    } catch (const std::bad_alloc&) {
        return stop_in_log(" Not enough memory !");
    }
    const int n = static_cast<int>(used_cases.size());

    const std::string group_name = group > 0 ? variable_name(context.header, group) : "";
    xml_printf("%s\n", "<RESULT RTYPE=\"GENSTAT\">");
    xml_printf("%s%s%s\n", "<Analysis>", "MisMean", "</Analysis>");
    xml_printf("%s\n", "<DataInf>");
    xml_printf("%s%d%s\n", "<nVar>", k, "</nVar>");
    xml_printf("%s%s%s\n", "<gVar>", group_name.c_str(), "</gVar>");
    xml_printf("%s%s%s\n", "<FileName>", context.path.c_str(), "</FileName>");
    xml_printf("%s\n", group > 0 ? "<Group> 1 </Group>" : "<Group> 0 </Group>");
    xml_printf("%s\n", "</DataInf>");

    std::string text;
    report_banner(text);
    text += "IMPUTE MISSING CELLS USING ";
    text += group > 0 ? "GROUP" : "VARIABLE";
    text += " MEANS\n\n";
    xml_printf("<MeanTbl>\n");
    case_count_lines(text, group > 0 ? k + 1 : k, context.path.c_str(), context.header.case_count, n, -1);
    if (group > 0) {
        append_printf(text, "GROUPING VARIABLE IS VARIABLE #%d (%9s)\n", group, group_name.c_str());
        text += "\n    VARIABLE ID         NAME    GROUP CODE          MEAN\n";
    } else {
        text += "    VARIABLE ID      NAME            MEAN\n";
    }

    bool empty_group = false;
    bool written = true;
    try {
        for (int variable : variables) {
            const std::string name = variable_name(context.header, variable);
            if (gather_values_marked(context, values, variable, &mask) < 0 ||
                static_cast<int>(values.size()) < n)
                return stop_in_log(" read data error ");
            values.resize(static_cast<size_t>(n));
            const double variable_mean = mean_of(values, [](size_t) { return true; });
            std::vector<double> fill(groups.codes.size(), variable_mean);
            if (group == 0 || variable_mean == kSystemMissing) {
                if (variable_mean == kSystemMissing)
                    append_printf(text, group > 0 ? "          %5d  %9s             NO VALID CASES\n"
                                                  : "          %5d  %9s  NO VALID CASES\n",
                                  variable, name.c_str());
                else
                    append_printf(text, "          %5d  %9s    %11.4lf\n", variable, name.c_str(), variable_mean);
                write_mean_xml(1, variable, name, nullptr, variable_mean);
            } else {
                for (size_t g = 0; g < groups.codes.size(); ++g) {
                    double mean = mean_of(values, [&](size_t t) { return groups.of_case[t] == static_cast<int>(g); });
                    const bool replaced = mean == kSystemMissing;
                    if (replaced) {
                        mean = variable_mean;
                        empty_group = true;
                    }
                    fill[g] = mean;
                    if (g == 0)
                        append_printf(text, "          %5d     %9s ", variable, name.c_str());
                    else
                        text.append(30, ' ');
                    append_printf(text, replaced ? "%11.2lf  %12.4lf *\n" : "%11.2lf  %12.4lf\n", groups.codes[g],
                                  mean);
                    write_mean_xml(g == 0, variable, name, &groups.codes[g], mean);
                }
            }
            if (!written) continue;
            // The working copy is made once; each variable's filled column goes into it.
            if (copy.path.empty()) {
                if (!begin_working_copy(context, copy)) {
                    written = false;
                    continue;
                }
                channel_printf(kReportChannel, " Filled data will be written to %s.\n", copy.path.c_str());
            }
            if (!read_numeric_column(context, variable, column)) {
                written = false;
                continue;
            }
            for (size_t t = 0; t < used_cases.size(); ++t)
                if (values[t] == kSystemMissing)
                    column[static_cast<size_t>(used_cases[t])] = group > 0 ? fill[static_cast<size_t>(groups.of_case[t])]
                                                                           : variable_mean;
            written = write_numeric_column(context, copy, variable, column) == 1;
        }
        if (written) written = finish_working_copy(copy) == 1;
    } catch (const std::bad_alloc&) {
        return stop_in_log(" Not enough memory !");
    }
    // The report still shows the means; the run fails so that callers know
    // the filled copy is not there (any older copy is left as it was).
    if (!written) {
        console_printf(" Error writting data to temp file !");
        channel_printf(kLogChannel, " Error writting data to temp file !\n");
    }

    channel_write(kReportChannel, text);
    if (empty_group) channel_printf(kReportChannel, "*  GROUP MEAN REPLACED BY VARIABLE MEAN (EMPTY GROUP)\n");
    xml_printf("</MeanTbl>\n");
    write_result_end();
    channel_printf(kReportChannel, "Mean Imputation Done !");
    return written ? 0 : -1;
}

}  // namespace quorix
