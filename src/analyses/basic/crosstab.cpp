#include "analyses/basic/crosstab.h"

#include <algorithm>
#include <cmath>
#include <new>

#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/run_frame.h"
#include "numeric/distributions.h"
#include "numeric/sorting.h"
#include "report/matrix_text.h"
#include "report/result_document.h"

namespace quorix {

namespace {

constexpr int kPanelColumns = 5;
constexpr int kAnyOption = kShowCellPercent | kShowRowPercent | kShowColumnPercent | kShowExpected;

// A table of counts; the two-way table is the single layer of a three-way one.
struct CrossTable {
    bool three_way = false;
    int layers = 1, rows = 0, columns = 0;
    double n = 0;
    std::vector<int32_t> counts;  // cell (l, i, j) at (l * rows + i) * columns + j
    std::vector<int32_t> row_totals, column_totals, layer_totals;
    std::vector<int32_t> layer_row_totals, layer_column_totals;  // (l, i) and (l, j)
    std::vector<std::string> row_labels, column_labels, layer_labels;

    size_t cell(int l, int i, int j) const {
        return (static_cast<size_t>(l) * rows + static_cast<size_t>(i)) * columns + static_cast<size_t>(j);
    }
    // Column index `columns` is the total column: the row totals of the layer.
    int32_t count(int l, int i, int j) const {
        return j == columns ? layer_row_totals[static_cast<size_t>(l) * rows + i] : counts[cell(l, i, j)];
    }
    int32_t column_total(int l, int j) const {
        return j == columns ? layer_totals[l] : layer_column_totals[static_cast<size_t>(l) * columns + j];
    }
    // Independence of rows and columns, or mutual independence of all three;
    // in doubles, so that no product of totals overflows.
    double expected(int l, int i, int j) const {
        const double margins = static_cast<double>(row_totals[i]) * column_totals[j];
        return three_way ? margins * layer_totals[l] / (n * n) : margins / n;
    }
};

// A row category can be absent from a layer of a three-way table: its
// percentages print as 0.00 rather than as 0/0.
double percent(double part, double whole) { return whole > 0 ? 100.0 * part / whole : 0.0; }

std::vector<std::string> category_labels(const Categories& categories, const ValueLabelSet* set) {
    std::vector<std::string> labels(categories.values.size());
    for (size_t j = 0; j < labels.size(); ++j) value_label_text(labels[j], set, categories.values[j]);
    return labels;
}

// Codes the columns (rows, columns[, layers]) into a table; false after
// " Not enough memory !" when it would be too large or memory ran out.
bool build_table(const std::vector<std::vector<double>>& data, const std::vector<const ValueLabelSet*>& sets,
                 CrossTable& t) {
    try {
        const Categories rows = code_categories(data[0]);
        const Categories columns = code_categories(data[1]);
        Categories layers;
        t.three_way = data.size() > 2;
        if (t.three_way) layers = code_categories(data[2]);
        t.rows = static_cast<int>(rows.values.size());
        t.columns = static_cast<int>(columns.values.size());
        t.layers = t.three_way ? static_cast<int>(layers.values.size()) : 1;
        const int64_t cells = int64_t{t.layers} * t.rows * t.columns;
        if (cells > kMaxTableCells) throw std::bad_alloc();

        const size_t n = data[0].size();
        t.n = static_cast<double>(n);
        t.counts.assign(static_cast<size_t>(cells), 0);
        t.layer_row_totals.assign(static_cast<size_t>(t.layers) * t.rows, 0);
        t.layer_column_totals.assign(static_cast<size_t>(t.layers) * t.columns, 0);
        for (size_t c = 0; c < n; ++c) {
            const int l = t.three_way ? layers.codes[c] : 0;
            const int i = rows.codes[c], j = columns.codes[c];
            ++t.counts[t.cell(l, i, j)];
            ++t.layer_row_totals[static_cast<size_t>(l) * t.rows + i];
            ++t.layer_column_totals[static_cast<size_t>(l) * t.columns + j];
        }
        t.row_totals.assign(rows.counts.begin(), rows.counts.end());
        t.column_totals.assign(columns.counts.begin(), columns.counts.end());
        if (t.three_way)
            t.layer_totals.assign(layers.counts.begin(), layers.counts.end());
        else
            t.layer_totals.assign(1, static_cast<int32_t>(n));
        t.row_labels = category_labels(rows, sets[0]);
        t.column_labels = category_labels(columns, sets[1]);
        if (t.three_way) t.layer_labels = category_labels(layers, sets[2]);
        return true;
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s\n", " Not enough memory !");
        return false;
    }
}

struct Independence {
    double pearson = 0, likelihood = 0;
    double pearson_p = 0, likelihood_p = 0;
    long df = 0;
    double minimum = 0;  // the smallest expected count, the first in cell order
    int minimum_layer = 0, minimum_row = 0, minimum_column = 0;
};

Independence test_independence(const CrossTable& t) {
    Independence r;
    r.minimum = t.n * t.n;
    for (int l = 0; l < t.layers; ++l) {
        for (int i = 0; i < t.rows; ++i) {
            for (int j = 0; j < t.columns; ++j) {
                const double o = t.counts[t.cell(l, i, j)];
                const double e = t.expected(l, i, j);
                r.pearson += (o - e) * (o - e) / e;
                if (o > 0 && e > 0) r.likelihood += o * std::log(o / e);
                if (e < r.minimum) {
                    r.minimum = e;
                    r.minimum_layer = l;
                    r.minimum_row = i;
                    r.minimum_column = j;
                }
            }
        }
    }
    r.likelihood *= 2;
    const long layers = t.layers, rows = t.rows, columns = t.columns;
    r.df = t.three_way ? layers * rows * columns - layers - rows - columns + 2 : (rows - 1) * (columns - 1);
    const double half_df = static_cast<double>(r.df) / 2;
    r.pearson_p = gamma_q(half_df, r.pearson / 2);
    r.likelihood_p = gamma_q(half_df, r.likelihood / 2);
    return r;
}

// The table of the used cases and its tests; false after a line on the log
// when there are no used cases or the table cannot be made. The columns are
// freed once counted.
bool tabulate(std::vector<std::vector<double>>& columns, const std::vector<const ValueLabelSet*>& sets,
              CrossTable& table, Independence& result) {
    if (columns[0].empty()) {
        channel_printf(kLogChannel, "%s\n", " No used cases were found.");
        return false;
    }
    if (!build_table(columns, sets, table)) return false;
    columns.clear();
    result = test_independence(table);
    return true;
}

void statistics_text(std::string& text, const Independence& r) {
    text += "\nSTATISTICS        chi-square         DF        p\n";
    text += "--------------------------------------------------\n";
    append_printf(text, "Pearson          %10.3f      %6ld %10.3f\n", r.pearson, r.df, r.pearson_p);
    append_printf(text, "Likelihood       %10.3f      %6ld %10.3f\n", r.likelihood, r.df, r.likelihood_p);
}

// ---- Two-way text: panels of five columns, 12 characters each ----

void two_way_rule(std::string& text, int first, int last) {
    text += "|________";
    text += "_________";
    for (int j = first; j <= last; ++j) text += "|___________";
    text += "|\n";
}

// One optional line of a row: value(j) for each column, or a blank where it is negative.
template <typename Value>
void two_way_value_line(std::string& text, const char* title, int first, int last, Value value) {
    text += "|        ";
    append_printf(text, "%9s", title);
    for (int j = first; j <= last; ++j) {
        const double v = value(j);
        if (v < 0)
            text += "|           ";
        else
            append_printf(text, "|  %9.2f", v);
    }
    text += "|\n";
}

void two_way_panel(std::string& text, const CrossTable& t, const std::string& row_name, const std::string& column_name,
                   int display, int first) {
    const int total = t.columns;
    const int last = std::min(first + kPanelColumns - 1, total);
    text += "_________";
    text += "_________";
    for (int j = first; j <= last; ++j) text += "____________";
    text += "_\n";

    text += "|        ";
    text += "         ";
    for (int j = first; j <= last; ++j) {
        if (j == first)
            append_printf(text, "|  %9s", column_name.c_str());
        else
            text += j == total ? "|           " : "            ";
    }
    text += "|\n";

    text += "|        ";
    text += "         ";
    text += "|___________";
    for (int j = first + 1; j <= last; ++j) text += j == total ? "|           " : "____________";
    text += "|\n";

    text += "|        ";
    text += "         ";
    for (int j = first; j <= last; ++j) {
        if (j == total)
            text += "|      TOTAL";
        else
            append_printf(text, "|  %9s", t.column_labels[j].c_str());
    }
    text += "|\n";
    two_way_rule(text, first, last);

    const double n = t.n;
    for (int i = 0; i < t.rows; ++i) {
        if (i == 0)
            append_printf(text, "|%-8s", row_name.c_str());
        else
            text += "|        ";
        append_printf(text, "%9s", t.row_labels[i].c_str());
        for (int j = first; j <= last; ++j) append_printf(text, "|  %9d", static_cast<int>(t.count(0, i, j)));
        text += "|\n";
        const double row_total = t.row_totals[i];
        if (display & kShowCellPercent)
            two_way_value_line(text, "CELL %", first, last, [&](int j) { return percent(t.count(0, i, j), n); });
        if (display & kShowRowPercent)
            two_way_value_line(text, "ROW %", first, last,
                               [&](int j) { return j == total ? 100.0 : percent(t.count(0, i, j), row_total); });
        if (display & kShowColumnPercent)
            two_way_value_line(text, "COLUMN %", first, last, [&](int j) {
                return j == total ? -1.0 : percent(t.count(0, i, j), t.column_totals[j]);
            });
        if (display & kShowExpected)
            two_way_value_line(text, "EXPECTED", first, last,
                               [&](int j) { return j == total ? -1.0 : t.expected(0, i, j); });
        if (display & kAnyOption) two_way_rule(text, first, last);
    }

    append_printf(text, "|%-8s", "TOTAL");
    text += "         ";
    for (int j = first; j <= last; ++j) append_printf(text, "|  %9d", static_cast<int>(t.column_total(0, j)));
    text += "|\n";
    if (display & kShowCellPercent) {
        append_printf(text, "|%-9s", "TOTAL %");
        text += "        ";
        for (int j = first; j <= last; ++j) append_printf(text, "|  %9.2f", percent(t.column_total(0, j), n));
        text += "|\n";
    }
    if (display & kShowColumnPercent) {
        append_printf(text, "|%-9s", "COLUMN %");
        text += "        ";
        for (int j = first; j <= last; ++j) {
            if (j == total)
                text += "|           ";
            else
                append_printf(text, "|  %9.2f", 100.0);
        }
        text += "|\n";
    }
    two_way_rule(text, first, last);
}

// ---- Two-way XML ----

template <typename Cell>
void xml_table(const char* tag, const CrossTable& t, Cell cell) {
    xml_printf("<%s>\n", tag);
    std::string line;
    for (int i = 0; i <= t.rows; ++i) {
        line = "<line>\n";
        for (int j = 0; j <= t.columns; ++j) cell(line, i, j);
        line += "\n</line>\n";
        xml_write(line);
    }
    xml_printf("</%s>\n", tag);
}

void two_way_xml(const CrossTable& t, const Independence& r, const std::string& row_name,
                 const std::string& column_name, int display) {
    xml_printf("%s\n", "<VarName>");
    xml_printf("%s%9s%s\n", "<namey>", column_name.c_str(), "</namey>");
    xml_printf("%s%9s%s\n", "<namex>", row_name.c_str(), "</namex>");
    xml_printf("%s\n", "</VarName>");
    xml_printf("%s\n", "<YcatName>");
    for (const std::string& label : t.column_labels) xml_printf("%s%9s%s\n", "<catname>", label.c_str(), "</catname>");
    xml_printf("%s\n", "</YcatName>");
    xml_printf("%s\n", "<XcatName>");
    for (const std::string& label : t.row_labels) xml_printf("%s%9s%s\n", "<catname>", label.c_str(), "</catname>");
    xml_printf("%s\n", "</XcatName>");
    xml_printf("%s\n", "<Display>");
    xml_printf("%s%1d%s", "<Totcent>", (display & kShowCellPercent) ? 1 : 0, "</Totcent>");
    xml_printf("%s%1d%s", "<Rowcent>", (display & kShowRowPercent) ? 1 : 0, "</Rowcent>");
    xml_printf("%s%1d%s", "<Colcent>", (display & kShowColumnPercent) ? 1 : 0, "</Colcent>");
    xml_printf("%s%1d%s\n", "<Expected>", (display & kShowExpected) ? 1 : 0, "</Expected>");
    xml_printf("%s\n", "</Display>");

    // Index rows (and columns) is the total line (and column).
    const int rows = t.rows, columns = t.columns;
    const double n = t.n;
    auto count = [&](int i, int j) -> double {
        if (i == rows) return t.column_total(0, j);
        return t.count(0, i, j);
    };
    auto value_cell = [](std::string& line, double value) {
        append_printf(line, "%s%9.2f%s", "<cell>", value, "</cell>");
    };
    xml_table("Tab2CellTbl", t, [&](std::string& line, int i, int j) {
        append_printf(line, "%s%9d%s", "<cell>", static_cast<int>(count(i, j)), "</cell>");
    });
    xml_table("Tab2TotcentTbl", t, [&](std::string& line, int i, int j) {
        value_cell(line, i == rows && j == columns ? 100.0 : percent(count(i, j), n));
    });
    xml_table("Tab2RowcentTbl", t, [&](std::string& line, int i, int j) {
        if (j == columns) return value_cell(line, 100.0);
        value_cell(line, percent(count(i, j), i == rows ? n : t.row_totals[i]));
    });
    xml_table("Tab2ColcentTbl", t, [&](std::string& line, int i, int j) {
        if (i == rows) return value_cell(line, 100.0);
        value_cell(line, percent(count(i, j), j == columns ? n : t.column_totals[j]));
    });
    xml_table("Tab2ExpectTbl", t, [&](std::string& line, int i, int j) {
        value_cell(line, i == rows || j == columns ? 0.0 : t.expected(0, i, j));
    });

    xml_printf("%s", "<text>");
    xml_printf("MINIMUM ESTIMATED EXPECTED VALUE IS %9.3f IN (%3d,%3d)", r.minimum, r.minimum_row + 1,
               r.minimum_column + 1);
    xml_printf("%s\n", "</text>");
    xml_printf("%s\n", "<Chi2Tbl>");
    const struct {
        const char* name;
        double statistic, p;
    } tests[] = {{"Pearson", r.pearson, r.pearson_p}, {"Likelihood", r.likelihood, r.likelihood_p}};
    for (const auto& test : tests) {
        xml_printf("%s\n", "<line>");
        xml_printf("%s%s%s", "<name>", test.name, "</name>");
        xml_printf("%s%10.3f%s", "<ChiSqre>", test.statistic, "</ChiSqre>");
        xml_printf("%s%6ld%s", "<df>", r.df, "</df>");
        xml_printf("%s%10.3f%s\n", "<pValue>", test.p, "</pValue>");
        xml_printf("%s\n", "</line>");
    }
    xml_printf("%s\n", "</Chi2Tbl>");
}

// ---- Three-way text: a subtable per layer, panels of five 10-character columns ----

void three_way_rule(std::string& text, int first, int last) {
    text += "|___________________";
    for (int j = first; j <= last; ++j) text += "|_________";
    text += "|\n";
}

// One line of values: title (already formatted), value(j) per column, a blank where it is negative.
template <typename Value>
void three_way_value_line(std::string& text, const char* blank, int first, int last, Value value) {
    for (int j = first; j <= last; ++j) {
        const double v = value(j);
        if (v < 0)
            text += blank;
        else
            append_printf(text, "|%9.2f", v);
    }
    text += "|\n";
}

// The two head lines above the category labels: the first column carries the
// title, every further column its filler, the total column a bar; so a panel
// without the total column closes with "          |" or "__________|" and its
// lines stay as wide as the others.
void three_way_head_line(std::string& text, const char* first_cell, const char* filler, int first, int last,
                         int total) {
    text += "|                   ";
    text += first_cell;
    for (int j = first + 1; j <= last; ++j) text += j == total ? "|         " : filler;
    text += "|\n";
}

void three_way_panel(std::string& text, const CrossTable& t, const std::string (&names)[3], int display, int l,
                     int first) {
    const int total = t.columns;
    const int last = std::min(first + kPanelColumns - 1, total);
    for (int j = first - 2; j <= last; ++j) text += "__________";
    text += "_\n";
    std::string name_cell;
    append_printf(name_cell, "|%9s", names[1].c_str());
    three_way_head_line(text, name_cell.c_str(), "          ", first, last, total);
    three_way_head_line(text, "|_________", "__________", first, last, total);
    append_printf(text, "|%-9s", names[2].c_str());
    append_printf(text, "%-10s", names[0].c_str());
    for (int j = first; j <= last; ++j) append_printf(text, "|%9s", j == total ? "TOTAL" : t.column_labels[j].c_str());
    text += "|\n";
    three_way_rule(text, first, last);

    const double layer_total = t.layer_totals[l];
    for (int i = 0; i < t.rows; ++i) {
        if (i == 0)
            append_printf(text, "|%-9s", t.layer_labels[l].c_str());
        else
            text += "|         ";
        append_printf(text, " %-9s", t.row_labels[i].c_str());
        for (int j = first; j <= last; ++j) append_printf(text, "|%9d", static_cast<int>(t.count(l, i, j)));
        text += "|\n";
        const double row_total = t.count(l, i, total);
        const struct {
            int bit;
            const char* title;
        } lines[] = {{kShowCellPercent, "CELL %"},
                     {kShowRowPercent, "ROW %"},
                     {kShowColumnPercent, "COLUMN %"},
                     {kShowExpected, "EXPECTED"}};
        for (const auto& line : lines) {
            if (!(display & line.bit)) continue;
            append_printf(text, "|          %9s", line.title);
            three_way_value_line(text, "|           ", first, last, [&](int j) {
                const double count = t.count(l, i, j);
                if (line.bit == kShowCellPercent) return percent(count, layer_total);
                if (line.bit == kShowRowPercent) return percent(count, row_total);
                if (line.bit == kShowColumnPercent) return percent(count, t.column_total(l, j));
                return j == total ? -1.0 : t.expected(l, i, j);
            });
        }
        three_way_rule(text, first, last);
    }

    append_printf(text, "|%-10s%-9s", "Total", "Count");
    for (int j = first; j <= last; ++j) append_printf(text, "|%9d", static_cast<int>(t.column_total(l, j)));
    text += "|\n";
    if (display & kShowCellPercent) {
        append_printf(text, "|%10s%-9s", "%of ", "Total");
        three_way_value_line(text, "|         ", first, last,
                             [&](int j) { return j == total ? 100.0 : percent(t.column_total(l, j), layer_total); });
    }
    if (display & kShowRowPercent) {
        append_printf(text, "|%10s%-9s", "%within ", "name_y");
        three_way_value_line(text, "|         ", first, last,
                             [&](int j) { return j == total ? 100.0 : percent(t.column_total(l, j), layer_total); });
    }
    if (display & kShowColumnPercent) {
        append_printf(text, "|%10s%-9s", "%within ", "name_x");
        three_way_value_line(text, "|         ", first, last, [&](int j) { return j == total ? -1.0 : 100.0; });
    }
    three_way_rule(text, first, last);
}

}  // namespace

int crosstab_two_way(RunContext& context, int row_variable, int column_variable, int display) {
    xml_printf("%s\n", "<RESULT RTYPE=\"GENSTAT\">");
    std::string text = "\nCROSS TABULATIONS\n\n";
    const std::string row_name = variable_name(context.header, row_variable);
    const std::string column_name = variable_name(context.header, column_variable);
    const std::vector<const ValueLabelSet*> sets = {find_variable(context.header.label_sets, row_name),
                                                    find_variable(context.header.label_sets, column_name)};
    const int variables[2] = {row_variable, column_variable};
    std::vector<std::vector<double>> columns(2);
    if (read_complete_cases(context, variables, 2, columns.data(), Message::tables_no_memory_space) < 0) return -1;
    const int n = static_cast<int>(columns[0].size());
    case_count_lines(text, 2, context.path.c_str(), context.header.case_count, n, -1);

    xml_printf("%s%s%s\n", "<Analysis>", "CrossTab2", "</Analysis>");
    xml_printf("%s\n", "<DataInf>");
    xml_printf("%s%d%s\n", "<nVar>", 2, "</nVar>");
    xml_printf("%s%d%s\n", "<nCase>", n, "</nCase>");
    xml_printf("%s%s%s\n", "<FileName>\"", context.path.c_str(), "\"</FileName>");
    xml_printf("%s\n", "</DataInf>");

    CrossTable table;
    Independence result;
    if (!tabulate(columns, sets, table, result)) return -1;

    std::string report;
    try {
        report_banner(report);
        report += text;
        append_printf(report, "\n             %s*%s Crosstabulation\n", row_name.c_str(), column_name.c_str());
        for (int first = 0; first <= table.columns; first += kPanelColumns)
            two_way_panel(report, table, row_name, column_name, display, first);
        append_printf(report, "\nMINIMUM ESTIMATED EXPECTED VALUE IS %9.3f IN (%3d,%3d)\n", result.minimum,
                      result.minimum_row + 1, result.minimum_column + 1);
        statistics_text(report, result);
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s\n", " Not enough memory!");
        return -1;
    }
    channel_write(kReportChannel, report);

    two_way_xml(table, result, row_name, column_name, display);
    write_result_end();
    channel_printf(kLogChannel, "%s\n", "CROSSTAB DONE !");
    return 0;
}

int crosstab_three_way(RunContext& context, int row_variable, int column_variable, int layer_variable, int display) {
    const std::vector<int> variables = {row_variable, column_variable, layer_variable};
    const std::string names[3] = {variable_name(context.header, row_variable),
                                  variable_name(context.header, column_variable),
                                  variable_name(context.header, layer_variable)};
    std::vector<const ValueLabelSet*> sets;
    for (const std::string& name : names) sets.push_back(find_variable(context.header.label_sets, name));
    std::vector<std::vector<double>> columns(3);
    if (read_complete_cases(context, variables.data(), 3, columns.data(), Message::tables_no_memory_space) < 0)
        return -1;
    const int n = static_cast<int>(columns[0].size());
    std::string report;
    case_count_lines(report, 3, context.path.c_str(), context.header.case_count, n, -1);

    CrossTable table;
    Independence result;
    if (!tabulate(columns, sets, table, result)) return -1;

    try {
        append_printf(report, "\n            %s*%s*%s Crosstabulation\n", names[0].c_str(), names[1].c_str(),
                      names[2].c_str());
        for (int l = 0; l < table.layers; ++l)
            for (int first = 0; first <= table.columns; first += kPanelColumns)
                three_way_panel(report, table, names, display, l, first);
        append_printf(report, "\nMINIMUM ESTIMATED EXPECTED VALUE IS %9.3f IN (%3d,%3d) of subtable%3d\n",
                      result.minimum, result.minimum_row + 1, result.minimum_column + 1, result.minimum_layer + 1);
        statistics_text(report, result);
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s\n", " Not enough memory!");
        return -1;
    }
    channel_write(kReportChannel, report);
    channel_printf(kLogChannel, "%s\n", "\nCROSSTAB DONE !\n");
    return 0;
}

}  // namespace quorix
