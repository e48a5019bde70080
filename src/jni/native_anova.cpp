// Native methods of the one-way and two-way analysis of variance.
#include "com_quorix_statistics_StatisticsNative.h"

#include "analyses/basic/anova.h"
#include "jni/java_arguments.h"

using namespace quorix;

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doAnovaOne(JNIEnv* env, jobject, jstring path,
                                                                              jstring run, jint dep, jint factor,
                                                                              jint selCount, jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kShortPathLimit);
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (args.ok)
            anova_one_frame(names.data_path.c_str(), names.run_name.c_str(), java_variable(dep), java_variable(factor), selection);
    });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doAnovaTwo(JNIEnv* env, jobject, jstring path,
                                                                              jstring run, jint dep, jint factorA,
                                                                              jint factorB, jint selCount,
                                                                              jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kShortPathLimit);
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (args.ok)
            anova_two_frame(names.data_path.c_str(), names.run_name.c_str(), java_variable(dep), java_variable(factorA),
                            java_variable(factorB), selection);
    });
}

}  // extern "C"
