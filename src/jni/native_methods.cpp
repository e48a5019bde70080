// The native methods of com.quorix.statistics.StatisticsNative. Each converts
// its own parameters, in Java order, into the analysis's arguments and runs
// the analysis through run_native.
#include "com_quorix_statistics_StatisticsNative.h"

#include "jni/java_arguments.h"

using namespace quorix;

namespace {

// The regression methods' variables as one list: the dependent first, then
// the independent variables, all made 1-based.
Argument regression_variables(JavaArguments& args, jint dep, jint n, jintArray indep) {
    Argument argument = java_variables_argument(args, n, indep, "the independent variable list");
    argument.variables.insert(argument.variables.begin(), java_variable(dep));
    return argument;
}

}  // namespace

extern "C" {

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doDescriptive(JNIEnv* env, jobject, jstring path,
                                                                                 jstring run, jint n, jintArray vars,
                                                                                 jint selCount, jintArray sel) {
    run_native(env, AnalysisId::descriptive, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doFrequency(JNIEnv* env, jobject, jstring path,
                                                                               jstring run, jint n, jintArray vars,
                                                                               jint option, jint selCount,
                                                                               jintArray sel) {
    run_native(env, AnalysisId::frequency, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
                   values.push_back(integer_argument(option));
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doOneSample(JNIEnv* env, jobject, jstring path,
                                                                               jstring run, jint var,
                                                                               jdouble testValue, jint selCount,
                                                                               jintArray sel) {
    run_native(env, AnalysisId::one_sample, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments&, std::vector<Argument>& values) {
                   values = {java_variable_argument({var}), number_argument(testValue)};
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doPairedSample(JNIEnv* env, jobject, jstring path,
                                                                                  jstring run, jint var1, jint var2,
                                                                                  jdouble testValue, jint selCount,
                                                                                  jintArray sel) {
    run_native(env, AnalysisId::paired_sample, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments&, std::vector<Argument>& values) {
                   values = {java_variable_argument({var1, var2}), number_argument(testValue)};
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doIndependentSample(
    JNIEnv* env, jobject, jstring path, jstring run, jint var, jint groupVar, jdouble testValue, jint selCount,
    jintArray sel) {
    run_native(env, AnalysisId::independent_sample, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments&, std::vector<Argument>& values) {
                   values = {java_variable_argument({var}), java_variable_argument({groupVar}),
                             number_argument(testValue)};
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doMatchedSample(JNIEnv* env, jobject,
                                                                                   jstring path, jstring run,
                                                                                   jint var, jint groupVar,
                                                                                   jdouble testValue, jint selCount,
                                                                                   jintArray sel) {
    run_native(env, AnalysisId::matched_sample, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments&, std::vector<Argument>& values) {
                   values = {java_variable_argument({var}), java_variable_argument({groupVar}),
                             number_argument(testValue)};
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doCrosstabTwo(JNIEnv* env, jobject, jstring path,
                                                                                 jstring run, jint rowVar, jint colVar,
                                                                                 jint display, jint selCount,
                                                                                 jintArray sel) {
    run_native(env, AnalysisId::crosstab_two, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments&, std::vector<Argument>& values) {
                   values = {java_variable_argument({rowVar, colVar}), integer_argument(display)};
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doCrosstabThree(JNIEnv* env, jobject, jstring path,
                                                                                   jstring run, jint rowVar,
                                                                                   jint colVar, jint layerVar,
                                                                                   jint display, jint selCount,
                                                                                   jintArray sel) {
    run_native(env, AnalysisId::crosstab_three, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments&, std::vector<Argument>& values) {
                   values = {java_variable_argument({rowVar, colVar, layerVar}), integer_argument(display)};
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doAnovaOne(JNIEnv* env, jobject, jstring path,
                                                                              jstring run, jint dep, jint factor,
                                                                              jint selCount, jintArray sel) {
    run_native(env, AnalysisId::anova_one, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments&, std::vector<Argument>& values) {
                   values = {java_variable_argument({dep, factor})};
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doAnovaTwo(JNIEnv* env, jobject, jstring path,
                                                                              jstring run, jint dep, jint factorA,
                                                                              jint factorB, jint selCount,
                                                                              jintArray sel) {
    run_native(env, AnalysisId::anova_two, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments&, std::vector<Argument>& values) {
                   values = {java_variable_argument({dep, factorA, factorB})};
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doAnovaGLM(JNIEnv* env, jobject, jstring path,
                                                                              jstring run, jint dep, jint nFactors,
                                                                              jintArray factors, jint nCovariates,
                                                                              jintArray covariates, jint selCount,
                                                                              jintArray sel) {
    run_native(env, AnalysisId::anova_glm, path, run, kShortPathLimit, selCount, sel,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variable_argument({dep}));
                   values.push_back(java_variables_argument(args, nFactors, factors, "the grouping variables"));
                   values.push_back(java_variables_argument(args, nCovariates, covariates, "the covariates"));
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doFactorAnalysis(
    JNIEnv* env, jobject, jstring path, jstring run, jint n, jintArray vars, jstring rotation, jstring initialValue,
    jstring processing, jboolean factorScores, jstring sort, jdouble cutoff, jint selCount, jintArray sel) {
    run_native(env, AnalysisId::factor_analysis, path, run, kNoPathLimit, selCount, sel,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
                   values.push_back(java_word_argument(args, rotation, "the rotation option"));
                   values.push_back(java_word_argument(args, initialValue, "the initial-value option"));
                   values.push_back(java_word_argument(args, processing, "the processing option"));
                   values.push_back(integer_argument(factorScores ? 1 : 0));
                   values.push_back(java_word_argument(args, sort, "the sort option"));
                   values.push_back(number_argument(cutoff));
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doCorrelation(
    JNIEnv* env, jobject, jstring path, jstring run, jint n, jintArray vars, jstring processing, jstring matrix,
    jboolean alpha, jboolean writeMatrix, jint selCount, jintArray sel) {
    run_native(env, AnalysisId::correlation, path, run, kNoPathLimit, selCount, sel,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
                   values.push_back(java_word_argument(args, processing, "the processing option"));
                   values.push_back(java_word_argument(args, matrix, "the matrix option"));
                   values.push_back(integer_argument(alpha ? 1 : 0));
                   values.push_back(integer_argument(writeMatrix ? 1 : 0));
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doNonparametric(
    JNIEnv* env, jobject, jstring path, jstring run, jint n, jintArray vars, jint groupVar, jstring missingOption,
    jint testWord, jint selCount, jintArray sel) {
    run_native(env, AnalysisId::nonparametric, path, run, kNoPathLimit, selCount, sel,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
                   values.push_back(java_variable_argument({groupVar}));
                   values.push_back(java_word_argument(args, missingOption, "the missing-data option"));
                   values.push_back(integer_argument(testWord));
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doRegression(
    JNIEnv* env, jobject, jstring path, jstring run, jint dep, jint n, jintArray indep, jboolean returnResults,
    jdoubleArray result1, jdoubleArray result2, jint regressionType, jint selCount, jintArray sel) {
    AnalysisResults results;
    const AnalysisId id = regressionType == 1 ? AnalysisId::regression_standard : AnalysisId::regression_hierarchical;
    run_native(env, id, path, run, kNoPathLimit, selCount, sel,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(regression_variables(args, dep, n, indep));
                   values.push_back(word_argument(regressionType == 1 ? "standard" : "hierarchical"));
               },
               returnResults ? &results : nullptr);
    if (returnResults) {
        copy_to_java(env, results.first, result1);
        copy_to_java(env, results.second, result2);
    }
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doRegressionStep(
    JNIEnv* env, jobject, jstring path, jstring run, jint dep, jint n, jintArray indep, jboolean forward,
    jdouble fLevel, jboolean returnResults, jdoubleArray result1, jdoubleArray result2, jint selCount,
    jintArray sel) {
    AnalysisResults results;
    run_native(env, AnalysisId::regression_step, path, run, kNoPathLimit, selCount, sel,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(regression_variables(args, dep, n, indep));
                   values.push_back(word_argument(forward ? "forward" : "backward"));
                   values.push_back(number_argument(fLevel));
               },
               returnResults ? &results : nullptr);
    if (returnResults) {
        copy_to_java(env, results.first, result1);
        copy_to_java(env, results.second, result2);
    }
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doMissingDiagnosis(JNIEnv* env, jobject,
                                                                                      jstring path, jstring run,
                                                                                      jint n, jintArray vars) {
    run_native(env, AnalysisId::missing_diagnosis, path, run, kNoPathLimit, 0, nullptr,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
               });
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doMissingMean(JNIEnv* env, jobject, jstring path,
                                                                                 jstring run, jint n, jintArray vars,
                                                                                 jint var) {
    run_native(env, AnalysisId::missing_mean, path, run, kNoPathLimit, 0, nullptr,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
                   values.push_back(java_variable_argument({var}));
               });
}

// The result arrays are always filled: every case's fitted value, and fitted
// minus filled observed value.
JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doMissingRegression(
    JNIEnv* env, jobject, jstring path, jstring run, jint var, jint n, jintArray vars, jint option, jdouble value,
    jdoubleArray result1, jdoubleArray result2) {
    AnalysisResults results;
    run_native(env, AnalysisId::missing_regression, path, run, kNoPathLimit, 0, nullptr,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variable_argument({var}));
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
                   values.push_back(integer_argument(option));
                   values.push_back(number_argument(value));
               },
               &results);
    copy_to_java(env, results.first, result1);
    copy_to_java(env, results.second, result2);
}

JNIEXPORT void JNICALL Java_com_quorix_statistics_StatisticsNative_doMissingEM(JNIEnv* env, jobject, jstring path,
                                                                               jstring run, jint n, jintArray vars,
                                                                               jboolean flag) {
    run_native(env, AnalysisId::missing_em, path, run, kNoPathLimit, 0, nullptr,
               [&](JavaArguments& args, std::vector<Argument>& values) {
                   values.push_back(java_variables_argument(args, n, vars, "the variable list"));
                   values.push_back(integer_argument(flag ? 1 : 0));
               });
}

}  // extern "C"
