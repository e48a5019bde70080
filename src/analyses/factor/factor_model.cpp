#include "analyses/factor/factor_model.h"

#include <algorithm>
#include <cmath>
#include <new>
#include <numeric>
#include <stdexcept>

#include "analyses/common/covariance.h"
#include "analyses/common/eigen.h"
#include "datafile/rkd_writer.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "report/result_document.h"

namespace quorix {

namespace {

using Matrix = std::vector<double>;  // row-major

constexpr int kMaxAxisIterations = 25;
constexpr double kAxisTolerance = 0.001;
constexpr int kMaxRotationIterations = 1000;
constexpr double kRotationTolerance = 1e-8;
// Rotating more factors than this would take minutes and mean nothing.
constexpr int kMaxRotatedFactors = 100;

double element(const double* packed, size_t i, size_t j) {
    return i >= j ? packed[packed_index(i, j)] : packed[packed_index(j, i)];
}

// Turns each column so that it sums to a positive number.
void orient_columns(size_t rows, size_t m, Matrix& a) {
    for (size_t f = 0; f < m; ++f) {
        double sum = 0;
        for (size_t i = 0; i < rows; ++i) sum += a[i * m + f];
        if (sum < 0)
            for (size_t i = 0; i < rows; ++i) a[i * m + f] = -a[i * m + f];
    }
}

// The inverse of the n x n matrix a by Gauss-Jordan elimination with partial
// pivoting; false when a pivot vanishes.
bool invert(size_t n, Matrix a, Matrix& inverse) {
    inverse.assign(n * n, 0);
    for (size_t i = 0; i < n; ++i) inverse[i * n + i] = 1;
    for (size_t c = 0; c < n; ++c) {
        size_t pivot = c;
        for (size_t r = c + 1; r < n; ++r)
            if (std::fabs(a[r * n + c]) > std::fabs(a[pivot * n + c])) pivot = r;
        const double p = a[pivot * n + c];
        if (!(std::fabs(p) > 1e-12) || !std::isfinite(p)) return false;
        if (pivot != c)
            for (size_t j = 0; j < n; ++j) {
                std::swap(a[c * n + j], a[pivot * n + j]);
                std::swap(inverse[c * n + j], inverse[pivot * n + j]);
            }
        for (size_t j = 0; j < n; ++j) {
            a[c * n + j] /= p;
            inverse[c * n + j] /= p;
        }
        for (size_t r = 0; r < n; ++r) {
            if (r == c) continue;
            const double f = a[r * n + c];
            if (f == 0) continue;
            for (size_t j = 0; j < n; ++j) {
                a[r * n + j] -= f * a[c * n + j];
                inverse[r * n + j] -= f * inverse[c * n + j];
            }
        }
    }
    return true;
}

Matrix full_matrix(size_t k, const double* packed) {
    Matrix a(k * k);
    for (size_t i = 0; i < k; ++i)
        for (size_t j = 0; j < k; ++j) a[i * k + j] = element(packed, i, j);
    return a;
}

// c = a b for a (rows x inner) and b (inner x columns).
Matrix multiply(const Matrix& a, const Matrix& b, size_t rows, size_t inner, size_t columns) {
    Matrix c(rows * columns, 0);
    for (size_t i = 0; i < rows; ++i)
        for (size_t l = 0; l < inner; ++l) {
            const double x = a[i * inner + l];
            for (size_t j = 0; j < columns; ++j) c[i * columns + j] += x * b[l * columns + j];
        }
    return c;
}

Matrix transpose(const Matrix& a, size_t rows, size_t columns) {
    Matrix t(a.size());
    for (size_t i = 0; i < rows; ++i)
        for (size_t j = 0; j < columns; ++j) t[j * rows + i] = a[i * columns + j];
    return t;
}

// Loadings of the m largest eigenvalues of a packed matrix.
bool eigen_loadings(size_t k, const double* packed, const double* eigenvalues, size_t m, Matrix& loadings) {
    std::vector<double> vectors;
    if (!eigenvectors_packed(static_cast<int>(k), packed, eigenvalues, static_cast<int>(m), vectors)) return false;
    loadings.assign(k * m, 0);
    for (size_t f = 0; f < m; ++f) {
        const double root = std::sqrt(std::max(eigenvalues[f], 0.0));
        for (size_t i = 0; i < k; ++i) loadings[i * m + f] = vectors[f * k + i] * root;
    }
    return true;
}

// The rotation criteria and their gradients with respect to the loadings L (k x m).
double criterion(int rotation, size_t k, size_t m, const Matrix& l, Matrix& gradient) {
    gradient.assign(k * m, 0);
    double value = 0;
    if (rotation == kRotationVarimax) {
        // -1/4 of the sum over factors of the squared loadings' variance times k^2 / k.
        for (size_t f = 0; f < m; ++f) {
            double mean = 0;
            for (size_t i = 0; i < k; ++i) mean += l[i * m + f] * l[i * m + f];
            mean /= static_cast<double>(k);
            for (size_t i = 0; i < k; ++i) {
                const double centred = l[i * m + f] * l[i * m + f] - mean;
                value -= centred * centred / 4;
                gradient[i * m + f] = -l[i * m + f] * centred;
            }
        }
    } else if (rotation == kRotationQuartimax) {
        for (size_t p = 0; p < k * m; ++p) {
            const double square = l[p] * l[p];
            value -= square * square / 4;
            gradient[p] = -square * l[p];
        }
    } else {
        // Direct oblimin, delta 0: the products of squared loadings of a
        // variable on different factors.
        for (size_t i = 0; i < k; ++i) {
            double row = 0;
            for (size_t f = 0; f < m; ++f) row += l[i * m + f] * l[i * m + f];
            for (size_t f = 0; f < m; ++f) {
                const double square = l[i * m + f] * l[i * m + f];
                const double others = row - square;
                value += square * others / 4;
                gradient[i * m + f] = l[i * m + f] * others;
            }
        }
    }
    return value;
}

// Columns of x orthonormalised in order (modified Gram-Schmidt); false when
// one has no length left.
bool orthonormalise(size_t m, Matrix& x) {
    for (size_t c = 0; c < m; ++c) {
        for (size_t p = 0; p < c; ++p) {
            double dot = 0;
            for (size_t r = 0; r < m; ++r) dot += x[r * m + c] * x[r * m + p];
            for (size_t r = 0; r < m; ++r) x[r * m + c] -= dot * x[r * m + p];
        }
        double norm = 0;
        for (size_t r = 0; r < m; ++r) norm += x[r * m + c] * x[r * m + c];
        norm = std::sqrt(norm);
        if (!(norm > 0) || !std::isfinite(norm)) return false;
        for (size_t r = 0; r < m; ++r) x[r * m + c] /= norm;
    }
    return true;
}

// Columns of x scaled to unit length.
bool unit_columns(size_t m, Matrix& x) {
    for (size_t c = 0; c < m; ++c) {
        double norm = 0;
        for (size_t r = 0; r < m; ++r) norm += x[r * m + c] * x[r * m + c];
        norm = std::sqrt(norm);
        if (!(norm > 0) || !std::isfinite(norm)) return false;
        for (size_t r = 0; r < m; ++r) x[r * m + c] /= norm;
    }
    return true;
}

// The loadings a rotation matrix gives: A T (orthogonal) or A (T')^-1 (oblique).
bool rotated(const Matrix& a, const Matrix& t, size_t k, size_t m, bool oblique, Matrix& l, Matrix& t_inverse) {
    if (!oblique) {
        l = multiply(a, t, k, m, m);
        return true;
    }
    if (!invert(m, t, t_inverse)) return false;
    l = multiply(a, transpose(t_inverse, m, m), k, m, m);
    return true;
}

// The gradient of the criterion with respect to T.
Matrix rotation_gradient(const Matrix& a, const Matrix& l, const Matrix& gq, const Matrix& t_inverse, size_t k,
                         size_t m, bool oblique) {
    if (!oblique) return multiply(transpose(a, k, m), gq, m, k, m);
    // -(L' Gq T^-1)'
    Matrix g = transpose(multiply(multiply(transpose(l, k, m), gq, m, k, m), t_inverse, m, m, m), m, m);
    for (double& x : g) x = -x;
    return g;
}

}  // namespace

bool principal_components(int k, const double* correlations, const double* eigenvalues, int m, Extraction& out) {
    return eigen_loadings(static_cast<size_t>(k), correlations, eigenvalues, static_cast<size_t>(m), out.loadings);
}

bool principal_axes(int k, const double* correlations, int m, Extraction& out) {
    const size_t n = static_cast<size_t>(k), factors = static_cast<size_t>(m);
    std::vector<double> h(n), reduced(correlations, correlations + packed_size(n));
    Matrix inverse;
    if (invert(n, full_matrix(n, correlations), inverse)) {
        for (size_t i = 0; i < n; ++i) h[i] = 1 - 1 / inverse[i * n + i];
    } else {
        // No squared multiple correlations of a singular matrix: the largest
        // absolute correlation of each variable instead.
        for (size_t i = 0; i < n; ++i)
            for (size_t j = 0; j < n; ++j)
                if (j != i) h[i] = std::max(h[i], std::fabs(element(correlations, i, j)));
    }
    std::vector<double> copy(packed_size(n)), d(n), e(n), e2(n), work(n), values(n);
    std::vector<int> tags(n);
    out.converged = false;
    for (out.iterations = 1; out.iterations <= kMaxAxisIterations; ++out.iterations) {
        for (size_t i = 0; i < n; ++i) reduced[packed_index(i, i)] = h[i];
        copy = reduced;
        if (packed_eigenvalues(k, copy.data(), d.data(), e.data(), e2.data(), work.data(), values.data(),
                               tags.data()) != 0)
            return false;
        if (!eigen_loadings(n, reduced.data(), values.data(), factors, out.loadings)) return false;
        out.last_change = 0;
        for (size_t i = 0; i < n; ++i) {
            double communality = 0;
            for (size_t f = 0; f < factors; ++f) communality += out.loadings[i * factors + f] * out.loadings[i * factors + f];
            out.last_change = std::max(out.last_change, std::fabs(communality - h[i]));
            h[i] = communality;
        }
        if (!std::isfinite(out.last_change)) return false;
        if (out.last_change < kAxisTolerance) {
            out.converged = true;
            break;
        }
    }
    out.iterations = std::min(out.iterations, kMaxAxisIterations);
    return true;
}

bool rotate_loadings(int k_count, int m_count, const std::vector<double>& loadings, int rotation, Rotation& out) {
    const size_t k = static_cast<size_t>(k_count), m = static_cast<size_t>(m_count);
    const bool oblique = rotation == kRotationOblimin;
    // Kaiser normalisation: every row to unit length while rotating.
    std::vector<double> weight(k, 1);
    Matrix a = loadings;
    for (size_t i = 0; i < k; ++i) {
        double sum = 0;
        for (size_t f = 0; f < m; ++f) sum += a[i * m + f] * a[i * m + f];
        if (sum > 0 && std::isfinite(sum)) weight[i] = std::sqrt(sum);
        for (size_t f = 0; f < m; ++f) a[i * m + f] /= weight[i];
    }
    Matrix t(m * m, 0), t_inverse, l, gq;
    for (size_t f = 0; f < m; ++f) t[f * m + f] = 1;
    if (!rotated(a, t, k, m, oblique, l, t_inverse)) return false;
    double value = criterion(rotation, k, m, l, gq);
    Matrix g = rotation_gradient(a, l, gq, t_inverse, k, m, oblique);
    double step = 1;
    out.converged = false;
    for (out.iterations = 0; out.iterations < kMaxRotationIterations; ++out.iterations) {
        // The gradient projected on the tangent space of the admissible T.
        Matrix projected = g;
        if (oblique) {
            for (size_t c = 0; c < m; ++c) {
                double dot = 0;
                for (size_t r = 0; r < m; ++r) dot += t[r * m + c] * g[r * m + c];
                for (size_t r = 0; r < m; ++r) projected[r * m + c] -= t[r * m + c] * dot;
            }
        } else {
            const Matrix tm = multiply(transpose(t, m, m), g, m, m, m);
            for (size_t r = 0; r < m; ++r)
                for (size_t c = 0; c < m; ++c) {
                    double s = 0;
                    for (size_t q = 0; q < m; ++q) s += t[r * m + q] * (tm[q * m + c] + tm[c * m + q]) / 2;
                    projected[r * m + c] -= s;
                }
        }
        double size = 0;
        for (const double x : projected) size += x * x;
        size = std::sqrt(size);
        if (!std::isfinite(size)) return false;
        if (size < kRotationTolerance) {
            out.converged = true;
            break;
        }
        // Backtracking line search from twice the last step.
        step *= 2;
        Matrix trial_t, trial_l, trial_inverse, trial_gq;
        double trial_value = value;
        bool improved = false;
        for (int halving = 0; halving <= 10; ++halving) {
            trial_t = t;
            for (size_t p = 0; p < m * m; ++p) trial_t[p] -= step * projected[p];
            const bool admissible = oblique ? unit_columns(m, trial_t) : orthonormalise(m, trial_t);
            if (admissible && rotated(a, trial_t, k, m, oblique, trial_l, trial_inverse)) {
                trial_value = criterion(rotation, k, m, trial_l, trial_gq);
                if (trial_value < value - 0.5 * size * size * step) {
                    improved = true;
                    break;
                }
            }
            step /= 2;
        }
        if (!improved) {
            // No step lowers the criterion any more: as far as it goes.
            out.converged = size < 1e-5;
            break;
        }
        t = trial_t;
        l = trial_l;
        t_inverse = trial_inverse;
        value = trial_value;
        g = rotation_gradient(a, l, trial_gq, t_inverse, k, m, oblique);
    }
    for (size_t i = 0; i < k; ++i)
        for (size_t f = 0; f < m; ++f) l[i * m + f] *= weight[i];
    // Orient each factor; an oblique factor's sign flips its correlations too.
    std::vector<double> sign(m, 1);
    for (size_t f = 0; f < m; ++f) {
        double sum = 0;
        for (size_t i = 0; i < k; ++i) sum += l[i * m + f];
        if (sum < 0) sign[f] = -1;
        for (size_t i = 0; i < k; ++i) l[i * m + f] *= sign[f];
    }
    out.loadings = l;
    if (oblique) {
        out.correlations = multiply(transpose(t, m, m), t, m, m, m);
        for (size_t r = 0; r < m; ++r)
            for (size_t c = 0; c < m; ++c) out.correlations[r * m + c] *= sign[r] * sign[c];
        out.structure = multiply(l, out.correlations, k, m, m);
    }
    return true;
}

namespace {

const char* rotation_name(int rotation) {
    return rotation == kRotationQuartimax ? "Quartimax" : rotation == kRotationOblimin ? "Oblimin" : "Varimax";
}

// The order of the table rows: as listed, by the factor with the largest
// absolute loading and its size, or by communality.
std::vector<size_t> row_order(int sort, size_t k, size_t m, const Matrix& loadings, const std::vector<double>& communality) {
    std::vector<size_t> order(k);
    std::iota(order.begin(), order.end(), size_t{0});
    if (sort == kSortCommunality) {
        std::stable_sort(order.begin(), order.end(),
                         [&](size_t a, size_t b) { return communality[a] > communality[b]; });
    } else if (sort == kSortFactor) {
        std::vector<size_t> factor(k, 0);
        std::vector<double> size(k, 0);
        for (size_t i = 0; i < k; ++i)
            for (size_t f = 0; f < m; ++f)
                if (std::fabs(loadings[i * m + f]) > size[i]) {
                    size[i] = std::fabs(loadings[i * m + f]);
                    factor[i] = f;
                }
        std::stable_sort(order.begin(), order.end(), [&](size_t a, size_t b) {
            return factor[a] != factor[b] ? factor[a] < factor[b] : size[a] > size[b];
        });
    }
    return order;
}

struct TableContext {
    const RunContext& context;
    const std::vector<int>& variables;
    const std::vector<size_t>& order;
    size_t m;
};

// A variables x factors table in blocks of eight factors, with an optional
// last column (communalities), to the report; the same as XML lines.
void loading_table(const TableContext& t, const char* title, const char* element, const Matrix& values,
                   const std::vector<double>* last_column, std::string& text) {
    constexpr size_t kBlock = 8;
    text += title;
    text += "\n\n";
    for (size_t first = 0; first < t.m; first += kBlock) {
        const size_t end = std::min(t.m, first + kBlock);
        const bool last_block = end == t.m;
        text += "           ";
        for (size_t f = first; f < end; ++f) append_printf(text, "  Factor%2d", static_cast<int>(f + 1));
        if (last_block && last_column) text += "  Communality";
        text += "\n";
        for (const size_t i : t.order) {
            append_printf(text, "%11s", variable_name(t.context.header, t.variables[i]).c_str());
            for (size_t f = first; f < end; ++f) append_printf(text, "%10.4f", values[i * t.m + f]);
            if (last_block && last_column) append_printf(text, "  %11.4f", (*last_column)[i]);
            text += "\n";
        }
        text += "\n";
    }
    xml_printf("<%s>\n<line><cell> </cell>", element);
    for (size_t f = 0; f < t.m; ++f) xml_printf("<cell>Factor %d</cell>", static_cast<int>(f + 1));
    if (last_column) xml_printf("<cell>Communality</cell>");
    xml_printf("</line>\n");
    for (const size_t i : t.order) {
        xml_printf("<line><cell>%s</cell>", variable_name(t.context.header, t.variables[i]).c_str());
        for (size_t f = 0; f < t.m; ++f) xml_printf("<cell>%10.4f</cell>", values[i * t.m + f]);
        if (last_column) xml_printf("<cell>%10.4f</cell>", (*last_column)[i]);
        xml_printf("</line>\n");
    }
    xml_printf("</%s>\n", element);
}

// Sums of squared loadings of each factor, as amounts, percents of the
// number of variables and cumulative percents.
void variance_table(const char* title, const char* element, size_t k, size_t m, const Matrix& values,
                    bool cumulative, std::string& text) {
    std::vector<double> sums(m, 0);
    for (size_t i = 0; i < k; ++i)
        for (size_t f = 0; f < m; ++f) sums[f] += values[i * m + f] * values[i * m + f];
    text += title;
    text += "\n\n";
    text += cumulative ? "                  Sum of squares   Percent    Cumulative\n" : "                  Sum of squares   Percent\n";
    xml_printf("<%s>\n", element);
    double total = 0;
    for (size_t f = 0; f < m; ++f) {
        const double percent = 100 * sums[f] / static_cast<double>(k);
        total += percent;
        append_printf(text, "    Factor%4d   %14.3f %9.2f", static_cast<int>(f + 1), sums[f], percent);
        if (cumulative) append_printf(text, " %12.2f", total);
        text += "\n";
        xml_printf("<line><Factor>%d</Factor><SSLoad>%15.3f</SSLoad><Percent>%15.3f</Percent>", static_cast<int>(f + 1),
                   sums[f], percent);
        if (cumulative) xml_printf("<Cumulative>%15.3f</Cumulative>", total);
        xml_printf("</line>\n");
    }
    text += "\n";
    xml_printf("</%s>\n", element);
}

// The regression-method scores Z R^-1 S of every case whose values are all
// present (others get the system-missing value), written as a data file
// beside the data file. Returns the file's path, or "" after a line on the log.
std::string write_factor_scores(const FactorInput& in, const Matrix& structure, size_t m) {
    const std::vector<int>& variables = in.state.variables;
    const size_t k = variables.size();
    Matrix inverse;
    if (!invert(k, full_matrix(k, in.correlations.data()), inverse)) {
        channel_printf(kLogChannel, "%s\n", " Factor scores are not calculated: the correlation matrix is singular.");
        return "";
    }
    const Matrix weights = multiply(inverse, structure, k, k, m);
    std::vector<int32_t> excluded;
    build_case_mask(in.context, excluded);
    if (!mark_missing_cases(1, static_cast<int>(k), excluded, variables.data(), in.context)) return "";
    const size_t cases = excluded.size();
    Matrix scores(m * cases, 0);
    std::vector<double> column;
    for (size_t i = 0; i < k; ++i) {
        if (!read_numeric_column(in.context, variables[i], column) || column.size() < cases) return "";
        const double sd = in.sd[i];
        for (size_t t = 0; t < cases; ++t) {
            if (excluded[t] != 0 || !(sd > 0)) continue;
            const double z = (column[t] - in.means[i]) / sd;
            for (size_t f = 0; f < m; ++f) scores[f * cases + t] += z * weights[i * m + f];
        }
    }
    for (size_t t = 0; t < cases; ++t)
        if (excluded[t] != 0)
            for (size_t f = 0; f < m; ++f) scores[f * cases + t] = kSystemMissing;

    const std::string& data_path = in.context.path;
    const std::string path = data_path.substr(0, data_path.size() >= 4 ? data_path.size() - 4 : 0) + "_FactorScores.rkd";
    RkdLayout layout;
    layout.variable_count = static_cast<int32_t>(m);
    layout.case_count = static_cast<int32_t>(cases);
    for (size_t f = 0; f < m; ++f) layout.names.push_back("Factor" + std::to_string(f + 1));
    RkdFileWriter writer;
    VariableDescriptor descriptor;
    descriptor.missing_value1 = descriptor.missing_value2 = descriptor.missing_value3 = kSystemMissing;
    descriptor.missing_kind = 0;
    bool written = begin_rkd_file(writer, path, layout);
    for (size_t f = 0; written && f < m; ++f) written = append_numeric_variable(writer, descriptor, &scores[f * cases]);
    written = written && finish_rkd_file(writer);
    if (!written) {
        abandon_rkd_file(writer);
        channel_printf(kLogChannel, " Factor scores could not be written to %s\n", path.c_str());
        return "";
    }
    return path;
}

}  // namespace

void report_factors(const FactorInput& in) {
    const FactorState& state = in.state;
    const std::vector<int>& variables = state.variables;
    const size_t k = variables.size();
    size_t m = 0;
    while (m < k && in.eigenvalues[m] >= state.cutoff) ++m;
    std::string text;
    append_printf(text, " Number of factors (eigenvalues of at least %.3f) ..%7d\n\n", state.cutoff, static_cast<int>(m));
    xml_printf("<FactorInf>\n<nFactor>%d</nFactor>\n<Cutoff>%10.3f</Cutoff>\n", static_cast<int>(m), state.cutoff);
    const bool axes = state.extraction == kExtractionPrincipalAxis;
    xml_printf("<Extraction>%s</Extraction>\n", axes ? "EPIC" : "PCA");
    if (m == 0) {
        xml_printf("</FactorInf>\n");
        channel_write(kReportChannel, text);
        return;
    }

    Extraction extraction;
    const bool extracted = axes ? principal_axes(static_cast<int>(k), in.correlations.data(), static_cast<int>(m), extraction)
                                : principal_components(static_cast<int>(k), in.correlations.data(),
                                                       in.eigenvalues.data(), static_cast<int>(m), extraction);
    if (!extracted) {
        xml_printf("</FactorInf>\n");
        channel_write(kReportChannel, text);
        channel_printf(kLogChannel, "%s\n", " The factors could not be extracted.");
        return;
    }
    if (axes) {
        append_printf(text, " Principal axis factoring: %s after %d iterations (largest change of a communality %.6f)\n\n",
                      extraction.converged ? "converged" : "not converged", extraction.iterations,
                      extraction.last_change);
        xml_printf("<Iterations>%d</Iterations>\n<Converged>%d</Converged>\n", extraction.iterations,
                   extraction.converged ? 1 : 0);
    } else {
        text += " Principal components\n\n";
    }
    Matrix loadings = extraction.loadings;
    if (axes) orient_columns(k, m, loadings);
    std::vector<double> communality(k, 0);
    for (size_t i = 0; i < k; ++i)
        for (size_t f = 0; f < m; ++f) communality[i] += loadings[i * m + f] * loadings[i * m + f];

    Rotation rotation;
    const bool rotates = m >= 2 && m <= static_cast<size_t>(kMaxRotatedFactors);
    const bool rotated = rotates && rotate_loadings(static_cast<int>(k), static_cast<int>(m), loadings, state.rotation, rotation);
    xml_printf("<Rotation>%s</Rotation>\n", rotated ? rotation_name(state.rotation) : "None");
    xml_printf("</FactorInf>\n");

    const std::vector<size_t> order =
        row_order(state.sort, k, m, rotated ? rotation.loadings : loadings, communality);
    const TableContext table{in.context, variables, order, m};
    loading_table(table, " Unrotated factor loadings", "LoadingTbl", loadings, &communality, text);
    variance_table(" Variance explained by the unrotated factors", "VarianceTbl", k, m, loadings, true, text);
    if (!rotates) {
        text += m < 2 ? " One factor: no rotation.\n\n" : " More than 100 factors: no rotation.\n\n";
    } else if (!rotated) {
        text += " The rotation failed.\n\n";
    } else {
        append_printf(text, " %s rotation with Kaiser normalisation: %s after %d iterations\n\n",
                      rotation_name(state.rotation), rotation.converged ? "converged" : "not converged",
                      rotation.iterations);
        if (state.rotation == kRotationOblimin) {
            loading_table(table, " Pattern matrix", "PatternTbl", rotation.loadings, nullptr, text);
            loading_table(table, " Structure matrix", "StructureTbl", rotation.structure, nullptr, text);
            variance_table(" Sums of squared structure loadings", "RotVarianceTbl", k, m, rotation.structure, false,
                           text);
            std::vector<size_t> factors(m);
            std::iota(factors.begin(), factors.end(), size_t{0});
            text += " Factor correlations\n\n           ";
            for (size_t f = 0; f < m; ++f) append_printf(text, "  Factor%2d", static_cast<int>(f + 1));
            text += "\n";
            xml_printf("<FactorCorrTbl>\n");
            for (size_t r = 0; r < m; ++r) {
                append_printf(text, "   Factor%2d", static_cast<int>(r + 1));
                xml_printf("<line><cell>Factor %d</cell>", static_cast<int>(r + 1));
                for (size_t c = 0; c < m; ++c) {
                    append_printf(text, "%10.4f", rotation.correlations[r * m + c]);
                    xml_printf("<cell>%10.4f</cell>", rotation.correlations[r * m + c]);
                }
                text += "\n";
                xml_printf("</line>\n");
            }
            text += "\n";
            xml_printf("</FactorCorrTbl>\n");
        } else {
            loading_table(table, " Rotated factor loadings", "RotatedTbl", rotation.loadings, nullptr, text);
            variance_table(" Variance explained by the rotated factors", "RotVarianceTbl", k, m, rotation.loadings,
                           true, text);
        }
    }
    if (state.factor_scores && !state.matrix_input) {
        const Matrix& structure = !rotated ? loadings
                                  : state.rotation == kRotationOblimin ? rotation.structure
                                                                       : rotation.loadings;
        const std::string path = write_factor_scores(in, structure, m);
        if (!path.empty()) {
            text += " Factor scores (regression method) written to ";
            text += path;
            text += "\n\n";
            xml_printf("<ScoresFile>\"%s\"</ScoresFile>\n", path.c_str());
        }
    }
    channel_write(kReportChannel, text);
}

}  // namespace quorix
