#include <algorithm>
#include <cmath>
#include <string>

#include "analyses/glm/glm_model.h"
#include "frame/channels.h"
#include "numeric/distributions.h"

namespace quorix {

namespace {

size_t packed_at(size_t i, size_t j) { return i >= j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i; }

void pad_to(std::string& text, size_t start, size_t width) {
    if (text.size() - start < width) text.append(width - (text.size() - start), ' ');
}

struct ParameterRow {
    double estimate, se, low, high, z, p;
};

ParameterRow parameter_row(double estimate, double variance, float level) {
    ParameterRow row{};
    row.estimate = estimate;
    row.se = variance > 0 ? std::sqrt(variance) : 0.0;
    if (!(row.se >= 1e-8)) row.se = 0.0;
    row.z = row.se > 0 ? estimate / row.se : 0.0;
    row.p = gamma_q(0.5, row.z * row.z / 2);
    const double quantile = normal_quantile((static_cast<double>(level) / 100 + 1) / 2);
    row.low = estimate - row.se * quantile;
    row.high = estimate + row.se * quantile;
    return row;
}

void fit_summary(const GlmModel& model, std::string& text) {
    const double aic = model.log_likelihood - model.q;
    const bool low_tolerance = model.min_covariance_tolerance < 1.0;
    append_printf(text, "%s %7d\r\n", " Number of complete cases ..................", model.complete_cases);
    append_printf(text, "%s %7d\r\n", " Number of observations ....................", model.observations);
    append_printf(text, "%s %s\r\n", " Final status ..............................", glm_status_name(model.status));
    append_printf(text, "%s %-12.6g\r\n", " Maximized log likelihood ..................", model.log_likelihood);
    append_printf(text, "%s %-12.6g\r\n", " Akaike information criterion ..............", aic);
    append_printf(text, "%s %-8.3g\r\n", " Approximate convergence rate ..............", model.convergence_rate);
    append_printf(text, "%s %7d\r\n", " Maximum number of iterations ..............", model.max_iterations);
    append_printf(text, "%s %7d\r\n", " Maximum number of step halvings ...........", model.max_halvings);
    append_printf(text, "%s %-12.6g\r\n", " Convergence criterion for cov. parameters .", model.parameter_criterion);
    append_printf(text, "%s %-12.6g\r\n", " Convergence criterion for log likelihood ..", model.loglik_criterion);
    append_printf(text, "%s %-12.6g\r\n", " Tolerance for pivoting ....................", model.pivot_tolerance);
    if (low_tolerance)
        append_printf(text, "%s %-12.6g\r\n", " Minimum tolerance of covariance matrix ....",
                      model.min_covariance_tolerance);
    append_printf(text, "%s %s\r\n", " Algorithm used ............................", glm_algorithm_name(model.algorithm));
    append_printf(text, "%s %s\r\n", " Covariance structure ......................", glm_structure_name(model.structure));

    xml_printf("%s\n", "<VarQuality>");
    xml_printf("%s%7d%s\n", "<CmpltCase>", model.complete_cases, "</CmpltCase>");
    xml_printf("%s%7d%s\n", "<nOBS>", model.observations, "</nOBS>");
    xml_printf("%s%s%s\n", "<FinalStatus>", glm_status_name(model.status), "</FinalStatus>");
    xml_printf("%s%-12.6g%s\n", "<dLogLik>", model.log_likelihood, "</dLogLik>");
    xml_printf("%s%-12.6g%s\n", "<AIC>", aic, "</AIC>");
    xml_printf("%s%-8.3g%s\n", "<AppConvRate>", model.convergence_rate, "</AppConvRate>");
    xml_printf("%s%7d%s\n", "<MaxIter>", model.max_iterations, "</MaxIter>");
    xml_printf("%s%7d%s\n", "<MaxHalvs>", model.max_halvings, "</MaxHalvs>");
    xml_printf("%s%-12.6g%s", "<ConvParams>", model.parameter_criterion, "</ConvParams>");
    xml_printf("%s%-12.6g%s\n", "<ConvLike>", model.loglik_criterion, "</ConvLike>");
    xml_printf("%s%-12.6g%s", "<Tolerance>", model.pivot_tolerance, "</Tolerance>");
    if (low_tolerance) xml_printf("%s%-12.6g%s\n", "<dCovTol>", model.min_covariance_tolerance, "</dCovTol>");
    xml_printf("%s%s%s\n", "<Algorithm>", glm_algorithm_name(model.algorithm), "</Algorithm>");
    xml_printf("%s%s%s\n", "<CovStructure>", glm_structure_name(model.structure), "</CovStructure>");
    xml_printf("%s\n", "</VarQuality>");
}

void iteration_history(const GlmModel& model, std::string& text) {
    const std::string rule(63, '_');
    text += "\n";
    text += "             Step       Log      Improvement   Max. Rel. Change\n";
    text += "Iteration  Halvings  Likelihood  in Log Lik.    in Cov. Params.\n";
    text += rule + "\n";
    const int last = std::min(model.iterations, model.max_iterations);
    xml_printf("%s\n", "<IterLik>");
    for (int i = 0; i <= last; ++i) {
        const auto& row = model.history[static_cast<size_t>(i)];
        const int halvings = static_cast<int>(row[0]);
        if (i == 0)
            append_printf(text, "%5d %10d %14.3f\r\n", i, halvings, row[1]);
        else
            append_printf(text, "%5d %10d %14.3f %12.3e  %14.3e\r\n", i, halvings, row[1], row[2], row[3]);
        xml_printf("%s\n", "<line>");
        xml_printf("%s%5d%s\n", "<nIter>", i, "</nIter>");
        xml_printf("%s%10d%s\n", "<StepHalv>", halvings, "</StepHalv>");
        xml_printf("%s%14.3f%s\n", "<LogLik>", row[1], "</LogLik>");
        if (i == 0) {
            xml_printf("%s%s\n", "<ImpLogLik>", "</ImpLogLik>");
            xml_printf("%s%s\n", "<MaxRelChange>", "</MaxRelChange>");
        } else {
            xml_printf("%s%14.3f%s\n", "<ImpLogLik>", row[2], "</ImpLogLik>");
            xml_printf("%s%14.3f%s\n", "<MaxRelChange>", row[3], "</MaxRelChange>");
        }
        xml_printf("%s\n", "</line>");
    }
    xml_printf("%s\n", "</IterLik>");
    text += rule + "\n";
}

void anova_table(const GlmModel& model, std::string& text) {
    const std::string rule(72, '_');
    text += "\n";
    text += "                       ANALYSIS OF VARIANCE\n";
    text += "                       ====================\n\n";
    text += std::string(23, ' ') + "      Sum of               Mean\n";
    text += "Source" + std::string(17, ' ') + "      Squares     DF      Square     F         p\n";
    text += rule + "\n";
    const double variance = model.theta[0];
    const int error_df = model.used_cases - model.k;
    const bool restricted = model.algorithm == kRestrictedGeneralizedEm || model.algorithm == kQuasiScoring;
    const double error_ss = (restricted ? error_df : model.used_cases) * variance;
    const double error_ms = error_df > 0 ? error_ss / error_df : 0.0;

    std::vector<size_t> order(model.terms.size());
    for (size_t t = 0; t < order.size(); ++t) order[t] = t;
    std::stable_sort(order.begin(), order.end(),
                     [&](size_t a, size_t b) { return model.terms[a].kind < model.terms[b].kind; });
    xml_printf("%s\n", "<ANOVASTAT>");
    int previous_kind = kTermIntercept;
    for (size_t t : order) {
        const GlmTerm& term = model.terms[t];
        if (term.kind > previous_kind) append_printf(text, "\n%-s\r\n", glm_term_kind_name(term.kind));
        previous_kind = term.kind;
        // The intercept row shows "Intercept", its parameter's label, in text and XML.
        const std::string label = term.kind == kTermIntercept ? "Intercept" : term.label;
        if (term.kind == kTermIntercept) text += "\n";
        const size_t start = text.size();
        text += label;
        pad_to(text, start, 22);
        const double ss = model.wald[t] * variance;
        const int df = term.size;
        const double ms = df != 0 ? ss / df : 0.0;
        const double f = ms > 0 && error_ss > 0 && error_df > 0 ? ms / (error_ss / error_df) : 0.0;
        const double p = df > 0 && error_df > 0 ? f_upper_p(df, error_df, f) : 1.0;
        append_printf(text, "%14.3f%7d%12.3f", ss, df, ms);
        append_printf(text, "%10.3f%7.3f", f, p);
        text += "\n";
        xml_printf("%s\n", "<line>");
        xml_printf("%s%s%s\n", "<sName>", label.c_str(), "</sName>");
        xml_printf("%s%14.3f%s\n", "<SS>", ss, "</SS>");
        xml_printf("%s%7d%s\n", "<DF>", df, "</DF>");
        xml_printf("%s%12.3f%s\n", "<MeanSqr>", ms, "</MeanSqr>");
        xml_printf("%s%10.3f%s\n", "<fValue>", f, "</fValue>");
        xml_printf("%s%7.3f%s\n", "<pValue>", p, "</pValue>");
        xml_printf("%s\n", "</line>");
    }
    text += "\n";
    const size_t start = text.size();
    text += "Error";
    pad_to(text, start, 22);
    append_printf(text, "%14.3f%7d%12.3f", error_ss, error_df, error_ms);
    text += "\n";
    text += rule + "\n";
    xml_printf("%s\n", "<line>");
    xml_printf("%s%s%s\n", "<sName>", "Error", "</sName>");
    xml_printf("%s%14.3f%s\n", "<SS>", error_ss, "</SS>");
    xml_printf("%s%7d%s\n", "<DF>", error_df, "</DF>");
    xml_printf("%s%12.3f%s\n", "<MeanSqr>", error_ms, "</MeanSqr>");
    xml_printf("%s%s%s\n", "<fValue>", " ", "</fValue>");
    xml_printf("%s%s%s\n", "<pValue>", " ", "</pValue>");
    xml_printf("%s\n", "</line>");
    xml_printf("%s\n", "</ANOVASTAT>");
}

void wald_tests(const GlmModel& model, std::string& text) {
    size_t width = 4;
    for (const GlmTerm& term : model.terms)
        if (term.kind != kTermIntercept) width = std::max(width, term.label.size());
    const std::string rule(width + 31, '_');
    text += "\nWald Tests of Significance\n\n";
    text += "Source" + std::string(width - 5, ' ') + "     DF    Chi-square        p\n";
    text += rule + "\n";
    xml_printf("%s\n", "<WaldTestTable>");
    for (size_t t = 0; t < model.terms.size(); ++t) {
        const GlmTerm& term = model.terms[t];
        if (term.kind == kTermIntercept) continue;
        const double p = gamma_q(term.size / 2.0, model.wald[t] / 2);
        const size_t start = text.size();
        text += term.label;
        pad_to(text, start, width + 1);
        append_printf(text, "%7d  %12.3f%9.3f\n", term.size, model.wald[t], p);
        xml_printf("%s\n", "<line>");
        xml_printf("%s%s%s\n", "<name>", term.label.c_str(), "</name>");
        xml_printf("%s%7d%s\n", "<DF>", term.size, "</DF>");
        xml_printf("%s%12.3f%s\n", "<ChiSquare>", model.wald[t], "</ChiSquare>");
        xml_printf("%s%9.3f%s\n", "<pValue>", p, "</pValue>");
        xml_printf("%s\n", "</line>");
    }
    xml_printf("%s\n", "</WaldTestTable>");
    text += rule + "\n";
}

void regression_parameters(const GlmModel& model, std::string& text) {
    size_t width = 9;
    for (const std::string& label : model.parameter_labels) width = std::max(width, label.size());
    const std::string rule(width + 63, '_');
    const double level = model.regression_confidence;
    text += "\nEstimates of Regression Parameters\n\n";
    text += std::string(width + 14, ' ');
    append_printf(text, "Asymptotic         %4.1f%s\n", level, "%");
    text += "Parameter" + std::string(width - 5, ' ') + "Estimate   Std. Err.  Confidence Interval        z       p\n";
    text += rule + "\n";
    xml_printf("%s\n", "<RegParaTbl>");
    xml_printf("%s%4.1f%s\n", "<ConfIntval>", level, "</ConfIntval>");
    for (size_t i = 0; i < model.parameter_labels.size(); ++i) {
        const ParameterRow row =
            parameter_row(model.beta[i], model.beta_covariance[packed_at(i, i)], model.regression_confidence);
        const size_t start = text.size();
        append_printf(text, "%-s", model.parameter_labels[i].c_str());
        pad_to(text, start, width + 1);
        append_printf(text, "%11.3f%11.3f%11.3f%11.3f%9.3f%9.3f\r\n", row.estimate, row.se, row.low, row.high, row.z,
                      row.p);
        xml_printf("%s\n", "<line>");
        xml_printf("%s%s%s\n", "<Name>", model.parameter_labels[i].c_str(), "</Name>");
        xml_printf("%s%11.3f%s\n", "<Value>", row.estimate, "</Value>");
        xml_printf("%s%11.3f%s\n", "<AsymStd>", row.se, "</AsymStd>");
        xml_printf("%s%11.3f%s\n", "<ConfIntLow>", row.low, "</ConfIntLow>");
        xml_printf("%s%11.3f%s\n", "<ConfIntHi>", row.high, "</ConfIntHi>");
        xml_printf("%s%11.3f%s\n", "<zValue>", row.z, "</zValue>");
        xml_printf("%s%11.3f%s\n", "<pValue>", row.p, "</pValue>");
        xml_printf("%s\n", "</line>");
    }
    xml_printf("%s\n", "</RegParaTbl>");
    text += rule + "\n";
}

void covariance_parameters(const GlmModel& model, std::string& text) {
    const std::string rule(71, '_');
    const double level = model.covariance_confidence;
    text += "\nEstimates of Residual Covariance\n\n";
    append_printf(text, "                      Asymptotic         %4.1f%s\n", level, "%");
    text += "Parameter   Estimate   Std. Err.  Confidence Interval        z        p\n";
    text += rule + "\n";
    xml_printf("%s\n", "<CovParaTbl>");
    xml_printf("%s%4.1f%s\n", "<ConfIntval>", level, "</ConfIntval>");
    for (size_t i = 0; i < model.theta.size(); ++i) {
        const ParameterRow row =
            parameter_row(model.theta[i], model.theta_covariance[packed_at(i, i)], model.covariance_confidence);
        const int number = static_cast<int>(i) + 1;
        append_printf(text, "%5d    %11.3f%11.3f%11.3f%11.3f%9.3f%9.3f\r\n", number, row.estimate, row.se, row.low,
                      row.high, row.z, row.p);
        xml_printf("%s", "<line>\n");
        xml_printf("%s%5d%s", "<name>", number, "</name>");
        xml_printf("%s%11.3f%s", "<Value>", row.estimate, "</Value>");
        xml_printf("%s%11.3f%s", "<Std>", row.se, "</Std>");
        xml_printf("%s%11.3f%s", "<ConfIntLow>", row.low, "</ConfIntLow>");
        xml_printf("%s%11.3f%s", "<ConfIntHi>", row.high, "</ConfIntHi>");
        xml_printf("%s%11.3f%s", "<zValue>", row.z, "</zValue>");
        xml_printf("%s%11.3f%s\n", "<pValue>", row.p, "</pValue>");
        xml_printf("%s\n", "</line>");
    }
    xml_printf("%s\n", "</CovParaTbl>");
    text += rule + "\n";
}

}  // namespace

void glm_write_results(const GlmModel& model, std::string& text) {
    fit_summary(model, text);
    if (model.print_flags & kPrintHistory) iteration_history(model, text);
    if (model.status != kConverged && model.status != kTooManyIterations) return;
    if (model.intercept && (model.structure == kCompoundSymmetry || model.dependents == 1)) anova_table(model, text);
    const size_t terms = model.terms.size();
    if (terms > 1 || (terms == 1 && !model.intercept)) wald_tests(model, text);
    regression_parameters(model, text);
    covariance_parameters(model, text);
}

}  // namespace quorix
