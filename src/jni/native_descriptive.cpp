// Native method of the descriptive statistics. Each native method converts its
// arguments and runs its analysis's frame; methods whose analysis is not built
// yet are not exported.
#include "com_quorix_statistics_StatisticsNative.h"

#include "analyses/basic/descriptive.h"
#include "jni/java_arguments.h"

using namespace quorix;

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doDescriptive(JNIEnv* env, jobject, jstring path,
                                                                                 jstring run, jint n, jintArray vars,
                                                                                 jint selCount, jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kShortPathLimit);
        const std::vector<int> variables = java_variables(args, n, vars, "the variable list");
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (args.ok) descriptive_frame(names.data_path.c_str(), names.run_name.c_str(), variables, selection);
    });
}

}  // extern "C"
