// Arbitrary bytes as a data file: header, name table, labels, magic,
// dictionary, then every column through the case-access operations.
#include <cstdint>
#include <cstdio>
#include <vector>

#include "datafile/rkd_reader.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "report/result_document.h"

using namespace quorix;

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    // The reader's console lines are not of interest here.
    if (!std::freopen("/dev/null", "w", stdout)) return 0;
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
    if (size == 0) return 0;
    std::FILE* file = fmemopen(const_cast<uint8_t*>(data), size, "rb");
    if (!file) return 0;
    // Every run starts like a fresh process in name width; the reader may change it.
    set_name_width(size % 2 ? kInitialNameWidth : kLongNameWidth);
    RunContext context;
    context.data_file = file;
    if (load_data_file(context) == LoadStatus::ok) {
        const int variables = context.header.variable_count;
        // A selection derived from the data: both forms read it.
        for (size_t i = 0; i < 4 && i < size; ++i) context.selection.push_back(static_cast<int8_t>(data[i]) % 7);
        std::vector<double> values;
        std::vector<int32_t> mask;
        build_case_mask(context, mask);
        for (int v = 0; v <= variables + 1; ++v) {
            collect_valid_values(context, v, values, nullptr);
            gather_values(context, values, v, &mask);
            gather_values_marked(context, values, v, nullptr);
            std::vector<unsigned char> bytes;
            read_variable(context, v, bytes);
            (void)variable_name(context.header, v);
        }
        std::vector<int> list;
        for (int v = 1; v <= variables && v <= 3; ++v) list.push_back(v);
        std::vector<int32_t> flags;
        mark_missing_cases(-1, static_cast<int>(list.size()), flags, list.data(), context);
        mark_missing_cases(1, static_cast<int>(list.size()), flags, list.data(), context);
    }
    std::fclose(file);
    return 0;
}
