#include "analyses/basic/frequency.h"

#include <new>

#include "analyses/basic/descriptive.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/run_frame.h"
#include "numeric/sorting.h"
#include "report/result_document.h"

namespace quorix {

namespace {

constexpr char kNoLabel[] = "       ";

// One distinct value as both tables show it.
struct CategoryLine {
    std::string label;  // the value's label text; seven blanks without a label set
    std::string value;  // "MISSING", "VARMISS" or the value with "%7.2f"
    const char* mark;   // " <", " >" or two blanks
    int count;
    double cell;        // percent of the cases in the file
    double cumulative;
};

// Walks a table's categories in order, keeping the running totals.
struct TableWalk {
    const FrequencyTable& table;
    int next_category = 0;
    int total = 0;
    double cumulative = 0;
    bool marked = false;  // any range mark written

    bool next(CategoryLine& line) {
        if (next_category >= table.categories) return false;
        const int j = next_category++;
        const double v = table.values[j];
        line.label.clear();
        line.value.clear();
        line.mark = "  ";
        if (table.labels)
            value_label_text(line.label, table.labels, v);
        else
            line.label = kNoLabel;
        if (v == kSystemMissing) {
            line.value = "MISSING";
        } else if (v == table.missing1) {
            line.value = "VARMISS";
        } else {
            append_printf(line.value, "%7.2f", v);
            if (v < table.minimum)
                line.mark = " <";
            else if (v > table.maximum)
                line.mark = " >";
        }
        marked = marked || line.mark[1] != ' ';
        line.count = table.counts[j];
        line.cell = table.cases > 0 ? static_cast<double>(line.count) * 100 / table.cases : 0;
        cumulative += line.cell;
        line.cumulative = cumulative;
        total += line.count;
        return true;
    }
};

}  // namespace

int frequency_table_text(std::string& text, const FrequencyTable& table) {
    const size_t start = text.size();
    text += "\n";
    text += "       CATEGORY                     P  E  R  C  E  N  T\n";
    text += table.labels ? "       NAME(  VALUE)    COUNT       CELL     CUMULATIVE\n"
                         : "         VALUE          COUNT       CELL     CUMULATIVE\n";
    text += "_______________________________________________________\n";
    TableWalk walk{table};
    for (CategoryLine line; walk.next(line);) {
        if (table.labels)
            append_printf(text, "  %9s(%s)%s  ", line.label.c_str(), line.value.c_str(), line.mark);
        else
            append_printf(text, "%s%s%s        ", kNoLabel, line.value.c_str(), line.mark);
        append_printf(text, "%5d      %5.2f         %6.2f\n", line.count, line.cell, line.cumulative);
    }
    text += "_______________________________________________________\n";
    append_printf(text, "        TOTAL COUNTS    %5d     TOTAL PERCENT  %6.2f\n", walk.total, walk.cumulative);
    if (walk.marked) {
        text += "\n";
        text += "Values above the maximum are denoted by >\n";
        text += "Values below the minimum are denoted by <\n";
    }
    return static_cast<int>(text.size() - start);
}

void frequency_table_xml(const FrequencyTable& table) {
    // Written in blocks: a table can have a category per case.
    constexpr size_t kBlock = 1 << 16;
    std::string xml;
    TableWalk walk{table};
    for (CategoryLine line; walk.next(line);) {
        if (xml.size() >= kBlock) {
            xml_write(xml);
            xml.clear();
        }
        xml += "<CAT>\n";
        append_printf(xml, "%s%s%s\n", "<CatName>", line.label.c_str(), "</CatName>");
        append_printf(xml, "%s%s%s\n", "<CatVAL>", line.value.c_str(), "</CatVAL>");
        append_printf(xml, "%s%s%s\n", "<OutOfRange>", line.mark, "</OutOfRange>");
        append_printf(xml, "%s%d%s\n", "<Count>", line.count, "</Count>");
        append_printf(xml, "%s%7.2f%s\n", "<CellPercnt>", line.cell, "</CellPercnt>");
        append_printf(xml, "%s%7.2f%s\n", "<CumPercnt>", line.cumulative, "</CumPercnt>");
        xml += "</CAT>\n";
    }
    append_printf(xml, "%s%5d%s\n", "<TCount>", walk.total, "</TCount>");
    append_printf(xml, "%s%7.2f%s\n", "<TPercnt>", walk.cumulative, "</TPercnt>");
    append_printf(xml, "%s%d%s\n", "<IsOOR>", walk.marked ? 1 : 0, "</IsOOR>");
    xml_write(xml);
}

namespace {

template <typename T>
bool reserve_or_log(std::vector<T>& work, size_t size, const char* message) {
    try {
        work.reserve(size);
        return true;
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s\n", message);
        return false;
    }
}

}  // namespace

int frequency_driver(RunContext& context, const std::vector<int>& variables, int option) {
    const int describe = option != 0 ? 1 : 0;
    const int cases = context.header.case_count > 0 ? context.header.case_count : 0;
    const size_t case_slots = static_cast<size_t>(cases);
    std::string report;
    std::vector<double> column, distinct, values;
    std::vector<int> counts;
    try {
        report.reserve(20000);
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s\n", "do not have enough memeory");
        return -1;
    }
    if (!reserve_or_log(column, case_slots, "Do not have enough memory space") ||
        !reserve_or_log(distinct, case_slots, " Do not have enough memory space") ||
        !reserve_or_log(values, case_slots, " Do not have enough memory space") ||
        !reserve_or_log(counts, case_slots, " Do not have enough memory space"))
        return -1;

    const int variable_count = static_cast<int>(variables.size());
    report += "FREQUENCY TABLES\n\n";
    case_count_lines(report, variable_count, context.path.c_str(), context.header.case_count, -1, -1);
    ResultHead head;
    head.analysis = "Frequency";
    head.variable_count = variable_count;
    head.description_flag = describe;
    write_result_head(context, head);

    for (const int variable : variables) {
        const std::string name = variable_name(context.header, variable);
        append_printf(report, "\n\n **************\n *%8s    *\n **************\n", name.c_str());
        xml_printf("<Item>\n");
        xml_printf("%s%d%s\n", "<ID>", variable, "</ID>");
        xml_printf("%s%s%s\n", "<Name>", name.c_str(), "</Name>");

        // A column that cannot be read leaves the buffer as it was (the
        // previous variable's values, or zeros): the table shows what it holds.
        read_numeric_column(context, variable, column);
        column.resize(case_slots, 0.0);

        if (describe) {
            StatsRow row{};
            row[kStatId] = variable;
            if (collect_valid_values(context, variable, values, nullptr) < 0) return -1;
            describe_sample(values.data(), values.size(), row);
            stats_block_text(report, row);
            write_stats_block(row);
        }

        distinct.resize(case_slots);
        counts.resize(case_slots);
        FrequencyTable table;
        table.values = distinct.data();
        table.counts = counts.data();
        table.categories = count_distinct(column.data(), cases, distinct.data(), counts.data());
        table.cases = cases;
        table.labels = find_variable(context.header.label_sets, name);
        if (variable >= 1 && static_cast<size_t>(variable) <= context.dictionary.size()) {
            const VariableDescriptor& descriptor = context.dictionary[static_cast<size_t>(variable) - 1];
            table.missing1 = descriptor.missing_value1;
            table.maximum = descriptor.missing_value2;
            table.minimum = descriptor.missing_value3;
        } else {
            table.minimum = -kSystemMissing;  // no descriptor: no range to mark against
        }
        frequency_table_text(report, table);
        frequency_table_xml(table);
        xml_printf("</Item>\n");
    }
    write_result_end();
    channel_write(kReportChannel, report);
    channel_printf(kLogChannel, "%s\n", "FREQUENCY TABLES DONE !");
    return 0;
}

int frequency_frame(const char* data_path, const char* run_name, const std::vector<int>& variables, int option,
                    const std::vector<int32_t>& selection) {
    return run_frame(data_path, run_name, FrameId::frequency, selection, [&](RunContext& context) {
        return frequency_driver(context, variables, option);
    });
}

}  // namespace quorix
