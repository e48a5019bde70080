// Factor analysis: the eigenvalue engine against R on random correlation
// matrices, its worked cases and its failure, the options and their messages,
// and whole runs against golden files.
#include <gtest/gtest.h>

#include <cmath>
#include <map>

#include "analyses/basic/correlation.h"
#include "analyses/common/eigen.h"
#include "analyses/factor/factor.h"
#include "analyses/factor/factor_model.h"
#include "analyses/registry.h"
#include "data_tools.h"
#include "frame/case_access.h"
#include "numeric/sorting.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;

// The data of eigen_reference.R: an LCG s = (69069 s + 1) mod 2^32 gives
// u[t][v] = s / 2^32, case by case; x[v] = u[v] + (v mod 4) / 4 u[0].
std::vector<double> lcg_columns(int p, int n, uint32_t seed) {
    std::vector<double> u(static_cast<size_t>(p) * n), x(u.size());
    for (int t = 0; t < n; ++t)
        for (int v = 0; v < p; ++v) {
            seed = seed * 69069u + 1u;
            u[static_cast<size_t>(v) * n + t] = seed / 4294967296.0;
        }
    for (int v = 0; v < p; ++v)
        for (int t = 0; t < n; ++t)
            x[static_cast<size_t>(v) * n + t] = u[static_cast<size_t>(v) * n + t] + (v % 4) / 4.0 * u[t];
    return x;
}

std::vector<double> correlations_of(const std::vector<double>& columns, int p, int n) {
    std::vector<double> matrix(packed_size(p)), means(p), sd(p);
    listwise_covariances(columns.data(), n, p, matrix.data(), means.data());
    covariance_to_correlation(p, matrix.data(), sd.data());
    return matrix;
}

// Descending eigenvalues, or an empty vector when the routine failed.
std::vector<double> eigenvalues_of(std::vector<double> packed, int n, std::vector<int>* tags = nullptr) {
    const size_t size = static_cast<size_t>(n);
    std::vector<double> d(size), e(size), e2(size), work(size), values(size);
    std::vector<int> block(size);
    if (packed_eigenvalues(n, packed.data(), d.data(), e.data(), e2.data(), work.data(), values.data(),
                           block.data()) != 0)
        return {};
    if (tags) *tags = block;
    return values;
}

// Eigenvalues to 1e-10 and eigenvectors (A v = lambda v, orthonormal) to 1e-9
// on matrices of 2 to 200 variables, one of them of rank 49 out of 100.
TEST(Factor, EigenvaluesAgainstR) {
    std::map<std::tuple<int, int, int>, std::vector<double>> sets;
    for (const std::vector<double>& row : testing::read_number_table("analyses/eigen_reference.csv"))
        sets[{static_cast<int>(row[0]), static_cast<int>(row[1]), static_cast<int>(row[2])}].push_back(row[4]);
    ASSERT_EQ(sets.size(), 9u);
    for (const auto& [key, expected] : sets) {
        const auto [p, n, seed] = key;
        const std::vector<double> r = correlations_of(lcg_columns(p, n, static_cast<uint32_t>(seed)), p, n);
        const std::vector<double> values = eigenvalues_of(r, p);
        ASSERT_EQ(values.size(), expected.size()) << p;
        for (size_t i = 0; i < values.size(); ++i) EXPECT_NEAR(values[i], expected[i], 1e-10) << p << " " << i;

        std::vector<double> vectors;
        ASSERT_TRUE(eigenvectors_packed(p, r.data(), values.data(), p, vectors));
        const size_t size = static_cast<size_t>(p);
        double residual = 0, orthogonality = 0;
        for (size_t c = 0; c < size; ++c) {
            const double* v = vectors.data() + c * size;
            for (size_t i = 0; i < size; ++i) {
                double sum = 0;
                for (size_t j = 0; j < size; ++j) sum += r[i >= j ? packed_index(i, j) : packed_index(j, i)] * v[j];
                residual = std::max(residual, std::fabs(sum - values[c] * v[i]));
            }
            for (size_t o = 0; o <= c; ++o) {
                double dot = 0;
                for (size_t i = 0; i < size; ++i) dot += v[i] * vectors[o * size + i];
                orthogonality = std::max(orthogonality, std::fabs(dot - (o == c ? 1 : 0)));
            }
        }
        EXPECT_LT(residual, 1e-9) << p;
        EXPECT_LT(orthogonality, 1e-9) << p;
    }
}

TEST(Factor, WorkedEigenvalueCases) {
    // A constant variable (its correlations are 0) beside x and y: the
    // eigenvalues of x and y, 1 + |r| and 1 - |r|, and 0, summing to 2.
    // R: cor(c(1, 2, 3, 5), c(2, 1, 4, 3)) = 0.52915026221291817
    const double r = 0.52915026221291817;
    std::vector<double> values = eigenvalues_of({1, r, 1, 0, 0, 0}, 3);
    ASSERT_EQ(values.size(), 3u);
    EXPECT_NEAR(values[0], 1 + r, 1e-15);
    EXPECT_NEAR(values[1], 1 - r, 1e-15);
    EXPECT_EQ(values[2], 0);
    // Two identical variables: 2 and 0; one block of the tridiagonal matrix.
    std::vector<int> tags;
    values = eigenvalues_of({1, 1, 1}, 2, &tags);
    EXPECT_NEAR(values[0], 2, 1e-15);
    EXPECT_NEAR(values[1], 0, 1e-15);
    // A diagonal matrix splits into one block per element, each its own tag.
    values = eigenvalues_of({3, 0, 1, 0, 0, 2}, 3, &tags);
    EXPECT_EQ(values, (std::vector<double>{3, 2, 1}));
    EXPECT_EQ(tags, (std::vector<int>{1, 3, 2}));
    // Non-finite elements never converge: the first eigenvalue fails after 30 iterations.
    const double nan = std::numeric_limits<double>::quiet_NaN();
    std::vector<double> d{1, nan, 1}, e{0, 0.5, 0.5}, e2{0, 0.25, 0.25}, w(3), work(3);
    std::vector<int> block(3);
    EXPECT_EQ(tridiagonal_eigenvalues(3, d.data(), e.data(), e2.data(), w.data(), block.data(), work.data()), 1);
}

std::string mtcars(const ScratchDir& dir) { return testing::import_sample(dir, "mtcars.csv", "mtcars.rkd", {}); }

std::string run_factor(const ScratchDir& dir, const std::string& path, const FactorOptions& options,
                       int* status = nullptr) {
    const AnalysisArguments arguments{{variables_argument(options.variables), word_argument(options.rotation),
                                       word_argument(options.initial_value), word_argument(options.processing),
                                       integer_argument(options.factor_scores), word_argument(options.sort),
                                       number_argument(options.cutoff)},
                                      {}};
    return testing::record_run(dir, path, "fa", [&] {
        const int result = run_analysis(AnalysisId::factor_analysis, path, "fa", arguments);
        if (status) *status = result;
    });
}

FactorOptions with_variables(std::vector<int> variables) {
    FactorOptions options;
    options.variables = std::move(variables);
    return options;
}

TEST(Factor, OptionWordsAndTheirMessages) {
    ScratchDir dir;
    const std::string path = mtcars(dir);
    struct Case {
        const char* rotation;
        const char* extraction;
        const char* processing;
        const char* sort;
        double cutoff;
        int status;
        const char* message;  // in the record
        bool runs;            // the XML result is written
    } cases[] = {
        {"VARIMAX", "pca", "PAIR", "none", 1, 0, "- average\n", true},
        {"varimax ", nullptr, nullptr, nullptr, 1, -1,
         "== log\n Open success, <dir>/mtcars.rkd\n    model      mpg      cyl     disp       hp     drat\n"
         "       wt     qsec       vs       am     gear     carb\n\n please specify a rotate method!\n othosim, "
         "varimax or blimin\n== xml",
         false},
        {nullptr, "pcaa", nullptr, nullptr, 1, 0, "\n please specify initialvalue method!\n pca or epic\n", true},
        {nullptr, nullptr, "pairwise", nullptr, 1, -1,
         "\n wrong option for data process option \n please specify case or pair !\n", false},
        {nullptr, nullptr, nullptr, "factors", 1, 0, "\n wrong option for sort\n", true},
        {nullptr, nullptr, nullptr, nullptr, 0, 0, "\nCut off can not be equal to 0. \n put on the default value cutoff=1.\n",
         true},
    };
    for (const Case& c : cases) {
        FactorOptions options = with_variables({2, 3, 4});
        options.rotation = c.rotation;
        options.initial_value = c.extraction;
        options.processing = c.processing;
        options.sort = c.sort;
        options.cutoff = c.cutoff;
        int status = 99;
        const std::string record = run_factor(dir, path, options, &status);
        EXPECT_EQ(status, c.status) << c.message;
        EXPECT_NE(record.find(c.message), std::string::npos) << record;
        EXPECT_EQ(record.find("<EigenTbl>") != std::string::npos, c.runs) << c.message;
    }
    // The sort setting carries over to a run that does not name one; the others start afresh.
    FactorOptions options = with_variables({2, 3});
    options.sort = "Commuality";
    options.rotation = "oblimin";
    options.processing = "pair";
    run_factor(dir, path, options);
    run_factor(dir, path, with_variables({2, 3}));
    EXPECT_EQ(factor_state().sort, kSortCommunality);
    EXPECT_EQ(factor_state().rotation, kRotationVarimax);
    EXPECT_EQ(factor_state().processing, 0);
    options.sort = "NONE";
    run_factor(dir, path, options);
    EXPECT_EQ(factor_state().sort, kSortNone);
}

TEST(Factor, HostileListsAndData) {
    ScratchDir dir;
    const std::string path = dir.file("hostile.rkd");
    const double M = 1e35;
    testing::write_numeric_file(path, {{"big", {1e200, -1e200, 1e200, 0}},
                                       {"big2", {2e200, -1e200, 1e200, 5}},
                                       {"x", {1, 2, 3, 5}},
                                       {"same", {1, 2, 3, 5}},
                                       {"flat", {7, 7, 7, 7}},
                                       {"gone", {M, M, M, M}}});
    int status = 0;
    // Overflowing sums give correlations of NaN, whose eigenvalues never converge.
    std::string record = run_factor(dir, path, with_variables({1, 2}), &status);
    EXPECT_EQ(status, 0);
    EXPECT_NE(testing::section(record, "log").find(" Eigenvalue calculation failed to converge!\n"), std::string::npos);
    EXPECT_EQ(testing::section(record, "out"), "");
    EXPECT_NE(record.find("</CorrTbl>\n</RESULT>\n"), std::string::npos);
    // Duplicate and constant variables: 2, 0, 0, summing to the 2 that vary.
    record = run_factor(dir, path, with_variables({3, 4, 5}), &status);
    EXPECT_NE(record.find("<EigVal>     2.000</EigVal>\n<EigVal>     0.000</EigVal>\n<EigVal>     0.000</EigVal>"),
              std::string::npos)
        << record;
    // Three hundred variables of five cases: rank 4, the rest within rounding of 0.
    const std::string wide = dir.file("wide.rkd");
    std::vector<testing::TestVariable> columns;
    std::vector<int> all;
    for (int v = 0; v < 300; ++v) {
        columns.push_back({"v" + std::to_string(v), {}});
        for (int c = 0; c < 5; ++c) columns.back().values.push_back(std::fmod((v + 3.0) * (c + 1) * 7.1, 5.3));
        all.push_back(v + 1);
    }
    testing::write_numeric_file(wide, columns);
    FactorOptions options = with_variables(all);
    options.factor_scores = 1;
    record = run_factor(dir, wide, options, &status);
    const size_t fifth = record.find("      5        ");
    ASSERT_NE(fifth, std::string::npos);
    EXPECT_EQ(record.substr(fifth + 15, 5), "0.000");
    EXPECT_NE(record.find(" Factor scores are not calculated: the correlation matrix is singular.\n"), std::string::npos);
    // All missing; a variable outside the file; an empty list.
    for (const auto& [list, outcome] : {std::pair{std::vector<int>{6}, kFoundNothing}, {std::vector<int>{3, 9}, 0},
                                        {std::vector<int>{}, 0}}) {
        record = run_factor(dir, path, with_variables(list), &status);
        EXPECT_EQ(status, outcome);
        EXPECT_EQ(record.find("<EigenTbl>"), std::string::npos);
    }
}

// The correlations of mtcars' mpg, cyl, disp, hp, drat, wt and qsec.
std::vector<double> mtcars_correlations(const ScratchDir& dir) {
    RunContext context;
    std::string error;
    EXPECT_TRUE(open_data_file(mtcars(dir), context, error)) << error;
    CorrelationState state;
    std::vector<double> matrix(packed_size(7)), means(7), sd(7);
    EXPECT_EQ(accumulate_covariances(context, {2, 3, 4, 5, 6, 7, 8}, state, matrix.data(), means.data()), 0);
    close_data_file(context);
    covariance_to_correlation(7, matrix.data(), sd.data());
    return matrix;
}

// The rows of factor_reference.csv (R's results), by row number.
std::vector<double> reference(size_t row) {
    static const std::vector<std::vector<double>> table = testing::read_number_table("analyses/factor_reference.csv");
    return std::vector<double>(table.at(row - 1).begin() + 1, table.at(row - 1).end());
}

// Two factors of the mtcars variables against R (tests/analyses/factor_reference.R,
// which writes the rotations out by the gradient projection method with an SVD
// step and takes varimax from stats::varimax).
TEST(Factor, LoadingsAndRotationsAgainstR) {
    ScratchDir dir;
    const std::vector<double> r = mtcars_correlations(dir);
    const std::vector<double> values = eigenvalues_of(r, 7);
    Extraction pca;
    ASSERT_TRUE(principal_components(7, r.data(), values.data(), 2, pca));
    const std::vector<double> unrotated = reference(1);
    testing::expect_near_each(pca.loadings, unrotated, 1e-10, "principal components");
    for (const auto& [method, row] : {std::pair{kRotationVarimax, 2}, {kRotationQuartimax, 3}, {kRotationOblimin, 4}}) {
        Rotation rotation;
        ASSERT_TRUE(rotate_loadings(7, 2, unrotated, method, rotation));
        EXPECT_TRUE(rotation.converged);
        testing::expect_near_each(rotation.loadings, reference(static_cast<size_t>(row)), 1e-7, "rotated");
        const bool oblique = method == kRotationOblimin;
        testing::expect_near_each(rotation.structure, oblique ? reference(5) : std::vector<double>{}, 1e-7, "structure");
        testing::expect_near_each(rotation.correlations, oblique ? reference(6) : std::vector<double>{}, 1e-7,
                                  "factor correlations");
    }
    // Principal axes from the squared multiple correlations: still changing
    // by 0.00246 after 25 iterations.
    Extraction axes;
    ASSERT_TRUE(principal_axes(7, r.data(), 2, axes));
    EXPECT_FALSE(axes.converged);
    EXPECT_EQ(axes.iterations, 25);
    EXPECT_NEAR(axes.last_change, 0.00245713702005879, 1e-9);
    std::vector<double> communality(7, 0);
    for (size_t i = 0; i < 7; ++i) communality[i] = axes.loadings[2 * i] * axes.loadings[2 * i] + axes.loadings[2 * i + 1] * axes.loadings[2 * i + 1];
    testing::expect_near_each(communality, reference(7), 1e-9, "communalities");
}

TEST(Factor, RunsAgainstGoldenFiles) {
    ScratchDir dir;
    const std::string path = mtcars(dir);
    testing::expect_golden("factor/no_options.txt", run_factor(dir, path, with_variables({2, 3, 4, 5, 6, 7, 8})));
    const std::string air = testing::import_sample(dir, "airquality.csv", "air.rkd", {});
    FactorOptions pairwise = with_variables({1, 2, 3, 4});
    pairwise.processing = "Pair";
    testing::expect_golden("factor/pairwise.txt", run_factor(dir, air, pairwise));
    FactorOptions every = with_variables({1, 2, 3, 4, 5});
    every.rotation = "Oblimin";
    every.initial_value = "EPIC";
    every.processing = "pair";
    every.factor_scores = 1;
    every.sort = "Commuality";
    every.cutoff = 0.9;
    testing::expect_golden("factor/every_option.txt", run_factor(dir, air, every));
}

// A correlation matrix file as input gives the eigenvalues of the raw data;
// it records the cases used, and it has no cases to score.
TEST(Factor, MatrixFileInput) {
    ScratchDir dir;
    const std::string path = mtcars(dir);
    const std::vector<int> variables = {2, 3, 4, 5, 6, 7, 8};
    const std::string raw = run_factor(dir, path, with_variables(variables));
    testing::record_run(dir, path, "c", [&] { run_analysis(AnalysisId::correlation, path, "c",
                     {{variables_argument(variables), word_argument(nullptr), word_argument("corr"),
                       integer_argument(0), integer_argument(1)},
                      {}}); });
    FactorOptions options = with_variables({1, 2, 3, 4, 5, 6, 7});
    options.factor_scores = 1;
    const std::string from_matrix = run_factor(dir, dir.file("Matrix.rkd"), options);
    const auto eigenvalues = [](const std::string& record) {
        return record.substr(record.find("<EigenTbl>"), record.find("</EigenTbl>") - record.find("<EigenTbl>"));
    };
    EXPECT_EQ(eigenvalues(from_matrix), eigenvalues(raw));
    EXPECT_NE(from_matrix.find(" Number of cases used in this analysis are ..     32\n"), std::string::npos);
    EXPECT_NE(from_matrix.find("\nWhen correlations are input, factor scores are not calculated.\n"), std::string::npos);
    EXPECT_FALSE(testing::file_exists(dir.file("Matrix_FactorScores.rkd")));
    // Variables the matrix does not hold.
    const std::string bad = run_factor(dir, dir.file("Matrix.rkd"), with_variables({1, 9}));
    EXPECT_EQ(bad.find("<EigenTbl>"), std::string::npos);
}

// Regression-method scores of the varimax factors against R.
TEST(Factor, ScoresFileAgainstR) {
    ScratchDir dir;
    const std::string path = mtcars(dir);
    FactorOptions options = with_variables({2, 3, 4, 5, 6, 7, 8});
    options.factor_scores = 1;
    const std::string record = run_factor(dir, path, options);
    EXPECT_NE(record.find(" written to <dir>/mtcars_FactorScores.rkd\n"), std::string::npos);
    const std::vector<double> first = testing::read_column(dir.file("mtcars_FactorScores.rkd"), 1),
                              second = testing::read_column(dir.file("mtcars_FactorScores.rkd"), 2);
    ASSERT_EQ(first.size(), 32u);
    testing::expect_near_each({first[0], second[0], first[1], second[1], first[31], second[31]}, reference(8), 1e-7,
                              "scores");
}

}  // namespace
}  // namespace quorix
