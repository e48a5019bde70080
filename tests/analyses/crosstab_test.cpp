// Cross tabulation: whole runs against golden files, the chi-square statistics
// against R, the panel layout, and hostile tables.
#include <gtest/gtest.h>

#include <cmath>
#include <sstream>

#include "analyses/basic/crosstab.h"
#include "analyses/registry.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::import_sample;
using testing::ScratchDir;
using testing::section;

constexpr int kAllLines = kShowCellPercent | kShowRowPercent | kShowColumnPercent | kShowExpected;

// The record of a cross tabulation of variables 1 and 2 (and 3 when three_way).
std::string crosstab_record(const ScratchDir& dir, const std::string& path, const std::string& run, int display,
                            bool three_way = false, const std::vector<int32_t>& selection = {}) {
    return testing::record_run(dir, path, run, [&] {
        run_analysis(three_way ? AnalysisId::crosstab_three : AnalysisId::crosstab_two, path, run,
                     {{variables_argument(three_way ? std::vector<int>{1, 2, 3} : std::vector<int>{1, 2}),
                       integer_argument(display)},
                      selection});
    });
}

// Rows, columns (and layers) as the variables of a fresh data file.
std::string table_file(const ScratchDir& dir, const std::vector<double>& rows, const std::vector<double>& columns,
                       const std::vector<double>& layers = {}) {
    std::vector<testing::TestVariable> variables = {{"r", rows}, {"c", columns}};
    if (!layers.empty()) variables.push_back({"l", layers});
    const std::string path = dir.file("table.rkd");
    testing::write_numeric_file(path, variables);
    return path;
}

TEST(Crosstab, GoldenRuns) {
    ScratchDir dir;
    const std::string hair = import_sample(
        dir, "haireyecolor.csv", "hair.rkd",
        {"Hair=1:Black,2:Brown,3:Red,4:Blond", "Eye=1:Brown,2:Blue,3:Hazel,4:Green", "Sex=1:Male,2:Female"});
    // Value labels on both variables; every optional line, then none; layers of
    // sex: a subtable each, the statistics of mutual independence, no XML result.
    testing::expect_golden("crosstab/hair_eye_all.txt", crosstab_record(dir, hair, "all", kAllLines));
    testing::expect_golden("crosstab/hair_eye_none.txt", crosstab_record(dir, hair, "none", 0));
    testing::expect_golden("crosstab/hair_eye_sex.txt", crosstab_record(dir, hair, "three", kAllLines, true));
    // cyl by carb (1, 2, 3, 4, 6, 8): five categories, then the sixth with TOTAL.
    const std::string cars = import_sample(dir, "mtcars.csv", "cars.rkd", {});
    const int display = kShowColumnPercent | kShowExpected;
    testing::expect_golden("crosstab/cyl_carb.txt", testing::record_run(dir, cars, "panels", [&] {
                               run_analysis(AnalysisId::crosstab_two, cars, "panels",
                                            {{variables_argument({3, 12}), integer_argument(display)}, {}});
                           }));
    // The case selection limits the table: cases 0 and 591 (twice), two entries outside the file.
    const std::string selected = crosstab_record(dir, hair, "sel", 0, false, {0, 591, 591, 5000, -1});
    EXPECT_NE(section(selected, "out").find(" Number of cases used in this analysis are ..      2\n"),
              std::string::npos);
    EXPECT_NE(section(selected, "xml").find("<nCase>2</nCase>"), std::string::npos);
}

// The statistic, df and p of the "Pearson" or "Likelihood" line of a report.
std::vector<double> statistic_of(const std::string& report, const std::string& name) {
    std::vector<double> figures(3, -1);
    const size_t at = report.find("\n" + name + " ");
    if (at != std::string::npos)
        std::istringstream(report.substr(at + name.size() + 1)) >> figures[0] >> figures[1] >> figures[2];
    return figures;
}

std::vector<double> generated(double seed, double mult, double mod, int n, int categories) {
    std::vector<double> values;
    for (double s = seed; static_cast<int>(values.size()) < n;)
        values.push_back(std::fmod(s = std::fmod(s * mult, mod), categories));
    return values;
}

TEST(Crosstab, ChiSquareStatisticsAgainstR) {
    for (const std::vector<double>& c : testing::read_number_table("analyses/crosstab_reference.csv")) {
        ScratchDir dir;
        const int rows = static_cast<int>(c[0]), columns = static_cast<int>(c[1]), layers = static_cast<int>(c[2]);
        const int n = static_cast<int>(c[3]);
        std::vector<double> r = generated(c[4], 171, 30269, n, rows), k = generated(c[5], 172, 30307, n, columns);
        if (layers == 0) {
            for (double& v : r) v = v * 2.5 - 1;
            for (double& v : k) v += 0.5;
        }
        const std::vector<double> l = layers ? generated(c[6], 170, 30323, n, layers) : std::vector<double>{};
        const std::string path = table_file(dir, r, k, l);
        const std::string report = section(crosstab_record(dir, path, "random", 0, layers > 0), "out");
        const std::vector<double> pearson = statistic_of(report, "Pearson");
        const std::vector<double> likelihood = statistic_of(report, "Likelihood");
        EXPECT_NEAR(pearson[0], c[7], 6e-4) << rows << "x" << columns << "x" << layers;
        EXPECT_NEAR(likelihood[0], c[8], 6e-4) << rows << "x" << columns << "x" << layers;
        EXPECT_EQ(pearson[1], c[9]);
        EXPECT_NEAR(pearson[2], c[10], 1e-3);
        EXPECT_NEAR(likelihood[2], c[11], 1e-3);
    }
    // A perfect association with empty cells: X^2 = 4 x 5^2 / 5; G^2 = 2 x 20 ln 2 over the filled cells.
    ScratchDir dir;
    std::vector<double> diagonal(20);
    for (int i = 0; i < 20; ++i) diagonal[i] = i < 10 ? 1 : 2;
    const std::string report = section(crosstab_record(dir, table_file(dir, diagonal, diagonal), "diag", 0), "out");
    EXPECT_NE(report.find("\nPearson              20.000           1      0.000\n"), std::string::npos) << report;
    EXPECT_NE(report.find("\nLikelihood           27.726           1      0.000\n"), std::string::npos);
}

// Each panel (from its top rule to the blank line after the last) must have
// lines of one length; five columns a panel, TOTAL only in the last.
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
        for (const std::string& record : {crosstab_record(dir, path, "two", kAllLines),
                                          crosstab_record(dir, path, "three", kAllLines & ~kShowExpected, true)}) {
            std::vector<std::string> lines, heads;
            std::istringstream in(section(record, "out"));
            for (std::string line; std::getline(in, line);) lines.push_back(line);
            for (size_t i = 0; i < lines.size(); ++i) {
                if (lines[i].compare(0, 3, "___") != 0) continue;
                for (size_t j = i + 1; j < lines.size() && !lines[j].empty() && lines[j][0] == '|'; ++j)
                    EXPECT_EQ(lines[j].size(), lines[i].size()) << "line " << j + 1 << ": " << lines[j];
                if (i + 3 < lines.size()) heads.push_back(lines[i + 3]);
            }
            const size_t panels = static_cast<size_t>(columns / 5 + 1);
            ASSERT_TRUE(!heads.empty() && heads.size() % panels == 0) << columns;
            for (size_t p = 0; p < heads.size(); ++p)
                EXPECT_EQ(heads[p].find("TOTAL") != std::string::npos, p % panels == panels - 1) << heads[p];
            EXPECT_NE(record.find("\nLikelihood "), std::string::npos);
        }
    }
}

// The stops of a cross tabulation (hostile values and variable numbers are
// fuzz_analyses' work).
TEST(Crosstab, DegenerateTablesAndStops) {
    ScratchDir dir;
    // One category each: df 0, and gamma_q(0, 0) is printed as it comes.
    const std::string single = section(crosstab_record(dir, table_file(dir, {1, 1, 1}, {2, 2, 2}), "single", 0), "out");
    EXPECT_NE(single.find("\nPearson               0.000           0     -1.000\n"), std::string::npos) << single;
    // Too many cells: refused before anything is allocated for them.
    std::vector<double> r, c;
    for (int i = 0; i < 1001; ++i) {
        r.push_back(i);
        c.push_back(i % 1000);
    }
    std::string record = crosstab_record(dir, table_file(dir, r, c), "wide", 0);
    EXPECT_NE(section(record, "log").find(" Not enough memory !\n"), std::string::npos);
    EXPECT_EQ(section(record, "out"), "");
    // Every case missing somewhere: the data block but no tables and no </RESULT>.
    record = crosstab_record(dir, table_file(dir, {1e35, 1, 2}, {1, 1e35, 1e35}), "empty", kAllLines);
    EXPECT_NE(section(record, "log").find(" No used cases were found.\n"), std::string::npos);
    EXPECT_NE(section(record, "xml").find("<nCase>0</nCase>\n<FileName>"), std::string::npos);
    EXPECT_EQ(section(record, "xml").find("</RESULT>"), std::string::npos);
    EXPECT_EQ(section(record, "out"), "");
}

}  // namespace
}  // namespace quorix
