// Native methods of the four t-tests. Each opens the run itself and hands the
// opened run to its test's frame steps.
#include "com_quorix_statistics_StatisticsNative.h"

#include "analyses/basic/ttest.h"
#include "jni/java_arguments.h"

using namespace quorix;

namespace {

struct TTestArguments {
    std::string data_path;
    std::string run_name;
    std::vector<int32_t> selection;
    bool ok = false;
};

TTestArguments convert(JNIEnv* env, jstring path, jstring run, jint selCount, jintArray sel) {
    JavaArguments args{env};
    TTestArguments converted;
    const RunNames names = java_run_names(args, path, run, kShortPathLimit);
    converted.data_path = names.data_path;
    converted.run_name = names.run_name;
    converted.selection = java_selection(args, selCount, sel);
    converted.ok = args.ok;
    return converted;
}

template <typename Steps>
void open_and_run(const TTestArguments& args, Steps&& steps) {
    if (args.ok) open_ttest_run(args.data_path.c_str(), args.run_name.c_str(), steps);
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doOneSample(JNIEnv* env, jobject, jstring path,
                                                                               jstring run, jint var,
                                                                               jdouble testValue, jint selCount,
                                                                               jintArray sel) {
    guarded_call([&] {
        const TTestArguments args = convert(env, path, run, selCount, sel);
        open_and_run(args, [&](RunContext& context) {
            return one_sample_frame(context, java_variable(var), testValue, args.selection);
        });
    });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doPairedSample(JNIEnv* env, jobject, jstring path,
                                                                                  jstring run, jint var1, jint var2,
                                                                                  jdouble testValue, jint selCount,
                                                                                  jintArray sel) {
    guarded_call([&] {
        const TTestArguments args = convert(env, path, run, selCount, sel);
        open_and_run(args, [&](RunContext& context) {
            return paired_sample_frame(context, java_variable(var1), java_variable(var2), testValue, args.selection);
        });
    });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doIndependentSample(
    JNIEnv* env, jobject, jstring path, jstring run, jint var, jint groupVar, jdouble testValue, jint selCount,
    jintArray sel) {
    guarded_call([&] {
        const TTestArguments args = convert(env, path, run, selCount, sel);
        open_and_run(args, [&](RunContext& context) {
            return independent_sample_frame(context, java_variable(var), java_variable(groupVar), testValue,
                                     args.selection);
        });
    });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doMatchedSample(JNIEnv* env, jobject,
                                                                                   jstring path, jstring run,
                                                                                   jint var, jint groupVar,
                                                                                   jdouble testValue, jint selCount,
                                                                                   jintArray sel) {
    guarded_call([&] {
        const TTestArguments args = convert(env, path, run, selCount, sel);
        open_and_run(args, [&](RunContext& context) {
            return matched_sample_frame(context, java_variable(var), java_variable(groupVar), testValue, args.selection);
        });
    });
}

}  // extern "C"
