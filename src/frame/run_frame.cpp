#include "frame/run_frame.h"


#include "datafile/rkd_reader.h"
#include "report/result_document.h"

namespace quorix {

namespace {

// Mean imputation's done line follows the pattern of its siblings.
const FrameRow kFrames[] = {
    {FrameId::descriptive, "doDescriptive", "Descript Analysis Done!", true, true},
    {FrameId::frequency, "doFrequency", "Frquency Analysis Done!", true, true},
    {FrameId::one_sample, "doOneSample", "One-Sample t-test Analysis Done!", true, true},
    {FrameId::paired_sample, "doPairedSample", "Paired-Samples t-test Analysis Done!", true, true},
    {FrameId::independent_sample, "doIndependentSample", "Independent-Samples t-test Analysis Done!", true, true},
    {FrameId::matched_sample, "doMatchedSample", "Matched-Samples t-test Analysis Done!", true, true},
    {FrameId::crosstab_two, "doCrosstabTwo", "Two way Crosstab Analysis Done!", true, true},
    {FrameId::crosstab_three, "doCrosstabThree", "Three way Crosstab Analysis Done!", true, true},
    {FrameId::anova_one, "doAnovaOne", "One-Way ANOVA Analysis Done!", true, true},
    {FrameId::anova_two, "doAnovaTwo", "Two-Way ANOVA Analysis Done!", true, true},
    {FrameId::anova_glm, "doAnovaGLM", "General Linear Model Analysis Done!", true, true},
    {FrameId::factor_analysis, "doFactorAnalysis", "Factor Analysis Done!", true, true},
    {FrameId::correlation, "doCorrelation", "Correlation Analysis Done!", true, true},
    {FrameId::regression_standard, "doRegression", "Standard Multiple Regression Done!", true, true},
    {FrameId::regression_hierarchical, "doRegression", "Hierarchical Multiple Regression Done!", true, true},
    {FrameId::regression_step, "doRegressionStep", "Stepwise Multiple Regression Done!", true, true},
    {FrameId::nonparametric, "doNonparametric", "Nonparametric Test Done!", true, true},
    {FrameId::missing_diagnosis, "doMissingDiagnosis", "Missing Diagnosis Done!", false, false},
    {FrameId::missing_mean, "doMissingMean", "Mean Imputation Done!", false, false},
    {FrameId::missing_regression, "doMissingRegression", "Regression Imputation Done!", false, false},
    {FrameId::missing_em, "doMissingEM", "EM Imputation Done!", false, false},
};

constexpr size_t kExtensionLength = 4;  // ".rkd"

void release_data(RunContext& context) {
    context.header = FileHeader();
    context.dictionary.clear();
    context.dictionary.shrink_to_fit();
    if (context.data_file) std::fclose(context.data_file);
    context.data_file = nullptr;
}

int fail_open(RunContext& context) {
    release_data(context);
    close_result_files();
    return -1;
}

void list_variable_names(const RunContext& context) {
    const int32_t count = context.header.variable_count;
    for (int32_t v = 1; v <= count; ++v) {
        channel_printf(kLogChannel, "%9s", variable_name(context.header, v).c_str());
        if (v % 6 == 0) channel_printf(kLogChannel, "\n");
    }
    channel_printf(kLogChannel, "\n");
}

}  // namespace

const FrameRow& frame_row(FrameId id) { return kFrames[static_cast<size_t>(id)]; }

ResultFileNames result_file_names(const std::string& data_path, const std::string& run_name) {
    ResultFileNames names;
    // A path too short to carry an extension has no result files: the run is
    // refused as one whose result files cannot be created.
    if (data_path.size() < kExtensionLength) return names;
    const std::string base = data_path.substr(0, data_path.size() - kExtensionLength) + "_" + run_name;
    names.report = base + ".out";
    names.log = base + ".log";
    names.xml = base + ".xml";
    return names;
}

void print_status_line(int status) {
    if (status == -1)
        console_printf("\nMemory allocation error when doing Descriptive Operation");
    else if (status == 0)
        console_printf("\nDescriptive Operation Done");
    else
        console_printf("\nThe Return Value ( %d ) from Descriptive Operation is undeclared error number", status);
}

int open_run(const char* data_path, const char* run_name, RunContext& context) {
    OutputState& state = output_state();
    state.echo = 1;
    state.files_open = 1;
    context = RunContext();
    if (!data_path || !run_name) {
        console_printf("can't initialize output files.");
        return fail_open(context);
    }

    const ResultFileNames names = result_file_names(data_path, run_name);
    context.path = data_path;
    if (!names.report.empty()) {
        state.report = std::fopen(names.report.c_str(), "w");
        state.log = std::fopen(names.log.c_str(), "w");
        state.xml = std::fopen(names.xml.c_str(), "w");
        note_result_paths(names.report, names.log, names.xml);
    }
    if (!state.report || !state.log || !state.xml) {
        console_printf("can't initialize output files.");
        return fail_open(context);
    }
    write_document_prolog();

    context.data_file = std::fopen(data_path, "rb");
    if (!context.data_file) {
        channel_printf(kLogChannel, "%s\n", "Open file Failed.\n");
        return fail_open(context);
    }
    channel_printf(kLogChannel, " Open success, %s\n", data_path);

    switch (load_data_file(context)) {
    case LoadStatus::ok:
        break;
    case LoadStatus::header_failed:
        channel_printf(kLogChannel, "%s\n", " Error reading RKD file header");
        return fail_open(context);
    case LoadStatus::bad_magic:
        console_printf("\nfile format error");
        return fail_open(context);
    case LoadStatus::dictionary_failed:
        channel_printf(kLogChannel, " Error reading file header!\n");
        channel_printf(kLogChannel, " file maybe corrupted !\n");
        return fail_open(context);
    }
    list_variable_names(context);
    return 0;
}

int close_run(RunContext& context, const char* done_line) {
    release_data(context);
    const int written = close_result_files();
    channel_printf(kLogChannel, "%s\n", done_line);
    return written;
}

}  // namespace quorix
