// Native method of the correlation and covariance matrices.
#include "com_quorix_statistics_StatisticsNative.h"

#include "analyses/basic/correlation.h"
#include "jni/java_arguments.h"

using namespace quorix;

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doCorrelation(
    JNIEnv* env, jobject, jstring path, jstring run, jint n, jintArray vars, jstring processing, jstring matrix,
    jboolean alpha, jboolean writeMatrix, jint selCount, jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kNoPathLimit);
        const std::vector<int> variables = java_variables(args, n, vars, "the variable list");
        // A null option selects the default.
        std::string processing_text, matrix_text;
        const bool has_processing = java_option_text(args, processing, "the processing option", processing_text);
        const bool has_matrix = java_option_text(args, matrix, "the matrix option", matrix_text);
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (args.ok)
            correlation_frame(names.data_path.c_str(), names.run_name.c_str(), variables,
                              has_processing ? processing_text.c_str() : nullptr,
                              has_matrix ? matrix_text.c_str() : nullptr, alpha ? 1 : 0, writeMatrix ? 1 : 0,
                              selection);
    });
}

}  // extern "C"
