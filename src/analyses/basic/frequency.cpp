#include "analyses/basic/frequency.h"

#include <memory>
#include <new>
#include <utility>

#include "analyses/basic/descriptive.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/run_frame.h"
#include "numeric/sorting.h"
#include "report/matrix_text.h"
#include "report/result_document.h"

namespace quorix {

namespace {

constexpr char kNoLabel[] = "       ";
// Table text and XML are handed on in blocks of about this size: a table can
// have a category per case.
constexpr size_t kBlock = 1 << 16;

// One distinct value as both tables show it.
struct CategoryLine {
    std::string label;  // the value's label text, with a label set only
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
        if (table.labels) value_label_text(line.label, table.labels, v);
        if (v == kSystemMissing) {
            line.value = "MISSING";
        } else if (v == table.missing1 || is_missing(v, table.missing)) {
            line.value = "VARMISS";
        } else {
            append_fixed(line.value, v, 7, 2);
            const bool ranged = table.missing.kind < 2;  // kinds 2 to 5: missing values 2 and 3 are codes
            if (ranged && v < table.minimum)
                line.mark = " <";
            else if (ranged && v > table.maximum)
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

// Appends the text table to text, calling drain(text) whenever text holds a
// block or more; drain may send the text on and clear it, or keep it.
template <typename Drain>
void write_table_text(std::string& text, const FrequencyTable& table, Drain&& drain) {
    text += "\n";
    text += "       CATEGORY                     P  E  R  C  E  N  T\n";
    text += table.labels ? "       NAME(  VALUE)    COUNT       CELL     CUMULATIVE\n"
                         : "         VALUE          COUNT       CELL     CUMULATIVE\n";
    text += "_______________________________________________________\n";
    TableWalk walk{table};
    size_t drained_at = text.size();  // a keeping drain is called again only a block later
    for (CategoryLine line; walk.next(line);) {
        if (table.labels) {
            append_printf(text, "  %9s(%s)%s  ", line.label.c_str(), line.value.c_str(), line.mark);
        } else {
            text += kNoLabel;
            text += line.value;
            text += line.mark;
            text += "        ";
        }
        // "%5d      %5.2f         %6.2f\n"
        append_int(text, line.count, 5);
        text += "      ";
        append_fixed(text, line.cell, 5, 2);
        text += "         ";
        append_fixed(text, line.cumulative, 6, 2);
        text += '\n';
        if (text.size() >= drained_at + kBlock) {
            drain(text);
            drained_at = text.size();
        }
    }
    text += "_______________________________________________________\n";
    append_printf(text, "        TOTAL COUNTS    %5d     TOTAL PERCENT  %6.2f\n", walk.total, walk.cumulative);
    if (walk.marked) {
        text += "\n";
        text += "Values above the maximum are denoted by >\n";
        text += "Values below the minimum are denoted by <\n";
    }
}

}  // namespace

int frequency_table_text(std::string& text, const FrequencyTable& table) {
    const size_t start = text.size();
    write_table_text(text, table, [](std::string&) {});
    return static_cast<int>(text.size() - start);
}

void frequency_table_xml(const FrequencyTable& table) {
    std::string xml;
    xml.reserve(kBlock + 1024);
    TableWalk walk{table};
    for (CategoryLine line; walk.next(line);) {
        if (xml.size() >= kBlock) {
            xml_write(xml);
            xml.clear();
        }
        xml += "<CAT>\n<CatName>";
        if (table.labels)
            append_printf(xml, "%s", line.label.c_str());
        else
            xml += kNoLabel;
        xml += "</CatName>\n<CatVAL>";
        xml += line.value;
        xml += "</CatVAL>\n<OutOfRange>";
        xml += line.mark;
        xml += "</OutOfRange>\n<Count>";
        append_int(xml, line.count, 0);
        xml += "</Count>\n<CellPercnt>";
        append_fixed(xml, line.cell, 7, 2);
        xml += "</CellPercnt>\n<CumPercnt>";
        append_fixed(xml, line.cumulative, 7, 2);
        xml += "</CumPercnt>\n</CAT>\n";
    }
    append_printf(xml, "%s%5d%s\n", "<TCount>", walk.total, "</TCount>");
    append_printf(xml, "%s%7.2f%s\n", "<TPercnt>", walk.cumulative, "</TPercnt>");
    append_printf(xml, "%s%d%s\n", "<IsOOR>", walk.marked ? 1 : 0, "</IsOOR>");
    xml_write(xml);
}

namespace {

template <typename Vector>
bool reserve_or_log(Vector& work, size_t size, const char* message) {
    try {
        work.reserve(size);
        return true;
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s\n", message);
        return false;
    }
}

// An allocator that leaves new elements uninitialized. The work arrays of the
// distinct values have room for a category per case, but only the categories
// found are written: the rest of their pages is never touched.
template <typename T>
struct UninitializedAllocator : std::allocator<T> {
    template <typename U>
    struct rebind {
        using other = UninitializedAllocator<U>;
    };
    UninitializedAllocator() = default;
    template <typename U>
    UninitializedAllocator(const UninitializedAllocator<U>&) noexcept {}
    template <typename U>
    void construct(U* at) noexcept {
        ::new (static_cast<void*>(at)) U;
    }
    template <typename U, typename... Args>
    void construct(U* at, Args&&... args) {
        ::new (static_cast<void*>(at)) U(std::forward<Args>(args)...);
    }
};

// A table whose text waits for the end of the run: it goes into the report
// at offset `at`, after the text before it.
struct PendingTable {
    size_t at;
    FrequencyTable table;
    std::vector<double> values;
    std::vector<int> counts;
};

// Sends the report to the report channel in blocks, each pending table
// formatted in its place.
void send_report(const std::string& report, std::vector<PendingTable>& tables) {
    std::string block;
    block.reserve(2 * kBlock);
    const auto send = [](std::string& text) {
        channel_write(kReportChannel, text);
        text.clear();
    };
    size_t from = 0;
    for (PendingTable& pending : tables) {
        block.append(report, from, pending.at - from);
        from = pending.at;
        pending.table.values = pending.values.data();
        pending.table.counts = pending.counts.data();
        write_table_text(block, pending.table, send);
    }
    block.append(report, from, std::string::npos);
    send(block);
}

}  // namespace

int frequency_driver(RunContext& context, const std::vector<int>& variables, int option) {
    const int describe = option != 0 ? 1 : 0;
    const int cases = context.header.case_count > 0 ? context.header.case_count : 0;
    const size_t case_slots = static_cast<size_t>(cases);
    // The report holds everything but the tables, which are formatted when it
    // is sent: a run that fails on the way sends no report, and a table's text
    // is many times the size of its values and counts.
    std::string report;
    std::vector<PendingTable> tables;
    std::vector<double> column, values;
    std::vector<double, UninitializedAllocator<double>> distinct;
    std::vector<int, UninitializedAllocator<int>> counts;
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
    tables.reserve(variables.size());
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
        const int categories = count_distinct(column.data(), cases, distinct.data(), counts.data());
        PendingTable pending;
        pending.at = report.size();
        pending.values.assign(distinct.begin(), distinct.begin() + categories);
        pending.counts.assign(counts.begin(), counts.begin() + categories);
        FrequencyTable& table = pending.table;
        table.values = pending.values.data();
        table.counts = pending.counts.data();
        table.categories = categories;
        table.cases = cases;
        table.labels = find_variable(context.header.label_sets, name);
        if (variable >= 1 && static_cast<size_t>(variable) <= context.dictionary.size()) {
            const VariableDescriptor& descriptor = context.dictionary[static_cast<size_t>(variable) - 1];
            table.missing1 = descriptor.missing_value1;
            table.maximum = descriptor.missing_value2;
            table.minimum = descriptor.missing_value3;
            table.missing = missing_rule(descriptor);
        } else {
            table.minimum = -kSystemMissing;  // no descriptor: no range to mark against
        }
        frequency_table_xml(table);
        tables.push_back(std::move(pending));
        xml_printf("</Item>\n");
    }
    write_result_end();
    send_report(report, tables);
    channel_printf(kLogChannel, "%s\n", "FREQUENCY TABLES DONE !");
    return 0;
}

}  // namespace quorix
