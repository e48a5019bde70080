// Writes a data file of numeric variables with reproducible pseudo-random values
// rounded to 4 decimals, optionally with a fraction of system-missing values.
// Usage: make_numeric_file PATH VARIABLES CASES [SEED] [MISSING_FRACTION]
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <random>
#include <string>
#include <vector>

#include "datafile/rkd_writer.h"

int main(int argc, char** argv) {
    if (argc < 4) {
        std::fprintf(stderr, "usage: make_numeric_file PATH VARIABLES CASES [SEED] [MISSING_FRACTION]\n");
        return 2;
    }
    const int variables = std::atoi(argv[2]);
    const int cases = std::atoi(argv[3]);
    const unsigned seed = argc > 4 ? static_cast<unsigned>(std::atoi(argv[4])) : 1;
    const double missing = argc > 5 ? std::atof(argv[5]) : 0.0;
    quorix::RkdLayout layout;
    layout.variable_count = variables;
    layout.case_count = cases;
    for (int v = 1; v <= variables; ++v) layout.names.push_back("x" + std::to_string(v));
    quorix::RkdFileWriter writer;
    if (!quorix::begin_rkd_file(writer, argv[1], layout)) {
        std::fprintf(stderr, "%s\n", writer.error.c_str());
        return 1;
    }
    std::mt19937_64 random(seed);
    std::normal_distribution<double> normal(50.0, 10.0);
    std::uniform_real_distribution<double> uniform(0.0, 1.0);
    std::vector<double> column(static_cast<size_t>(cases));
    for (int v = 0; v < variables; ++v) {
        for (double& value : column)
            value = uniform(random) < missing ? quorix::kSystemMissing : std::round(normal(random) * 1e4) / 1e4;
        if (!quorix::append_numeric_variable(writer, quorix::VariableDescriptor(), column.data())) break;
    }
    if (!quorix::finish_rkd_file(writer)) {
        std::fprintf(stderr, "%s\n", writer.error.c_str());
        return 1;
    }
    return 0;
}
