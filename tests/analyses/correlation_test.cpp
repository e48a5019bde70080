// Correlation and covariance: the accumulator against R and against its
// update order written out plainly, alpha, the options, the alphanumeric
// filter, the matrix file, and whole runs against golden files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <filesystem>
#include <limits>
#include <random>

#include "analyses/basic/correlation.h"
#include "analyses/basic/descriptive.h"
#include "analyses/registry.h"
#include "analyses/common/variable_filter.h"
#include "data_tools.h"
#include "analyses/common/matrix_file.h"
#include "frame/case_access.h"
#include "numeric/sorting.h"
#include "support/test_files.h"

namespace quorix {
namespace {

int run_correlation(const std::string& path, const char* run, const std::vector<int>& variables, const char* processing,
                    const char* matrix, int alpha, int write_matrix) {
    return run_analysis(AnalysisId::correlation, path, run,
                        {{variables_argument(variables), word_argument(processing), word_argument(matrix),
                          integer_argument(alpha), integer_argument(write_matrix)},
                         {}});
}

using testing::ScratchDir;
using testing::TestVariable;

const std::string kSample = std::string(QUORIX_GOLDEN_DIR) + "/correlation/missing.csv";

// The sample (length, weight, score, rate) with user-missing codes 99 for
// length, -9..-1 for weight and 97, 98 for rate; the Java test imports it alike.
std::string import_sample(const ScratchDir& dir, bool short_names = false) {
    ImportOptions options;
    options.short_names = short_names;
    std::string error;
    EXPECT_TRUE(parse_missing_codes("length=99", options, error) &&
                parse_range("weight=-9:-1", options.missing_ranges, error) &&
                parse_missing_codes("rate=97,98", options, error));
    const std::string path = dir.file("corr.rkd");
    EXPECT_TRUE(import_csv(kSample, path, options, error)) << error;
    return path;
}

struct Accumulated {
    int status = 0;
    CorrelationState state;
    std::vector<double> matrix, means, pairs;
};

Accumulated accumulate(const std::string& path, const std::vector<int>& variables, int listwise,
                       const std::vector<int32_t>& selection = {}) {
    Accumulated a;
    RunContext context;
    std::string error;
    EXPECT_TRUE(open_data_file(path, context, error)) << error;
    context.selection = selection;
    a.state.listwise = listwise;
    a.matrix.assign(packed_size(variables.size()), -1);
    a.means.assign(variables.size(), -1);
    a.pairs.assign(packed_size(variables.size()), -1);
    a.status = accumulate_covariances(context, variables, a.state, a.matrix.data(), a.means.data(), a.pairs.data());
    close_data_file(context);
    return a;
}

// The rows of correlation_reference.csv (R's results on the sample), by row number.
std::vector<double> reference(size_t row) {
    static const std::vector<std::vector<double>> table = testing::read_number_table("analyses/correlation_reference.csv");
    return std::vector<double>(table.at(row - 1).begin() + 1, table.at(row - 1).end());
}

TEST(Correlation, ListwiseAndPairwiseAgainstR) {
    ScratchDir dir;
    const std::string path = import_sample(dir);
    const Accumulated listwise = accumulate(path, {1, 2, 3, 4}, 1);
    ASSERT_EQ(listwise.status, 0);
    EXPECT_EQ(listwise.state.cases_used, 6);  // sum(complete.cases(x))
    EXPECT_EQ(listwise.state.average_pair_cases, 6);
    testing::expect_near_each(listwise.matrix, reference(1), 1e-13, "complete cov");
    testing::expect_near_each(listwise.means, reference(2), 1e-13, "complete means");
    std::vector<double> r = listwise.matrix, sd(4);
    covariance_to_correlation(4, r.data(), sd.data());
    testing::expect_near_each(r, reference(3), 1e-13, "complete cor");
    // Case 13 is missing everywhere, so 13 cases are used; crossprod(!is.na(x))
    // sums to 99 over the 10 pairs.
    const Accumulated pairwise = accumulate(path, {1, 2, 3, 4}, 0);
    ASSERT_EQ(pairwise.status, 0);
    EXPECT_EQ(pairwise.state.cases_used, 13);
    EXPECT_EQ(pairwise.state.average_pair_cases, 10);  // (10 + 2 * 99) / 20
    testing::expect_near_each(pairwise.matrix, reference(4), 1e-13, "pairwise cov");
    testing::expect_near_each(pairwise.means, reference(5), 1e-13, "pairwise means");
    testing::expect_near_each(pairwise.pairs, reference(6), 1e-13, "pairwise cor");
    r = pairwise.matrix;  // the standard deviations the matrix file records
    covariance_to_correlation(4, r.data(), sd.data());
    testing::expect_near_each(sd, reference(7), 1e-13, "sd");
    // Flag-form selection without cases 0 and 13.
    std::vector<int32_t> selection(14, 1);
    selection[0] = selection[13] = 0;
    const Accumulated selected = accumulate(path, {1, 2, 3, 4}, 1, selection);
    EXPECT_EQ(selected.state.cases_used, 5);
    testing::expect_near_each(selected.matrix, reference(8), 1e-13, "selected cov");
}

TEST(Correlation, CronbachAlpha) {
    // k / (k - 1) * (1 - sum(diag(v)) / sum(v)) in R, for v the complete-case
    // covariances and for a matrix with an element above 1.
    EXPECT_NEAR(cronbach_alpha(4, reference(1).data()), 0.44093777093410946, 1e-14);
    const std::vector<double> r = {1, 1.13513623829671495, 1, 0.69593704190879513, 0.71413231085936923, 1,
                                   0.58597390637710778, 0.63352027198659455, 0.52243898689615753, 1};
    EXPECT_NEAR(cronbach_alpha(4, r.data()), 0.90918702926392625, 1e-14);
    const double one[] = {5}, opposite[] = {1, -1, 1};
    EXPECT_EQ(cronbach_alpha(1, one), 0);
    EXPECT_EQ(cronbach_alpha(2, opposite), 0);  // the sum has no variance
}

// The update order of the accumulator, written out plainly, one case and one
// pair at a time, from each variable's values less the shift of its first
// present value.
double plain_shift(const std::vector<double>& x, size_t n, size_t i) {
    for (size_t t = 0; t < n; ++t)
        if (x[i * n + t] != 1e35) return moment_shift(x[i * n + t]);
    return 0;
}

void plain_listwise(const std::vector<double>& x, size_t n, size_t k, std::vector<double>& c, std::vector<double>& m) {
    c.assign(packed_size(k), 0);
    m.assign(k, 0);
    for (size_t t = 1; t <= n; ++t)
        for (size_t i = 0; i < k; ++i) {
            const double d = (x[i * n + t - 1] - plain_shift(x, n, i)) - m[i];
            m[i] = m[i] + d / static_cast<double>(t);
            for (size_t j = 0; j <= i; ++j)
                c[packed_index(i, j)] += ((x[j * n + t - 1] - plain_shift(x, n, j)) - m[j]) * d;
        }
    for (size_t i = 0; i < k; ++i) m[i] += plain_shift(x, n, i);
    for (double& element : c) element /= static_cast<double>(n - 1);
}

// Also each pair's correlation over its own cases (r).
void plain_pairwise(const std::vector<double>& x, size_t n, size_t k, std::vector<double>& c, std::vector<double>& m,
                    std::vector<double>& r) {
    c.assign(packed_size(k), 0);
    r.assign(packed_size(k), 0);
    m.assign(k, 0);
    for (size_t i = 0; i < k; ++i)
        for (size_t j = 0; j <= i; ++j) {
            double count = 0, mx = 0, my = 0, sum = 0, sx = 0, sy = 0;
            for (size_t t = 0; t < n; ++t) {
                if (x[i * n + t] == 1e35 || x[j * n + t] == 1e35) continue;
                const double xi = x[i * n + t] - plain_shift(x, n, i), xj = x[j * n + t] - plain_shift(x, n, j);
                count += 1;
                const double dx = xi - mx, dy = xj - my;
                mx += dx / count;
                my += dy / count;
                sum += dx * (xj - my);
                sx += dx * (xi - mx);
                sy += dy * (xj - my);
            }
            c[packed_index(i, j)] = count > 1 ? sum / (count - 1) : 0;
            const double sdx = std::sqrt(sx / (count - 1)), sdy = std::sqrt(sy / (count - 1));
            if (count > 1 && sdx > 0 && sdy > 0) r[packed_index(i, j)] = std::clamp(c[packed_index(i, j)] / (sdx * sdy), -1.0, 1.0);
            if (i == j) m[i] = mx + plain_shift(x, n, i);
        }
}

TEST(Correlation, FastLoopsGiveThePlainUpdatesBitForBit) {
    std::mt19937 random(7);
    std::normal_distribution<double> normal(1e6, 3);
    std::uniform_real_distribution<double> uniform(0, 1);
    // Several slices of cases; 800 variables take several groups of rows.
    for (const auto& [k, n] : {std::pair<size_t, size_t>{1, 5000}, {6, 5000}, {7, 5000}, {40, 2000}, {800, 20}}) {
        std::vector<double> x(n * k), missing(n * k);
        for (size_t e = 0; e < x.size(); ++e) {
            x[e] = normal(random);
            missing[e] = uniform(random) < 0.2 ? 1e35 : x[e];
        }
        std::vector<double> c(packed_size(k)), m(k), want_c, want_m;
        listwise_covariances(x.data(), n, static_cast<int>(k), c.data(), m.data());
        plain_listwise(x, n, k, want_c, want_m);
        EXPECT_EQ(c, want_c) << k;
        EXPECT_EQ(m, want_m) << k;
        std::vector<double> r(packed_size(k)), want_r;
        plain_pairwise(missing, n, k, want_c, want_m, want_r);
        for (const bool wide : {true, false})
            for (double* own : {static_cast<double*>(nullptr), r.data()}) {
                pairwise_covariances(missing.data(), n, static_cast<int>(k), c.data(), m.data(), own, wide);
                EXPECT_EQ(c, want_c) << k << wide;
                EXPECT_EQ(m, want_m) << k << wide;
                if (own) {
                    EXPECT_EQ(r, want_r) << k << wide;
                }
            }
    }
}

TEST(Correlation, TiledAndThreadedUpdatesGiveThePlainUpdatesBitForBit) {
    // Variable counts around the kernels' tiles (quads of four, tiles of two
    // rows by four quads), the cases not a whole number of slices; with 17
    // variables the rows are shared between two threads.
    std::mt19937 random(11);
    std::normal_distribution<double> normal(-2e5, 7);
    std::uniform_real_distribution<double> uniform(0, 1);
    const size_t n = 30001;
    for (const size_t k : {1, 3, 5, 17}) {
        std::vector<double> x(n * k), missing(n * k);
        for (size_t e = 0; e < x.size(); ++e) {
            x[e] = normal(random);
            missing[e] = uniform(random) < 0.1 ? 1e35 : x[e];
        }
        std::vector<double> c(packed_size(k)), m(k), r(packed_size(k)), want_c, want_m, want_r;
        plain_listwise(x, n, k, want_c, want_m);
        for (const bool wide : {true, false}) {
            listwise_covariances(x.data(), n, static_cast<int>(k), c.data(), m.data(), wide);
            EXPECT_EQ(c, want_c) << k << wide;
            EXPECT_EQ(m, want_m) << k << wide;
        }
        plain_pairwise(missing, n, k, want_c, want_m, want_r);
        for (const bool wide : {true, false}) {
            pairwise_covariances(missing.data(), n, static_cast<int>(k), c.data(), m.data(), r.data(), wide);
            EXPECT_EQ(c, want_c) << k << wide;
            EXPECT_EQ(m, want_m) << k << wide;
            EXPECT_EQ(r, want_r) << k << wide;
        }
    }
}

TEST(Correlation, SparsePairsHostileValuesAndVariableNumbers) {
    ScratchDir dir;
    const std::string path = dir.file("hostile.rkd");
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    testing::write_numeric_file(path, {{"n", {nan, 1, 2, 3}}, {"i", {inf, -inf, 1, 2}}, {"h", {1e308, -1e308, 1e308, 0}},
                                       {"gone", {1e35, 1e35, 1e35, 1e35}}, {"one", {1e35, 1e35, 5, 1e35}}});
    for (int listwise : {0, 1}) {
        EXPECT_EQ(accumulate(path, {1, 2, 3}, listwise).status, 0);
        // All missing, one case, a variable not in the file.
        for (const std::vector<int>& list : {std::vector<int>{4}, {5}, {1, 0}}) EXPECT_EQ(accumulate(path, list, listwise).status, 2);
    }
    const std::string record = testing::record_run(dir, path, "bad", [&] {
        EXPECT_EQ(run_correlation(path, "bad", {}, nullptr, nullptr, 1, 1), -1);
        EXPECT_EQ(run_correlation(path, "bad", {4, 1}, "complete", nullptr, 1, 1), 2);
        EXPECT_EQ(run_correlation(path, "bad", {1, 2, 3}, "pair", "corr", 1, 1), 0);
    });
    EXPECT_NE(record.find(" At Least one variable must be selected !\n"), std::string::npos);
    EXPECT_NE(record.find(" Fewer than two used cases were found!\n"), std::string::npos);
    // Pairs with at most one joint case.
    const std::string sparse = dir.file("sparse.rkd");
    const double M = 1e35;
    testing::write_numeric_file(sparse, {{"a", {1, 2, 4, M, M}}, {"b", {M, M, 3, 5, 9}}, {"c", {M, M, M, 1, 2}}});
    const Accumulated a = accumulate(sparse, {1, 2, 3}, 0);
    ASSERT_EQ(a.status, 0);
    // Pair counts: a 3, b 3, c 2; (a, b) 1, (a, c) 0, (b, c) 2; total 11 over 6 pairs.
    EXPECT_EQ(a.state.average_pair_cases, 2);  // (6 + 22) / 12
    testing::expect_near_each(a.matrix, {7.0 / 3, 0, 28.0 / 3, 0, 2, 0.5}, 1e-13, "sparse cov");
}

// Runs the correlation on the sample and returns the record of the run.
std::string run_sample(const ScratchDir& dir, const std::string& path, const std::vector<int>& variables,
                       const char* processing, const char* matrix, int alpha, int write_matrix, int* status = nullptr) {
    return testing::record_run(dir, path, "corr", [&] {
        const int result = run_correlation(path, "corr", variables, processing, matrix, alpha, write_matrix);
        if (status) *status = result;
    });
}

TEST(Correlation, OptionWords) {
    ScratchDir dir;
    const std::string path = import_sample(dir);
    int status = 0;
    std::string record = run_sample(dir, path, {1, 2}, "PAIR", "CoRR", 0, 0, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(record.find("CORRELATION MATRIX"), std::string::npos);
    EXPECT_NE(record.find(" - average\n"), std::string::npos);
    for (const auto& [processing, matrix] : {std::pair{"pairs", "cov"}, {"complete", "correlation"}, {"", nullptr}}) {
        record = run_sample(dir, path, {1, 2}, processing, matrix, 0, 0, &status);
        EXPECT_EQ(status, -1) << processing;
        EXPECT_NE(record.find("== log\n Open success"), std::string::npos);
        EXPECT_NE(record.find("\n error options!\n"), std::string::npos) << processing;
        EXPECT_EQ(record.find("<RESULT "), std::string::npos) << processing;
    }
}

TEST(Correlation, AlphanumericVariablesLeaveTheList) {
    ScratchDir dir;
    const std::string csv = dir.file("mixed.csv"), path = dir.file("mixed.rkd");
    const std::string text = "x,a,y,b\n1,p,2,q\n2,r,5,s\n4,t,7,u\n";
    testing::write_bytes(csv, {text.begin(), text.end()});
    std::string error;
    ASSERT_TRUE(import_csv(csv, path, ImportOptions(), error)) << error;
    int status = 0;
    std::string record = run_sample(dir, path, {1, 2, 3, 4}, nullptr, nullptr, 0, 0, &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(record.find(" 2 Selected variables are alphanueric.\n"), std::string::npos);
    EXPECT_NE(record.find("<nVar>2</nVar>"), std::string::npos);
    record = run_sample(dir, path, {2, 1}, nullptr, nullptr, 0, 0, &status);
    EXPECT_NE(record.find(" one Selected variable is alphanumeric.\n"), std::string::npos);
    record = run_sample(dir, path, {2, 4}, nullptr, nullptr, 0, 0, &status);
    EXPECT_EQ(status, -1);
    EXPECT_NE(record.find(" Selected variables are all alphanumeric.\n"), std::string::npos);

    RunContext context;
    ASSERT_TRUE(open_data_file(path, context, error)) << error;
    ::testing::internal::CaptureStdout();
    EXPECT_EQ(check_numeric_variable(1, "Dependent", context), 1);
    EXPECT_EQ(check_numeric_variable(2, "Dependent", context), 0);
    EXPECT_EQ(::testing::internal::GetCapturedStdout(), " Dependent is alphanumeric variable.\n");
    close_data_file(context);
}

// rkstat info and rkstat export of the matrix file; the Java test compares the same sections.
std::string matrix_record(const ScratchDir& dir) {
    std::string info, error;
    EXPECT_TRUE(describe_data_file(dir.file("Matrix.rkd"), info, error)) << error;
    EXPECT_TRUE(export_csv(dir.file("Matrix.rkd"), dir.file("matrix.csv"), error)) << error;
    return testing::replace_all("== matrix\n" + info + "== matrix csv\n" + testing::read_text(dir.file("matrix.csv")),
                                dir.path, "<dir>");
}

TEST(Correlation, RunsAgainstGoldenFiles) {
    ScratchDir dir;
    const std::string path = import_sample(dir);
    const std::vector<int> all = {1, 2, 3, 4};
    testing::expect_golden("correlation/listwise_covariance.txt", run_sample(dir, path, all, nullptr, nullptr, 0, 0));
    testing::expect_golden("correlation/pairwise_correlation.txt", run_sample(dir, path, all, "pair", "corr", 0, 0));
    testing::expect_golden("correlation/alpha.txt", run_sample(dir, path, all, "complete", "cov", 1, 0));
    // Covariances in the report, correlations with the sds and means in the
    // file, which records the average cases per pair.
    const std::string record = run_sample(dir, path, all, "pair", nullptr, 0, 1);
    testing::expect_golden("correlation/matrix_file.txt", record + matrix_record(dir));
}

TEST(Correlation, TwelveVariablesPrintInBlocksOfTen) {
    ScratchDir dir;
    const std::string path = dir.file("twelve.rkd");
    std::vector<TestVariable> variables;
    for (int v = 1; v <= 12; ++v) {
        TestVariable variable{"var" + std::to_string(v), {}};
        for (int c = 0; c < 8; ++c) variable.values.push_back(std::fmod(c * (v + 2.0) * 7.3, 11.0) + (v == 12 ? 5 : 0));
        variables.push_back(variable);
    }
    variables[10].values.assign(8, 2.5);  // constant: its row and column are 0
    testing::write_numeric_file(path, variables);
    std::vector<int> list;
    for (int v = 1; v <= 12; ++v) list.push_back(v);
    testing::expect_golden("correlation/twelve_variables.txt", testing::record_run(dir, path, "blocks", [&] {
                               run_correlation(path, "blocks", list, nullptr, "corr", 0, 0);
                           }));
}

// The matrix file never replaces the data file the run reads, under its own
// name or its temporary one, and a file that cannot be put in place leaves no
// fragment (here its place is taken by a directory).
TEST(Correlation, MatrixFileLeavesTheDataFileAlone) {
    const std::string refusal = " The matrix file is not written: it would replace the data file ";
    for (const char* name : {"Matrix.rkd", "Matrix.rkd.partial", "data.rkd"}) {
        ScratchDir dir;
        const std::string path = dir.file(name);
        testing::write_numeric_file(path, {{"x", {1, 2, 4, 7}}, {"y", {2, 1, 5, 9}}});
        const std::vector<unsigned char> before = testing::read_bytes(path);
        const bool blocked = std::string(name) == "data.rkd";
        if (blocked) {
            std::filesystem::create_directory(dir.file("Matrix.rkd"));
            testing::write_bytes(dir.file("Matrix.rkd/kept"), {1});
        }
        const std::string record = run_sample(dir, path, {1, 2}, nullptr, "corr", 0, 1);
        EXPECT_EQ(testing::read_bytes(path), before) << name;
        EXPECT_EQ(record.find("File succefully written"), std::string::npos) << name;
        EXPECT_EQ(testing::section(record, "log").find(refusal) != std::string::npos, !blocked) << name;
        EXPECT_FALSE(testing::file_exists(dir.file("Matrix.rkd.partial")) && blocked);
        EXPECT_EQ(testing::file_exists(dir.file("Matrix.rkd/kept")), blocked);
    }
}

// The matrix file after each kind of data file reads back with its names and values.
TEST(Correlation, MatrixFileReadsBackAfterEveryNameWidth) {
    struct Case {
        const char* signature;
        const char* name;
        const char* written_signature;
    };
    for (const Case& c : {Case{"VORW70", "a_name_of_twenty_two", "VORW70"}, Case{"VORW60", "eightchr", "VORW603"},
                          Case{"XXXXXX", "eightchr", "VORW603"}}) {
        ScratchDir dir;
        set_name_width(kInitialNameWidth);  // what an unrecognised signature leaves in a fresh process
        const std::string path = dir.file("data.rkd");
        testing::write_numeric_file(path, {{"other", {9, 9, 9, 9}}, {c.name, {1, 2, 3, 5}}, {"z", {2, 1, 4, 3}}},
                                    c.signature);
        run_sample(dir, path, {2, 3}, nullptr, nullptr, 0, 1);
        const std::string matrix_path = dir.file("Matrix.rkd");
        const std::vector<unsigned char> bytes = testing::read_bytes(matrix_path);
        ASSERT_GE(bytes.size(), 176u) << c.signature;
        EXPECT_EQ(fixed_text(bytes.data() + 90, 8), c.written_signature);
        EXPECT_EQ(bytes[114], 42);
        RunContext context;
        std::string error;
        ASSERT_TRUE(open_data_file(matrix_path, context, error)) << error;
        EXPECT_EQ(context.header.file_kind, 10);
        EXPECT_EQ(context.header.case_count, 4);
        EXPECT_EQ(context.header.matrix_case_count, 4);
        EXPECT_EQ(variable_name(context.header, 1), c.name);
        EXPECT_EQ(variable_name(context.header, 2), "z");
        // R: x <- c(1, 2, 3, 5); z <- c(2, 1, 4, 3): cor(x, z) 0.52915026221291817, sd 1.707825127659933, 1.2909944487358056
        close_data_file(context);
        testing::expect_near_each(testing::read_column(matrix_path, 1), {1, 0.52915026221291817, 1.707825127659933, 2.75},
                                  1e-13, "first variable");
        testing::expect_near_each(testing::read_column(matrix_path, 2), {0.52915026221291817, 1, 1.2909944487358056, 2.5},
                                  1e-13, "second variable");
    }
}

TEST(Correlation, PathSplit) {
    PathParts parts{"unset", "unset"};
    EXPECT_EQ(split_path("", parts), 0);
    EXPECT_EQ(parts.directory, "unset");
    ASSERT_EQ(split_path("/data/survey/../study/x.rkd", parts), 1);
    EXPECT_EQ(parts.directory, "/data/study/");
    EXPECT_EQ(parts.file_name, "x.rkd");
    ASSERT_EQ(split_path("relative.rkd", parts), 1);
    EXPECT_EQ(parts.directory.front(), '/');
    EXPECT_EQ(parts.directory.back(), '/');
    EXPECT_EQ(matrix_file_path("/x.rkd"), "/Matrix.rkd");
}

}  // namespace
}  // namespace quorix
