// t-tests: the shared computation against worked values and R's t.test, the
// four drivers' printed results against R, and whole runs (including the
// grouping-variable and group-size stops) against golden files. Hostile values
// and variable numbers are fuzz_analyses' work.
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <limits>

#include "analyses/basic/descriptive.h"
#include "analyses/basic/ttest.h"
#include "analyses/registry.h"
#include "data_tools.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::describe;
using testing::ScratchDir;
using testing::TestVariable;

constexpr double kNan = std::numeric_limits<double>::quiet_NaN();

// One t-test run: its variables (the grouping variable second for the
// grouped tests) and test value.
struct TTestCall {
    AnalysisId id;
    std::vector<int> variables;
    double test_value;
    std::vector<int32_t> selection;
};

int run_ttest(const std::string& path, const std::string& run, const TTestCall& call) {
    AnalysisArguments arguments{{}, call.selection};
    if (call.id == AnalysisId::independent_sample || call.id == AnalysisId::matched_sample)
        arguments.values = {variables_argument({call.variables[0]}), variables_argument({call.variables[1]})};
    else
        arguments.values = {variables_argument(call.variables)};
    arguments.values.push_back(number_argument(call.test_value));
    return run_analysis(call.id, path, run, arguments);
}

// Runs call on path and returns the record; the run's status in status.
std::string record_ttest(const ScratchDir& dir, const std::string& path, const std::string& run,
                         const TTestCall& call, int& status) {
    return testing::record_run(dir, path, run, [&] { status = run_ttest(path, run, call); });
}

// The two-group forms are checked through the printed results below.
TEST(TTestCore, WorkedExampleAndDegenerateSamples) {
    // R: t.test(1:4, mu = 2); mode 3 leaves the test value out: t of the mean itself, 2.5 / SE.
    const StatsRow sample = describe({1, 2, 3, 4});
    TTestResult r;
    t_test_core(sample, sample, kTTestOneSample, 4, 4, 2, r);
    EXPECT_NEAR(r.se, 0.6454972243679028, 1e-15);
    EXPECT_NEAR(r.t, 0.7745966692414834, 1e-14);
    EXPECT_EQ(r.df, 3);
    EXPECT_NEAR(t_test_p(r.t, 3), 0.49502534605971099, 5e-10);
    t_test_core(sample, sample, kTTestNoTestValue, 4, 4, 2, r);
    EXPECT_NEAR(r.t, 2.5 / 0.6454972243679028, 1e-13);
    // One case, no case, constant groups: zeros, not NaNs; a lone case's Welch term counts 0.
    const StatsRow single = describe({5});
    t_test_core(single, single, kTTestOneSample, 1, 1, 2, r);
    EXPECT_TRUE(r.df == 0 && r.t == 0);
    t_test_core(describe({}), describe({}), kTTestOneSample, 0, 0, 2, r);
    EXPECT_TRUE(r.se == 0 && r.df == -1);
    t_test_core(describe({3, 3, 3}), describe({3, 3, 3}), kTTestTwoGroups, 3, 3, 1, r);
    EXPECT_TRUE(r.t == 0 && r.t_unequal == 0 && r.df_unequal == 0);
    t_test_core(single, describe({1, 2, 3, 4, 5}), kTTestTwoGroups, 1, 5, 0, r);
    EXPECT_NEAR(r.df_unequal, 4, 1e-12);
    EXPECT_EQ(rounded_df(kNan), 0);
    EXPECT_EQ(rounded_df(1e300), std::numeric_limits<int>::max());
    EXPECT_EQ(rounded_df(120.49), 120);
    EXPECT_EQ(rounded_df(120.5), 121);
}

// 300 cases: x with system-missing values, y, a grouping g of 200 and 100
// cases, x2 (x doubled in g's second group) and g2 alternating 1, 2.
// R: i <- 0:299; x <- ((i * 7919) %% 1009) / 50 + (i %% 7) * 0.3
//    y <- x * 0.8 + ((i * 104729) %% 997) / 100 + 1; g <- 1 + (i %% 3 == 0)
//    x2 <- ifelse(g == 2, 2 * x, x); x[i %% 37 == 5] <- NA; x2[i %% 37 == 5] <- NA; g2 <- 1 + (i %% 2)
// (y is computed before x loses its NA cases.)
std::vector<TestVariable> random_samples() {
    TestVariable x{"x", {}}, y{"y", {}}, g{"g", {}}, x2{"x2", {}}, g2{"g2", {}};
    for (int i = 0; i < 300; ++i) {
        const double xi = ((i * 7919) % 1009) / 50.0 + (i % 7) * 0.3;
        const double gi = i % 3 == 0 ? 2 : 1;
        const bool missing = i % 37 == 5;
        x.values.push_back(missing ? 1e35 : xi);
        y.values.push_back(xi * 0.8 + ((i * 104729) % 997) / 100.0 + 1);
        g.values.push_back(gi);
        x2.values.push_back(missing ? 1e35 : gi == 2 ? 2 * xi : xi);
        g2.values.push_back(1 + i % 2);
    }
    return {x, y, g, x2, g2};
}

struct RExpected {
    double t, df, se, p;
};
// t.test(x, mu = 10)
constexpr RExpected kOneSample{2.9314466956722876, 291, 0.34344162675859813, 0.0036415404748964637};
// t.test(x, y, paired = TRUE, mu = -3.3)
constexpr RExpected kPaired{-2.042296853557569, 291, 0.18417686682580797, 0.042023287703333051};
// t.test(x2[g == 1], x2[g == 2], var.equal = TRUE, mu = -9)
constexpr RExpected kPooled{-2.525325653121075, 290, 1.03366593956094, 0.012092105883078991};
// t.test(x2[g == 1], x2[g == 2], mu = -9); p at the rounded df: 2 * pt(-abs(t), 120)
constexpr RExpected kWelch{-2.0533112091003849, 120.02551999115555, 1.2712846948682501, 0.042215744576404798};
// t.test(y[g2 == 1], y[g2 == 2], paired = TRUE, mu = -0.2)
constexpr RExpected kMatched{-0.30218269870876485, 149, 0.5133759609541606, 0.76293418881186603};

double element_value(const std::string& text, const std::string& element, size_t from) {
    const size_t at = text.find("<" + element + ">", from);
    return at == std::string::npos ? std::nan("") : std::strtod(text.c_str() + at + element.size() + 2, nullptr);
}

// Each driver's <TTESTSTAT> elements (printed to three decimals, the df
// rounded) against R, with the second group's (or all) cases. Every result is
// printed to three decimals, so this catches whatever a user could see.
TEST(TTestDrivers, PrintedResultsAgainstR) {
    ScratchDir dir;
    const std::string path = dir.file("random.rkd");
    testing::write_numeric_file(path, random_samples());
    const struct {
        const char* run;
        TTestCall call;
        std::vector<RExpected> expected;
        double cases;
    } runs[] = {
        {"one", {AnalysisId::one_sample, {1}, 10, {}}, {kOneSample}, 292},
        {"paired", {AnalysisId::paired_sample, {1, 2}, -3.3, {}}, {kPaired}, 292},
        {"independent", {AnalysisId::independent_sample, {4, 3}, -9, {}}, {kPooled, kWelch}, 97},
        {"matched", {AnalysisId::matched_sample, {2, 5}, -0.2, {}}, {kMatched}, 150},
    };
    for (const auto& r : runs) {
        int status = 1;
        const std::string xml = testing::section(record_ttest(dir, path, r.run, r.call, status), "xml");
        EXPECT_EQ(status, 0) << r.run;
        size_t at = xml.find("<TTESTSTAT>");
        for (const RExpected& e : r.expected) {
            ASSERT_NE(at, std::string::npos) << r.run;
            EXPECT_EQ(element_value(xml, "Cases", at), r.cases) << r.run;
            EXPECT_NEAR(element_value(xml, "tStat", at), e.t, 0.0005) << r.run;
            EXPECT_NEAR(element_value(xml, "STD", at), e.se, 0.0005) << r.run;
            EXPECT_EQ(element_value(xml, "DF", at), std::floor(e.df + 0.5)) << r.run;
            EXPECT_NEAR(element_value(xml, "pValue", at), e.p, 0.0005) << r.run;
            at = xml.find("<TTESTSTAT>", at + 1);
        }
        EXPECT_EQ(at, std::string::npos) << r.run;
    }
}

// Variables of groups.csv, 1-based.
enum { kX = 1, kY, kG, kG3, kGm, kOne, kE };

TEST(TTestDrivers, RunsAgainstGoldenFiles) {
    ScratchDir dir;
    // The sample file of the golden runs, made as the Java test makes it.
    const std::string path = dir.file("groups.rkd");
    ImportOptions options;
    std::string error;
    EXPECT_TRUE(parse_missing_codes("x=99", options, error)) << error;
    EXPECT_TRUE(import_csv(std::string(QUORIX_GOLDEN_DIR) + "/ttest/groups.csv", path, options, error)) << error;
    const struct {
        const char* golden;
        const char* run;
        int status;
        TTestCall call;
    } runs[] = {
        // Cases 0-4, 8 and 9 (41 is not in the file): x is missing in cases 4 and 8.
        {"one_sample", "one", 0, {AnalysisId::one_sample, {kX}, 5, {0, 1, 2, 3, 4, 8, 9, 41}}},
        {"paired", "paired", 0, {AnalysisId::paired_sample, {kX, kY}, 0.5, {}}},
        {"independent", "independent", 0, {AnalysisId::independent_sample, {kX, kG}, 0, {}}},
        {"matched", "matched", 0, {AnalysisId::matched_sample, {kY, kG}, -0.2, {}}},
        // Runs that stop: no cases, three groups, a constant and an unequal matching variable.
        {"one_sample_empty", "empty", kFoundNothing, {AnalysisId::one_sample, {kE}, 0, {}}},
        {"independent_three", "three", -1, {AnalysisId::independent_sample, {kX, kG3}, 0, {}}},
        {"matched_constant", "constant", -1, {AnalysisId::matched_sample, {kY, kOne}, 0, {}}},
        {"matched_unequal", "unequal", -1, {AnalysisId::matched_sample, {kY, kGm}, 0, {}}},
    };
    for (const auto& r : runs) {
        int status = 1;
        testing::expect_golden(std::string("ttest/") + r.golden + ".txt", record_ttest(dir, path, r.run, r.call, status));
        EXPECT_EQ(status, r.status) << r.run;
    }
}

struct PrintedGroup {
    std::string value;  // the grouping value as its <Name> ends
    double cases, mean;  // mean NaN: not checked
};

// Independent tests of y by g: the groups' grouping values, <Cases> and <Mean>
// in the order printed, or the stop and its log line.
TEST(TTestDrivers, GroupsByAscendingGroupingValueAndStops) {
    std::vector<double> y(10000), g(10000), halves(10000), third(10000), third_nan(10000);
    for (int i = 0; i < 10000; ++i) {
        y[i] = i;
        halves[i] = i < 5000 ? 7 : -7;  // 5,000 cases of one value before the first of the other
        third[i] = third_nan[i] = 1 + i % 2;
    }
    third[9990] = 3;  // a third value late in the cases
    third_nan[9990] = kNan;
    const struct {
        std::vector<double> y, g;
        int status;
        std::vector<PrintedGroup> groups;
        const char* log;
    } cases[] = {
        // y is missing in case 3, g in case 5. R: t.test(c(1, 3, 5), c(10, 12, 14), var.equal = TRUE)
        {{10, 1, 12, 1e35, 3, 50, 5, 14}, {2, 1, 2, 2, 1, 1e35, 1, 2}, 0, {{" 1.000", 3, 3}, {" 2.000", 3, 12}}, ""},
        {y, halves, 0, {{"-7.000", 5000, 7499.5}, {" 7.000", 5000, 2499.5}}, ""},
        // Both zeros are one grouping value, shown with the sign of the first read.
        {{1, 2, 3, 4}, {-0.0, 5, 0.0, 5}, 0, {{"-0.000", 2, 2}, {" 5.000", 2, 3}}, ""},
        {{1, 2, 3, 4}, {0.0, 5, -0.0, 5}, 0, {{" 0.000", 2, 2}, {" 5.000", 2, 3}}, ""},
        // A NaN is a value of its own, equal to no case: read first, it is the
        // first group's value and that group is empty; read later, it follows.
        {{1, 2, 3, 4}, {kNan, 4, 4, 4}, 0, {{"   nan", 0, kNan}, {" 4.000", 4, 2.5}}, ""},
        {{1, 2, 3, 4}, {4, kNan, 4, 4}, 0, {{" 4.000", 3, 2.667}, {"   nan", 1, 2}}, ""},
        {y, third, -1, {}, " The grouping variable has more than two values!\n"},
        {y, third_nan, -1, {}, " The grouping variable has more than two values!\n"},
        {{1, 2, 3}, {kNan, 1, kNan}, -1, {}, " The grouping variable has more than two values!\n"},
        {{1, 2, 3}, {-0.0, 0.0, 0.0}, -1, {}, " The grouping variable is constant!\n"},
    };
    ScratchDir dir;
    int n = 0;
    for (const auto& c : cases) {
        const std::string name = "s" + std::to_string(++n), path = dir.file(name + ".rkd");
        testing::write_numeric_file(path, {{"y", c.y}, {"g", c.g}});
        int status = 1;
        const std::string record = record_ttest(dir, path, name, {AnalysisId::independent_sample, {1, 2}, 0, {}}, status);
        EXPECT_EQ(status, c.status) << name;
        EXPECT_NE(testing::section(record, "log").find(c.log), std::string::npos) << name;
        const std::string xml = testing::section(record, "xml");
        size_t at = xml.find("<Item>");
        for (const PrintedGroup& group : c.groups) {
            ASSERT_NE(at, std::string::npos) << name;
            const size_t text = xml.find("<Name>", at) + 6;
            EXPECT_EQ(xml.substr(text, xml.find("</Name>", text) - text), "y on g          " + group.value) << name;
            EXPECT_EQ(element_value(xml, "Cases", at), group.cases) << name;
            EXPECT_TRUE(std::isnan(group.mean) || element_value(xml, "Mean", at) == group.mean) << name;
            at = xml.find("<Item>", at + 1);
        }
        EXPECT_EQ(at, std::string::npos) << name;
    }
}

}  // namespace
}  // namespace quorix
