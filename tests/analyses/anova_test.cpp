// One-way and two-way ANOVA: whole runs against golden files (which pin the
// banner and table text), the table against R's aov, every refusal of the design checks.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>

#include "analyses/basic/anova.h"
#include "analyses/registry.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::import_sample;
using testing::ScratchDir;
using testing::section;
using testing::TestVariable;

struct AnovaRun {
    int status = 0;
    std::string record;
};

// One-way with two variables, two-way with three.
AnovaRun run_anova(const ScratchDir& dir, const std::string& path, const std::string& name,
                   const std::vector<int>& vars) {
    AnovaRun run;
    run.record = testing::record_run(dir, path, name, [&] {
        run.status = run_analysis(vars.size() == 2 ? AnalysisId::anova_one : AnalysisId::anova_two, path, name,
                                  {{variables_argument(vars)}, {}});
    });
    return run;
}

TEST(Anova, SampleDataGoldens) {
    ScratchDir dir;
    const std::string plants = import_sample(dir, "plantgrowth.csv", "plants.rkd", {"group=1:ctrl,2:trt1,3:trt2"});
    testing::expect_golden("anova/plantgrowth.txt", run_anova(dir, plants, "one", {1, 2}).record);
    // supp labelled, dose levels shown with "%8g".
    const std::string tooth = import_sample(dir, "toothgrowth.csv", "tooth.rkd", {"supp=1:OJ,2:VC"});
    testing::expect_golden("anova/toothgrowth.txt", run_anova(dir, tooth, "two", {1, 2, 3}).record);
}

struct AnovaRow {
    std::string source;
    double ss = 0, ms = -1, f = -1, p = -1;  // -1: the element is empty
    int df = -1;
};

// The <ANOVASTAT> rows of an XML result document.
std::vector<AnovaRow> anova_rows(const std::string& xml) {
    std::vector<AnovaRow> rows;
    size_t at = xml.find("<ANOVASTAT>");
    auto element = [&](const std::string& tag) {
        const size_t open = xml.find("<" + tag + ">", at) + tag.size() + 2;
        at = xml.find("</" + tag + ">", open);
        return xml.substr(open, at - open);
    };
    auto number = [&](const std::string& tag) {
        const std::string text = element(tag);
        return text.empty() ? -1.0 : std::stod(text);
    };
    while (at != std::string::npos && xml.find("<sName>", at) != std::string::npos) {
        AnovaRow row;
        row.source = element("sName");
        row.ss = number("SS");
        row.df = static_cast<int>(number("DF"));
        row.ms = number("MeanSqr");
        row.f = number("fValue");
        row.p = number("pValue");
        rows.push_back(row);
    }
    return rows;
}

void expect_rows(const std::vector<AnovaRow>& rows, const std::vector<AnovaRow>& expected) {
    ASSERT_EQ(rows.size(), expected.size());
    for (size_t r = 0; r < rows.size(); ++r) {
        EXPECT_EQ(rows[r].source, expected[r].source);
        EXPECT_EQ(rows[r].df, expected[r].df) << expected[r].source;
        for (const auto& [got, want] : {std::pair{rows[r].ss, expected[r].ss},
                                        {rows[r].ms, expected[r].ms},
                                        {rows[r].f, expected[r].f},
                                        {rows[r].p, expected[r].p}})
            EXPECT_NEAR(got, want, want < 0 ? 0 : 6e-4) << expected[r].source;
    }
}

TEST(Anova, TablesAgainstR) {
    // R: i <- 0:23; lev <- c(2, 5, 9, 11); g <- lev[(i * 7) %% 4 + 1]; y <- ((i * 37) %% 23) / 3 + match(g, lev) * 0.8
    // summary(aov(y ~ factor(g)))
    ScratchDir dir;
    const double levels[] = {2, 5, 9, 11};
    TestVariable y{"y", {}}, g{"g", {}};
    for (int i = 0; i < 24; ++i) {
        const int level = (i * 7) % 4;
        g.values.push_back(levels[level]);
        y.values.push_back(((i * 37) % 23) / 3.0 + (level + 1) * 0.8);
    }
    testing::write_numeric_file(dir.file("one.rkd"), {y, g});
    AnovaRun run = run_anova(dir, dir.file("one.rkd"), "r", {1, 2});
    ASSERT_EQ(run.status, 0);
    expect_rows(anova_rows(section(run.record, "xml")),
                {{"g", 36.3842592592592, 12.1280864197531, 1.98369428037761, 0.148886065052125, 3},
                 {"ERROR", 122.277777777778, 6.11388888888889, -1, -1, 20},
                 {"TOTAL", 158.662037037037, -1, -1, -1, 23}});

    // Two-way, cases scrambled. R: i <- 0:35; cell <- (i * 5) %% 12; ai <- cell %% 3; bi <- cell %/% 3
    // A <- c(3, 1, 7)[ai + 1]; B <- c(10, 20, 30, 40)[bi + 1]
    // y <- ((i * 29) %% 31) / 4 + ai * 1.5 + bi * 0.7 + ((ai * bi) %% 3) * 0.9
    // summary(aov(y ~ factor(A) * factor(B)))
    const double a_levels[] = {3, 1, 7};
    TestVariable a{"a", {}}, b{"b", {}};
    y.values.clear();
    for (int i = 0; i < 36; ++i) {
        const int cell = (i * 5) % 12, ai = cell % 3, bi = cell / 3;
        a.values.push_back(a_levels[ai]);
        b.values.push_back(10.0 * (bi + 1));
        y.values.push_back(((i * 29) % 31) / 4.0 + ai * 1.5 + bi * 0.7 + ((ai * bi) % 3) * 0.9);
    }
    testing::write_numeric_file(dir.file("two.rkd"), {y, a, b});
    run = run_anova(dir, dir.file("two.rkd"), "r", {1, 2, 3});
    ASSERT_EQ(run.status, 0);
    expect_rows(anova_rows(section(run.record, "xml")),
                {{"a", 125.890138888889, 62.9450694444443, 9.21615658362988, 0.00107194970366185, 2},
                 {"b", 47.0174305555556, 15.6724768518519, 2.29469920352483, 0.103453635278083, 3},
                 {"INTERACTION", 29.1881944444444, 4.86469907407407, 0.712269106931029, 0.643173471598497, 6},
                 {"ERROR", 163.916666666667, 6.82986111111111, -1, -1, 24},
                 {"TOTAL", 366.012361111111, -1, -1, -1, 35}});
}

// A data file of y and one or two factors given case by case.
std::string design_file(const ScratchDir& dir, const std::vector<double>& a, const std::vector<double>& b = {},
                        std::vector<double> y = {}) {
    for (size_t i = y.size(); i < a.size(); ++i) y.push_back(static_cast<double>(i % 7) + 0.5 * a[i]);
    std::vector<TestVariable> variables = {{"y", y}, {"a", a}};
    if (!b.empty()) variables.push_back({"b", b});
    const std::string path = dir.file("design.rkd");
    testing::write_numeric_file(path, variables);
    return path;
}

// A design of a x b levels with the given case count per cell, cell by cell.
std::string crossed(const ScratchDir& dir, int a, int b, const std::vector<int>& sizes) {
    std::vector<double> va, vb;
    for (int cell = 0; cell < a * b; ++cell)
        for (int k = 0; k < sizes[static_cast<size_t>(cell) % sizes.size()]; ++k) {
            va.push_back(cell % a);
            vb.push_back(cell / a);
        }
    return design_file(dir, va, vb);
}

void expect_refused(const AnovaRun& run, const std::string& message) {
    EXPECT_EQ(run.status, -1) << message;
    EXPECT_NE(section(run.record, "log").find("\n" + message + "\n"), std::string::npos) << run.record;
    EXPECT_EQ(section(run.record, "xml").find("<RESULT "), std::string::npos) << message;
    EXPECT_EQ(section(run.record, "out"), "") << message;
}

TEST(Anova, DesignChecks) {
    ScratchDir dir;
    std::vector<double> levels36, levels37;
    for (int i = 0; i < 72; ++i) levels36.push_back(i % 36);
    for (int i = 0; i < 74; ++i) levels37.push_back(i % 37);
    EXPECT_EQ(run_anova(dir, design_file(dir, levels36), "l36", {1, 2}).status, 0);
    expect_refused(run_anova(dir, design_file(dir, levels37), "l37", {1, 2}),
                   "Independent variable has more than 36 categories!");
    expect_refused(run_anova(dir, design_file(dir, {4, 4, 4}), "const", {1, 2}),
                   " Independent variable is a constant!");
    expect_refused(run_anova(dir, design_file(dir, {1, 2, 1}), "unequal", {1, 2}),
                   "Independent variable has unequal-size categories!");

    EXPECT_EQ(run_anova(dir, crossed(dir, 6, 6, {1}), "c36", {1, 2, 3}).status, 0);
    expect_refused(run_anova(dir, crossed(dir, 2, 19, {1}), "c38", {1, 2, 3}), "The design has more than 36 cells!");
    EXPECT_EQ(run_anova(dir, crossed(dir, 2, 3, {2}), "c12", {1, 2, 3}).status, 0);
    const std::string unbalanced = "The design is unbalanced (Cell sizes not all equal)!";
    expect_refused(run_anova(dir, crossed(dir, 2, 3, {2, 2, 2, 2, 2, 1}), "c11", {1, 2, 3}), unbalanced);
    expect_refused(run_anova(dir, crossed(dir, 2, 3, {3, 1, 2}), "c12b", {1, 2, 3}), unbalanced);  // while filling
    expect_refused(run_anova(dir, design_file(dir, {0, 1, 0, 1, 0}, {0, 1, 2, 0, 1}), "c5", {1, 2, 3}),
                   "Some cells are empty!");
    expect_refused(run_anova(dir, design_file(dir, {1, 1, 1, 1}, {1, 2, 1, 2}), "a1", {1, 2, 3}),
                   " First independent variable is a constant!");
    expect_refused(run_anova(dir, design_file(dir, {1, 2, 1, 2}, {3, 3, 3, 3}), "b1", {1, 2, 3}),
                   " Second independent variable is a constant!");
    expect_refused(run_anova(dir, design_file(dir, {1, 2}, {}, {1e35, 1e35}), "none", {1, 2}),
                   " No used cases were found!");
}

TEST(Anova, DegenerateTablesAndHostileColumns) {
    ScratchDir dir;
    // One case per cell: no error df, so no F and p 1.
    std::vector<AnovaRow> rows =
        anova_rows(section(run_anova(dir, crossed(dir, 2, 3, {1}), "single", {1, 2, 3}).record, "xml"));
    ASSERT_EQ(rows.size(), 5u);
    EXPECT_EQ(rows[3].df, 0);
    EXPECT_EQ(rows[3].ms, 0);
    for (int r = 0; r < 3; ++r) {
        EXPECT_EQ(rows[r].f, 0);
        EXPECT_EQ(rows[r].p, 1);
    }
    // Equal group means: nothing between the groups.
    rows = anova_rows(
        section(run_anova(dir, design_file(dir, {1, 2, 1, 2}, {}, {1, 3, 3, 1}), "flat", {1, 2}).record, "xml"));
    ASSERT_EQ(rows.size(), 3u);
    EXPECT_EQ(rows[0].ss, 0);
    EXPECT_EQ(rows[0].f, 0);
    EXPECT_EQ(rows[0].p, 1);
    // A missing y leaves its case out of the groups and of the whole sample.
    const AnovaRun missing = run_anova(dir, design_file(dir, {1, 1, 1, 2, 2}, {}, {1e35, 1, 2, 3, 4}), "miss", {1, 2});
    EXPECT_EQ(missing.status, 0);
    EXPECT_NE(missing.record.find(" Number of cases used in this analysis are ..      4\n"), std::string::npos);
    EXPECT_NE(missing.record.find("<Cases>    4</Cases>"), std::string::npos);
    // Non-finite values end cleanly; a variable outside the file is refused.
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    EXPECT_EQ(run_anova(dir, design_file(dir, {1, 2, 1, 2}, {}, {nan, inf, 1e308, -1e308}), "odd", {1, 2}).status, 0);
    expect_refused(run_anova(dir, design_file(dir, {nan, nan, 1, 1, 2, 2}), "nan", {1, 2}),
                   "Independent variable has unequal-size categories!");
    EXPECT_EQ(run_anova(dir, design_file(dir, {1, 2}), "range", {1, 2, 9}).status, -1);
}

TEST(Anova, LongNamesAndLabels) {
    ScratchDir dir;
    ValueLabelSet labels;
    labels.variable_name = "factorwithalongname";
    labels.entries[0] = {"a label longer than eleven", "1"};
    labels.entry_count = 1;
    testing::write_numeric_file(dir.file("long.rkd"), {{"y", {1, 2, 3, 5}}, {"factorwithalongname", {1, 2, 1, 2}}},
                                kLongSignature, {labels});
    const AnovaRun run = run_anova(dir, dir.file("long.rkd"), "long", {1, 2});
    // Level texts whole, unlabelled levels "%8g"; the table's label cut to its 11 columns, the XML's whole.
    EXPECT_NE(run.record.find("factorwithalongname (a label longer than eleven)\n"), std::string::npos);
    EXPECT_NE(run.record.find("factorwithalongname (       2)\n"), std::string::npos);
    // p: R pf(2.25 / 3.25, 1, 2, lower.tail = FALSE) = 0.4929
    EXPECT_NE(run.record.find("\nfactorwitha             2.250     1         2.250    0.692    0.493\r\n"),
              std::string::npos)
        << section(run.record, "out");
    EXPECT_NE(run.record.find("<sName>factorwithalongname</sName>"), std::string::npos);
}

}  // namespace
}  // namespace quorix
