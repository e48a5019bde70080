#include "report/result_document.h"

#include <cmath>
#include <ctime>

#include "frame/channels.h"

namespace quorix {

void write_result_head(const RunContext& context, const ResultHead& head) {
    xml_printf("%s\n", "<RESULT RTYPE=\"GENSTAT\">");
    xml_printf("%s%s%s\n", "<Analysis>", head.analysis, "</Analysis>");
    xml_printf("%s\n", "<DataInf>");
    if (head.title) xml_printf("%s%s%s\n", "<anaName>", head.title, "</anaName>");
    xml_printf("%s%d%s\n", "<nVar>", head.variable_count, "</nVar>");
    if (head.file_name == FileNameForm::quoted)
        xml_printf("%s%s%s\n", "<FileName>\"", context.path.c_str(), "\"</FileName>");
    else if (head.file_name == FileNameForm::bare)
        xml_printf("%s%s%s\n", "<FileName>", context.path.c_str(), "</FileName>");
    if (head.description_flag == 0 || head.description_flag == 1)
        xml_printf("%s%d%s\n", "<ISDESC>", head.description_flag, "</ISDESC>");
    xml_printf("%s\n", "</DataInf>");
}

void write_result_end() { xml_printf("%s\n", "</RESULT>"); }

void write_stats_block(const StatsRow& row) {
    static const char* const kElements[] = {"Mean", "Sum", "SSQRE", "STD", "Median", "OneQRT",
                                            "ThirdQRT", "Min", "Max", "Range", "Skewness", "Kurtosis"};
    xml_printf("%s%5.0f%s\n", "<Cases>", row[kStatCases], "</Cases>");
    for (int i = 0; i < 12; ++i) {
        const std::string open = std::string("<") + kElements[i] + ">";
        const std::string close = std::string("</") + kElements[i] + ">";
        xml_printf("%s%15.3f%s\n", open.c_str(), row[kStatMean + i], close.c_str());
    }
}

const char* matrix_value_format(int format_choice, double value) {
    static const char* const kFormats[] = {"%10.4f", "%10.1f", "%10g"};
    int choice = (format_choice >= 0 && format_choice <= 2) ? format_choice : 0;
    const double magnitude = std::fabs(value);
    if (choice == 0 && magnitude >= 10000) choice = 1;
    if (magnitude >= 1e7) choice = 2;
    return kFormats[choice];
}

namespace {

void write_name_header(const RunContext& context, const int* variables, int count, const char* corner) {
    xml_printf("<line>\n");
    xml_printf("<cell>%s</cell>", corner);
    for (int i = 0; i < count; ++i)
        xml_printf("<cell>%s</cell>", variable_name(context.header, variables[i]).c_str());
    xml_printf("</line>\n");
}

}  // namespace

void write_matrix_xml(const int* variables, int count, const double* packed, int format_choice,
                      const RunContext& context) {
    write_name_header(context, variables, count, " ");
    if (count < 1) {
        xml_printf("<text/>\n");
        return;
    }
    for (int i = 0; i < count; ++i) {
        xml_printf("<line><cell>%s</cell>", variable_name(context.header, variables[i]).c_str());
        for (int j = 0; j < count; ++j) {
            if (j > i) {
                xml_printf("<cell> </cell>");
                continue;
            }
            const double value = packed[static_cast<size_t>(i) * (i + 1) / 2 + j];
            if (value == kSystemMissing) {
                xml_printf("<cell>*</cell>");
                continue;
            }
            const std::string format = std::string("<cell>") + matrix_value_format(format_choice, value) + "</cell>";
            xml_printf(format.c_str(), value);
        }
        xml_printf("</line>\n");
    }
    xml_printf("<text/>\n");
}

void write_count_matrix_xml(const RunContext& context, const int* variables, const int32_t* packed, int count) {
    write_name_header(context, variables, count, "  ");
    for (int i = 0; i < count; ++i) {
        xml_printf("<line>\n<cell>%s</cell>", variable_name(context.header, variables[i]).c_str());
        for (int j = 0; j < count; ++j) {
            if (j <= i)
                xml_printf("%s%10d%s", "<cell>", packed[static_cast<size_t>(i) * (i + 1) / 2 + j], "</cell>");
            else
                xml_printf("<cell>  </cell>");
        }
        xml_printf("</line>\n");
    }
}

void write_anova_row(const char* source, int df, double ss, double ms, double f, double p) {
    xml_printf("<line>\n");
    xml_printf("%s%s%s\n", "<sName>", source, "</sName>");
    xml_printf("%s%15.3f%s\n", "<SS>", ss, "</SS>");
    xml_printf("%s%d%s\n", "<DF>", df, "</DF>");
    const struct {
        const char* open;
        const char* close;
        double value;
    } cells[] = {{"<MeanSqr>", "</MeanSqr>", ms}, {"<fValue>", "</fValue>", f}, {"<pValue>", "</pValue>", p}};
    for (const auto& cell : cells) {
        if (cell.value == kNotApplicable)
            xml_printf("%s%s\n", cell.open, cell.close);
        else
            xml_printf("%s%15.3f%s\n", cell.open, cell.value, cell.close);
    }
    xml_printf("</line>\n");
}

int report_banner(std::string& text) {
    static const char* const kDays[] = {"Sun", "Mon", "Tue", "Wed", "Thu", "Fri", "Sat"};
    static const char* const kMonths[] = {"Jan", "Feb", "Mar", "Apr", "May", "Jun",
                                          "Jul", "Aug", "Sep", "Oct", "Nov", "Dec"};
    const std::time_t now = std::time(nullptr);
    std::tm local{};
#if defined(_WIN32)
    localtime_s(&local, &now);
#else
    localtime_r(&now, &local);
#endif
    // The C library's ctime layout, formed here because ctime shares a static buffer.
    return append_printf(text, "\nVOR 6.1       %.3s %.3s%3d %.2d:%.2d:%.2d %d\n\n", kDays[local.tm_wday % 7],
                         kMonths[local.tm_mon % 12], local.tm_mday, local.tm_hour, local.tm_min, local.tm_sec,
                         1900 + local.tm_year);
}

}  // namespace quorix
