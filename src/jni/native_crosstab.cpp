// Native methods of the two-way and three-way cross tabulation.
#include "com_quorix_statistics_StatisticsNative.h"

#include "analyses/basic/crosstab.h"
#include "jni/java_arguments.h"

using namespace quorix;

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doCrosstabTwo(JNIEnv* env, jobject, jstring path,
                                                                                 jstring run, jint rowVar, jint colVar,
                                                                                 jint display, jint selCount,
                                                                                 jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kShortPathLimit);
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (args.ok)
            crosstab_two_frame(names.data_path.c_str(), names.run_name.c_str(), java_variable(rowVar), java_variable(colVar),
                               display, selection);
    });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doCrosstabThree(JNIEnv* env, jobject, jstring path,
                                                                                   jstring run, jint rowVar,
                                                                                   jint colVar, jint layerVar,
                                                                                   jint display, jint selCount,
                                                                                   jintArray sel) {
    guarded_call([&] {
        JavaArguments args{env};
        const RunNames names = java_run_names(args, path, run, kShortPathLimit);
        const std::vector<int32_t> selection = java_selection(args, selCount, sel);
        if (args.ok)
            crosstab_three_frame(names.data_path.c_str(), names.run_name.c_str(), java_variable(rowVar), java_variable(colVar),
                                 java_variable(layerVar), display, selection);
    });
}

}  // extern "C"
