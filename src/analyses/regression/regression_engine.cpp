// Accuracy. The sweep works on sums of products of deviations from the means
// of the used cases, with the intercept row and column already in their swept
// state (A(0,0) = -1/n, A(i,0) = mean_i): the matrix a sweep of raw
// cross-products reaches after pivoting the intercept, formed without the
// cancellation of raw sums. Sweeping the entered slots then leaves b_0 =
// mean_y - sum b_j mean_j in A(y,0) and its variance factor in A(0,0). The
// tolerance test compares each diagonal with the variable's centred sum of
// squares, so the tolerance is 1 - R^2 of the variable on those entered. The
// cut-offs that guard against dividing by nothing are relative to the scale
// of what they guard (a residual sum against the total sum of squares, a
// standard error against its coefficient), so data in small units keep their
// t-values and F.
#include "analyses/regression/regression_engine.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <thread>

#include "analyses/basic/anova.h"
#include "datafile/rkd_format.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/memory.h"
#include "numeric/distributions.h"
#include "numeric/sweep.h"
#include "report/result_document.h"

namespace quorix {

namespace {

constexpr double kTolerance = 1e-5;
// A residual sum of squares at most this fraction of the total is an exact fit.
constexpr double kExactFitFraction = 1e-10;
// A standard error at most this fraction of its coefficient is no error at all.
constexpr double kNoErrorFraction = 1e-10;
constexpr double kTCap = 999.999;
constexpr double kFToEnterCap = 999999.999;
// Cases per block in the passes over the used cases (a multiple of 8). The
// heteroscedastic cross-products are summed block by block: the block's
// length is part of how they are rounded.
constexpr size_t kCaseBlock = 2048;

// Runs work(0) on a second thread and work(1) on this one, or both here when
// no thread can be started. Neither may throw: what they need is allocated
// before. The partition of the work is the caller's, whatever the machine.
template <class Work>
void on_two_cores(const Work& work) {
    std::thread helper;
    try {
        helper = std::thread([&work] { work(0); });
    } catch (...) {
        work(0);
    }
    work(1);
    if (helper.joinable()) helper.join();
}

// The row that splits a packed triangle of order p into two halves of about
// as many elements.
int middle_row(int p) {
    int row = 0;
    while (row < p && 2 * static_cast<size_t>(row) * static_cast<size_t>(row + 1) < static_cast<size_t>(p) * static_cast<size_t>(p + 1)) ++row;
    return row;
}

size_t packed_index(int i, int j) {
    if (i < j) std::swap(i, j);
    return static_cast<size_t>(i) * static_cast<size_t>(i + 1) / 2 + static_cast<size_t>(j);
}

struct Engine {
    RunContext& context;
    const std::vector<int>& slots;
    const RegressionOptions& options;
    RegressionOutput& output;
    std::string& text;
    int m = 0;
    int p = 0;
    int y = 0;  // the dependent's slot, p + 1
    bool raw_cases = true;
    int n = 0;
    int cases_in_file = 0;
    std::vector<std::vector<double>> columns{};  // slots 1..p + 1, the used cases
    std::vector<int> used_cases{};               // case numbers of the used cases, in file order
    std::vector<double> mean{}, sd{};
    std::vector<double> a{}, reference{}, work{};  // the swept matrix (packed m x m)
    std::vector<int32_t> entered{}, request{}, state{};
    std::vector<double> stepping{};  // F-to-enter or F-to-remove per slot
    bool intercept_enterable = true;
    double sst = 0;
    int refused = 0;
};

std::string slot_name(const Engine& e, int slot) { return variable_name(e.context.header, e.slots[slot]); }

void log_memory() { channel_printf(kLogChannel, "%s\n", " Not enough memory space!"); }

// Centred cross-products of the loaded columns, two passes: the means (with
// a correction pass), then the sums of products of deviations.
void centre_columns(Engine& e) {
    const size_t n = static_cast<size_t>(e.n);
    for (int i = 1; i <= e.y; ++i) {
        const std::vector<double>& x = e.columns[static_cast<size_t>(i)];
        double sum = 0;
        for (size_t k = 0; k < n; ++k) sum += x[k];
        double mean = sum / static_cast<double>(n);
        double correction = 0;
        for (size_t k = 0; k < n; ++k) correction += x[k] - mean;
        e.mean[static_cast<size_t>(i)] = mean + correction / static_cast<double>(n);
    }
    // The deviations go through in blocks that stay in cache (case by case),
    // their products added to the sums case after case; the rows of the sums
    // in two parts, one on each core, each part forming its own deviations.
    const size_t v = static_cast<size_t>(e.y);  // slots 1..y
    const size_t block = std::min(kCaseBlock, n);
    std::vector<double> deviations(2 * v * block);
    std::vector<double> sums(packed_index(e.y - 1, e.y - 1) + 1, 0.0);
    const int split = middle_row(e.y);
    on_two_cores([&](int part) {
        double* own = deviations.data() + static_cast<size_t>(part) * v * block;
        const int first = part == 0 ? 0 : split, last = part == 0 ? split : e.y;
        if (first >= last) return;
        for (size_t start = 0; start < n; start += block) {
            const size_t length = std::min(block, n - start);
            for (size_t i = 0; i < static_cast<size_t>(last); ++i) {
                const double* x = e.columns[i + 1].data() + start;
                const double mean = e.mean[i + 1];
                for (size_t t = 0; t < length; ++t) own[t * v + i] = x[t] - mean;
            }
            add_case_products(own, own, first, last, length, v, sums.data());
        }
    });
    for (int i = 1; i <= e.y; ++i)
        for (int j = 1; j <= i; ++j) e.a[packed_index(i, j)] = sums[packed_index(i - 1, j - 1)];
}

// Raw cases: listwise deletion over the slots within the case selection.
// Returns 0, -1 (memory) or -2 (fewer than two cases).
int prepare_from_cases(Engine& e) {
    std::vector<int32_t>& mask = e.output.case_mask;
    build_case_mask(e.context, mask);
    e.cases_in_file = e.context.header.case_count > 0 ? e.context.header.case_count : 0;
    const size_t cases = mask.size();
    bool readable = true;
    for (int i = 1; i <= e.y && readable; ++i) {
        std::vector<double>& column = e.columns[static_cast<size_t>(i)];
        const int variable = e.slots[static_cast<size_t>(i)];
        if (variable < 1 || variable > e.context.header.variable_count ||
            static_cast<size_t>(variable) > e.context.dictionary.size() ||
            !read_numeric_column(e.context, variable, column)) {
            readable = false;  // flagging stops here; no case can be used
            break;
        }
        const MissingRule rule = missing_rule(e.context.dictionary[static_cast<size_t>(variable - 1)]);
        for (size_t c = 0; c < cases; ++c)
            if (is_missing(column[c], rule)) mask[c] = kCaseLeftOut;
    }
    if (readable)
        for (size_t c = 0; c < cases; ++c)
            if (mask[c] == kCaseTakesPart) e.used_cases.push_back(static_cast<int>(c));
    e.n = static_cast<int>(e.used_cases.size());
    if (e.n < 2) {
        channel_printf(kLogChannel, " At most one used case was found!\n");
        return -2;
    }
    for (int i = 1; i <= e.y; ++i) {
        std::vector<double>& column = e.columns[static_cast<size_t>(i)];
        for (size_t k = 0; k < e.used_cases.size(); ++k) column[k] = column[static_cast<size_t>(e.used_cases[k])];
        column.resize(e.used_cases.size());
        column.shrink_to_fit();
    }
    centre_columns(e);
    return 0;
}

// A correlation matrix file: its rows, then the standard deviations, then
// the means. Returns 0, -1 (memory) or -2 (fewer than two cases).
int prepare_from_matrix(Engine& e) {
    e.n = e.context.header.matrix_case_count;
    e.cases_in_file = e.n;
    if (e.n < 2) {
        channel_printf(kLogChannel, " At most one used case was found!\n");
        return -2;
    }
    const int rows = e.context.header.case_count;
    std::vector<std::vector<double>> r(static_cast<size_t>(e.m));
    for (int i = 1; i <= e.y; ++i) {
        std::vector<double>& column = r[static_cast<size_t>(i)];
        const int variable = e.slots[static_cast<size_t>(i)];
        if (rows < 2 || variable < 1 || variable > e.context.header.variable_count ||
            static_cast<size_t>(variable) > e.context.dictionary.size() ||
            !read_numeric_column(e.context, variable, column) || column.size() < static_cast<size_t>(rows)) {
            column.assign(static_cast<size_t>(std::max(rows, 2)), 0.0);
        }
        if (rows >= 2) {
            e.sd[static_cast<size_t>(i)] = column[static_cast<size_t>(rows - 2)];
            e.mean[static_cast<size_t>(i)] = column[static_cast<size_t>(rows - 1)];
        }
    }
    const double df = static_cast<double>(e.n) - 1.0;
    for (int i = 1; i <= e.y; ++i)
        for (int j = 1; j <= i; ++j) {
            const int row = e.slots[static_cast<size_t>(j)] - 1;
            double rij = i == j ? 1.0 : 0.0;
            if (row >= 0 && row < rows - 2) rij = r[static_cast<size_t>(i)][static_cast<size_t>(row)];
            e.a[packed_index(i, j)] = rij * df * e.sd[static_cast<size_t>(i)] * e.sd[static_cast<size_t>(j)];
        }
    return 0;
}

// Sweeps the requested slots in (request 1) or out (-1). The intercept is
// swept from the start; its request is met unless the sums are not finite.
void sweep_requests(Engine& e) {
    if (e.request[0] > 0 && e.intercept_enterable) e.request[0] = 0;
    for (int i = 0; i <= e.p; ++i) e.state[static_cast<size_t>(i)] = i == 0 ? 0 : e.request[static_cast<size_t>(i)];
    e.state[static_cast<size_t>(e.y)] = kSweepResponse;
    SweepResult result{};
    sweep_all(e.m, e.state.data(), e.work.data(), e.reference.data(), 0, &result, kTolerance, e.a.data());
    for (int i = 1; i <= e.p; ++i)
        if (e.state[static_cast<size_t>(i)] == kSweepNotCandidate) e.request[static_cast<size_t>(i)] = 0;
}

double exact_fit_floor(const Engine& e) { return kExactFitFraction * e.sst; }

// F-to-enter of every slot not in the model, q independent variables entered.
void compute_f_to_enter(Engine& e, int q) {
    const int df = e.n - q - 1;
    const double rss_old = e.a[packed_index(e.y, e.y)];
    for (int k = 0; k <= e.p; ++k) {
        double& f = e.stepping[static_cast<size_t>(k)];
        f = -1.0;
        if (df <= 0 || e.entered[static_cast<size_t>(k)]) continue;
        std::fill(e.request.begin(), e.request.end(), 0);
        e.request[static_cast<size_t>(k)] = 1;
        sweep_requests(e);
        if (e.request[static_cast<size_t>(k)] > 0) {
            e.request[static_cast<size_t>(k)] = 0;
            continue;
        }
        const double rss_new = e.a[packed_index(e.y, e.y)];
        f = std::min((rss_old - rss_new) * df / std::max(rss_new, exact_fit_floor(e)), kFToEnterCap);
        if (!(f == f)) f = -1.0;
        e.request[static_cast<size_t>(k)] = -1;
        sweep_requests(e);
        e.request[static_cast<size_t>(k)] = 0;
    }
}

// The slopes from the swept matrix carry the rounding of the normal
// equations, which grows with the square of the design's condition. A few
// rounds of iterative refinement against the data themselves (residuals of
// the current slopes, their products with each entered variable, the swept
// inverse applied to those) restore the digits at O(n p) a round. rss becomes
// the residual sum of squares of the refined fit.
void refine_fit(const Engine& e, std::vector<double>& b, double& rss) {
    std::vector<int> model;
    for (int j = 1; j <= e.p; ++j)
        if (e.entered[static_cast<size_t>(j)]) model.push_back(j);
    const size_t q = model.size();
    const size_t n = static_cast<size_t>(e.n);
    const std::vector<double>& yv = e.columns[static_cast<size_t>(e.y)];
    const double y_mean = e.mean[static_cast<size_t>(e.y)];
    std::vector<double> gradient(q), deviation(q);
    constexpr int kRounds = 3;
    for (int round = 0; round <= kRounds; ++round) {
        std::fill(gradient.begin(), gradient.end(), 0.0);
        double sum_squares = 0;
        for (size_t k = 0; k < n; ++k) {
            double residual = yv[k] - y_mean;
            for (size_t r = 0; r < q; ++r) {
                const size_t slot = static_cast<size_t>(model[r]);
                deviation[r] = e.columns[slot][k] - e.mean[slot];
                residual -= b[slot] * deviation[r];
            }
            for (size_t r = 0; r < q; ++r) gradient[r] += deviation[r] * residual;
            sum_squares += residual * residual;
        }
        rss = sum_squares;
        if (round == kRounds || q == 0) break;
        bool changed = false;
        std::vector<double> correction(q, 0.0);
        for (size_t r = 0; r < q; ++r) {
            for (size_t c = 0; c < q; ++c) correction[r] -= e.a[packed_index(model[r], model[c])] * gradient[c];
            changed = changed || std::fabs(correction[r]) > 1e-13 * std::fabs(b[static_cast<size_t>(model[r])]);
        }
        if (!changed) break;
        for (size_t r = 0; r < q; ++r) b[static_cast<size_t>(model[r])] += correction[r];
    }
    double intercept = y_mean;
    for (size_t r = 0; r < q; ++r)
        intercept -= b[static_cast<size_t>(model[r])] * e.mean[static_cast<size_t>(model[r])];
    b[0] = intercept;
}

struct StepFigures {
    std::vector<double> het_se;  // per slot, when the heteroscedastic errors exist
    double durbin_watson = 0;
};

// Residuals of the current model for every used case, the leverage-weighted
// (HC3) covariance of the coefficients and Durbin-Watson; computed in
// deviations from the means, the intercept's variance carried back to raw
// units at the end.
void raw_case_figures(Engine& e, const std::vector<int>& model, const std::vector<double>& b, StepFigures& figures) {
    const size_t n = static_cast<size_t>(e.n);
    const int q = static_cast<int>(model.size());  // entered independent slots
    const int order = q + 1;
    std::vector<double> inverse(packed_index(order - 1, order - 1) + 1, 0.0);
    inverse[0] = 1.0 / static_cast<double>(e.n);
    for (int r = 0; r < q; ++r)
        for (int c = 0; c <= r; ++c)
            inverse[packed_index(r + 1, c + 1)] =
                -e.a[packed_index(model[static_cast<size_t>(r)], model[static_cast<size_t>(c)])];
    // The cases go through in blocks that stay in cache: each block's
    // deviations (run 0 the constant), residuals, leverages and weights, then
    // its weighted cross-products; the first half of the blocks on one core,
    // the rest on the other. The blocks' cross-products are then added up in
    // block order and the residuals' sums formed in case order.
    const size_t block = kCaseBlock;
    const size_t runs_count = static_cast<size_t>(order);
    const size_t blocks = (n + block - 1) / block;
    const size_t meat_size = inverse.size();
    struct Buffers {
        std::vector<double> data, cases_z, cases_wz, fitted, residuals, leverage, weights;
        std::vector<const double*> z;
    };
    Buffers buffers[2];
    for (Buffers& u : buffers) {
        u.data.assign(runs_count * block, 0.0);
        u.cases_z.resize(runs_count * block);
        u.cases_wz.resize(runs_count * block);
        u.fitted.resize(block);
        u.residuals.resize(block);
        u.leverage.resize(block);
        u.weights.resize(block);
        u.z.resize(runs_count);
        for (size_t r = 0; r < runs_count; ++r) u.z[r] = u.data.data() + r * block;
        std::fill(u.data.begin(), u.data.begin() + static_cast<std::ptrdiff_t>(block), 1.0);
    }
    std::vector<double> block_meats(blocks * meat_size, 0.0), meat(meat_size, 0.0), covariance(meat_size);
    const std::vector<double>& yv = e.columns[static_cast<size_t>(e.y)];
    const double y_mean = e.mean[static_cast<size_t>(e.y)];
    const size_t cases = e.output.case_mask.size();
    e.output.fitted.assign(cases, kSystemMissing);
    e.output.residual.assign(cases, kSystemMissing);
    e.output.count = static_cast<int>(cases);
    double* const fitted_out = e.output.fitted.data();
    double* const residual_out = e.output.residual.data();
    const size_t half = (blocks + 1) / 2;
    on_two_cores([&](int part) {
        Buffers& u = buffers[part];
        const size_t first = part == 0 ? 0 : half, last = part == 0 ? half : blocks;
        for (size_t index = first; index < last; ++index) {
            const size_t start = index * block;
            const size_t length = std::min(block, n - start);
            std::fill(u.fitted.begin(), u.fitted.end(), 0.0);
            for (int r = 0; r < q; ++r) {
                const size_t slot = static_cast<size_t>(model[static_cast<size_t>(r)]);
                const double* x = e.columns[slot].data() + start;
                const double mean = e.mean[slot], coefficient = b[slot];
                double* d = u.data.data() + static_cast<size_t>(r + 1) * block;
                for (size_t t = 0; t < length; ++t) {
                    d[t] = x[t] - mean;
                    u.fitted[t] += coefficient * d[t];
                }
            }
            for (size_t t = 0; t < length; ++t) u.residuals[t] = (yv[start + t] - y_mean) - u.fitted[t];
            quad_forms(u.z.data(), inverse.data(), order, length, u.leverage.data());
            for (size_t t = 0; t < length; ++t) {
                const double h = u.leverage[t], residual = u.residuals[t];
                u.weights[t] = h < 1 ? (residual / (1 - h)) * (residual / (1 - h)) : 0.0;
            }
            // Case by case: z = (1, deviations) and w z, the constant's w z being w.
            for (size_t t = 0; t < length; ++t) {
                u.cases_z[t * runs_count] = 1.0;
                u.cases_wz[t * runs_count] = u.weights[t];
            }
            for (size_t r = 1; r < runs_count; ++r) {
                const double* d = u.data.data() + r * block;
                for (size_t t = 0; t < length; ++t) {
                    u.cases_z[t * runs_count + r] = d[t];
                    u.cases_wz[t * runs_count + r] = u.weights[t] * d[t];
                }
            }
            for (size_t t = 0; t < length; ++t) {
                const size_t c = static_cast<size_t>(e.used_cases[start + t]);
                fitted_out[c] = y_mean + u.fitted[t];
                residual_out[c] = u.residuals[t];
            }
            add_case_products(u.cases_wz.data(), u.cases_z.data(), 0, order, length, runs_count,
                              block_meats.data() + index * meat_size);
        }
    });
    for (size_t index = 0; index < blocks; ++index)
        for (size_t t = 0; t < meat_size; ++t) meat[t] += block_meats[index * meat_size + t];
    double sum_squares = 0, sum_differences = 0, previous = 0;
    for (size_t k = 0; k < n; ++k) {
        const double residual = residual_out[static_cast<size_t>(e.used_cases[k])];
        sum_squares += residual * residual;
        if (k > 0) sum_differences += (residual - previous) * (residual - previous);
        previous = residual;
    }
    figures.durbin_watson = sum_squares <= exact_fit_floor(e) ? 0.0 : sum_differences / sum_squares;
    std::vector<double> product(static_cast<size_t>(order) * static_cast<size_t>(order));
    sandwich_product(inverse.data(), meat.data(), order, product.data(), covariance.data());
    figures.het_se.assign(static_cast<size_t>(e.m), 0.0);
    // b_0 = (mean of y) - sum b_j mean_j: its variance through the slopes' covariances.
    double intercept_variance = covariance[0];
    for (int r = 0; r < q; ++r) {
        const double mr = e.mean[static_cast<size_t>(model[static_cast<size_t>(r)])];
        intercept_variance -= 2 * mr * covariance[packed_index(r + 1, 0)];
        for (int c = 0; c < q; ++c)
            intercept_variance += mr * e.mean[static_cast<size_t>(model[static_cast<size_t>(c)])] *
                                  covariance[packed_index(r + 1, c + 1)];
        figures.het_se[static_cast<size_t>(model[static_cast<size_t>(r)])] =
            std::sqrt(std::fabs(covariance[packed_index(r + 1, r + 1)]));
    }
    figures.het_se[0] = std::sqrt(std::fabs(intercept_variance));
}

void xml_statistic(const char* label, const char* format, double value) {
    xml_printf("%s%s%s%s%s", "<line>", "<Name>", label, "</Name>", "<Value>");
    xml_printf(format, value);
    xml_printf("%s%s\n", "</Value>", "</line>");
}

struct StepSignal {
    bool zero_df = false;
    bool memory_failed = false;
};

// One step's report. b and diagonal are per slot; rss the residual sum.
StepSignal print_step(Engine& e, const std::vector<double>& b, const std::vector<double>& diagonal, double rss_swept) {
    StepSignal signal;
    std::vector<int> model;
    for (int j = 1; j <= e.p; ++j)
        if (e.entered[static_cast<size_t>(j)]) model.push_back(j);
    const int pe = static_cast<int>(model.size());
    const int df = e.n - pe - 1;
    const bool backward = e.options.method == kRegressionStepwise && !e.options.forward;
    const bool forward = e.options.method == kRegressionStepwise && e.options.forward;

    StepFigures figures;
    if (e.raw_cases) raw_case_figures(e, model, b, figures);
    const bool hetero = e.raw_cases;

    const double sst = e.sst;
    const double rss = std::max(rss_swept, 0.0);
    const double ssr = std::max(sst - rss, 0.0);
    const bool exact_fit = rss <= exact_fit_floor(e);
    const double mse = df > 0 && !exact_fit ? rss / df : 0.0;
    double msr = 0, f = 0, prob = 0;
    if (pe >= 1) {
        msr = ssr / pe;
        f = mse == 0 ? msr : msr / mse;
        prob = f_upper_p(pe, df, f);
    }
    const double r2 = ssr > 0 && sst > 0 ? ssr / sst : 0.0;
    double see = 0, adjusted = 0;
    if (df >= 1) {
        see = std::sqrt(rss / df);
        adjusted = r2 - pe * (1 - r2) / df;
    }

    const std::string labels[2] = {"REGRESSION", "RESIDUAL"};
    const double ss[2] = {ssr, rss};
    const int dfs[2] = {pe, df};
    const double ms[2] = {msr, mse};
    const double fs[2] = {f, 0.0};
    const double ps[2] = {prob, 0.0};
    anova_table_text(e.text, labels, ss, dfs, ms, fs, ps, 2);
    xml_printf("<AnovaTbl>\n");
    write_anova_row("REGRESSION", pe, ssr, msr, f, prob);
    write_anova_row("RESIDUAL", df, rss, mse, kNotApplicable, kNotApplicable);
    write_anova_row("TOTAL", pe + df, ssr + rss, kNotApplicable, kNotApplicable, kNotApplicable);
    xml_printf("</AnovaTbl>\n");

    e.text += "\n\n";
    xml_printf("<SumText>\n");
    append_printf(e.text, "Dependent Variable = %9s\n", slot_name(e, e.y).c_str());
    xml_printf("%s%s%s%s%s%8d%s%s\n", "<line>", "<Name>", "Number of obs.     ", "</Name>", "<Value>", e.n,
               "</Value>", "</line>");
    append_printf(e.text, "Number of obs.     =  %8d\n", e.n);
    if (pe >= 1) {
        xml_statistic("Multiple R         ", "%10.4lf", std::sqrt(r2));
        append_printf(e.text, "Multiple R         =%10.4lf\n", std::sqrt(r2));
        xml_statistic("R-square           ", "%10.4lf", r2);
        append_printf(e.text, "R-square           =%10.4lf\n", r2);
        xml_statistic("Adjusted R-square           ", "%10.4lf", adjusted);
        append_printf(e.text, "Adjusted R-square  =%10.4lf\n", adjusted);
        xml_printf("%s%sF(%3ld,%6ld)%s%s%10.4f%s%s\n", "<line>", "<Name>", static_cast<long>(pe),
                   static_cast<long>(df), "</Name>", "<Value>", f, "</Value>", "</line>");
        append_printf(e.text, "F(%3ld,%6ld)      =%10.4f\n", static_cast<long>(pe), static_cast<long>(df), f);
        xml_statistic("Prob > F           ", "%10.4lf", prob);
        append_printf(e.text, "Prob > F           =%10.4f\n", prob);
        xml_statistic("Std. Error of Est. ", "%10.4lf", see);
        append_printf(e.text, "Std. Error of Est. =%10.4lf\n", see);
    }
    if (e.raw_cases) {
        xml_statistic("Durbin-Watson Stat.", "%10.4lf", figures.durbin_watson);
        append_printf(e.text, "Durbin-Watson Stat.=%10.4lf\n", figures.durbin_watson);
    }
    if (e.refused > 0) {
        append_printf(e.text, "%4d variables were not entered because they failed the tolerance test\n", e.refused);
        channel_printf(kLogChannel, "%4d variables were not entered because they failed the tolerance test\n",
                       e.refused);
    }
    xml_printf("</SumText>\n");

    const bool remove_column = backward && pe >= 1;
    e.text += "\n\n=======REGRESSION COEFFICIENTS=======\n";
    if (hetero) {
        e.text += "                                        HETERO- \n";
        e.text += "                          ORDINARY     SCEDASTIC";
    } else {
        e.text += "\n                          ORDINARY ";
    }
    if (remove_column) e.text += "                          F TO";
    e.text += "\nVARIABLE             B   STD. ERROR";
    if (hetero) e.text += "   STD. ERROR";
    e.text += "   BETA       t      p";
    if (remove_column) e.text += "   REMOVE";
    e.text += "\n";
    const size_t width = (hetero ? 71u : 58u) + (remove_column ? 8u : 0u);
    e.text += std::string(width, '-') + "\n";

    if (df < 1) {
        e.text += "*** Zero degrees of freedom ***\n";
    } else {
        xml_printf("<RegParaTbl>\n");
        e.output.ordinary_se.assign(static_cast<size_t>(e.m), 0.0);
        const double sd_y = std::sqrt(sst / (e.n - 1));
        std::vector<int> rows(1, 0);
        rows.insert(rows.end(), model.begin(), model.end());
        // The t-values first, then their p-values.
        const size_t count = rows.size();
        std::vector<double> ts(count), xs(count), as(count, df / 2.0), bs(count, 0.5), p_values(count);
        for (size_t r = 0; r < count; ++r) {
            const size_t s = static_cast<size_t>(rows[r]);
            const double coefficient = b[s];
            const double se = std::sqrt(std::fabs(diagonal[s]) * rss / df);
            e.output.ordinary_se[s] = se;
            const double no_error = kNoErrorFraction * std::fabs(coefficient);
            double t;
            if (hetero && std::fabs(figures.het_se[s]) > no_error && figures.het_se[s] > 0)
                t = coefficient / figures.het_se[s];
            else if (std::fabs(se) > no_error && se > 0)
                t = coefficient / se;
            else
                t = kTCap;
            ts[r] = t;
            xs[r] = df / (df + t * t);
        }
        // Their series can run to millions of terms at large df: half of them on each core.
        const size_t half = count / 2;
        on_two_cores([&](int part) {
            const size_t from = part == 0 ? 0 : half, to = part == 0 ? half : count;
            incomplete_beta_each(static_cast<int>(to - from), 1, xs.data() + from, as.data() + from, bs.data() + from,
                                 p_values.data() + from);
        });
        for (size_t r = 0; r < count; ++r) {
            const int j = rows[r];
            const size_t s = static_cast<size_t>(j);
            const double coefficient = b[s];
            const double se = e.output.ordinary_se[s];
            const double beta = sd_y > 0 ? e.sd[s] * coefficient / sd_y : 0.0;
            const double t = ts[r];
            const double p_value = p_values[r];
            const double f_remove = std::min(t * t, kTCap);
            if (backward) e.stepping[s] = f_remove;
            const std::string name = j == 0 ? "Intercept" : slot_name(e, j);
            if (j == 0)
                e.text += "Intercept";
            else
                append_printf(e.text, "%9s", name.c_str());
            append_printf(e.text, "%13.3lf%13.3lf", coefficient, se);
            if (hetero) append_printf(e.text, "%13.3lf", figures.het_se[s]);
            if (j == 0)
                e.text += "        ";
            else
                append_printf(e.text, "%8.3lf", beta);
            append_printf(e.text, "%8.3f%7.3f", t, p_value);
            if (remove_column) append_printf(e.text, "%8.3f", f_remove);
            e.text += "\n";
            xml_printf("<line>\n");
            xml_printf("%s%s%s\n", "<name>", name.c_str(), "</name>");
            xml_printf("%s%13.3lf%s\n", "<coeff>", coefficient, "</coeff>");
            xml_printf("%s%13.3lf%s\n", "<OrdStd>", se, "</OrdStd>");
            if (hetero) xml_printf("%s%13.3lf%s\n", "<HetStd>", figures.het_se[s], "</HetStd>");
            if (j == 0)
                xml_printf("%s%s\n", "<Beta>", "</Beta>");
            else
                xml_printf("%s%8.3lf%s\n", "<Beta>", beta, "</Beta>");
            xml_printf("%s%8.3f%s\n", "<tStat>", t, "</tStat>");
            xml_printf("%s%7.3f%s\n", "<pVal>", p_value, "</pVal>");
            if (remove_column) xml_printf("%s%8.3f%s\n", "<f2Rem>", f_remove, "</f2Rem>");
            xml_printf("</line>\n");
        }
        xml_printf("</RegParaTbl>\n");
    }
    e.text += std::string(width, '_') + "\n";

    if (df < 1 && (e.options.method == kRegressionHierarchical || forward)) signal.zero_df = true;

    if (backward) {
        if (pe >= 1) {
            xml_printf("<Var2IO>\n");
            append_printf(e.text, "\nF-RATIO <%5.2lf will be removed.\n", e.options.f_to_remove);
            xml_printf("%sF-RATIO &lt; %5.2lf will be removed.%s\n", "<Foot>", e.options.f_to_remove, "</Foot>");
            xml_printf("</Var2IO>\n");
        }
        xml_printf("</Step>\n");
    }
    if (forward) {
        if (pe < e.p) {
            xml_printf("<Var2IO>\n");
            e.text += "\n\n==VARIABLES TO ENTER IN NEXT STEP==\n\n";
            if (df < 1) {
                e.text += "Zero degrees of freedom\n";
                xml_printf("%s%s%s\n", "<Foot>", "Zero degrees of freedom", "</Foot>");
            } else {
                e.text += "VARIABLE   F-TO-ENTER\n";
                xml_printf("%s%s%s\n", "<Title>", "VARIABLE F-TO-ENTER", "</Title>");
                e.text += std::string(21, '_') + "\n";
                for (int j = 1; j <= e.p; ++j) {
                    if (e.entered[static_cast<size_t>(j)]) continue;
                    const std::string name = slot_name(e, j);
                    const double fj = e.stepping[static_cast<size_t>(j)];
                    if (fj == -1.0) {
                        append_printf(e.text, "%9s  FAILS TOLERANCE TEST\n", name.c_str());
                        xml_printf("%s%9s  FAILS TOLERANCE TEST%s\n", "<Foot>", name.c_str(), "</Foot>");
                    } else {
                        append_printf(e.text, "%9s%12.3lf\n", name.c_str(), fj);
                        xml_printf("%s%s%9s%s%s%12.3lf%s%s\n", "<line>", "<Name>", name.c_str(), "</Name>",
                                   "<Value>", fj, "</Value>", "</line>");
                    }
                }
                e.text += std::string(21, '_');
                append_printf(e.text, "\n\nF-RATIO >%5.2lf will be entered.\n", e.options.f_to_enter);
                xml_printf("%sF-RATIO >%5.2lf will be entered.%s\n", "<Foot>", e.options.f_to_enter, "</Foot>");
            }
            xml_printf("</Var2IO>\n");
        }
        // Also after the last variable entered, so that every step is closed.
        xml_printf("</Step>\n");
    }

    e.output.model_reported = true;
    e.output.entered = e.entered;
    e.output.coefficients = b;
    e.output.means = e.mean;
    e.output.hetero_se = figures.het_se;
    e.output.r_square = r2;
    e.output.adjusted_r_square = adjusted;
    e.output.f = f;
    e.output.prob = prob;
    e.output.see = see;
    e.output.durbin_watson = figures.durbin_watson;
    return signal;
}

int run_steps(Engine& e) {
    const bool stepwise = e.options.method == kRegressionStepwise;
    const bool hierarchical = e.options.method == kRegressionHierarchical;
    const bool forward = stepwise && e.options.forward;
    const bool backward = stepwise && !e.options.forward;
    const int steps = stepwise || hierarchical ? e.p + 1 : 1;
    int choice = -1;
    std::vector<double> b(static_cast<size_t>(e.m)), diagonal(static_cast<size_t>(e.m));
    for (int s = 0; s < steps; ++s) {
        std::fill(e.request.begin(), e.request.begin() + e.p + 1, 0);
        int entering = -1, removing = -1;
        auto enter = [&e](int slot) {
            e.entered[static_cast<size_t>(slot)] = 1;
            e.request[static_cast<size_t>(slot)] = 1;
        };
        if (hierarchical) {
            enter(s);
            entering = s;
        } else if (forward) {
            entering = s == 0 ? 0 : choice;
            if (entering >= 0) enter(entering);
        } else if (backward && s > 0) {
            removing = choice;
            if (removing >= 0) {
                e.entered[static_cast<size_t>(removing)] = 0;
                e.request[static_cast<size_t>(removing)] = -1;
            }
        } else {
            enter(0);
            int constants = 0;
            for (int i = 1; i <= e.p; ++i) {
                if (e.sd[static_cast<size_t>(i)] > 0)
                    enter(i);
                else
                    ++constants;
            }
            if (constants > 0) {
                append_printf(e.text, "%d variables are constant, and are not entered\n", constants);
                channel_printf(kLogChannel, "%d variables are constant, and are not entered\n", constants);
            }
        }
        if (s > 0) {
            report_banner(e.text);
            e.text += "\n";
        }
        if (e.options.imputation) {
            e.text += "\nMISSING DATA IMPUTATION\n";
            xml_printf("<MissImput> 1 </MissImput>\n");
        }
        if (stepwise || hierarchical) {
            append_printf(e.text, "\nSTEP %2d\n-------\n", s + 1);
            xml_printf("<Step>\n");
            xml_printf("<nStep>%d</nStep>\n", s + 1);
        }
        if (entering >= 1) {
            const std::string name = slot_name(e, entering);
            append_printf(e.text, "VARIABLE ENTERED: %s\n", name.c_str());
            xml_printf("%sVariable Entered : %s%s\n", "<VarIO>", name.c_str(), "</VarIO>");
        } else if (removing >= 1) {
            const std::string name = slot_name(e, removing);
            append_printf(e.text, "VARIABLE REMOVED: %s\n", name.c_str());
            xml_printf("%sVariable Removed : %s%s\n", "<VarIO>", name.c_str(), "</VarIO>");
        }
        sweep_requests(e);
        if (e.request[0] > 0) {
            e.text += "Intercept could not be entered.\nYou may have variable(s) that are constant.\n";
            channel_printf(kLogChannel, "%s\n",
                           "Intercept could not be entered.\nYou may have variable(s) that are constant.");
            return 1;
        }
        e.refused = 0;
        for (int i = 1; i <= e.p; ++i)
            if (e.request[static_cast<size_t>(i)] > 0) {
                ++e.refused;
                e.entered[static_cast<size_t>(i)] = 0;
                e.request[static_cast<size_t>(i)] = 0;
            }
        if (forward && s < steps - 1) {
            compute_f_to_enter(e, s + 1);
            choice = -1;
            double best = e.options.f_to_enter;
            for (int k = 0; k <= e.p; ++k) {
                if (e.entered[static_cast<size_t>(k)]) continue;
                if (e.stepping[static_cast<size_t>(k)] >= best) {
                    choice = k;
                    best = e.stepping[static_cast<size_t>(k)];
                }
            }
        }
        for (int j = 0; j < e.y; ++j) {
            b[static_cast<size_t>(j)] = e.a[packed_index(e.y, j)];
            diagonal[static_cast<size_t>(j)] = e.a[packed_index(j, j)];
        }
        double rss = e.a[packed_index(e.y, e.y)];
        StepSignal signal;
        try {
            if (e.raw_cases) refine_fit(e, b, rss);
            signal = print_step(e, b, diagonal, rss);
        } catch (const std::bad_alloc&) {
            log_memory();
            return 1;
        }
        if (backward) {
            choice = -1;
            double best = e.options.f_to_remove;
            for (int j = 1; j <= e.p; ++j)
                if (e.entered[static_cast<size_t>(j)] && e.stepping[static_cast<size_t>(j)] <= best) {
                    choice = j;
                    best = e.stepping[static_cast<size_t>(j)];
                }
        }
        if (signal.zero_df) {
            e.text += "Stepping stops because of zero degrees of freedom.\n";
            xml_printf("%s%s%s%s%s\n", "<text>", "<line>", "Stepping stops because of zero degrees of freedom.",
                       "</line>", "</text>");
            if (hierarchical) xml_printf("</Step>\n");
            break;
        }
        if (stepwise && s < steps - 1 && choice < 0) {
            e.text += "F-levels or tolerance do not allow additional steps.\n";
            xml_printf("%s%s%s\n", "<FinalStat>", "F-levels or tolerance do not allow additional steps.",
                       "</FinalStat>");
            break;
        }
        if (hierarchical) xml_printf("</Step>\n");
    }
    return 0;
}

}  // namespace

int regression_engine(int m, std::string& text, const std::vector<int>& slots, const RegressionOptions& options,
                      RunContext& context, RegressionOutput& output) {
    if (m < 3 || slots.size() < static_cast<size_t>(m)) return -2;
    Engine e{context, slots, options, output, text};
    e.m = m;
    e.p = m - 2;
    e.y = m - 1;
    e.raw_cases = options.matrix_input == 0;
    output = RegressionOutput{};
    try {
        const size_t slots_count = static_cast<size_t>(m);
        e.columns.resize(slots_count);
        e.mean.assign(slots_count, 0.0);
        e.sd.assign(slots_count, 0.0);
        e.a.assign(packed_index(m - 1, m - 1) + 1, 0.0);
        e.reference.assign(slots_count, 0.0);
        e.work.assign(slots_count, 0.0);
        e.entered.assign(slots_count, 0);
        e.request.assign(slots_count, 0);
        e.state.assign(slots_count, 0);
        e.stepping.assign(slots_count, -1.0);
        const int prepared = e.raw_cases ? prepare_from_cases(e) : prepare_from_matrix(e);
        if (prepared != 0) return prepared;
    } catch (const std::bad_alloc&) {
        log_memory();
        return -1;
    }
    const double n = static_cast<double>(e.n);
    e.mean[0] = 1.0;
    e.sd[0] = 0.0;
    e.a[0] = -1.0 / n;
    bool finite = true;
    for (int i = 1; i <= e.y; ++i) {
        const size_t s = static_cast<size_t>(i);
        e.a[packed_index(i, 0)] = e.mean[s];
        const double ss = e.a[packed_index(i, i)];
        if (e.raw_cases) e.sd[s] = ss > 0 ? std::sqrt(ss / (n - 1)) : 0.0;
        e.reference[s] = ss;
        finite = finite && std::isfinite(ss) && std::isfinite(e.mean[s]);
        for (int j = 1; j < i; ++j) finite = finite && std::isfinite(e.a[packed_index(i, j)]);
    }
    e.intercept_enterable = finite;
    e.sst = e.a[packed_index(e.y, e.y)];

    append_printf(text, "%d  Variables are selected from file   ", e.p + 1);
    text += context.path;
    text += "\n\n";
    append_printf(text, " Number of cases in data file are ...........%7d\n", e.cases_in_file);
    append_printf(text, " Number of cases used in this analysis are ..%7d\n", e.n);

    if (e.sd[static_cast<size_t>(e.y)] <= 0) {
        text += "Dependent variable is constant, so no regression is done.\n";
        channel_printf(kLogChannel, "%s\n", "Dependent variable is constant, so no regression is done.");
        return static_cast<int>(text.size());
    }
    try {
        if (run_steps(e) != 0) return static_cast<int>(text.size());
    } catch (const std::bad_alloc&) {
        log_memory();
        return static_cast<int>(text.size());
    }
    if (!options.imputation) channel_printf(kLogChannel, "%s\n", "MULTIPLE REGRESSION DONE !");
    return static_cast<int>(text.size());
}

}  // namespace quorix
