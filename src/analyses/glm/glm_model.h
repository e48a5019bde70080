// The general linear model: one dependent variable against a full factorial
// of grouping variables plus covariates, fitted by maximum likelihood. The
// record carries the settings of the more general mixed-model engine (several
// dependents, other covariance structures and algorithms) at their defaults;
// the run configures one dependent, Unstructured, Newton Raphson.
#pragma once

#include <array>
#include <cstdint>
#include <string>
#include <vector>

#include "frame/run_context.h"

namespace quorix {

enum GlmStructure : int {
    kCompoundSymmetry = 0,
    kFirstOrderAutoregressive = 1,
    kBandedAutoregressive = 2,
    kUnstructured = 3,
};
enum GlmAlgorithm : int {
    kNewtonRaphson = 0,
    kFisherScoring = 1,
    kGeneralizedEm = 2,
    kRestrictedGeneralizedEm = 3,
    kQuasiScoring = 4,
};
enum GlmStatus : int { kConverged = 0, kTooManyIterations = 1, kTooManyHalvings = 2, kFitFailure = 3 };
enum GlmTermKind : int { kTermIntercept = 0, kTermMainEffect = 1, kTermInteraction = 2, kTermCovariate = 3 };
enum GlmPrintFlag : int { kPrintHistory = 0x1000, kPrintModelCovariance = 0x2000, kPrintModelCorrelation = 0x4000 };

constexpr int kMaxGlmLevels = 15;
constexpr int kGlmParameterLimit = 999;  // no interaction order is started beyond this count
constexpr size_t kParameterLabelLength = 27;
constexpr size_t kTermLabelLength = 23;

const char* glm_structure_name(int structure);
const char* glm_algorithm_name(int algorithm);
const char* glm_status_name(int status);
const char* glm_term_kind_name(int kind);

// One term: its kind, its factors (positions in the grouping list) or its
// covariate, and the range of its parameters in beta.
struct GlmTerm {
    int kind = kTermIntercept;
    std::vector<int> factors;
    int covariate = -1;
    int first = 0;
    int size = 1;
    std::string label;
};

// Sufficient statistics of the observations of one cell of the factorial:
// the packed cross-products of (1, covariates..., y), order covariates + 2.
struct GlmCell {
    std::vector<int> levels;  // level index per grouping variable
    std::vector<double> cross;
};

struct GlmModel {
    // Settings.
    int weight_variable = -1;
    double pivot_tolerance = 1e-6;
    double loglik_criterion = 1e-5;
    double parameter_criterion = 1e-5;
    double final_evaluation = 0.0;
    int print_flags = -1;
    float regression_confidence = 95.0f;
    float covariance_confidence = 95.0f;
    std::string dependent_name;
    int intercept = 1;
    int complete_cases_only = 0;
    int per_case_covariance = 0;
    int max_iterations = 100;
    int max_halvings = 20;
    int structure = kUnstructured;
    int algorithm = kNewtonRaphson;
    int dependents = 1;
    int dependent_variable = 0;
    std::vector<int> grouping;
    int within_factors = 0;
    std::vector<int> covariates;
    int time_varying_covariates = 0;

    // Sizes and design.
    int used_cases = 0;      // n
    int complete_cases = 0;
    int observations = 0;    // N
    int q = 1;
    int k = 0;
    int highest_order = 0;
    std::vector<std::vector<double>> levels;  // ascending level values per grouping variable
    std::vector<char> letters;                // grouping variables, then covariates
    std::vector<std::string> grouping_names, covariate_names;
    std::vector<GlmTerm> terms;
    std::vector<std::string> parameter_labels;
    double initial_variance = 0.0;
    std::vector<GlmCell> cells;
    // Patterns of present dependent values and the first case of each.
    std::vector<uint32_t> patterns;
    std::vector<int64_t> pattern_first_case;
    // [X'WX, X'Wy; y'WX, y'Wy], packed, order k + 1, unscaled by the variance.
    std::vector<double> cross_products;

    // Fit.
    int status = kTooManyIterations;
    int iterations = 0;
    double log_likelihood = 0.0;
    double convergence_rate = 0.0;
    double min_covariance_tolerance = 1.0;
    std::vector<std::array<double, 4>> history;  // halvings, log likelihood, improvement, max. rel. change
    std::vector<double> theta, theta_covariance;  // q, packed q
    std::vector<double> beta, beta_covariance;    // k, packed k
    std::vector<double> wald;                     // per term
};

// The columns of the used cases between data preparation and the design.
struct GlmData {
    std::vector<std::vector<double>> grouping;    // per grouping variable
    std::vector<std::vector<double>> covariates;  // per covariate
    std::vector<double> dependent;                // 1e35 where missing
};

// Data preparation, design size, labels, design: each returns 0, or 2 after
// its message.
int glm_prepare_data(RunContext& context, GlmModel& model, GlmData& data);
int glm_count_design(GlmModel& model);
void glm_make_labels(GlmModel& model);
int glm_build_design(GlmModel& model, const GlmData& data);

// The fit: status, log likelihood, history, estimates and Wald statistics.
// Returns 0, or 2 when memory ran out.
int glm_fit(GlmModel& model);
void glm_covariance_tolerance(GlmModel& model);

// Text into the report buffer, XML into the result document.
void glm_write_results(const GlmModel& model, std::string& text);

// The run of doAnovaGLM: 0 once the model was fitted and reported, 2 for a
// failed stage.
int glm_run(RunContext& context, int dependent, const std::vector<int>& grouping, const std::vector<int>& covariates);

}  // namespace quorix
