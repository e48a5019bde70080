// Whole analyses on small data files and argument sets made from the fuzzer's
// bytes: the first byte picks the analysis.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "analyses/basic/descriptive.h"
#include "fuzz_input.h"

using namespace quorix;
using namespace quorix::fuzzing;

namespace {

std::vector<int> variable_list(ByteReader& in, const FuzzFile& file) {
    std::vector<int> variables(static_cast<size_t>(in.small(file.variables + 2)));
    for (int& variable : variables) variable = in.variable(file.variables);
    return variables;
}

void run_descriptive(ByteReader& in, const FuzzFile& file) {
    const std::vector<int> variables = variable_list(in, file);
    descriptive_frame(file.path.c_str(), "fz", variables, in.selection(file.cases));
}

using Runner = void (*)(ByteReader&, const FuzzFile&);
const Runner kRunners[] = {run_descriptive};

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    ByteReader in{data, size};
    const Runner runner = kRunners[in.small(sizeof kRunners / sizeof kRunners[0])];
    const FuzzFile file = make_data_file(in);
    runner(in, file);
    return 0;
}
