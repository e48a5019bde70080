// Data with a large common part (readings 1000000000000.d): the printed sums of
// squares, F and t of the ANOVA and the t-tests against the exact results of
// the stored doubles, computed in rational arithmetic.
#include <gtest/gtest.h>

#include "analyses/registry.h"

#include <algorithm>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <vector>

#include "analyses/basic/anova.h"
#include "analyses/basic/ttest.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;
using testing::TestVariable;

// Nine groups of 2,001 cases, case t in group j = t % 9, which is also the
// cell (a, b) = (j % 3, j / 3) of a 3 x 3 design with centres 3 + a + b (one
// less in the last cell); each value is 1000000000000.d, d the centre plus a
// spread of -2 .. 2 drawn from a linear congruential generator, kept in 0 .. 9.
// Variables: y, g (j + 1), a, b (1-based), two (1 for a = 0, else 2).
std::vector<TestVariable> experiment() {
    std::vector<TestVariable> v = {{"y", {}}, {"g", {}}, {"a", {}}, {"b", {}}, {"two", {}}};
    uint32_t state = 12345;
    for (int i = 0; i < 2001; ++i)
        for (int j = 0; j < 9; ++j) {
            state = (state * 1103515245u + 12345u) & 0x7fffffffu;
            const int centre = 3 + j % 3 + j / 3 - (j == 8 ? 1 : 0);
            const int spread = static_cast<int>((state >> 16) % 3 + (state >> 20) % 3) - 2;
            const int d = std::min(9, std::max(0, centre + spread));
            v[0].values.push_back(std::strtod(("1000000000000." + std::to_string(d)).c_str(), nullptr));
            v[1].values.push_back(j + 1);
            v[2].values.push_back(j % 3 + 1);
            v[3].values.push_back(j / 3 + 1);
            v[4].values.push_back(j % 3 == 0 ? 1 : 2);
        }
    return v;
}

// Every number printed in the elements <tag> of an XML record, in order; empty elements are left out.
std::vector<double> printed(const std::string& xml, const std::string& tag) {
    std::vector<double> values;
    for (size_t at = xml.find("<" + tag + ">"); at != std::string::npos; at = xml.find("<" + tag + ">", at + 1)) {
        const size_t open = at + tag.size() + 2;
        const std::string text = xml.substr(open, xml.find("</" + tag + ">", open) - open);
        if (text.find_first_not_of(' ') != std::string::npos) values.push_back(std::stod(text));
    }
    return values;
}

void expect_printed(const std::vector<double>& got, const std::vector<double>& exact, const char* what) {
    ASSERT_EQ(got.size(), exact.size()) << what;
    // Printed with three decimals: exact to the last of them.
    for (size_t i = 0; i < got.size(); ++i) EXPECT_NEAR(got[i], exact[i], 0.00051) << what << " " << i;
}

// The exact values, Python (fractions, decimal at 50 digits), for the data
// above as the list Y of Fraction(y) and the group list g (0-based j):
//   mean = lambda v: sum(v) / len(v); ss = lambda v: sum((x - mean(v)) ** 2 for x in v)
//   cells = [[y for y, j in zip(Y, g) if j == c] for c in range(9)]
//   between = 2001 * sum((mean(c) - mean(Y)) ** 2 for c in cells); error = sum(ss(c) for c in cells)
//   F = between / 8 / (error / 18000)
//   A, B: levels of j % 3 and j // 3; ssa = 6003 * sum((mean(l) - mean(Y)) ** 2 for l in A), ssb alike;
//   interaction = between - ssa - ssb; each F its SS / df / (error / 18000)
//   one-sample: (mean(Y) - Fraction(1000000000000.5)) / sqrt(ss(Y) / 18008 / 18009)
//   two groups (j % 3 == 0 against the rest): pooled (m1 - m2) / sqrt((ss1 + ss2) / 18007 * (1/n1 + 1/n2)),
//   unequal (m1 - m2) / sqrt(ss1 / (n1 - 1) / n1 + ss2 / (n2 - 1) / n2)
TEST(LargeCommonPart, AnovaAndTTestsAgainstExactArithmetic) {
    ScratchDir dir;
    const std::string path = dir.file("offset.rkd");
    testing::write_numeric_file(path, experiment());
    const std::string one = testing::section(testing::record_run(dir, path, "one", [&] {
        EXPECT_EQ(run_analysis(AnalysisId::anova_one, path, "one", {{variables_argument({1, 2})}, {}}), 0);
    }), "xml");
    // Between, error and total.
    expect_printed(printed(one, "SS"), {187.194971990193788, 255.451599249998848, 442.646571240192636}, "one-way SS");
    expect_printed(printed(one, "fValue"), {1648.80035284389758}, "one-way F");
    const std::string two = testing::section(testing::record_run(dir, path, "two", [&] {
        EXPECT_EQ(run_analysis(AnalysisId::anova_two, path, "two", {{variables_argument({1, 3, 4})}, {}}), 0);
    }), "xml");
    // a, b, interaction, error, total.
    expect_printed(printed(two, "SS"),
                   {87.1506638055497348, 90.7983222739049387, 9.24598591073911441, 255.451599249998848,
                    442.646571240192636},
                   "two-way SS");
    expect_printed(printed(two, "fValue"), {3070.46805168886079, 3198.98134466327141, 162.876007511729064},
                   "two-way F");
    const auto t_run = [&](const char* name, AnalysisId id, std::vector<Argument> values) {
        return testing::section(testing::record_run(dir, path, name, [&] {
            EXPECT_EQ(run_analysis(id, path, name, {values, {}}), 0);
        }), "xml");
    };
    const std::string one_sample =
        t_run("t1", AnalysisId::one_sample, {variables_argument({1}), number_argument(1000000000000.5)});
    expect_printed(printed(one_sample, "tStat"), {-9.41548018320766873}, "one-sample t");
    const std::string independent = t_run(
        "t4", AnalysisId::independent_sample, {variables_argument({1}), variables_argument({5}), number_argument(0)});
    expect_printed(printed(independent, "tStat"), {-59.1098939309060744, -58.3367325058690450}, "independent t");
}

}  // namespace
}  // namespace quorix
