#include "analyses/registry.h"

#include <cctype>

#include "analyses/basic/anova.h"
#include "analyses/basic/correlation.h"
#include "analyses/basic/crosstab.h"
#include "analyses/basic/descriptive.h"
#include "analyses/basic/frequency.h"
#include "analyses/basic/ttest.h"
#include "analyses/common/variable_filter.h"
#include "analyses/factor/factor.h"
#include "analyses/glm/glm_model.h"
#include "analyses/missing/diagnosis.h"
#include "analyses/missing/em.h"
#include "analyses/missing/mean_imputation.h"
#include "analyses/nonparametric/nonparametric.h"
#include "analyses/regression/regression.h"

namespace quorix {

namespace {

using Kind = ParameterKind;

const ParameterSpec kTestValue{"test", Kind::number, 0, "", "0"};
const ParameterSpec kGroup{"group", Kind::variable, 1, "G"};
const ParameterSpec kCrosstabShow{"show",
                                  Kind::bits,
                                  0,
                                  "",
                                  "none",
                                  {{"cell", kShowCellPercent},
                                   {"row", kShowRowPercent},
                                   {"column", kShowColumnPercent},
                                   {"expected", kShowExpected}}};

bool equal_ignoring_case(const char* a, const char* b) {
    for (; *a && *b; ++a, ++b)
        if (std::tolower(static_cast<unsigned char>(*a)) != std::tolower(static_cast<unsigned char>(*b))) return false;
    return *a == *b;
}

// The final model's fitted values and residuals, for a caller that wants them.
void hand_back(const AnalysisArguments& arguments, RegressionOutput& output) {
    if (!arguments.results || !output.model_reported || output.fitted.empty()) return;
    arguments.results->first = std::move(output.fitted);
    arguments.results->second = std::move(output.residual);
}

// Standard or hierarchical by the method word; the dependent comes first in the list.
int regression_entry(RunContext& c, const AnalysisArguments& a) {
    RegressionOutput output;
    const std::vector<int>& list = a.variables(0);
    const std::vector<int> independent(list.begin() + (list.empty() ? 0 : 1), list.end());
    const char* method = a.word(1);
    const int status = method && equal_ignoring_case(method, "hierarchical")
                           ? hierarchical_regression_driver(c, a.variable(0), independent, output)
                           : standard_regression_driver(c, a.variable(0), independent, output);
    hand_back(a, output);
    return status;
}

const char* const kRegressionUsage =
    "least squares of --vars Y,X1,X2,... (dependent first); --method standard|hierarchical (entered in list order)";
const std::vector<ParameterSpec> kRegressionParameters = {
    {"vars", Kind::variables, 0, "Y,X1,...", "", {}, false},
    {"method", Kind::word, 0, "", "standard", {{"standard", 0}, {"hierarchical", 0}}}};

// Rows of analyses not built yet keep their frame; they have no entry.
AnalysisRow unbuilt(AnalysisId id, const char* native_method, const char* done_line, bool takes_selection) {
    return AnalysisRow{id, nullptr, native_method, {done_line, takes_selection, takes_selection}, nullptr, "", "", {}};
}

const std::vector<AnalysisRow>& rows() {
    static const std::vector<AnalysisRow> kRows = {
        {AnalysisId::descriptive, "descriptive", "doDescriptive", {"Descript Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) { return descriptive_driver(c, a.variables(0)); },
         "descriptive statistics of each variable in --vars", "summaries",
         {{"vars", Kind::variables}}},
        {AnalysisId::frequency, "frequency", "doFrequency", {"Frquency Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) { return frequency_driver(c, a.variables(0), a.integer(1)); },
         "frequency table of each variable in --vars; --describe 1 adds its statistics", "summaries",
         {{"vars", Kind::variables}, {"describe", Kind::integer, 0, "", "0"}}},
        {AnalysisId::one_sample, "one-sample", "doOneSample", {"One-Sample t-test Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) { return one_sample_driver(c, a.variable(0), a.number(1)); },
         "t-test of the mean of --vars X against --test VALUE (default 0)", "ttests",
         {{"vars", Kind::variables, 1, "X"}, kTestValue}},
        {AnalysisId::paired_sample, "paired", "doPairedSample", {"Paired-Samples t-test Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             return paired_sample_driver(c, a.variable(0, 0), a.variable(0, 1), a.number(1));
         },
         "t-test of the differences of --vars X,Y against --test VALUE", "ttests",
         {{"vars", Kind::variables, 2, "X,Y"}, kTestValue}},
        {AnalysisId::independent_sample, "independent", "doIndependentSample",
         {"Independent-Samples t-test Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             return independent_sample_driver(c, a.variable(0), a.variable(1), a.number(2));
         },
         "t-test of --vars X between the two groups of --group G, --test VALUE", "ttests",
         {{"vars", Kind::variables, 1, "X"}, kGroup, kTestValue}},
        {AnalysisId::matched_sample, "matched", "doMatchedSample",
         {"Matched-Samples t-test Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             return matched_sample_driver(c, a.variable(0), a.variable(1), a.number(2));
         },
         "t-test of --vars X, i-th cases of the two groups of --group G matched, --test VALUE", "ttests",
         {{"vars", Kind::variables, 1, "X"}, kGroup, kTestValue}},
        {AnalysisId::crosstab_two, "crosstab", "doCrosstabTwo", {"Two way Crosstab Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             return crosstab_two_way(c, a.variable(0, 0), a.variable(0, 1), a.integer(1));
         },
         "two-way table of --vars ROW,COLUMN; --show cell,row,column,expected adds those lines", "tables",
         {{"vars", Kind::variables, 2, "ROW,COLUMN"}, kCrosstabShow}},
        {AnalysisId::crosstab_three, "crosstab3", "doCrosstabThree", {"Three way Crosstab Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             return crosstab_three_way(c, a.variable(0, 0), a.variable(0, 1), a.variable(0, 2), a.integer(1));
         },
         "three-way table of --vars ROW,COLUMN,LAYER, one subtable a layer; --show as for crosstab", "tables",
         {{"vars", Kind::variables, 3, "ROW,COLUMN,LAYER"}, kCrosstabShow}},
        {AnalysisId::anova_one, "anova1", "doAnovaOne", {"One-Way ANOVA Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) { return one_way_anova(c, a.variable(0, 0), a.variable(0, 1)); },
         "one-way ANOVA of --vars DEPENDENT,FACTOR (balanced, at most 36 groups)", "tables",
         {{"vars", Kind::variables, 2, "DEPENDENT,FACTOR"}}},
        {AnalysisId::anova_two, "anova2", "doAnovaTwo", {"Two-Way ANOVA Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             return two_way_anova(c, a.variable(0, 0), a.variable(0, 1), a.variable(0, 2));
         },
         "two-way ANOVA of --vars DEPENDENT,A,B with interaction (balanced, at most 36 cells)", "tables",
         {{"vars", Kind::variables, 3, "DEPENDENT,A,B"}}},
        {AnalysisId::anova_glm, "glm", "doAnovaGLM", {"General Linear Model Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             return glm_run(c, a.variable(0), a.variables(1), a.variables(2));
         },
         "general linear model of --vars Y on the full factorial of --factors A,B,... plus --covariates X1,...",
         "glm",
         {{"vars", Kind::variables, 1, "Y"},
          {"factors", Kind::variables, 0, "A,B,..."},
          {"covariates", Kind::variables, 0, "X1,..."}}},
        // Text variables are dropped from the list by the analysis itself, with its own messages.
        {AnalysisId::factor_analysis, "factor", "doFactorAnalysis", {"Factor Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             FactorOptions options;
             options.variables = a.variables(0);
             options.rotation = a.word(1);
             options.initial_value = a.word(2);
             options.processing = a.word(3);
             options.factor_scores = a.integer(4);
             options.sort = a.word(5);
             options.cutoff = a.number(6);
             return factor_analysis_driver(c, options);
         },
         "eigenvalues of the correlations of --vars, then the factors: --extraction pca|epic, --rotation "
         "varimax|oblimin|othosim, --processing complete|pair, --sort none|factor|commuality, --cutoff, --scores yes",
         "correlation",
         {{"vars", Kind::variables, 0, "", "", {}, false},
          {"rotation", Kind::word, 0, "", "", {{"varimax", 0}, {"oblimin", 0}, {"othosim", 0}}},
          {"extraction", Kind::word, 0, "", "", {{"pca", 0}, {"epic", 0}}},
          {"processing", Kind::word, 0, "", "", {{"complete", 0}, {"pair", 0}}},
          {"scores", Kind::flag, 0, "", "no"},
          {"sort", Kind::word, 0, "", "", {{"none", 0}, {"factor", 0}, {"commuality", 0}}},
          {"cutoff", Kind::number, 0, "", "1"}}},
        // Text variables are dropped from the list by the analysis itself, with its own messages.
        {AnalysisId::correlation, "correlation", "doCorrelation", {"Correlation Analysis Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             return correlation_driver(c, a.variables(0), a.word(1), a.word(2), a.integer(3), a.integer(4));
         },
         "covariances (--matrix cov) or correlations (corr) of --vars; --processing complete|pair; --alpha yes; "
         "--write-matrix yes",
         "correlation",
         {{"vars", Kind::variables, 0, "", "", {}, false},
          {"processing", Kind::word, 0, "", "", {{"complete", 0}, {"pair", 0}}},
          {"matrix", Kind::word, 0, "", "", {{"cov", 0}, {"corr", 0}}},
          {"alpha", Kind::flag, 0, "", "no"},
          {"write-matrix", Kind::flag, 0, "", "no"}}},
        // doRegression picks its row by the regression type and names the method.
        {AnalysisId::regression_standard, "regression", "doRegression",
         {"Standard Multiple Regression Done!", true, true},
         regression_entry, kRegressionUsage, "regression", kRegressionParameters},
        {AnalysisId::regression_hierarchical, "regression", "doRegression",
         {"Hierarchical Multiple Regression Done!", true, true}, regression_entry, kRegressionUsage, "regression",
         kRegressionParameters},
        {AnalysisId::regression_step, "stepwise", "doRegressionStep",
         {"Stepwise Multiple Regression Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             RegressionOutput output;
             const std::vector<int>& list = a.variables(0);
             const std::vector<int> independent(list.begin() + (list.empty() ? 0 : 1), list.end());
             const char* direction = a.word(1);
             const int forward = !(direction && equal_ignoring_case(direction, "backward"));
             const int status = stepwise_regression_driver(c, a.variable(0), independent, forward, a.number(2), output);
             hand_back(a, output);
             return status;
         },
         "stepwise regression of --vars Y,X1,X2,... (dependent first); --direction forward|backward; --f LEVEL "
         "(-1 for the default, 3.84 to enter or 2.71 to remove)",
         "regression",
         {{"vars", Kind::variables, 0, "Y,X1,...", "", {}, false},
          {"direction", Kind::word, 0, "", "forward", {{"forward", 0}, {"backward", 0}}},
          {"f", Kind::number, 0, "", "-1"}}},
        // The grouping variable is checked by the analysis, and only when Kruskal-Wallis needs it.
        {AnalysisId::nonparametric, "nonparametric", "doNonparametric", {"Nonparametric Test Done!", true, true},
         [](RunContext& c, const AnalysisArguments& a) {
             const int group = a.variables(1).empty() ? -1 : a.variable(1);
             return nonparametric_driver(c, NonparametricOptions{a.variables(0), group, a.word(2), a.integer(3)});
         },
         "rank tests of --vars: --tests sign,wilcoxon,ks,kruskal,friedman,spearman,kendall (default all but "
         "kruskal, which needs --group G); --missing listwise|pair",
         "nonparametric",
         {{"vars", Kind::variables},
          {"group", Kind::variable, 1, "G", "none", {}, false},
          {"missing", Kind::word, 0, "", "", {{"listwise", 0}, {"pair", 0}}},
          {"tests", Kind::bits, 0, "", "sign,wilcoxon,ks,friedman,spearman,kendall",
           {{"kruskal", kKruskalWallis}, {"spearman", kSpearman}, {"kendall", kKendall}, {"sign", kSignTest},
            {"wilcoxon", kWilcoxon}, {"ks", kKolmogorovSmirnov}, {"friedman", kFriedman}}}}},
        {AnalysisId::missing_diagnosis, "missing-diagnosis", "doMissingDiagnosis",
         {"Missing Diagnosis Done!", false, false},
         [](RunContext& c, const AnalysisArguments& a) { return missing_diagnosis_driver(c, a.variables(0)); },
         "where --vars are missing: pairwise counts, percentages and correlations of the presence indicators",
         "missing",
         {{"vars", Kind::variables}}},
        // Mean imputation's done line follows the pattern of its siblings.
        {AnalysisId::missing_mean, "mean-impute", "doMissingMean", {"Mean Imputation Done!", false, false},
         [](RunContext& c, const AnalysisArguments& a) {
             return mean_imputation_driver(c, a.variables(0), a.variables(1).empty() ? 0 : a.variable(1));
         },
         "missing values of --vars replaced by their means, or by the means of the groups of --group G, in a "
         "filled copy of the data file (in $QUORIX_WORK_DIR, else the current directory; NAME_filled.rkd beside "
         "the data file when that is where the copy would go)",
         "missing",
         {{"vars", Kind::variables}, {"group", Kind::variable, 1, "G", "none"}}},
        unbuilt(AnalysisId::missing_regression, "doMissingRegression", "Regression Imputation Done!", false),
        {AnalysisId::missing_em, "em", "doMissingEM", {"EM Imputation Done!", false, false},
         [](RunContext& c, const AnalysisArguments& a) { return missing_em_driver(c, a.variables(0), a.integer(1)); },
         "EM estimates of the means and covariances of --vars, imputed cells in MissingEM.dat beside the data "
         "file; --write-matrix yes writes Matrix.rkd",
         "missing",
         {{"vars", Kind::variables}, {"write-matrix", Kind::flag, 0, "", "no"}}},
    };
    return kRows;
}

// Every variable the analysis reads as a number is refused when it is text,
// with the message the numeric analyses give for it; nothing is read then.
bool numeric_variables_only(const AnalysisRow& row, const AnalysisArguments& arguments, const RunContext& context) {
    bool numeric = true;
    for (size_t p = 0; p < row.parameters.size(); ++p) {
        const ParameterSpec& parameter = row.parameters[p];
        if (!parameter.numeric || (parameter.kind != Kind::variables && parameter.kind != Kind::variable)) continue;
        for (int variable : arguments.variables(p))
            if (variable >= 1 && variable <= context.header.variable_count)
                numeric &= check_numeric_variable(variable, variable_name(context.header, variable).c_str(),
                                                  context) == 1;
    }
    return numeric;
}

}  // namespace

const std::vector<AnalysisRow>& analysis_rows() { return rows(); }

const AnalysisRow& analysis_row(AnalysisId id) { return rows()[static_cast<size_t>(id)]; }

const AnalysisRow* find_analysis(const std::string& name) {
    for (const AnalysisRow& row : rows())
        if (row.entry && name == row.command) return &row;
    return nullptr;
}

int run_analysis(AnalysisId id, const std::string& data_path, const std::string& run_name,
                 const AnalysisArguments& arguments) {
    const AnalysisRow& row = analysis_row(id);
    return run_frame(data_path.c_str(), run_name.c_str(), row.frame, arguments.selection, [&](RunContext& context) {
        if (!row.entry || !numeric_variables_only(row, arguments, context)) return -1;
        return row.entry(context, arguments);
    });
}

}  // namespace quorix
