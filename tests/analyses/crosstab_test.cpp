// Cross tabulation: whole runs against golden files, the chi-square statistics
// against independent values, the panel layout, and hostile tables.
#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <sstream>

#include "analyses/basic/crosstab.h"
#include "analyses/registry.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::import_sample;
using testing::ScratchDir;
using testing::section;
using testing::TestVariable;

constexpr int kAllLines = kShowCellPercent | kShowRowPercent | kShowColumnPercent | kShowExpected;

std::string hair_eye_color(const ScratchDir& dir) {
    return import_sample(
        dir, "haireyecolor.csv", "hair.rkd",
        {"Hair=1:Black,2:Brown,3:Red,4:Blond", "Eye=1:Brown,2:Blue,3:Hazel,4:Green", "Sex=1:Male,2:Female"});
}

std::string two_way_record(const ScratchDir& dir, const std::string& path, const std::string& run, int row, int column,
                           int display, const std::vector<int32_t>& selection = {}) {
    return testing::record_run(dir, path, run,
                               [&] { run_analysis(AnalysisId::crosstab_two, path, run, {{variables_argument({row, column}), integer_argument(display)}, selection}); });
}

TEST(Crosstab, HairByEyeGoldens) {
    ScratchDir dir;
    const std::string path = hair_eye_color(dir);
    // Value labels on both variables; every optional line, then none.
    testing::expect_golden("crosstab/hair_eye_all.txt", two_way_record(dir, path, "all", 1, 2, kAllLines));
    testing::expect_golden("crosstab/hair_eye_none.txt", two_way_record(dir, path, "none", 1, 2, 0));
    // Layers of sex: a subtable each, the statistics of mutual independence, no XML result.
    testing::expect_golden("crosstab/hair_eye_sex.txt", testing::record_run(dir, path, "three", [&] {
                               run_analysis(AnalysisId::crosstab_three, path, "three", {{variables_argument({1, 2, 3}), integer_argument(kAllLines)}, {}});
                           }));
}

TEST(Crosstab, SixColumnCategoriesMakeTwoPanelsGolden) {
    ScratchDir dir;
    const std::string path = import_sample(dir, "mtcars.csv", "cars.rkd", {});
    // cyl by carb (1, 2, 3, 4, 6, 8): five categories, then the sixth with TOTAL.
    testing::expect_golden("crosstab/cyl_carb.txt",
                           two_way_record(dir, path, "panels", 3, 12, kShowColumnPercent | kShowExpected));
}

// Rows and columns as two variables of a fresh data file.
std::string table_file(const ScratchDir& dir, const std::vector<double>& rows, const std::vector<double>& columns,
                       const std::vector<double>& layers = {}) {
    std::vector<TestVariable> variables = {{"r", rows}, {"c", columns}};
    if (!layers.empty()) variables.push_back({"l", layers});
    const std::string path = dir.file("table.rkd");
    testing::write_numeric_file(path, variables);
    return path;
}

std::string report_of(const ScratchDir& dir, const std::string& path, const std::string& run, int display = 0,
                      bool three_way = false) {
    return section(testing::record_run(dir, path, run,
                                       [&] {
                                           if (three_way)
                                               run_analysis(AnalysisId::crosstab_three, path, run, {{variables_argument({1, 2, 3}), integer_argument(display)}, {}});
                                           else
                                               run_analysis(AnalysisId::crosstab_two, path, run, {{variables_argument({1, 2}), integer_argument(display)}, {}});
                                       }),
                   "out");
}

struct ChiSquare {
    double statistic = -1, p = -1;
    long df = -1;
};

// The figures of the "Pearson" or "Likelihood" line of a report.
ChiSquare statistic_of(const std::string& report, const std::string& name) {
    ChiSquare result;
    const size_t at = report.find("\n" + name + " ");
    if (at != std::string::npos)
        std::istringstream(report.substr(at + name.size() + 1)) >> result.statistic >> result.df >> result.p;
    return result;
}

TEST(Crosstab, PerfectAssociationOfTwoByTwo) {
    ScratchDir dir;
    std::vector<double> rows, columns;
    for (int i = 0; i < 20; ++i) {
        rows.push_back(i < 10 ? 1 : 2);
        columns.push_back(i < 10 ? 1 : 2);
    }
    const std::string report = report_of(dir, table_file(dir, rows, columns), "diag");
    // X^2 = 4 x 5^2 / 5; G^2 = 2 x 20 ln 2.
    EXPECT_NE(report.find("\nMINIMUM ESTIMATED EXPECTED VALUE IS     5.000 IN (  1,  1)\n"), std::string::npos);
    EXPECT_NE(report.find("\nPearson              20.000           1      0.000\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nLikelihood           27.726           1      0.000\n"), std::string::npos);
}

// The generator the R reference uses: s <- (s * mult) %% mod, from the seed.
std::vector<double> generated(double seed, double mult, double mod, int n) {
    std::vector<double> values;
    for (double s = seed; static_cast<int>(values.size()) < n;) values.push_back(s = std::fmod(s * mult, mod));
    return values;
}

TEST(Crosstab, RandomTablesAgainstR) {
    // R: x <- gen(sx, 171, 30269, n); y <- gen(sy, 172, 30307, n); r <- (x %% R) * 2.5 - 1; c <- (y %% C) + 0.5
    // chisq.test(table(r, c), correct = FALSE); G2 <- 2 * sum(t * log(t / E)) over t > 0; pchisq(upper)
    const struct {
        int rows, columns, n;
        double seed_x, seed_y, pearson, likelihood, pearson_p, likelihood_p;
        long df;
    } cases[] = {{3, 4, 150, 1, 2, 6.797964, 6.748563, 0.339936, 0.344727, 6},
                 {5, 2, 40, 3, 4, 1.569859, 1.554240, 0.814199, 0.816992, 4},
                 {6, 7, 400, 5, 6, 49.580427, 49.258205, 0.013706, 0.014792, 30}};
    for (const auto& c : cases) {
        ScratchDir dir;
        std::vector<double> rows = generated(c.seed_x, 171, 30269, c.n), columns = generated(c.seed_y, 172, 30307, c.n);
        for (double& r : rows) r = std::fmod(r, c.rows) * 2.5 - 1;
        for (double& v : columns) v = std::fmod(v, c.columns) + 0.5;
        const std::string report = report_of(dir, table_file(dir, rows, columns), "random");
        const ChiSquare pearson = statistic_of(report, "Pearson"), likelihood = statistic_of(report, "Likelihood");
        EXPECT_NEAR(pearson.statistic, c.pearson, 6e-4) << c.rows << "x" << c.columns;
        EXPECT_NEAR(likelihood.statistic, c.likelihood, 6e-4);
        EXPECT_EQ(pearson.df, c.df);
        EXPECT_NEAR(pearson.p, c.pearson_p, 1e-3);
        EXPECT_NEAR(likelihood.p, c.likelihood_p, 1e-3);
    }
}

TEST(Crosstab, MutualIndependenceOfAThreeWayTableAgainstR) {
    // R: t <- table(x %% 2, y %% 4, z %% 3) from gen(7, 171, 30269), gen(8, 172, 30307), gen(9, 170, 30323), n 300;
    // loglin(t, list(1, 2, 3), fit = TRUE): pearson 10.368768, lrt 10.552065, df 17.
    ScratchDir dir;
    std::vector<double> rows = generated(7, 171, 30269, 300), columns = generated(8, 172, 30307, 300),
                        layers = generated(9, 170, 30323, 300);
    for (double& v : rows) v = std::fmod(v, 2);
    for (double& v : columns) v = std::fmod(v, 4);
    for (double& v : layers) v = std::fmod(v, 3);
    const std::string report = report_of(dir, table_file(dir, rows, columns, layers), "three", 0, true);
    const ChiSquare pearson = statistic_of(report, "Pearson"), likelihood = statistic_of(report, "Likelihood");
    EXPECT_NEAR(pearson.statistic, 10.368768, 6e-4);
    EXPECT_NEAR(likelihood.statistic, 10.552065, 6e-4);
    EXPECT_EQ(pearson.df, 17);
    EXPECT_NEAR(pearson.p, 0.887438, 1e-3);
    EXPECT_NEAR(likelihood.p, 0.878881, 1e-3);
}

// Each panel (from its top rule to the blank line after the last) must have
// lines of one length; returns the panels' column-label lines.
std::vector<std::string> checked_panels(const std::string& report) {
    std::vector<std::string> heads, lines;
    std::istringstream in(report);
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    for (size_t i = 0; i < lines.size(); ++i) {
        if (lines[i].compare(0, 3, "___") != 0) continue;
        for (size_t j = i + 1; j < lines.size() && !lines[j].empty() && lines[j][0] == '|'; ++j)
            EXPECT_EQ(lines[j].size(), lines[i].size()) << "line " << j + 1 << ": " << lines[j];
        if (i + 3 < lines.size()) heads.push_back(lines[i + 3]);
    }
    return heads;
}

TEST(Crosstab, PanelsOfFiveColumnsWithTotalOnlyInTheLast) {
    for (const int columns : {4, 5, 10, 12, 300}) {
        ScratchDir dir;
        std::vector<double> r, c, l;
        for (int i = 0; i < 6 * columns; ++i) {
            r.push_back(i % 3);
            c.push_back(i % columns);
            l.push_back(i % 2);
        }
        const std::string path = table_file(dir, r, c, l);
        const int display = kShowCellPercent | kShowRowPercent | kShowColumnPercent;
        for (const std::string& report :
             {report_of(dir, path, "two", kAllLines), report_of(dir, path, "three", display, true)}) {
            const std::vector<std::string> heads = checked_panels(report);
            const size_t panels = static_cast<size_t>(columns / 5 + 1);
            ASSERT_EQ(heads.size() % panels, 0u) << columns;
            ASSERT_FALSE(heads.empty());
            for (size_t p = 0; p < heads.size(); ++p)
                EXPECT_EQ(heads[p].find("TOTAL") != std::string::npos, p % panels == panels - 1) << heads[p];
            EXPECT_NE(report.find("\nLikelihood "), std::string::npos);
        }
    }
}

TEST(Crosstab, HostileTablesEndCleanly) {
    ScratchDir dir;
    const double nan = std::numeric_limits<double>::quiet_NaN(), inf = std::numeric_limits<double>::infinity();
    const std::string odd = table_file(dir, {nan, inf, 1e308, -1e308, nan, 1}, {1, nan, 2, inf, 2, -inf});
    const std::string report = report_of(dir, odd, "odd", kAllLines);
    EXPECT_NE(report.find("\nLikelihood "), std::string::npos);
    EXPECT_NE(report.find(" Number of cases used in this analysis are ..      6"), std::string::npos);

    // One category each: df 0, and gamma_q(0, 0) is printed as it comes.
    const std::string single = report_of(dir, table_file(dir, {1, 1, 1}, {2, 2, 2}), "single");
    EXPECT_NE(single.find("\nPearson               0.000           0     -1.000\n"), std::string::npos) << single;

    // Too many cells: refused before anything is allocated for them.
    std::vector<double> r, c;
    for (int i = 0; i < 1001; ++i) {
        r.push_back(i);
        c.push_back(i % 1000);
    }
    const std::string wide = table_file(dir, r, c);
    std::string record = two_way_record(dir, wide, "wide", 1, 2, 0);
    EXPECT_NE(section(record, "log").find(" Not enough memory !\n"), std::string::npos);
    EXPECT_EQ(section(record, "out"), "");

    // Every case missing somewhere: the data block but no tables and no </RESULT>.
    record = two_way_record(dir, table_file(dir, {1e35, 1, 2}, {1, 1e35, 1e35}), "empty", 1, 2, kAllLines);
    EXPECT_NE(section(record, "log").find(" No used cases were found.\n"), std::string::npos);
    EXPECT_NE(section(record, "xml").find("<nCase>0</nCase>\n<FileName>"), std::string::npos);
    EXPECT_EQ(section(record, "xml").find("</RESULT>"), std::string::npos);
    EXPECT_EQ(section(record, "out"), "");

    // Variables outside the file.
    record = two_way_record(dir, odd, "range", 0, 3, 0);
    EXPECT_NE(section(record, "log").find(" is not in the data file"), std::string::npos);
}

TEST(Crosstab, CaseSelectionLimitsTheTable) {
    ScratchDir dir;
    const std::string path = hair_eye_color(dir);
    const std::string record = two_way_record(dir, path, "sel", 1, 2, 0, {0, 591, 591, 5000, -1});
    EXPECT_NE(record.find(" Number of cases used in this analysis are ..      2\n"), std::string::npos);
    EXPECT_NE(record.find("<nCase>2</nCase>"), std::string::npos);
}

}  // namespace
}  // namespace quorix
