// Native method of the nonparametric tests.
#include "com_quorix_statistics_StatisticsNative.h"

#include "analyses/nonparametric/nonparametric.h"
#include "jni/java_arguments.h"

using namespace quorix;

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doNonparametric(
    JNIEnv* env, jobject, jstring path, jstring run, jint n, jintArray vars, jint groupVar, jstring missingOption,
    jint testWord, jint selCount, jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kNoPathLimit);
        NonparametricOptions options;
        options.variables = java_variables(args, n, vars, "the variable list");
        options.group_variable = java_variable(groupVar);
        // A null option selects the default, listwise deletion.
        std::string missing_text;
        if (java_option_text(args, missingOption, "the missing-data option", missing_text))
            options.missing_option = missing_text.c_str();
        options.tests = testWord;
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (args.ok) nonparametric_frame(names.data_path.c_str(), names.run_name.c_str(), options, selection);
    });
}

}  // extern "C"
