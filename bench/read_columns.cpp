// The floor of every benchmark: opens a data file and reads each column once.
// Usage: read_columns PATH
#include <cstdio>
#include <string>
#include <vector>

#include "data_tools.h"
#include "frame/case_access.h"

int main(int argc, char** argv) {
    if (argc != 2) return 2;
    quorix::RunContext context;
    std::string error;
    if (!quorix::open_data_file(argv[1], context, error)) {
        std::fprintf(stderr, "%s\n", error.c_str());
        return 1;
    }
    std::vector<double> column;
    double checksum = 0;
    for (int v = 1; v <= context.header.variable_count; ++v) {
        if (!quorix::read_numeric_column(context, v, column)) return 1;
        checksum += column.empty() ? 0 : column[column.size() / 2];
    }
    quorix::close_data_file(context);
    std::printf("%g\n", checksum);
    return 0;
}
