#include <algorithm>
#include <cmath>
#include <new>

#include "analyses/glm/glm_model.h"
#include "numeric/sweep.h"

namespace quorix {

namespace {

constexpr double kLogTwoPi = 1.8378770351409912;  // ln(2 pi) in single precision
constexpr double kUndefined = 1e35;

size_t packed_at(size_t i, size_t j) { return i >= j ? i * (i + 1) / 2 + j : j * (j + 1) / 2 + i; }

// The fixed-effect side of the fit. With one dependent variable the residual
// covariance of every case is the single variance theta, so X'V^-1X,
// X'V^-1y and y'V^-1y are the cross-products over theta: the augmented matrix
// is swept once and each evaluation rescales (beta does not depend on theta,
// the residual sum of squares divides by it, (X'V^-1X)^-1 multiplies by it).
// Other structures would rebuild and sweep it per evaluation here.
struct FixedEffects {
    std::vector<double> swept;   // the augmented cross-products, every estimable column swept
    std::vector<int32_t> state;  // after the sweep: 0 swept, 3 rejected as collinear
    std::vector<double> reference;
    std::vector<double> beta;    // generalised least squares
    double residual = 0.0;       // y'y - y'X beta, unscaled
};

struct FitState {
    FixedEffects fixed;
    std::vector<double> delta, halving;
    std::vector<double> beta;                      // carried in joint mode
    std::vector<double> beta_delta, beta_halving;  // joint mode only
    bool joint = false;
    double previous_loglik = 0.0;
};

bool sweep_fixed_effects(const GlmModel& model, FixedEffects& fixed) {
    const int k = model.k;
    const size_t order = static_cast<size_t>(k) + 1;
    fixed.swept = model.cross_products;
    fixed.state.assign(order, kSweepCandidate);
    fixed.state[order - 1] = kSweepResponse;
    fixed.reference.assign(order, 0.0);
    std::vector<double> work(order);
    SweepResult result{};
    if (sweep_all(k + 1, fixed.state.data(), work.data(), fixed.reference.data(), 1, &result,
                  model.pivot_tolerance, fixed.swept.data()) != 0)
        return false;
    fixed.beta.assign(static_cast<size_t>(k), 0.0);
    for (size_t j = 0; j + 1 < order; ++j)
        if (fixed.state[j] == kSweepNotCandidate) fixed.beta[j] = fixed.swept[packed_at(order - 1, j)];
    fixed.residual = fixed.swept[packed_at(order - 1, order - 1)];
    return true;
}

// Sum over cases of w log det V and the inverse of V (one matrix serves every
// case: one dependent, no per-case covariance). kUndefined when V cannot be inverted.
double log_determinant_term(const GlmModel& model, double* inverse, double* tolerance) {
    double v = model.theta[0];
    int32_t state = kSweepCandidate;
    double work = 0, reference = 0;
    SweepResult result{};
    if (!std::isfinite(v)) return kUndefined;
    sweep_all(1, &state, &work, &reference, 1, &result, model.pivot_tolerance, &v);
    if (result.remaining != 0 || result.positive_definite == 0) return kUndefined;
    if (inverse) *inverse = -v;
    if (tolerance) *tolerance = result.min_criterion;
    return model.observations * result.log_determinant;
}

// The scoring step for theta, Unstructured with one dependent: score and
// expected information in closed form, Delta = I^-1 g. False when the
// information cannot be inverted.
bool scoring_step(const GlmModel& model, double inverse, double residual, std::vector<double>& delta) {
    const double n = model.observations;
    const double score = 0.5 * (n * inverse - residual * inverse * inverse);
    double information = 0.5 * n * inverse * inverse;
    int32_t state = kSweepCandidate;
    double work = 0, reference = 0;
    SweepResult result{};
    sweep_all(1, &state, &work, &reference, 1, &result, model.pivot_tolerance, &information);
    if (result.remaining != 0) return false;
    delta[0] = -information * score;
    return std::isfinite(delta[0]);
}

// The residual sum of squares at a given beta: (beta, -1)' [X'X X'y; y'X y'y] (beta, -1).
double residual_at(const GlmModel& model, const std::vector<double>& beta) {
    std::vector<double> v(beta);
    v.push_back(-1.0);
    return quad_form(v.data(), model.cross_products.data(), model.k + 1);
}

double term_wald(const GlmModel& model, const FixedEffects& fixed, const GlmTerm& term, double inverse) {
    std::vector<size_t> columns;
    for (int p = term.first; p < term.first + term.size; ++p)
        if (fixed.state[static_cast<size_t>(p)] == kSweepNotCandidate) columns.push_back(static_cast<size_t>(p));
    if (columns.empty()) return 0.0;
    const size_t m = columns.size();
    std::vector<double> block((m + 1) * (m + 2) / 2), work(m + 1), reference(m + 1);
    for (size_t a = 0; a < m; ++a) {
        for (size_t b = 0; b <= a; ++b) block[packed_at(a, b)] = -fixed.swept[packed_at(columns[a], columns[b])];
        block[packed_at(m, a)] = fixed.beta[columns[a]];
    }
    std::vector<int32_t> state(m + 1, kSweepCandidate);
    state[m] = kSweepResponse;
    SweepResult result{};
    sweep_all(static_cast<int>(m + 1), state.data(), work.data(), reference.data(), 1, &result, model.pivot_tolerance,
              block.data());
    const double rise = -block[packed_at(m, m)] * inverse;
    return rise > 0 ? rise : 0.0;
}

void accept_step(GlmModel& model, FitState& fit) {
    for (size_t i = 0; i < model.theta.size(); ++i) {
        model.theta[i] -= fit.delta[i];
        fit.halving[i] = model.max_halvings > 0 ? -0.5 * fit.delta[i] : 0.0;
    }
    if (fit.joint) {
        for (size_t i = 0; i < fit.beta.size(); ++i) {
            fit.beta[i] -= fit.beta_delta[i];
            fit.beta_halving[i] = model.max_halvings > 0 ? -0.5 * fit.beta_delta[i] : 0.0;
        }
    }
}

void halve_step(GlmModel& model, FitState& fit, int halvings) {
    const bool shrink = halvings + 1 < model.max_halvings;
    for (size_t i = 0; i < model.theta.size(); ++i) {
        model.theta[i] -= fit.halving[i];
        if (shrink) fit.halving[i] *= 0.5;
    }
    if (fit.joint) {
        for (size_t i = 0; i < fit.beta.size(); ++i) {
            fit.beta[i] -= fit.beta_halving[i];
            if (shrink) fit.beta_halving[i] *= 0.5;
        }
    }
}

// One iteration: attempts with step halving until a point is accepted or a
// limit is reached. Returns the improvement in the log likelihood.
double one_iteration(GlmModel& model, FitState& fit) {
    int halvings = 0;
    if (model.max_halvings < 0) {
        model.status = kTooManyHalvings;
        return 0.0;
    }
    const double constant = model.observations * kLogTwoPi;
    for (;;) {
        double inverse = 0;
        const double d = log_determinant_term(model, &inverse, nullptr);
        bool stepped = false;
        double q = 0;
        if (d != kUndefined) {
            if (fit.joint) {
                // Joint step: Newton for beta (exact, the likelihood being
                // quadratic in beta) and scoring for theta at the carried beta.
                const double residual = residual_at(model, fit.beta);
                fit.beta_delta.resize(fit.beta.size());
                for (size_t i = 0; i < fit.beta.size(); ++i) fit.beta_delta[i] = fit.beta[i] - fit.fixed.beta[i];
                stepped = std::isfinite(residual) && scoring_step(model, inverse, residual, fit.delta);
                if (stepped) {
                    q = residual * inverse;
                    model.beta = fit.beta;
                } else {
                    fit.joint = false;
                }
            }
            if (!fit.joint) {
                q = fit.fixed.residual * inverse;
                model.beta = fit.fixed.beta;
                stepped = scoring_step(model, inverse, fit.fixed.residual, fit.delta);
            }
        }
        if (stepped) {
            const double loglik = -0.5 * (q + d + constant);
            model.log_likelihood = loglik;
            const double improvement = std::fabs(loglik - fit.previous_loglik);
            double change = 0;
            for (size_t i = 0; i < model.theta.size(); ++i)
                change = std::max(change, std::fabs(fit.delta[i]) / std::max(std::fabs(model.theta[i]), 1.0));
            model.history[static_cast<size_t>(model.iterations)] = {static_cast<double>(halvings), loglik, improvement,
                                                                    change};
            if (model.iterations > 0 && halvings == 0 && improvement < model.loglik_criterion &&
                change < model.parameter_criterion) {
                model.status = kConverged;
                return improvement;
            }
            if (model.iterations == 0 || model.iterations == model.max_iterations || loglik > fit.previous_loglik) {
                accept_step(model, fit);
                fit.previous_loglik = loglik;
                if (model.algorithm == kNewtonRaphson && halvings == 0 && model.iterations >= 1 &&
                    improvement <= 1.0 && !fit.joint) {
                    fit.joint = true;
                    fit.beta = model.beta;
                    fit.beta_halving.assign(fit.beta.size(), 0.0);
                }
                ++model.iterations;
                model.status = kTooManyIterations;
                return improvement;
            }
        }
        halve_step(model, fit, halvings);
        ++halvings;
        if (halvings > model.max_halvings) {
            model.status = kTooManyHalvings;
            return 0.0;
        }
    }
}

}  // namespace

int glm_fit(GlmModel& model) {
    const size_t q = static_cast<size_t>(model.q);
    const size_t k = static_cast<size_t>(model.k);
    FitState fit;
    try {
        model.history.assign(static_cast<size_t>(model.max_iterations) + 1, {0, 0, 0, 0});
        if (!sweep_fixed_effects(model, fit.fixed)) {
            model.status = kFitFailure;
            return 0;
        }
        model.theta.assign(q, 0.0);
        model.theta[0] = model.initial_variance;  // the diagonal of the 1 by 1 Unstructured matrix
        fit.delta.assign(q, 0.0);
        fit.halving.assign(q, 0.0);
        if (model.max_halvings != 0)
            for (size_t i = 0; i < q; ++i) fit.halving[i] = model.theta[i] / 10;
        model.beta.assign(k, 0.0);
        model.beta_covariance.assign(k * (k + 1) / 2, 0.0);
        model.theta_covariance.assign(q * (q + 1) / 2, 0.0);
        model.wald.assign(model.terms.size(), 0.0);
        model.iterations = 0;
        model.log_likelihood = 0.0;
        model.final_evaluation = 0.0;
        model.status = kTooManyIterations;
        double improvement = 0.0, previous = 0.0;
        do {
            previous = improvement;
            improvement = one_iteration(model, fit);
            if (model.iterations > model.max_iterations) break;
        } while (model.status == kTooManyIterations);
        model.convergence_rate = previous != 0.0 ? improvement / previous : 0.0;
        // A fit stopped by the iteration limit is reported with the
        // estimates, tables and tests of its last iteration; the final
        // evaluation follows convergence.
        if (model.status != kConverged && model.status != kTooManyIterations) return 0;
        if (model.status == kConverged) model.final_evaluation = -1.0;
        double inverse = 0;
        if (log_determinant_term(model, &inverse, nullptr) == kUndefined) return 0;
        const double variance = model.theta[0];
        model.beta = fit.fixed.beta;
        for (size_t i = 0; i < k; ++i) {
            if (fit.fixed.state[i] != kSweepNotCandidate) continue;
            for (size_t j = 0; j <= i; ++j)
                if (fit.fixed.state[j] == kSweepNotCandidate)
                    model.beta_covariance[packed_at(i, j)] = -fit.fixed.swept[packed_at(i, j)] * variance;
        }
        model.theta_covariance[0] = 2.0 / (model.observations * inverse * inverse);

        // Wald statistic of a term: the rise of the residual y'V^-1y when
        // every column but the term's is swept, that is when the term's
        // columns are swept back out of the fully swept matrix. That rise is
        // beta_t' C_t^-1 beta_t, with C_t the term's block of the swept
        // inverse: sweeping [C_t, beta_t; beta_t', 0] on the term's columns
        // gives it at the cost of the term's size, not of the whole matrix.
        for (size_t t = 0; t < model.terms.size(); ++t)
            model.wald[t] = term_wald(model, fit.fixed, model.terms[t], inverse);
    } catch (const std::bad_alloc&) {
        return 2;
    }
    return 0;
}

void glm_covariance_tolerance(GlmModel& model) {
    double tolerance = 1.0;
    model.min_covariance_tolerance = 1.0;
    if (log_determinant_term(model, nullptr, &tolerance) != kUndefined)
        model.min_covariance_tolerance = std::min(1.0, tolerance);
}

}  // namespace quorix
