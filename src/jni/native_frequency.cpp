// Native method of the frequency tables.
#include "com_quorix_statistics_StatisticsNative.h"

#include "analyses/basic/frequency.h"
#include "jni/java_arguments.h"

using namespace quorix;

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doFrequency(JNIEnv* env, jobject, jstring path,
                                                                               jstring run, jint n, jintArray vars,
                                                                               jint option, jint selCount,
                                                                               jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kShortPathLimit);
        const std::vector<int> variables = java_variables(args, n, vars, "the variable list");
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (args.ok) frequency_frame(names.data_path.c_str(), names.run_name.c_str(), variables, option, selection);
    });
}

}  // extern "C"
