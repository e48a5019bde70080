#include <new>
#include <string>

#include "analyses/glm/glm_model.h"
#include "frame/channels.h"
#include "frame/memory.h"

namespace quorix {

const char* glm_structure_name(int structure) {
    static const char* const kNames[] = {"Compound Symmetry", "First Order Autoregressive", "Banded Autoregressive",
                                         "Unstructured"};
    return structure >= 0 && structure < 4 ? kNames[structure] : "";
}

const char* glm_algorithm_name(int algorithm) {
    static const char* const kNames[] = {"Newton Raphson", "Fisher Scoring", "Generalized EM",
                                         "Restricted Generalized EM", "Quasi-Scoring"};
    return algorithm >= 0 && algorithm < 5 ? kNames[algorithm] : "";
}

const char* glm_status_name(int status) {
    static const char* const kNames[] = {"Convergence", "Too Many Iterations", "Too Many Step Halvings", "Failure"};
    return status >= 0 && status < 4 ? kNames[status] : "";
}

const char* glm_term_kind_name(int kind) {
    static const char* const kNames[] = {"Error",
                                         "Intercept",
                                         "Main effects",
                                         "Interactions",
                                         "Fixed Covariates",
                                         "Between-subj. Interactions",
                                         "Within-subj. factors",
                                         "Time-Varying Covariates",
                                         "Within-subj. Interactions",
                                         "Within-Between Interactions"};
    return kind >= -1 && kind < 9 ? kNames[kind + 1] : "";
}

namespace {

// Steps 2 to 11 of a run, once the variable lists are known.
int glm_stages(RunContext& context, GlmModel& model) {
    const int variable_count =
        model.dependents + static_cast<int>(model.grouping.size() + model.covariates.size());
    std::string text;
    try {
        text.reserve(200000);  // the report buffer
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s", " Not enough memory!\n");
        return 2;
    }
    text += "GENERAL LINEAR MODEL\n";
    append_printf(text, "%d  Variables are selected from file   ", variable_count);
    text += context.path;
    text += "\n\n";
    text += "\n";
    // Unstructured: p(p + 1)/2 covariance parameters.
    model.q = model.structure == kUnstructured ? model.dependents * (model.dependents + 1) / 2
              : model.structure == kBandedAutoregressive ? model.dependents
                                                         : 2;
    GlmData data;
    if (glm_prepare_data(context, model, data) != 0) return 2;
    if (glm_count_design(model) != 0) return 2;
    append_printf(text, " VARIABLE %-s\n", model.dependent_name.c_str());
    append_printf(text, " Number of cases in data file are ...........%7d\n", context.header.case_count);
    glm_make_labels(model);
    if (glm_build_design(model, data) != 0) return 2;
    data = GlmData{};

    xml_printf("%s\n", "<RESULT RTYPE=\"GENSTAT\">");
    xml_printf("%s%s%s\n", "<Analysis>", "GLM", "</Analysis>");
    xml_printf("%s\n", "<DataInf>");
    xml_printf("%s%d%s\n", "<nVar>", variable_count, "</nVar>");
    xml_printf("%s%d%s\n", "<nCases>", context.header.case_count, "</nCases>");
    xml_printf("%s%s%s\n", "<FileName>\"", context.path.c_str(), "\"</FileName>");
    xml_printf("%s\n", "</DataInf>");

    // The entry point fits the configured model once (Unstructured with one
    // dependent); the Compound Symmetry pair of fits needs two dependents.
    if (glm_fit(model) == 0) {
        glm_covariance_tolerance(model);
        glm_write_results(model, text);
    } else {
        channel_printf(kLogChannel, "%s\n", " Do not have enough memory space");
    }
    channel_write(kReportChannel, text);
    xml_printf("%s\n", "</RESULT>");
    channel_printf(kLogChannel, "%s", "ANOVA IS DONE !\n");
    return 0;
}

}  // namespace

int glm_run(RunContext& context, int dependent, const std::vector<int>& grouping, const std::vector<int>& covariates) {
    if (grouping.empty()) {
        channel_printf(kLogChannel, "%s", " You must select at least one independent variable.\n");
        return 2;
    }
    if (covariates.empty()) {
        channel_printf(kLogChannel, "%s", " You must select at least one covariate variable.\n");
        return 2;
    }
    try {
        GlmModel model;
        model.dependent_variable = dependent;
        model.grouping = grouping;
        model.covariates = covariates;
        model.dependent_name = variable_name(context.header, dependent);
        for (int v : grouping) model.grouping_names.push_back(variable_name(context.header, v));
        for (int v : covariates) model.covariate_names.push_back(variable_name(context.header, v));
        return glm_stages(context, model);
    } catch (const std::bad_alloc&) {
        channel_printf(kLogChannel, "%s", " Not have enough memory!\n");
        return 2;
    }
}

}  // namespace quorix
