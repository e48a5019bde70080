#include "analyses/regression/regression.h"

#include <new>

#include "analyses/common/variable_filter.h"
#include "frame/channels.h"
#include "report/result_document.h"

namespace quorix {

namespace {

constexpr int kFileOfCases = 2;  // header value of a data file of cases

int log_and_return(const char* message, int status) {
    channel_printf(kLogChannel, "%s\n", message);
    return status;
}

int run_regression(RunContext& context, int dependent, const std::vector<int>& independent, RegressionOptions options,
                   const char* title, const char* analysis, const char* table, RegressionOutput& output,
                   const char* refused_f_level = nullptr) {
    const int variables = context.header.variable_count;
    if (dependent < 1 || dependent > variables) return log_and_return("Dependent variable index is invalid!", -2);
    const int p = static_cast<int>(independent.size());
    if (p < 1 || p > variables) return log_and_return("The number of independent variable is invalid!", -2);
    std::string text;
    std::vector<int> slots;
    try {
        text.reserve(20000);
        slots.reserve(static_cast<size_t>(p) + 2);
    } catch (const std::bad_alloc&) {
        return log_and_return(" Not enough memory!", -1);
    }
    slots.push_back(0);
    slots.insert(slots.end(), independent.begin(), independent.end());
    slots.push_back(dependent);

    const bool dependent_text = !check_numeric_variable(dependent, "Dependent", context);
    std::vector<int> kept(independent);
    const int remaining = drop_alphanumeric(kept, "Independent", context);
    if (dependent_text || remaining != p) return remaining;

    if (refused_f_level) {
        console_printf("%s", refused_f_level);
        return -1;
    }
    options.matrix_input = context.header.file_kind != kFileOfCases;
    text += title;
    ResultHead head;
    head.analysis = analysis;
    head.variable_count = p + 2;
    write_result_head(context, head);
    xml_printf("<%s>\n", table);
    regression_engine(p + 2, text, slots, options, context, output);
    xml_printf("</%s>\n", table);
    xml_printf("</RESULT>\n");
    channel_write(kReportChannel, text);
    return 0;
}

}  // namespace

int standard_regression_driver(RunContext& context, int dependent, const std::vector<int>& independent,
                               RegressionOutput& output) {
    RegressionOptions options;
    options.method = kRegressionStandard;
    return run_regression(context, dependent, independent, options, "STANDARD MULTIPLE REGRESSION\n\n", "StdMulReg",
                          "StdMulRegTbl", output);
}

int hierarchical_regression_driver(RunContext& context, int dependent, const std::vector<int>& independent,
                                   RegressionOutput& output) {
    RegressionOptions options;
    options.method = kRegressionHierarchical;
    return run_regression(context, dependent, independent, options, "HIERARCHICAL MULTIPLE REGRESSION\n\n",
                          "HierMulReg", "MulRegTbl", output);
}

int stepwise_regression_driver(RunContext& context, int dependent, const std::vector<int>& independent, int forward,
                               double f_level, RegressionOutput& output) {
    RegressionOptions options;
    options.method = kRegressionStepwise;
    options.forward = forward ? 1 : 0;
    options.f_to_enter = 3.84;
    options.f_to_remove = 2.71;
    const char* refused = nullptr;
    if (f_level == kRefusedFLevel)
        refused = forward ? " F-to-enter is not in right format " : " F-to-drop is no in right format ";
    else if (f_level != kDefaultFLevel)
        (forward ? options.f_to_enter : options.f_to_remove) = f_level;
    return run_regression(context, dependent, independent, options, "STEPWISE MULTIPLE REGRESSION\n\n",
                          forward ? "StepMulRegF" : "StepMulRegB", "MulRegTbl", output, refused);
}

}  // namespace quorix
