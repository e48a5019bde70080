#include "jni/java_arguments.h"

#include <climits>
#include <mutex>

#include "frame/channels.h"

namespace quorix {

namespace {

std::mutex& library_mutex() {
    static std::mutex mutex;
    return mutex;
}

void refuse(JavaArguments& args, const std::string& reason) {
    if (args.ok) {
        console_printf(" Invalid argument: %s.\n", reason.c_str());
        args.reason = reason;
    }
    args.ok = false;
}

std::vector<int32_t> java_ints(JavaArguments& args, jint count, jintArray values, const char* what) {
    std::vector<int32_t> copy;
    if (!args.ok) return copy;
    if (count < 0) {
        refuse(args, std::string(what) + " has a negative count (" + std::to_string(count) + ")");
        return copy;
    }
    if (count == 0) return copy;
    if (!values) {
        refuse(args, std::string(what) + " is null");
        return copy;
    }
    const jsize length = args.env->GetArrayLength(values);
    if (length < count) {
        refuse(args, std::string(what) + " holds " + std::to_string(length) + " entries, not " + std::to_string(count));
        return copy;
    }
    copy.resize(static_cast<size_t>(count));
    args.env->GetIntArrayRegion(values, 0, count, reinterpret_cast<jint*>(copy.data()));
    if (args.env->ExceptionCheck()) {
        args.env->ExceptionClear();
        refuse(args, std::string(what) + " cannot be read");
        copy.clear();
    }
    return copy;
}

}  // namespace

void lock_library() { library_mutex().lock(); }
void unlock_library() { library_mutex().unlock(); }

void report_internal_error(const char* what) { console_printf("\n Analysis stopped by an internal error: %s\n", what); }

std::string java_text(JavaArguments& args, jstring value, const char* what, size_t max_bytes) {
    std::string text;
    if (!args.ok) return text;
    if (!value) {
        refuse(args, std::string(what) + " is null");
        return text;
    }
    const char* chars = args.env->GetStringUTFChars(value, nullptr);
    if (!chars) {
        if (args.env->ExceptionCheck()) args.env->ExceptionClear();
        refuse(args, std::string(what) + " cannot be read");
        return text;
    }
    text = chars;
    args.env->ReleaseStringUTFChars(value, chars);
    if (max_bytes && text.size() > max_bytes)
        refuse(args, std::string(what) + " is longer than " + std::to_string(max_bytes) + " bytes");
    return text;
}

bool java_option_text(JavaArguments& args, jstring value, const char* what, std::string& text) {
    if (!value) return false;
    text = java_text(args, value, what);
    return true;
}

RunNames java_run_names(JavaArguments& args, jstring path, jstring run, size_t path_limit) {
    RunNames names;
    names.data_path = java_text(args, path, "the data file path", path_limit);
    names.run_name = java_text(args, run, "the run name");
    return names;
}

int java_variable(jint value) { return value == INT_MAX ? 0 : value + 1; }

std::vector<int> java_variables(JavaArguments& args, jint count, jintArray values, const char* what) {
    const std::vector<int32_t> raw = java_ints(args, count, values, what);
    std::vector<int> variables(raw.size());
    for (size_t i = 0; i < raw.size(); ++i) variables[i] = java_variable(raw[i]);
    return variables;
}

Argument java_variables_argument(JavaArguments& args, jint count, jintArray values, const char* what) {
    return variables_argument(java_variables(args, count, values, what));
}

Argument java_variable_argument(std::initializer_list<jint> values) {
    std::vector<int> variables;
    for (jint value : values) variables.push_back(java_variable(value));
    return variables_argument(std::move(variables));
}

Argument java_word_argument(JavaArguments& args, jstring value, const char* what) {
    std::string text;
    if (!java_option_text(args, value, what, text)) return word_argument(nullptr);
    return word_argument(text.c_str());
}

void copy_to_java(JNIEnv* env, const std::vector<double>& block, jdoubleArray array) {
    if (!array || block.empty()) return;
    const jsize length = env->GetArrayLength(array);
    const jsize count = block.size() < static_cast<size_t>(length) ? static_cast<jsize>(block.size()) : length;
    if (count > 0) env->SetDoubleArrayRegion(array, 0, count, block.data());
}

std::vector<int32_t> java_selection(JavaArguments& args, jint count, jintArray values) {
    return java_ints(args, count, values, "the case selection");
}

}  // namespace quorix
