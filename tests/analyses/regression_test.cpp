// Regression: the engine against R and against certified values on hard
// data, the result arrays, and whole runs against golden files.
#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdio>

#include "analyses/regression/regression.h"
#include "analyses/registry.h"
#include "data_tools.h"
#include "frame/case_access.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;
using testing::TestVariable;

const std::string kDataDir = std::string(QUORIX_GOLDEN_DIR) + "/regression/";

std::string import(const ScratchDir& dir, const std::string& csv) {
    std::string error;
    const std::string path = dir.file(csv + ".rkd");
    EXPECT_TRUE(import_csv(kDataDir + csv, path, ImportOptions(), error)) << error;
    return path;
}

// The standard method on the file's variable 1 (dependent) and the others, run
// through the engine itself so that the unrounded figures can be compared.
RegressionOutput fit(const std::string& path, int variables, std::string* text = nullptr) {
    RunContext context;
    std::string error;
    EXPECT_TRUE(open_data_file(path, context, error)) << error;
    std::vector<int> slots{0};
    for (int v = 2; v <= variables; ++v) slots.push_back(v);
    slots.push_back(1);
    RegressionOutput output;
    std::string report;
    regression_engine(variables + 1, report, slots, RegressionOptions(), context, output);
    close_data_file(context);
    if (text) *text = report;
    return output;
}

void expect_relative(double actual, double expected, double tolerance, const std::string& what) {
    EXPECT_NEAR(actual, expected, tolerance * std::fabs(expected)) << what;
}

// R 4: d <- read.csv("random.csv"); f <- lm(y ~ x1 + x2 + x3, d); s <- summary(f);
// X <- model.matrix(f); h <- hatvalues(f); e <- resid(f); B <- solve(crossprod(X));
// HC3 <- sqrt(diag(B %*% crossprod(X * (e / (1 - h))) %*% B)), options(digits = 17).
TEST(Regression, AgreesWithRLm) {
    ScratchDir dir;
    const RegressionOutput out = fit(import(dir, "random.csv"), 4);
    const double coefficients[] = {3.36559165123131354, 0.47606783601154595, -1.28865199100887806,
                                   0.27148819484362169};                                     // coef(f)
    const double ordinary[] = {1.938923589889343102, 0.196064763889440413, 0.267024064740228384,
                               0.035151265440966528};                                        // s$coef[, 2]
    const double hetero[] = {2.273481915674354870, 0.222850330797184165, 0.289232962936844529,
                             0.039554560866320775};                                          // HC3
    for (int j = 0; j < 4; ++j) {
        const size_t s = static_cast<size_t>(j);
        expect_relative(out.coefficients[s], coefficients[j], 1e-12, "b" + std::to_string(j));
        expect_relative(out.ordinary_se[s], ordinary[j], 1e-12, "se" + std::to_string(j));
        expect_relative(out.hetero_se[s], hetero[j], 1e-10, "hc3 " + std::to_string(j));
    }
    expect_relative(out.r_square, 6.8121526898399376e-01, 1e-12, "s$r.squared");
    expect_relative(out.adjusted_r_square, 6.5464987473265990e-01, 1e-12, "s$adj.r.squared");
    expect_relative(out.f, 2.5642957245017726e+01, 1e-12, "s$fstatistic");
    expect_relative(out.prob, 4.7187628077442068e-09, 1e-6, "pf(F, 3, 36, lower.tail = FALSE)");
    expect_relative(out.see, 2.4010515220320912e+00, 1e-12, "s$sigma");
    expect_relative(out.durbin_watson, 1.8445431054492616e+00, 1e-12, "sum(diff(e)^2) / sum(e^2)");
}

// Longley (NIST StRD, certified values): every coefficient and standard error
// to 10 digits, the printed rows as the certified values print, and the
// fitted values of the result arrays.
TEST(Regression, LongleyCertifiedValues) {
    ScratchDir dir;
    std::string text;
    const RegressionOutput out = fit(import(dir, "longley.csv"), 7, &text);
    const double b[] = {-3482258.63459582, 15.0618722713733, -0.358191792925910E-01, -2.02022980381683,
                        -1.03322686717359, -0.511041056535807E-01, 1829.15146461355};
    const double se[] = {890420.383607373, 84.9149257747669, 0.334910077722432E-01, 0.488399681651699,
                         0.214274163161675, 0.226073200069370, 455.478499142212};
    for (size_t j = 0; j < 7; ++j) {
        expect_relative(out.coefficients[j], b[j], 1e-10, "B" + std::to_string(j));
        expect_relative(out.ordinary_se[j], se[j], 1e-10, "SE" + std::to_string(j));
        char row[40];
        std::snprintf(row, sizeof row, "%13.3f%13.3f", b[j], se[j]);
        EXPECT_NE(text.find(row), std::string::npos) << row;
    }
    expect_relative(out.see, 304.854073561965, 1e-10, "residual SD");
    expect_relative(out.r_square, 0.995479004577296, 1e-12, "R-squared");
    expect_relative(out.f, 330.285339234588, 1e-10, "F");
    EXPECT_EQ(text.find("Intercept could not be entered"), std::string::npos);
    // The fitted values against the certified model, case by case.
    std::vector<std::vector<double>> x(8);
    for (int v = 1; v <= 7; ++v) x[static_cast<size_t>(v)] = testing::read_column(dir.file("longley.csv.rkd"), v);
    ASSERT_EQ(out.fitted.size(), 16u);
    for (size_t c = 0; c < 16; ++c) {
        double certified = b[0];
        for (size_t j = 1; j < 7; ++j) certified += b[j] * x[j + 1][c];
        expect_relative(out.fitted[c], certified, 1e-11, "fitted " + std::to_string(c));
        expect_relative(out.residual[c], x[1][c] - certified, 1e-7, "residual " + std::to_string(c));
    }
}

// Norris (NIST StRD): B0 -0.262323073774029, B1 1.00211681802045, their SEs
// 0.232818234301152 and 0.429796848199937E-03; y = 1 + x + ... + x^5 on x = 0..20
// (certified: every coefficient 1, residual SD 0); small units (x to 3e6, y to 3),
// R: d <- read.csv("small_units.csv"); f <- lm(y ~ x + x2, d), t from the HC3 errors.
TEST(Regression, NorrisPolynomialAndSmallUnits) {
    ScratchDir dir;
    std::string text;
    RegressionOutput out = fit(import(dir, "norris.csv"), 2, &text);
    expect_relative(out.coefficients[0], -0.262323073774029, 1e-10, "Norris B0");
    expect_relative(out.coefficients[1], 1.00211681802045, 1e-10, "Norris B1");
    expect_relative(out.ordinary_se[0], 0.232818234301152, 1e-10, "Norris SE0");
    expect_relative(out.ordinary_se[1], 0.429796848199937E-03, 1e-10, "Norris SE1");

    std::vector<TestVariable> polynomial(6);
    polynomial[0].name = "y";
    for (int power = 1; power <= 5; ++power) polynomial[static_cast<size_t>(power)].name = "x" + std::to_string(power);
    for (int x = 0; x <= 20; ++x) {
        double y = 1, term = 1;
        for (int power = 1; power <= 5; ++power) {
            term *= x;
            y += term;
            polynomial[static_cast<size_t>(power)].values.push_back(term);
        }
        polynomial[0].values.push_back(y);
    }
    testing::write_numeric_file(dir.file("poly.rkd"), polynomial);
    out = fit(dir.file("poly.rkd"), 6, &text);
    // With all five terms in, x^3 and x^4 have tolerances 4.4e-6 and 3.8e-6 (R:
    // 1 - R^2 of each power on the other four), so one term is refused, and said so.
    EXPECT_NE(text.find("   1 variables were not entered because they failed the tolerance test"), std::string::npos)
        << text;
    EXPECT_EQ(std::count(out.entered.begin() + 1, out.entered.begin() + 6, 1), 4);
    out = fit(import(dir, "small_units.csv"), 3, &text);
    const double hetero_t[] = {2.0112301133118731, 1984.1545276355707301, -249.5100987212919392};
    for (size_t j = 0; j < 3; ++j)
        expect_relative(out.coefficients[j] / out.hetero_se[j], hetero_t[j], 1e-7, "t" + std::to_string(j));
    expect_relative(out.ordinary_se[2], 1.3814491054336654e-16, 1e-7, "SE of x2");
    expect_relative(out.f, 35270369.27063594, 1e-7, "s$fstatistic");
    EXPECT_NE(text.find("1984.155"), std::string::npos) << text;
    EXPECT_NE(text.find("-249.510"), std::string::npos) << text;
}

// The result arrays: fitted values and residuals of every case, 1e35 where a
// case is not selected or misses a value; an array is filled to its length only
// by the native method (copy_to_java), so here the blocks' lengths are checked.
TEST(Regression, ResultArraysHoldEveryCase) {
    ScratchDir dir;
    testing::write_numeric_file(dir.file("short.rkd"),
                                {{"y", {1, 3, 2, 5, kSystemMissing, 6, 8}}, {"x", {1, 2, 3, 4, 5, 6, 7}}});
    AnalysisResults results;
    AnalysisArguments arguments{{variables_argument({1, 2}), word_argument("standard")}, {1, 1, 1, 1, 1, 1, 0}};
    arguments.results = &results;
    testing::record_run(dir, dir.file("short.rkd"), "arrays", [&] {
        EXPECT_EQ(run_analysis(AnalysisId::regression_standard, dir.file("short.rkd"), "arrays", arguments), 0);
    });
    // R: f <- lm(y ~ x, data.frame(x = c(1, 2, 3, 4, 6), y = c(1, 3, 2, 5, 6))); fitted(f); resid(f)
    testing::expect_near_each(results.first,
                              {1.2297297297297294, 2.2162162162162167, 3.2027027027027026, 4.1891891891891886,
                               kSystemMissing, 6.1621621621621623, kSystemMissing},
                              1e-12, "fitted");
    testing::expect_near_each(results.second,
                              {-0.22972972972972941, 0.78378378378378322, -1.20270270270270263, 0.81081081081081108,
                               kSystemMissing, -0.16216216216216220, kSystemMissing},
                              1e-12, "residuals");
}

// A copy of a predictor fails the tolerance test, a constant is left out, the
// intercept still enters; n = p + 1 stops hierarchical stepping.
TEST(Regression, CopiesConstantsAndZeroDegreesOfFreedom) {
    ScratchDir dir;
    const std::string path = dir.file("edge.rkd");
    testing::write_numeric_file(path, {{"y", {1, 2, 4, 3, 7}}, {"x", {5, 3, 1, 2, 8}}, {"copy", {5, 3, 1, 2, 8}},
                                       {"constant", {2, 2, 2, 2, 2}}});
    struct Case {
        AnalysisId id;
        const char* word;
        std::vector<int> variables;
        std::vector<int32_t> selection;
        const char* expected;
    };
    const Case cases[] = {
        {AnalysisId::regression_standard, "standard", {1, 2, 3, 4}, {},
         "1 variables are constant, and are not entered\n"},
        {AnalysisId::regression_standard, "standard", {1, 2, 3, 4}, {},
         "   1 variables were not entered because they failed the tolerance test\n"},
        {AnalysisId::regression_hierarchical, "hierarchical", {1, 2, 4}, {1, 1, 0, 0, 0},
         "Stepping stops because of zero degrees of freedom.\n"},
        {AnalysisId::regression_standard, "standard", {4, 1, 2}, {},
         "Dependent variable is constant, so no regression is done.\n"},
    };
    for (const Case& c : cases) {
        AnalysisArguments arguments{{variables_argument(c.variables), word_argument(c.word)}, c.selection};
        const std::string record =
            testing::record_run(dir, path, "edge", [&] { run_analysis(c.id, path, "edge", arguments); });
        EXPECT_NE(testing::section(record, "out").find(c.expected), std::string::npos) << c.expected << record;
        EXPECT_EQ(record.find("Intercept could not be entered"), std::string::npos);
    }
}

// Whole runs on mtcars (mpg on wt, hp, disp, qsec), each method, and the
// standard method on the matrix file correlation writes.
TEST(Regression, GoldenRuns) {
    ScratchDir dir;
    const std::string cars = testing::import_sample(dir, "mtcars.csv", "cars.rkd", {});
    const std::vector<int> variables = {2, 7, 5, 4, 8};  // mpg, wt, hp, disp, qsec
    struct Run {
        const char* name;
        AnalysisId id;
        const char* word;
        double f_level;
    };
    const Run runs[] = {{"standard", AnalysisId::regression_standard, "standard", 0},
                        {"hierarchical", AnalysisId::regression_hierarchical, "hierarchical", 0},
                        {"forward", AnalysisId::regression_step, "forward", -1.0},
                        {"backward", AnalysisId::regression_step, "backward", 4.0}};
    for (const Run& run : runs) {
        AnalysisArguments arguments{{variables_argument(variables), word_argument(run.word)}, {}};
        if (run.id == AnalysisId::regression_step) arguments.values.push_back(number_argument(run.f_level));
        const std::string record = testing::record_run(dir, cars, run.name, [&] {
            EXPECT_EQ(run_analysis(run.id, cars, run.name, arguments), 0) << run.name;
        });
        testing::expect_golden(std::string("regression/") + run.name + ".txt", testing::mask_banner_time(record));
    }
    // The F-to-enter lists are R's: add1(lm(mpg ~ 1), ~ wt + hp + disp + qsec, test = "F"), then
    // from mpg ~ wt and mpg ~ wt + hp; forward enters wt, then hp, then stops.
    const std::string forward = testing::read_text(dir.file("cars_forward.out"));
    for (const char* line : {"       wt      91.375\n", "       hp      45.460\n", "     disp      76.513\n",
                             "     qsec       6.377\n", "       hp      12.381\n", "     disp       3.720\n",
                             "     qsec      12.293\n", "     disp       0.008\n", "     qsec       1.353\n",
                             "VARIABLE ENTERED: wt\n", "VARIABLE ENTERED: hp\n"})
        EXPECT_NE(forward.find(line), std::string::npos) << line;
    AnalysisArguments correlation{{variables_argument(variables), word_argument("complete"), word_argument("corr"),
                                   integer_argument(0), integer_argument(1)},
                                  {}};
    testing::record_run(dir, cars, "matrix", [&] {
        EXPECT_EQ(run_analysis(AnalysisId::correlation, cars, "matrix", correlation), 0);
    });
    const std::string matrix = dir.file("Matrix.rkd");
    const std::string record = testing::record_run(dir, matrix, "matrix", [&] {
        AnalysisArguments arguments{{variables_argument({1, 2, 3, 4, 5}), word_argument("standard")}, {}};
        EXPECT_EQ(run_analysis(AnalysisId::regression_standard, matrix, "matrix", arguments), 0);
    });
    testing::expect_golden("regression/matrix_input.txt", record);
}

}  // namespace
}  // namespace quorix
