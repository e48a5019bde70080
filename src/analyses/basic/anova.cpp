#include "analyses/basic/anova.h"

#include <new>

#include "analyses/basic/descriptive.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/run_frame.h"
#include "numeric/distributions.h"
#include "numeric/sorting.h"
#include "report/matrix_text.h"
#include "report/result_document.h"

namespace quorix {

namespace {

int refuse(const std::string& message) {
    channel_printf(kLogChannel, "%s\n", message.c_str());
    return -1;
}

// describe_sample reorders its values; the tables here must keep their order.
// The mean residual (describe_sample) goes to residual.
StatsRow describe_values(const double* values, size_t count, double& residual) {
    std::vector<double> copy(values, values + count);
    StatsRow row{};
    describe_sample(copy.data(), copy.size(), row, &residual);
    return row;
}

// The same for values that are not needed afterwards: reordered in place.
StatsRow describe_in_place(double* values, size_t count, double& residual) {
    StatsRow row{};
    describe_sample(values, count, row, &residual);
    return row;
}

// (mean - grand mean)^2 of a group, cell or level, from the means with their
// residuals, which keeps the deviations of data with a large common part.
double squared_deviation(double mean, double residual, double grand_mean, double grand_residual) {
    const double deviation = mean_difference(mean, residual, grand_mean, grand_residual);
    return deviation * deviation;
}

// Level texts are kept whole, however long a value label is: they are shown
// in headings and <Name> elements, where no column has to line up.
std::vector<std::string> level_texts(const RunContext& context, int factor, const Categories& levels) {
    const ValueLabelSet* set = find_variable(context.header.label_sets, variable_name(context.header, factor));
    std::vector<std::string> texts(levels.values.size());
    for (size_t j = 0; j < texts.size(); ++j) value_label_text(texts[j], set, levels.values[j]);
    return texts;
}

void write_anova_head(const RunContext& context, const char* analysis, int variable_count) {
    ResultHead head;
    head.analysis = analysis;
    head.variable_count = variable_count;
    write_result_head(context, head);
    xml_printf("%s\n", "<AnovaTbl>");
}

// The summary of all used values of the dependent variable, in text and XML.
void whole_sample(std::string& text, const RunContext& context, int dependent, const StatsRow& row) {
    const std::string name = variable_name(context.header, dependent);
    append_printf(text, "Variable %-8s\n", name.c_str());
    text += "-----------------\n";
    xml_printf("%s\n", "<Item>");
    xml_printf("%s%5.0d%s\n", "<ID>", dependent, "</ID>");
    xml_printf("%s%s%s\n", "<Name>", name.c_str(), "</Name>");
    write_stats_block(row);
    xml_printf("%s\n", "</Item>");
    stats_block_text(text, row);
}

// One group's (two-way: one cell's) statistics, with its lines above the
// block in the report and its <Name> element as written.
struct AnovaGroup {
    std::string heading;
    std::string xml_name;
    StatsRow row{};
};

// What an analysis of variance found: the whole sample, the groups and the
// table's rows, the last of which is the error row.
struct AnovaResult {
    int dependent = 0;
    StatsRow whole{};
    std::vector<AnovaGroup> groups;
    bool count_groups = false;  // the document gives <nGROUPS>
    std::vector<std::string> labels;
    std::vector<double> ss, ms, f, p;
    std::vector<int> df;
};

// Mean squares of every row, F and p of each effect against the error row.
void complete_table(AnovaResult& result) {
    const size_t rows = result.ss.size();
    result.ms.assign(rows, 0.0);
    result.f.assign(rows, 0.0);
    for (size_t r = 0; r < rows; ++r)
        result.ms[r] = result.ss[r] > 0 && result.df[r] >= 1 ? result.ss[r] / result.df[r] : 0.0;
    const double error = result.ms[rows - 1];
    for (size_t r = 0; r + 1 < rows; ++r) result.f[r] = result.ms[r] > 0 && error > 0 ? result.ms[r] / error : 0.0;
    // Each effect's p, taken once for the XML and the text table.
    result.p.assign(rows, 0.0);
    const std::vector<int> error_dfs(rows, result.df[rows - 1]);
    f_upper_p_each(static_cast<int>(rows) - 1, result.df.data(), error_dfs.data(), result.f.data(), result.p.data());
}

// The report and the result document of a finished analysis, after the head.
int write_anova(std::string& text, const RunContext& context, const AnovaResult& result) {
    whole_sample(text, context, result.dependent, result.whole);
    xml_printf("%s\n", "<GROUPS>");
    if (result.count_groups) xml_printf("%s%d%s\n", "<nGROUPS>", static_cast<int>(result.groups.size()), "</nGROUPS>");
    for (size_t g = 0; g < result.groups.size(); ++g) {
        const AnovaGroup& group = result.groups[g];
        xml_printf("%s\n", "<Item>");
        text += group.heading;
        xml_printf("%s%d%s\n", "<ID>", static_cast<int>(g) + 1, "</ID>");
        xml_write(group.xml_name);
        write_stats_block(group.row);
        stats_block_text(text, group.row);
        xml_printf("%s\n", "</Item>");
    }
    xml_printf("%s\n", "</GROUPS>");
    const int rows = static_cast<int>(result.ss.size());
    double total_ss = 0;
    int total_df = 0;
    xml_printf("%s\n", "<ANOVASTAT>");
    for (int r = 0; r < rows; ++r) {
        total_ss += result.ss[r];
        total_df += result.df[r];
        const bool effect = r + 1 < rows;
        write_anova_row(result.labels[r].c_str(), result.df[r], result.ss[r], result.ms[r],
                        effect ? result.f[r] : kNotApplicable, effect ? result.p[r] : kNotApplicable);
    }
    write_anova_row("TOTAL", total_df, total_ss, kNotApplicable, kNotApplicable, kNotApplicable);
    xml_printf("%s\n", "</ANOVASTAT>");
    xml_printf("%s\n", "</AnovaTbl>");
    write_result_end();
    anova_table_text(text, result.labels.data(), result.ss.data(), result.df.data(), result.ms.data(),
                     result.f.data(), result.p.data(), rows);
    channel_write(kReportChannel, text);
    channel_printf(kLogChannel, "%s\n", "\nANOVA IS DONE !");
    return 0;
}

int one_way(RunContext& context, int dependent, int factor) {
    std::string text = "ONE-WAY ANOVA\n\n";
    const int variables[2] = {dependent, factor};
    std::vector<double> columns[2];
    if (read_complete_cases(context, variables, 2, columns) < 0) return -1;
    std::vector<double>& y = columns[0];
    const int total = static_cast<int>(y.size());
    if (total == 0) return refuse(" No used cases were found!");
    anova_banner(text, context.header, dependent - 1, factor - 1, -1);
    text += "\n";
    case_count_lines(text, 2, context.path.c_str(), context.header.case_count, total, -1);

    const Categories levels = code_categories(columns[1]);
    const int k = static_cast<int>(levels.values.size());
    if (k < 2) return refuse(" Independent variable is a constant!");
    if (k > kMaxAnovaCells) {
        std::string message;
        append_printf(message, "Independent variable has more than%3d categories!", kMaxAnovaCells);
        return refuse(message);
    }
    const int n = levels.counts[0];
    for (int count : levels.counts)
        if (count != n) return refuse("Independent variable has unequal-size categories!");

    // Group g holds its n values, in case order, at g * n, in the factor's
    // column, whose values are not needed once they are coded.
    std::vector<double>& groups = columns[1];
    std::vector<int> filled(static_cast<size_t>(k), 0);
    for (size_t c = 0; c < y.size(); ++c) {
        const int g = levels.codes[c];
        if (filled[g] == n) return refuse("Independent variable has unequal-size categories!");
        groups[static_cast<size_t>(g) * n + filled[g]++] = y[c];
    }

    // The whole sample's statistics (rows[0]) and every group's, in passes
    // that take two samples at a time; y and the groups are reordered.
    std::vector<StatsRow> rows(static_cast<size_t>(k) + 1, StatsRow{});
    std::vector<double*> samples(rows.size());
    std::vector<size_t> counts(rows.size(), static_cast<size_t>(n));
    std::vector<StatsRow*> targets(rows.size());
    samples[0] = y.data();
    counts[0] = y.size();
    for (int g = 0; g < k; ++g) samples[static_cast<size_t>(g) + 1] = &groups[static_cast<size_t>(g) * n];
    for (size_t i = 0; i < rows.size(); ++i) targets[i] = &rows[i];
    std::vector<double> residuals(rows.size());
    describe_samples(samples.data(), counts.data(), targets.data(), rows.size(), residuals.data());

    AnovaResult result;
    result.dependent = dependent;
    result.whole = rows[0];
    const std::string factor_name = variable_name(context.header, factor);
    const std::vector<std::string> texts = level_texts(context, factor, levels);
    double between = 0, within = 0;
    for (int g = 0; g < k; ++g) {
        AnovaGroup group;
        group.heading = "\n";
        append_printf(group.heading, "%-s (%-s)\n", factor_name.c_str(), texts[g].c_str());
        group.heading += "-------------------\n";
        group.xml_name = "<Name>" + texts[g] + "</Name>\n";
        group.row = rows[static_cast<size_t>(g) + 1];
        between += squared_deviation(group.row[kStatMean], residuals[static_cast<size_t>(g) + 1],
                                     result.whole[kStatMean], residuals[0]);
        within += group.row[kStatSumSquares];
        result.groups.push_back(std::move(group));
    }
    // The error sum of squares is the groups' own sums of squared deviations
    // added up, not the total less the between part, which cancels when the
    // between part dominates; the printed total is the sum of the two.
    result.labels = {factor_name, "ERROR"};
    result.ss = {n * between, within};
    result.df = {k - 1, total - k};
    complete_table(result);

    write_anova_head(context, "ANOVA1", 2);
    return write_anova(text, context, result);
}

int two_way(RunContext& context, int dependent, int factor_a, int factor_b) {
    std::string text = "TWO-WAY ANOVA\n\n";
    const int variables[3] = {dependent, factor_a, factor_b};
    std::vector<double> columns[3];
    if (read_complete_cases(context, variables, 3, columns) < 0) return -1;
    std::vector<double>& y = columns[0];
    const int total = static_cast<int>(y.size());
    if (total == 0) return refuse(" No used cases were found!");
    anova_banner(text, context.header, dependent - 1, factor_a - 1, factor_b - 1);
    text += "\n";
    case_count_lines(text, 3, context.path.c_str(), context.header.case_count, total, -1);

    const Categories levels_a = code_categories(columns[1]);
    const Categories levels_b = code_categories(columns[2]);
    const int a = static_cast<int>(levels_a.values.size());
    const int b = static_cast<int>(levels_b.values.size());
    const int64_t cells = int64_t{a} * b;
    if (a < 2) return refuse(" First independent variable is a constant!");
    if (b < 2) return refuse(" Second independent variable is a constant!");
    if (cells > kMaxAnovaCells) {
        std::string message;
        append_printf(message, "The design has more than%3d cells!", kMaxAnovaCells);
        return refuse(message);
    }
    const int c = static_cast<int>(cells);
    const int n = total / c;
    if (n < 1) return refuse("Some cells are empty!");
    if (total != n * c) return refuse("The design is unbalanced (Cell sizes not all equal)!");

    // Values by cell in B-major order (cell bi * a + ai), each cell in case
    // order; source[j] is the B-major position of the value whose A-major
    // position (cell ai * b + bi) is j. They go in the first factor's column,
    // whose values are not needed once they are coded.
    std::vector<double>& values = columns[1];
    std::vector<int> source(static_cast<size_t>(total));
    std::vector<int> filled(static_cast<size_t>(c), 0);
    for (size_t k = 0; k < y.size(); ++k) {
        const int ai = levels_a.codes[k], bi = levels_b.codes[k];
        const int cell = bi * a + ai;
        if (filled[cell] == n) return refuse("The design is unbalanced (Cell sizes not all equal)!");
        const int within = filled[cell]++;
        const int position = cell * n + within;
        values[static_cast<size_t>(position)] = y[k];
        source[static_cast<size_t>((ai * b + bi) * n + within)] = position;
    }

    AnovaResult result;
    result.dependent = dependent;
    result.count_groups = true;
    double grand_residual = 0;
    result.whole = describe_in_place(y.data(), y.size(), grand_residual);
    const double grand_mean = result.whole[kStatMean];
    const std::string name_a = variable_name(context.header, factor_a);
    const std::string name_b = variable_name(context.header, factor_b);
    const std::vector<std::string> texts_a = level_texts(context, factor_a, levels_a);
    const std::vector<std::string> texts_b = level_texts(context, factor_b, levels_b);
    double cell_sum = 0, within = 0;
    for (int bi = 0; bi < b; ++bi) {
        for (int ai = 0; ai < a; ++ai) {
            const int cell = bi * a + ai;
            AnovaGroup group;
            group.heading = "\n";
            append_printf(group.heading, "%-s (%-s) and %-s (%-s)\r\n", name_a.c_str(), texts_a[ai].c_str(),
                          name_b.c_str(), texts_b[bi].c_str());
            group.heading += "-------------------------------------------\n";
            group.xml_name = "<Name>" + name_a + "(" + texts_a[ai] + ") by" + name_b + "(" + texts_b[bi] + ")</Name>";
            double residual = 0;
            group.row = describe_values(&values[static_cast<size_t>(cell) * n], static_cast<size_t>(n), residual);
            cell_sum += squared_deviation(group.row[kStatMean], residual, grand_mean, grand_residual);
            within += group.row[kStatSumSquares];
            result.groups.push_back(std::move(group));
        }
    }

    // Sum over the levels of one factor of (level mean - grand mean)^2, the
    // levels being runs of equal length in the current order of values.
    auto level_sum = [&](int levels) {
        const size_t run = static_cast<size_t>(total / levels);
        double sum = 0;
        for (int level = 0; level < levels; ++level) {
            double residual = 0;
            const double mean = describe_values(&values[level * run], run, residual)[kStatMean];
            sum += squared_deviation(mean, residual, grand_mean, grand_residual);
        }
        return sum;
    };
    // As in the one-way analysis, the error sum of squares is the cells' own
    // sums of squared deviations added up.
    const double ss_cells = n * cell_sum;
    const double ss_b = static_cast<double>(total / b) * level_sum(b);
    apply_permutation(values.data(), total, source.data());
    const double ss_a = static_cast<double>(total / a) * level_sum(a);
    result.labels = {name_a, name_b, "INTERACTION", "ERROR"};
    result.ss = {ss_a, ss_b, ss_cells - ss_a - ss_b, within};
    result.df = {a - 1, b - 1, (a - 1) * (b - 1), total - c};
    complete_table(result);

    write_anova_head(context, "ANOVA2", 3);
    return write_anova(text, context, result);
}

// Memory failures anywhere in a run end it with the analysis's own message.
template <typename Run>
int guarded_anova(Run&& run) {
    try {
        return run();
    } catch (const std::bad_alloc&) {
        return refuse(" Do not have enough memory space");
    }
}

}  // namespace

int one_way_anova(RunContext& context, int dependent, int factor) {
    return guarded_anova([&] { return one_way(context, dependent, factor); });
}

int two_way_anova(RunContext& context, int dependent, int factor_a, int factor_b) {
    return guarded_anova([&] { return two_way(context, dependent, factor_a, factor_b); });
}

}  // namespace quorix
