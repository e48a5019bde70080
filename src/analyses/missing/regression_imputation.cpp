#include "analyses/missing/regression_imputation.h"

#include <cmath>
#include <cstddef>
#include <new>
#include <string>

#include "analyses/missing/working_copy.h"
#include "analyses/regression/regression_engine.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "report/result_document.h"

namespace quorix {

namespace {

constexpr double kModulus = 2147483647.0;
constexpr double kMultiplier = 46339.0;
constexpr int kFileOfCases = 2;
// A seed times the multiplier stays an exact double (below 2^53).
constexpr double kLargestSeed = 194e9;

ResidualGenerator& process_generator() {
    static ResidualGenerator generator;
    return generator;
}

int stop_in_log(const char* message, int status = -1) {
    channel_printf(kLogChannel, "%s\n", message);
    return status;
}

struct Fit {
    std::vector<double> fitted;     // every case of the file
    std::vector<double> dependent;  // every case, missing as 1e35
    std::vector<double> residuals;  // fitted minus observed, cases of the fit in case order
};

// The fitted value of every case; a missing predictor counts at its mean.
bool predict_cases(RunContext& context, const std::vector<int>& slots, const RegressionOutput& model, Fit& fit) {
    const size_t cases = static_cast<size_t>(context.header.case_count > 0 ? context.header.case_count : 0);
    const size_t dependent_slot = slots.size() - 1;
    fit.fitted.assign(cases, model.coefficients[0]);
    std::vector<double> values;
    for (size_t s = 1; s < dependent_slot; ++s) {
        if (!model.entered[s]) continue;
        if (gather_values_marked(context, values, slots[s], nullptr) < 0 || values.size() < cases) return false;
        for (size_t c = 0; c < cases; ++c)
            fit.fitted[c] += model.coefficients[s] * (values[c] == kSystemMissing ? model.means[s] : values[c]);
    }
    if (gather_values_marked(context, fit.dependent, slots[dependent_slot], nullptr) < 0 ||
        fit.dependent.size() < cases)
        return false;
    fit.dependent.resize(cases);
    for (size_t c = 0; c < cases && c < model.case_mask.size(); ++c)
        if (model.case_mask[c] == kCaseTakesPart) fit.residuals.push_back(fit.fitted[c] - fit.dependent[c]);
    return true;
}

// Fills the dependent's missing cells, reports them, writes the filled column
// into the working copy and the output record. False when the filled copy
// could not be written (the reason is on the console and the log).
bool write_imputations(RunContext& context, const std::vector<int>& slots, const RegressionOutput& model,
                       int drawings, double seed, WorkingCopy& copy, std::string& text, ImputationOutput& output) {
    const char* sentence = "This residual is an average of %d random drawings with %.f as starting seed.";
    text += "\nIMPUTE BY REGRESSION ESTIMATES\n\nA random residual has been added to each imputed cell.\n";
    append_printf(text, sentence, drawings, seed);
    text += "\n\n  CASE   IMPUTED VALUE   RESIDUAL\n";
    text += "  ----   -------------   --------\n";
    xml_printf("<ImpuText>\n");
    xml_printf(sentence, drawings, seed);
    xml_printf("%s\n", "</ImpuText>");
    xml_printf("<Impute>\n");

    Fit fit;
    std::vector<int32_t> selection;
    std::vector<double> column;
    try {
        if (!predict_cases(context, slots, model, fit) || fit.residuals.empty()) {
            xml_printf("</Impute>\n");
            stop_in_log(" read data error ");
            return true;  // no copy was attempted: the run's status is left as it was
        }
        build_case_mask(context, selection);
        const int dependent = slots.back();
        bool written = read_numeric_column(context, dependent, column) && column.size() >= fit.dependent.size();
        for (size_t c = 0; c < fit.dependent.size(); ++c) {
            if (c < selection.size() && selection[c] != kCaseTakesPart) continue;
            if (fit.dependent[c] == kSystemMissing) {
                const double residual = average_random_residual(seed, drawings, fit.residuals);
                fit.dependent[c] = fit.fitted[c] - residual;
                if (written) column[c] = fit.dependent[c];
                const int k = static_cast<int>(c) + 1;
                append_printf(text, "%6d %15.3lf %10.3lf\n", k, fit.dependent[c], residual);
                xml_printf("<line>\n");
                xml_printf("%s%6d%s\n", "<Case>", k, "</Case>");
                xml_printf("%s%15.3lf%s\n", "<ImpuVal>", fit.dependent[c], "</ImpuVal>");
                xml_printf("%s%10.3lf%s\n", "<Residual>", residual, "</Residual>");
                xml_printf("</line>\n");
            }
            output.differences.push_back(fit.fitted[c] - fit.dependent[c]);
        }
        xml_printf("</Impute>\n");
        written = written && write_numeric_column(context, copy, dependent, column) == 1 &&
                  finish_working_copy(copy) == 1;
        if (!written) {
            console_printf(" Error writting data to temp file !");
            channel_printf(kLogChannel, " Error writting data to temp file !\n");
        }
        output.fitted = std::move(fit.fitted);
        return written;
    } catch (const std::bad_alloc&) {
        stop_in_log(" Not enough memory space!");
        return false;
    }
}

}  // namespace

void reset_generator(ResidualGenerator& generator, double seed) {
    generator = ResidualGenerator{seed, 1234567.0, 4321410.0, 5678901.0, 0};
}

double draw_uniform(ResidualGenerator& g) {
    double value = 0;
    switch (g.phase) {
    case 0: value = g.s0 = std::fmod(g.s0 * kMultiplier + g.s3, kModulus); break;
    case 1: value = g.s1 = std::fmod(g.s1 * kMultiplier + g.s0, kModulus); break;
    case 2: value = g.s2 = std::fmod(g.s2 * kMultiplier + g.s1, kModulus); break;
    default: value = g.s3 = std::fmod(g.s3 * kMultiplier + g.s2, kModulus); break;
    }
    g.phase = (g.phase + 1) % 4;
    return value / kModulus;
}

double average_random_residual(double& seed, int drawings, const std::vector<double>& residuals) {
    if (drawings < 1 || residuals.empty()) return 0.0;
    ResidualGenerator& generator = process_generator();
    reset_generator(generator, seed);
    const double length = static_cast<double>(residuals.size());
    double sum = 0;
    for (int r = 0; r < drawings; ++r) {
        const double index = std::trunc(draw_uniform(generator) * length);
        // A draw lies in [0, 1); the index is kept inside the list all the same.
        const size_t at = index >= 0 && index < length ? static_cast<size_t>(index) : residuals.size() - 1;
        sum += residuals[at];
    }
    seed = generator.s0;
    return sum / drawings;
}

int regression_imputation_driver(RunContext& context, int dependent, const std::vector<int>& predictors,
                                 int drawings, double seed, ImputationOutput& output) {
    const int variables = context.header.variable_count;
    if (dependent < 1 || dependent > variables) return stop_in_log("Dependent variable index is invalid!", -2);
    const int p = static_cast<int>(predictors.size());
    if (p < 1 || p > variables) return stop_in_log("The number of independent variable is invalid!", -2);
    for (int v : predictors)
        if (v < 1 || v > variables) return stop_in_log("The number of independent variable is invalid!", -2);
    // A negative seed would draw negative indices; a huge one would lose exactness.
    if (!(seed >= 0 && seed <= kLargestSeed))
        return stop_in_log(" The starting seed must be a number from 0 to 194,000,000,000.");
    if (drawings < 1) return stop_in_log(" The number of random drawings must be at least 1.");
    if (context.header.file_kind != kFileOfCases)
        return stop_in_log(" Regression imputation needs a data file of cases, not a matrix file.");

    std::string text;
    std::vector<int> slots;
    WorkingCopy copy;
    try {
        text.reserve(100000);
        slots.push_back(0);
        slots.insert(slots.end(), predictors.begin(), predictors.end());
        slots.push_back(dependent);
        if (!begin_working_copy(context, copy)) return stop_in_log(" error copy to temporary file");
    } catch (const std::bad_alloc&) {
        return stop_in_log(" Not enough memory!");
    }

    xml_printf("%s\n", "<RESULT RTYPE=\"GENSTAT\">");
    xml_printf("%s%s%s\n", "<Analysis>", "MisRegress", "</Analysis>");
    xml_printf("%s\n", "<DataInf>");
    xml_printf("%s%d%s\n", "<nVar>", p + 2, "</nVar>");
    xml_printf("%s\"%s\"%s\n", "<FileName>", context.path.c_str(), "</FileName>");
    xml_printf("%s\"%s\"%s\n", "<TmpFile>", copy.path.c_str(), "</TmpFile>");
    xml_printf("%s\n", "</DataInf>");
    channel_printf(kReportChannel, " Filled data will be written to %s.\n", copy.path.c_str());
    report_banner(text);
    xml_printf("<VAR>\n");
    xml_printf("%s%s%s\n", "<VarName>", variable_name(context.header, dependent).c_str(), "</VarName>");

    RegressionOptions options;
    options.seed = std::floor(seed);
    options.imputation = 1;
    options.method = kRegressionStandard;
    options.drawings = drawings;
    options.reserved = 1;
    options.forward = 1;
    RegressionOutput model;
    regression_engine(p + 2, text, slots, options, context, model);
    // A filled copy that could not be written fails the run, so that callers
    // know it is not there; the report still shows the imputed cells.
    bool written = true;
    if (model.model_reported && model.coefficients.size() == slots.size() && model.entered.size() == slots.size() &&
        model.means.size() == slots.size())
        written = write_imputations(context, slots, model, drawings, options.seed, copy, text, output);

    xml_printf("</VAR>\n");
    write_result_end();
    channel_write(kReportChannel, text);
    channel_printf(kReportChannel, "\n");
    return written ? 0 : -1;
}

}  // namespace quorix
