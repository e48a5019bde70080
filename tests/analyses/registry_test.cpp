// Every built analysis refuses a text variable where it reads numbers, before
// reading any column: the run fails with the numeric analyses' message.
#include <gtest/gtest.h>

#include "analyses/registry.h"
#include "support/test_files.h"

namespace quorix {
namespace {

using testing::ScratchDir;

TEST(Registry, TextVariablesAreRefusedWhereNumbersAreRead) {
    ScratchDir dir;
    // mtcars: variable 1 is the text column "model".
    const std::string cars = testing::import_sample(dir, "mtcars.csv", "cars.rkd", {});
    for (const AnalysisRow& row : analysis_rows()) {
        if (!row.entry) continue;
        AnalysisArguments arguments;
        bool reads_numbers = false;
        for (const ParameterSpec& parameter : row.parameters) {
            Argument argument;
            if (parameter.kind == ParameterKind::variables || parameter.kind == ParameterKind::variable) {
                // The text variable first, numeric ones after it to fill the count.
                argument.variables = {1};
                for (int v = 2; static_cast<int>(argument.variables.size()) < std::max(parameter.count, 1); ++v)
                    argument.variables.push_back(v);
                reads_numbers |= parameter.numeric;
            } else if (parameter.kind == ParameterKind::word) {
                argument.present = false;
            }
            arguments.values.push_back(argument);
        }
        if (!reads_numbers) continue;
        const std::string record = testing::record_run(dir, cars, row.command, [&] {
            EXPECT_EQ(run_analysis(row.id, cars, row.command, arguments), -1) << row.command;
        });
        EXPECT_NE(testing::section(record, "log").find(" model is alphanumeric variable.\n"), std::string::npos)
            << row.command;
        EXPECT_EQ(testing::section(record, "out"), "") << row.command;
    }
}

}  // namespace
}  // namespace quorix
