#include "support/test_files.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <regex>
#include <sstream>
#include <utility>

#include "analyses/basic/descriptive.h"
#include "data_tools.h"
#include "datafile/rkd_writer.h"
#include "frame/case_access.h"
#include "frame/channels.h"
#include "frame/run_frame.h"

namespace quorix::testing {

namespace fs = std::filesystem;

ScratchDir::ScratchDir() {
    std::random_device random;
    for (;;) {
        fs::path candidate = fs::temp_directory_path() / ("quorix-test-" + std::to_string(random()));
        if (fs::create_directory(candidate)) {
            path = candidate.string();
            return;
        }
    }
}

ScratchDir::~ScratchDir() {
    std::error_code ignored;
    fs::remove_all(path, ignored);
}

void write_numeric_file(const std::string& path, const std::vector<TestVariable>& variables,
                        const std::string& signature, const std::vector<ValueLabelSet>& label_sets) {
    RkdLayout layout;
    layout.signature = signature;
    layout.variable_count = static_cast<int32_t>(variables.size());
    layout.case_count = variables.empty() ? 0 : static_cast<int32_t>(variables[0].values.size());
    layout.label_sets = label_sets;
    for (const TestVariable& variable : variables) layout.names.push_back(variable.name);
    RkdFileWriter writer;
    ASSERT_TRUE(begin_rkd_file(writer, path, layout)) << writer.error;
    for (const TestVariable& variable : variables)
        ASSERT_TRUE(append_numeric_variable(writer, variable.descriptor, variable.values.data())) << writer.error;
    ASSERT_TRUE(finish_rkd_file(writer)) << writer.error;
}

std::string read_text(const std::string& path) {
    std::ifstream in(path, std::ios::binary);
    std::ostringstream text;
    text << in.rdbuf();
    return text.str();
}

std::vector<unsigned char> read_bytes(const std::string& path) {
    const std::string text = read_text(path);
    return {text.begin(), text.end()};
}

void write_bytes(const std::string& path, const std::vector<unsigned char>& bytes) {
    std::ofstream out(path, std::ios::binary);
    out.write(reinterpret_cast<const char*>(bytes.data()), static_cast<std::streamsize>(bytes.size()));
}

bool file_exists(const std::string& path) { return fs::exists(path); }

std::string replace_all(std::string text, const std::string& from, const std::string& to) {
    for (size_t at = text.find(from); !from.empty() && at != std::string::npos; at = text.find(from, at + to.size()))
        text.replace(at, from.size(), to);
    return text;
}

// "Sat Dec  5 18:46:29 2026", ctime's layout without its newline, after the banner's title.
std::string mask_banner_time(const std::string& text) {
    static const std::regex banner("(VOR 6\\.1       )[A-Z][a-z]{2} [A-Z][a-z]{2} [ 0-9][0-9] [0-9]{2}:[0-9]{2}:[0-9]{2} [0-9]{4}");
    return std::regex_replace(text, banner, "$1<time>");
}

void expect_golden(const std::string& name, const std::string& actual) {
    const std::string path = std::string(QUORIX_GOLDEN_DIR) + "/" + name;
    const char* update = std::getenv("QUORIX_UPDATE_GOLDEN");
    if (update && std::string(update) == "1") {
        fs::create_directories(fs::path(path).parent_path());
        std::ofstream(path, std::ios::binary) << actual;
        return;
    }
    ASSERT_TRUE(fs::exists(path)) << "missing golden file " << name;
    const std::string expected = read_text(path);
    if (expected == actual) return;
    std::istringstream want(expected), got(actual);
    std::string w, g;
    for (int line = 1; want || got; ++line) {
        if (!std::getline(want, w)) w = "<end of file>";
        if (!std::getline(got, g)) g = "<end of file>";
        if (w != g) {
            ADD_FAILURE() << name << " line " << line << "\n  expected: [" << w << "]\n  actual:   [" << g << "]";
            return;
        }
    }
    ADD_FAILURE() << name << ": line endings or final newline differ";
}

std::string record_run(const ScratchDir& dir, const std::string& data_path, const std::string& run_name,
                       const std::function<void()>& run) {
    ::testing::internal::CaptureStdout();
    run();
    std::string record = "== console\n" + ::testing::internal::GetCapturedStdout() + "\n";
    const ResultFileNames names = result_file_names(data_path, run_name);
    for (const auto& [label, path] : {std::pair{"out", names.report}, {"log", names.log}, {"xml", names.xml}})
        record += std::string("== ") + label + "\n" + (file_exists(path) ? read_text(path) : std::string("<no file>\n"));
    return mask_banner_time(replace_all(record, dir.path, "<dir>"));
}

std::string section(const std::string& record, const std::string& name) {
    const size_t start = record.find("== " + name + "\n");
    if (start == std::string::npos) return "";
    const size_t body = start + name.size() + 4;
    const size_t end = record.find("\n== ", body - 1);
    return record.substr(body, end == std::string::npos ? std::string::npos : end + 1 - body);
}

std::string import_sample(const ScratchDir& dir, const std::string& csv, const std::string& rkd,
                          const std::vector<std::string>& labels) {
    ImportOptions options;
    std::string error;
    for (const std::string& label : labels) EXPECT_TRUE(parse_labels(label, options, error)) << error;
    const std::string path = dir.file(rkd);
    EXPECT_TRUE(import_csv(std::string(QUORIX_SAMPLE_DIR) + "/" + csv, path, options, error)) << error;
    return path;
}

std::vector<std::pair<std::string, std::vector<double>>> read_named_table(const std::string& name) {
    std::vector<std::pair<std::string, std::vector<double>>> rows;
    std::istringstream in(read_text(std::string(QUORIX_TEST_DATA_DIR) + "/" + name));
    bool header = true;
    for (std::string line; std::getline(in, line);) {
        if (line.empty() || line[0] == '#' || std::exchange(header, false)) continue;
        std::istringstream fields(line);
        std::string first;
        std::getline(fields, first, ',');
        rows.emplace_back(first, std::vector<double>());
        for (std::string field; std::getline(fields, field, ',');) rows.back().second.push_back(std::strtod(field.c_str(), nullptr));
    }
    EXPECT_FALSE(rows.empty()) << "no rows in " << name;
    return rows;
}

std::vector<std::vector<double>> read_number_table(const std::string& name) {
    std::vector<std::vector<double>> rows;
    for (auto& [first, numbers] : read_named_table(name)) {
        numbers.insert(numbers.begin(), std::strtod(first.c_str(), nullptr));
        rows.push_back(std::move(numbers));
    }
    return rows;
}

void expect_near_each(const std::vector<double>& actual, const std::vector<double>& expected, double tolerance,
                      const std::string& what) {
    ASSERT_EQ(actual.size(), expected.size()) << what;
    for (size_t i = 0; i < expected.size(); ++i)
        EXPECT_NEAR(actual[i], expected[i], tolerance * std::max(1.0, std::fabs(expected[i]))) << what << " element " << i;
}

std::vector<double> read_column(const std::string& path, int variable) {
    RunContext context;
    std::string error;
    std::vector<double> column;
    EXPECT_TRUE(open_data_file(path, context, error)) << error;
    EXPECT_TRUE(read_numeric_column(context, variable, column)) << path << " variable " << variable;
    close_data_file(context);
    return column;
}

StatsRow describe(std::vector<double> values) {
    StatsRow row{};
    EXPECT_EQ(describe_sample(values.data(), values.size(), row), 0);
    return row;
}

RunContext context_with_names(const std::vector<std::string>& names) {
    set_name_width(kLongNameWidth);
    RunContext context;
    context.header.variable_count = static_cast<int32_t>(names.size());
    context.header.name_table.assign(names.size() * kLongNameWidth, '\0');
    for (size_t i = 0; i < names.size(); ++i) context.header.name_table.replace(i * kLongNameWidth, names[i].size(), names[i]);
    return context;
}

XmlCapture::XmlCapture() : file(std::tmpfile()) {
    output_state().xml = file;
    output_state().files_open = 1;
}

XmlCapture::~XmlCapture() {
    output_state().xml = nullptr;
    output_state().files_open = 0;
    std::fclose(file);
}

std::string XmlCapture::text() {
    std::fflush(file);
    std::rewind(file);
    std::string content;
    char buffer[4096];
    for (size_t n; (n = std::fread(buffer, 1, sizeof buffer, file)) > 0;) content.append(buffer, n);
    return content;
}

}  // namespace quorix::testing
