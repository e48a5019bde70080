// Whole analyses on small data files and argument sets made from the fuzzer's
// bytes: the first byte picks the analysis among those of the target's family
// (QUORIX_FUZZ_FAMILY; every analysis when it is not set).
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "analyses/registry.h"
#include "fuzz_input.h"

using namespace quorix;
using namespace quorix::fuzzing;

namespace {

// One parameter's value from the bytes, in the forms a caller could pass:
// variable numbers in and out of range, any double, odd words and bits.
Argument fuzz_argument(ByteReader& in, const FuzzFile& file, const ParameterSpec& parameter) {
    switch (parameter.kind) {
    case ParameterKind::variables: {
        std::vector<int> variables(static_cast<size_t>(parameter.count > 0 ? parameter.count : in.small(file.variables + 2)));
        for (int& variable : variables) variable = in.variable(file.variables);
        return variables_argument(std::move(variables));
    }
    case ParameterKind::variable:
        return variables_argument({in.variable(file.variables)});
    case ParameterKind::number:
        return number_argument(in.value());
    case ParameterKind::integer:
        return integer_argument(in.small(3) - 1);
    case ParameterKind::flag:
        return integer_argument(in.flag());
    case ParameterKind::bits:
        return integer_argument(in.byte() | (in.byte() << 8));
    case ParameterKind::word: {
        static const char* const kOdd[] = {nullptr, "x", "", "PAIR", "COV"};
        const size_t choice = static_cast<size_t>(in.small(static_cast<int>(parameter.names.size() + 5)));
        return word_argument(choice < parameter.names.size() ? parameter.names[choice].name : kOdd[choice - parameter.names.size()]);
    }
    }
    return Argument();
}

// The built analyses of the target's family (QUORIX_FUZZ_FAMILY), or all.
std::vector<const AnalysisRow*> family_rows() {
    std::vector<const AnalysisRow*> rows;
    for (const AnalysisRow& row : analysis_rows()) {
        if (!row.entry) continue;
#ifdef QUORIX_FUZZ_FAMILY
        if (std::strcmp(row.family, QUORIX_FUZZ_FAMILY) != 0) continue;
#endif
        rows.push_back(&row);
    }
    return rows;
}

}  // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // Filled copies of mean imputation go beside the data file, not into the current directory.
    setenv("QUORIX_WORK_DIR", scratch_directory().c_str(), 1);
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    static const std::vector<const AnalysisRow*> rows = family_rows();
    ByteReader in{data, size};
    const AnalysisRow& row = *rows[static_cast<size_t>(in.small(static_cast<int>(rows.size())))];
    const FuzzFile file = make_data_file(in);
    AnalysisArguments arguments;
    for (const ParameterSpec& parameter : row.parameters) arguments.values.push_back(fuzz_argument(in, file, parameter));
    arguments.selection = in.selection(file.cases);
    run_analysis(row.id, file.path, "fz", arguments);
    return 0;
}
