// Turns fuzzer bytes into a small data file and the arguments of an analysis
// run, so that whole analyses can be fuzzed in-process.
#pragma once

#include <unistd.h>

#include <cmath>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <limits>
#include <string>
#include <vector>

#include "datafile/rkd_writer.h"

namespace quorix::fuzzing {

// Reads from the fuzzer's bytes; zeros once they run out.
struct ByteReader {
    const uint8_t* data;
    size_t size;
    size_t at = 0;

    uint8_t byte() { return at < size ? data[at++] : 0; }
    int small(int limit) { return limit <= 0 ? 0 : byte() % limit; }
    bool flag() { return byte() & 1; }
    double value() {
        static const double kPalette[] = {0,    1,    2,    3,     -1,   0.5,  1e35,    -1e35,
                                          1e308, -1e308, -0.0, 1e-300, 10,  100, 1e6,  2.5};
        const uint8_t choice = byte();
        if (choice < 160) return kPalette[choice % 16];
        if (choice < 250) return static_cast<double>(choice % 7) + 0.25 * (byte() % 8);
        if (choice == 250) return std::numeric_limits<double>::quiet_NaN();
        if (choice == 251) return std::numeric_limits<double>::infinity();
        if (choice == 252) return -std::numeric_limits<double>::infinity();
        uint64_t bits = 0;
        for (int i = 0; i < 8; ++i) bits |= static_cast<uint64_t>(byte()) << (8 * i);
        double raw;
        std::memcpy(&raw, &bits, sizeof raw);
        return raw;
    }
    // A variable number, usually valid, sometimes not.
    int variable(int count) {
        const uint8_t choice = byte();
        if (choice < 230) return 1 + choice % (count > 0 ? count : 1);
        static const int kOdd[] = {0, -1, count + 1, 1000000, std::numeric_limits<int>::min()};
        return kOdd[choice % 5];
    }
    std::vector<int32_t> selection(int cases) {
        std::vector<int32_t> entries(static_cast<size_t>(small(cases + 3)));
        for (int32_t& entry : entries) entry = small(4) == 0 ? small(cases + 2) - 1 : small(2);
        return entries;
    }
};

// A scratch directory for the process, removed with its files at exit. The
// name is never destroyed, so the exit handler can still read it.
inline const std::string& scratch_directory() {
    static const std::string* directory = [] {
        char pattern[] = "/tmp/quorix-fuzz-XXXXXX";
        const char* made = mkdtemp(pattern);
        const std::string* name = new std::string(made ? made : "/tmp/quorix-fuzz");
        std::atexit([] {
            const std::string& dir = scratch_directory();
            for (const char* file : {"data.rkd", "data_fz.out", "data_fz.log", "data_fz.xml", "Matrix.rkd",
                                     "data_filled.rkd", "MissingEM.dat"})
                std::remove((dir + "/" + file).c_str());
            rmdir(dir.c_str());
        });
        return name;
    }();
    return *directory;
}

struct FuzzFile {
    std::string path;
    int variables = 0;
    int cases = 0;
};

// Writes a data file of up to 6 variables and 64 cases; some variables carry
// user-missing declarations, one may be alphanumeric, one a label set.
inline FuzzFile make_data_file(ByteReader& in) {
    FuzzFile file;
    file.path = scratch_directory() + "/data.rkd";
    file.variables = 1 + in.small(6);
    file.cases = in.small(65);
    RkdLayout layout;
    layout.signature = in.small(4) == 0 ? kShortSignature : kLongSignature;
    layout.variable_count = file.variables;
    layout.case_count = file.cases;
    for (int v = 0; v < file.variables; ++v) layout.names.push_back("v" + std::to_string(v + 1));
    if (in.flag()) {
        ValueLabelSet set;
        set.variable_name = "v" + std::to_string(1 + in.small(file.variables));
        set.entry_count = in.small(17) - 1;
        for (int i = 0; i < 3; ++i) set.entries[i] = {"l" + std::to_string(i), std::to_string(i + in.small(3))};
        layout.label_sets.push_back(set);
    }
    RkdFileWriter writer;
    if (!begin_rkd_file(writer, file.path, layout)) return file;
    const int text_variable = in.small(file.variables * 4);
    for (int v = 0; v < file.variables; ++v) {
        VariableDescriptor descriptor;
        descriptor.missing_kind = in.small(8);
        descriptor.missing_value1 = in.value();
        descriptor.missing_value2 = in.value();
        descriptor.missing_value3 = in.value();
        if (v == text_variable) {
            descriptor.width = 1 + in.small(12);
            std::vector<std::string> texts(static_cast<size_t>(file.cases), std::string(1, static_cast<char>('a' + in.small(26))));
            append_text_variable(writer, descriptor, texts);
            continue;
        }
        std::vector<double> values(static_cast<size_t>(file.cases));
        const int categories = in.small(5);
        for (double& value : values) value = categories ? in.small(categories + 1) : in.value();
        append_numeric_variable(writer, descriptor, values.data());
    }
    finish_rkd_file(writer);
    return file;
}

}  // namespace quorix::fuzzing
