// General linear model: golden runs, the fit against R's least squares, the
// design count and labels, and every refusal of the run.
#include <gtest/gtest.h>

#include <cstdlib>
#include <string>
#include <vector>

#include "analyses/glm/glm_model.h"
#include "analyses/registry.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;
using testing::section;
using testing::TestVariable;

struct GlmRunResult {
    int status = 0;
    std::string record;
};

GlmRunResult run_glm(const ScratchDir& dir, const std::string& path, const std::string& name, int dependent,
                     const std::vector<int>& factors, const std::vector<int>& covariates) {
    GlmRunResult run;
    run.record = testing::record_run(dir, path, name, [&] {
        run.status = run_analysis(AnalysisId::anova_glm, path, name,
                                  {{variables_argument({dependent}), variables_argument(factors),
                                    variables_argument(covariates)},
                                   {}});
    });
    return run;
}

// Every <tag> value of an XML document, in document order.
std::vector<double> element_values(const std::string& xml, const std::string& tag) {
    std::vector<double> values;
    const std::string open = "<" + tag + ">";
    for (size_t at = xml.find(open); at != std::string::npos; at = xml.find(open, at + 1))
        values.push_back(std::strtod(xml.c_str() + at + open.size(), nullptr));
    return values;
}

// 24 cases, a 2 x 3 x 2 factorial with two replicates and two covariates; the
// same columns as the R script below builds.
std::vector<TestVariable> factorial_columns() {
    std::vector<TestVariable> v{{"y", {}}, {"a", {}}, {"b", {}}, {"cc", {}}, {"x1", {}}, {"x2", {}}};
    for (int i = 0; i < 24; ++i) {
        const double a = i % 2 + 1, b = (i / 2) % 3 + 1, c = (i / 6) % 2 + 1;
        const double x1 = (i * 7) % 5 + i / 10.0, x2 = (i * 3) % 7 - 1.5 * (i % 3);
        v[0].values.push_back(10 + a + 0.5 * b * c + x1 - 0.3 * x2 + ((i * 13) % 17) / 4.0);
        v[1].values.push_back(a);
        v[2].values.push_back(b);
        v[3].values.push_back(c);
        v[4].values.push_back(x1);
        v[5].values.push_back(x2);
    }
    return v;
}

TEST(Glm, Goldens) {
    ScratchDir dir;
    const std::string tooth = testing::import_sample(dir, "toothgrowth.csv", "tooth.rkd", {"supp=1:OJ,2:VC"});
    testing::expect_golden("glm/toothgrowth.txt", run_glm(dir, tooth, "one", 1, {2}, {3}).record);
    const std::string path = dir.file("factorial.rkd");
    testing::write_numeric_file(path, factorial_columns());
    testing::expect_golden("glm/factorial.txt", run_glm(dir, path, "three", 1, {2, 3, 4}, {5, 6}).record);
}

// R 4 (contrasts contr.sum):
//   i <- 0:23; a <- i %% 2 + 1; b <- (i %/% 2) %% 3 + 1; cc <- (i %/% 6) %% 2 + 1
//   x1 <- (i * 7) %% 5 + i / 10; x2 <- (i * 3) %% 7 - 1.5 * (i %% 3)
//   y <- 10 + a + 0.5 * b * cc + x1 - 0.3 * x2 + ((i * 13) %% 17) / 4
//   m <- lm(y ~ a * b * cc + x1 + x2) with a, b, cc factors; N <- 24; s2 <- sum(resid(m)^2) / N
//   beta: coef(m); SE: sqrt(diag(vcov(m)) * (N - 14) / N) (the ML variance);
//   Wald of a term: (RSS without its columns - RSS) / s2; SS = Wald * s2;
//   F = (SS / df) / (N s2 / (N - 14)); p = pf(F, df, 10, lower.tail = FALSE);
//   Wald p = pchisq(Wald, df, lower.tail = FALSE); logL = -N/2 (1 + log(2 pi) + log(s2));
//   SE of s2 = sqrt(2 s2^2 / N). Reordered to the model's parameter and term order.
TEST(Glm, FactorialAgainstLeastSquares) {
    ScratchDir dir;
    const std::string path = dir.file("factorial.rkd");
    testing::write_numeric_file(path, factorial_columns());
    const GlmRunResult run = run_glm(dir, path, "three", 1, {2, 3, 4}, {5, 6});
    ASSERT_EQ(run.status, 0) << run.record;
    const std::string xml = section(run.record, "xml");
    const std::vector<double> beta{15.08031131,   -0.7775350304, -0.5265028653, -0.2125179081, -0.6636545587,
                                   -0.6283887583, 0.6192237923,  -0.2478629423, 0.1791308504,  0.5666845748,
                                   -0.2338431351, 0.991720391,   0.829914041,   -0.02886274389, 0.4809622541};
    const std::vector<double> se{0.380630143,  0.1442474389, 0.2002342067, 0.2015179199, 0.1460506891,
                                 0.2244334678, 0.2631170846, 0.1574917512, 0.205419874,  0.2015179199,
                                 0.2778302551, 0.211763419,  0.1104296514, 0.1100789517};
    const std::vector<double> wald{29.05518912, 14.2553561, 20.64795016, 8.472519184, 2.476894891,
                                   15.08717205, 22.28210734, 56.48001746, 0.06874904363};
    const std::vector<double> wald_p{7.034542349e-08, 0.000802580777, 5.519624946e-06, 0.01446158303, 0.1155301344,
                                     0.0005294954293, 1.450447014e-05, 5.677239554e-14, 0.793166954};
    const std::vector<double> ss{754.9622767, 13.97444925, 6.856288204, 9.93088465, 4.074961925,
                                 1.19129295,  7.256360277, 10.71685257, 27.16475651, 0.03306569499, 11.54309410};
    const std::vector<double> f{654.038051,  12.1063288,  2.969865855, 8.603312565, 1.765108163,
                                1.032039538, 3.143160844, 4.642105696, 23.53334061, 0.02864543485};
    const std::vector<double> p{1.918133507e-10, 0.005926996596, 0.09718404328, 0.01496012793, 0.2205343776,
                                0.3336287622,    0.08727401508,  0.0374964871,  0.00067025397, 0.8689749731};
    auto expect_near_all = [&](const std::string& tag, const std::vector<double>& expected, size_t count) {
        const std::vector<double> actual = element_values(xml, tag);
        ASSERT_GE(actual.size(), count) << tag;
        for (size_t i = 0; i < count; ++i) EXPECT_NEAR(actual[i], expected[i], 0.0006) << tag << " " << i;
    };
    expect_near_all("Value", beta, beta.size());
    expect_near_all("AsymStd", se, se.size());
    expect_near_all("Std", {0.1388418434}, 1);
    expect_near_all("ChiSquare", wald, wald.size());
    expect_near_all("SS", ss, ss.size());  // the last row: error SS = N s2
    expect_near_all("fValue", f, f.size());
    expect_near_all("pValue", p, p.size());  // the ANOVA rows come first
    const std::vector<double> all_p = element_values(xml, "pValue");
    ASSERT_GE(all_p.size(), 11 + wald_p.size());
    for (size_t i = 0; i < wald_p.size(); ++i) EXPECT_NEAR(all_p[11 + i], wald_p[i], 0.0006) << i;
    EXPECT_NEAR(element_values(xml, "dLogLik").at(0), -25.27092697, 1e-4);
    EXPECT_NE(xml.find("<FinalStatus>Convergence</FinalStatus>"), std::string::npos);
}

// Four factors of 10 levels: orders 1 and 2 give 36 + 486 = 522 parameters,
// order 3 is started (522 <= 999) and brings 3438; order 4 is not started.
TEST(Glm, DesignCountAndLabels) {
    GlmModel model;
    model.grouping = {1, 2, 3, 4};
    model.covariates = {5};
    model.levels.assign(4, std::vector<double>(10, 0.0));
    ASSERT_EQ(glm_count_design(model), 0);
    EXPECT_EQ(model.highest_order, 3);
    EXPECT_EQ(model.k, 1 + 3438 + 1);

    // Distinct first letters; labels cut to 23 (terms) and 27 (parameters) characters.
    model.grouping = {1, 2};
    model.levels.assign(2, std::vector<double>(3, 0.0));
    model.grouping_names = {"GROUP", "dose_level_of_the_long_named_treatment"};
    model.covariate_names = {"x"};
    ASSERT_EQ(glm_count_design(model), 0);
    glm_make_labels(model);
    ASSERT_EQ(model.terms.size(), 5u);
    EXPECT_EQ(model.terms[1].label, "GROUP (G)");
    EXPECT_EQ(model.terms[2].label, "dose_level_of_the_long_");
    EXPECT_EQ(model.terms[3].label, "G.d");
    EXPECT_EQ(model.parameter_labels,
              (std::vector<std::string>{"Intercept", "G1", "G2", "d1", "d2", "G1.d1", "G1.d2", "G2.d1", "G2.d2", "x"}));
    // A repeated letter (a covariate's included) puts every letter to A, B, C.
    model.covariate_names = {"dose"};
    glm_make_labels(model);
    EXPECT_EQ(model.terms[1].label, "GROUP (A)");
    EXPECT_EQ(model.parameter_labels[5], "A1.B1");
    model.grouping_names[0] = std::string(30, 'Q');
    glm_make_labels(model);
    EXPECT_EQ(model.parameter_labels[1], "A1");
    EXPECT_EQ(model.terms[4].label, "dose");
}

TEST(Glm, Refusals) {
    ScratchDir dir;
    const std::string path = dir.file("refusals.rkd");
    std::vector<TestVariable> v{{"y", {}}, {"g16", {}}, {"same", {}}, {"flat", {}}, {"x", {}}, {"one", {}}};
    for (int i = 0; i < 32; ++i) {
        v[0].values.push_back(i * 0.7 + (i % 3));
        v[1].values.push_back(i % 16);
        v[2].values.push_back(4);
        v[3].values.push_back(2.5);
        v[4].values.push_back(i % 5);
        v[5].values.push_back(i == 7 ? 1.0 : kSystemMissing);
    }
    testing::write_numeric_file(path, v);
    struct Case {
        int dependent;
        std::vector<int> factors, covariates;
        const char* channel;
        const char* message;
    } cases[] = {
        {1, {}, {5}, "log", " You must select at least one independent variable.\n"},
        {1, {2}, {}, "log", " You must select at least one covariate variable.\n"},
        {1, {2}, {5}, "log", "Grouping variable g16 has more than 15 categories.\n"},
        {1, {3}, {5}, "log", "Grouping variable same is a constant.\n"},
        {4, {5}, {1}, "console", "Dependent variable is constant!\n"},
        {1, {5}, {6}, "log", " Fewer than two used cases were found.\n"},
    };
    for (const Case& c : cases) {
        const GlmRunResult run = run_glm(dir, path, "r", c.dependent, c.factors, c.covariates);
        EXPECT_EQ(run.status, 2) << c.message;
        EXPECT_NE(section(run.record, c.channel).find(c.message), std::string::npos) << run.record;
        EXPECT_EQ(section(run.record, "xml").find("<RESULT "), std::string::npos) << c.message;
    }
    // 15 levels are accepted.
    for (double& value : v[1].values) value = static_cast<double>(static_cast<int>(value) % 15);
    testing::write_numeric_file(path, v);
    EXPECT_EQ(run_glm(dir, path, "r", 1, {2}, {5}).status, 0);
}

// Designs that leave columns inestimable still report: their parameters show
// zero estimates and standard errors. A perfect fit has an unbounded
// likelihood, which the step halvings end.
TEST(Glm, DegenerateDesigns) {
    ScratchDir dir;
    const std::string path = dir.file("degenerate.rkd");
    std::vector<TestVariable> v = factorial_columns();
    v.push_back({"twice", {}});
    v.push_back({"code", {}});
    for (size_t i = 0; i < 24; ++i) {
        v[6].values.push_back(2 * v[4].values[i]);                 // collinear with x1
        v[7].values.push_back(v[1].values[i] == 1 ? 1.0 : -1.0);  // a's effect coding
    }
    testing::write_numeric_file(path, v);
    const struct {
        std::vector<int> factors, covariates;
        std::vector<int32_t> selection;
        const char* status;
    } cases[] = {
        {{2, 3, 4}, {5, 7}, {}, "Convergence"},
        {{2, 3}, {8}, {}, "Convergence"},
        // Cases 0 and 12 are cell (1, 1, 1): left out, the cell is empty.
        {{2, 3, 4}, {5}, {0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, "Convergence"},
        // One case per cell: no error degrees of freedom left.
        {{2, 3, 4}, {5}, {1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1}, "Too Many Step Halvings"},
    };
    for (const auto& c : cases) {
        GlmRunResult run;
        run.record = testing::record_run(dir, path, "d", [&] {
            run.status = run_analysis(AnalysisId::anova_glm, path, "d",
                                      {{variables_argument({1}), variables_argument(c.factors),
                                        variables_argument(c.covariates)},
                                       c.selection});
        });
        EXPECT_EQ(run.status, 0) << run.record;
        const std::string xml = section(run.record, "xml");
        EXPECT_NE(xml.find(std::string("<FinalStatus>") + c.status + "</FinalStatus>"), std::string::npos)
            << run.record;
        if (c.selection.size() != 12) {
            EXPECT_NE(xml.find("<AsymStd>      0.000</AsymStd>"), std::string::npos) << run.record;
        }
        EXPECT_EQ(xml.find("nan"), std::string::npos) << run.record;
    }
}

}  // namespace
}  // namespace quorix
