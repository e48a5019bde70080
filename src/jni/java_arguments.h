// Conversion of the native methods' Java arguments. Nothing a Java caller
// passes is trusted: null strings and arrays, negative counts and arrays
// shorter than their counts are answered with a console line, and the
// analysis is not run.
#pragma once

#include <jni.h>

#include <cstdint>
#include <initializer_list>
#include <string>
#include <vector>

#include "analyses/registry.h"

namespace quorix {

// Paths of the first eleven methods are limited as their callers expect.
constexpr size_t kShortPathLimit = 511;
constexpr size_t kNoPathLimit = 0;

struct JavaArguments {
    JNIEnv* env;
    bool ok = true;      // false once any conversion failed; later ones are skipped
    std::string reason;  // why the first failed conversion failed
};

// A string argument as UTF-8 bytes; max_bytes 0 means no limit.
std::string java_text(JavaArguments& args, jstring value, const char* what, size_t max_bytes = 0);
// A string option for which null means the analysis's default: returns false
// for null, else converts it into text as java_text does.
bool java_option_text(JavaArguments& args, jstring value, const char* what, std::string& text);
// The data file path and the run name every method starts with; path_limit 0
// means no limit.
struct RunNames {
    std::string data_path;
    std::string run_name;
};
RunNames java_run_names(JavaArguments& args, jstring path, jstring run, size_t path_limit);

// A list of count variable numbers made 1-based, as one argument.
Argument java_variables_argument(JavaArguments& args, jint count, jintArray values, const char* what);
// Single variables made 1-based, as one argument.
Argument java_variable_argument(std::initializer_list<jint> values);
// A string option for which null means the analysis's default, as one argument.
Argument java_word_argument(JavaArguments& args, jstring value, const char* what);

// A list of count variable numbers made 1-based.
std::vector<int> java_variables(JavaArguments& args, jint count, jintArray values, const char* what);
// The case selection, copied unchanged.
std::vector<int32_t> java_selection(JavaArguments& args, jint count, jintArray values);
// One 0-based variable number made 1-based (numbers that cannot be made 1-based become 0).
int java_variable(jint value);

// Runs one native call under the library's lock, with every failure kept
// inside it: nothing reaches the JVM as an exception.
template <typename Call>
void guarded_call(Call&& call);

// The body of every native method: converts the data file path, the run name,
// then the method's own parameters (convert(args, values) appends one Argument
// per parameter, in Java order), then the case selection, and runs the
// analysis. A refused argument is answered with a console line and, when the
// path and run name are usable, with the result files of a failed run whose
// log gives the reason. With results given, the analysis puts the numbers it
// hands back there.
template <typename Convert>
void run_native(JNIEnv* env, AnalysisId id, jstring path, jstring run, size_t path_limit, jint selection_count,
                jintArray selection, Convert&& convert, AnalysisResults* results = nullptr);

// Copies a block of doubles into a Java array from index 0, never past the
// array's length; a null array is left alone.
void copy_to_java(JNIEnv* env, const std::vector<double>& block, jdoubleArray array);

void lock_library();
void unlock_library();
void report_internal_error(const char* what);

template <typename Call>
void guarded_call(Call&& call) {
    lock_library();
    try {
        call();
    } catch (const std::exception& error) {
        report_internal_error(error.what());
    } catch (...) {
        report_internal_error("unknown");
    }
    unlock_library();
}

template <typename Convert>
void run_native(JNIEnv* env, AnalysisId id, jstring path, jstring run, size_t path_limit, jint selection_count,
                jintArray selection, Convert&& convert, AnalysisResults* results) {
    guarded_call([&] {
        JavaArguments args{env, true, {}};
        const RunNames names = java_run_names(args, path, run, path_limit);
        const bool names_usable = args.ok;
        AnalysisArguments arguments;
        convert(args, arguments.values);
        arguments.selection = java_selection(args, selection_count, selection);
        arguments.results = results;
        if (args.ok)
            run_analysis(id, names.data_path, names.run_name, arguments);
        else if (names_usable)
            refuse_run(names.data_path.c_str(), names.run_name.c_str(), args.reason);
    });
}

}  // namespace quorix
