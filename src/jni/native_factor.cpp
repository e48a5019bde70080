// Native method of factor analysis.
#include "com_quorix_statistics_StatisticsNative.h"

#include "analyses/factor/factor.h"
#include "jni/java_arguments.h"

using namespace quorix;

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doFactorAnalysis(
    JNIEnv* env, jobject, jstring path, jstring run, jint n, jintArray vars, jstring rotation, jstring initialValue,
    jstring processing, jboolean factorScores, jstring sort, jdouble cutoff, jint selCount, jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kNoPathLimit);
        FactorOptions options;
        options.variables = java_variables(args, n, vars, "the variable list");
        // A null option selects the default.
        std::string rotation_text, initial_text, processing_text, sort_text;
        const bool has_rotation = java_option_text(args, rotation, "the rotation option", rotation_text);
        const bool has_initial = java_option_text(args, initialValue, "the initial-value option", initial_text);
        const bool has_processing = java_option_text(args, processing, "the processing option", processing_text);
        const bool has_sort = java_option_text(args, sort, "the sort option", sort_text);
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (!args.ok) return;
        options.rotation = has_rotation ? rotation_text.c_str() : nullptr;
        options.initial_value = has_initial ? initial_text.c_str() : nullptr;
        options.processing = has_processing ? processing_text.c_str() : nullptr;
        options.sort = has_sort ? sort_text.c_str() : nullptr;
        options.factor_scores = factorScores ? 1 : 0;
        options.cutoff = cutoff;
        factor_frame(names.data_path.c_str(), names.run_name.c_str(), options, selection);
    });
}

}  // extern "C"
