#include "run_command.h"

#include <cstdio>
#include <cstdlib>
#include <map>
#include <sstream>

#include "analyses/basic/anova.h"
#include "analyses/basic/correlation.h"
#include "analyses/basic/crosstab.h"
#include "analyses/basic/descriptive.h"
#include "analyses/basic/frequency.h"
#include "analyses/basic/ttest.h"
#include "analyses/factor/factor.h"
#include "data_tools.h"
#include "frame/channels.h"

namespace quorix {

namespace {

int run_descriptive(const RunRequest& request, std::string&) {
    return descriptive_frame(request.data_path.c_str(), request.run_name.c_str(), request.variables,
                             request.selection);
}

int run_frequency(const RunRequest& request, std::string& error) {
    double describe = 0;
    if (!option_number(request, "describe", 0, describe, error)) return kInvalidRequest;
    return frequency_frame(request.data_path.c_str(), request.run_name.c_str(), request.variables,
                           describe != 0 ? 1 : 0, request.selection);
}

// --vars must name exactly count variables (what names them, for the message).
bool exact_variables(const RunRequest& request, size_t count, const char* what, std::string& error) {
    if (request.variables.size() == count) return true;
    error = std::string("--vars takes ") + what;
    return false;
}

// The t-tests' variables (--vars X, or X,Y for the paired test) and --test.
bool ttest_request(const RunRequest& request, size_t count, double& test_value, std::string& error) {
    return exact_variables(request, count, count == 1 ? "X" : "X,Y", error) &&
           option_number(request, "test", 0, test_value, error);
}

// The t-tests open the run themselves, as their native methods do.
int run_one_sample(const RunRequest& request, std::string& error) {
    double test_value = 0;
    if (!ttest_request(request, 1, test_value, error)) return kInvalidRequest;
    return open_ttest_run(request.data_path.c_str(), request.run_name.c_str(), [&](RunContext& context) {
        return one_sample_frame(context, request.variables[0], test_value, request.selection);
    });
}

int run_paired(const RunRequest& request, std::string& error) {
    double test_value = 0;
    if (!ttest_request(request, 2, test_value, error)) return kInvalidRequest;
    return open_ttest_run(request.data_path.c_str(), request.run_name.c_str(), [&](RunContext& context) {
        return paired_sample_frame(context, request.variables[0], request.variables[1], test_value,
                                   request.selection);
    });
}

int run_independent(const RunRequest& request, std::string& error) {
    double test_value = 0;
    int group = 0;
    if (!ttest_request(request, 1, test_value, error) || !option_variable(request, "group", group, error))
        return kInvalidRequest;
    return open_ttest_run(request.data_path.c_str(), request.run_name.c_str(), [&](RunContext& context) {
        return independent_sample_frame(context, request.variables[0], group, test_value, request.selection);
    });
}

int run_matched(const RunRequest& request, std::string& error) {
    double test_value = 0;
    int group = 0;
    if (!ttest_request(request, 1, test_value, error) || !option_variable(request, "group", group, error))
        return kInvalidRequest;
    return open_ttest_run(request.data_path.c_str(), request.run_name.c_str(), [&](RunContext& context) {
        return matched_sample_frame(context, request.variables[0], group, test_value, request.selection);
    });
}

// A yes/no option: yes or 1, no or 0; absent is no.
bool option_flag(const RunRequest& request, const std::string& name, int& flag, std::string& error) {
    const std::string text = option_text(request, name, "no");
    flag = text == "yes" || text == "1";
    if (flag || text == "no" || text == "0") return true;
    error = "--" + name + " takes yes or no, got '" + text + "'";
    return false;
}

// The option words go to the analysis as given: it checks them itself.
int run_correlation(const RunRequest& request, std::string& error) {
    int alpha = 0, write_matrix = 0;
    if (!option_flag(request, "alpha", alpha, error) || !option_flag(request, "write-matrix", write_matrix, error))
        return kInvalidRequest;
    const auto word = [&request](const char* name) {
        const auto option = request.options.find(name);
        return option == request.options.end() ? nullptr : option->second.c_str();
    };
    return correlation_frame(request.data_path.c_str(), request.run_name.c_str(), request.variables,
                             word("processing"), word("matrix"), alpha, write_matrix, request.selection);
}

// The option words go to the analysis as given, as the native method passes
// them: it checks them itself.
int run_factor(const RunRequest& request, std::string& error) {
    int scores = 0;
    double cutoff = 0;
    if (!option_flag(request, "scores", scores, error) || !option_number(request, "cutoff", 1.0, cutoff, error))
        return kInvalidRequest;
    const auto word = [&request](const char* name) {
        const auto option = request.options.find(name);
        return option == request.options.end() ? nullptr : option->second.c_str();
    };
    FactorOptions options;
    options.variables = request.variables;
    options.rotation = word("rotation");
    options.initial_value = word("extraction");
    options.processing = word("processing");
    options.sort = word("sort");
    options.factor_scores = scores;
    options.cutoff = cutoff;
    return factor_frame(request.data_path.c_str(), request.run_name.c_str(), options, request.selection);
}

// --show: the optional lines of the cross tabulation by name, as the bits of its display word.
bool crosstab_display(const RunRequest& request, int& display, std::string& error) {
    static const struct {
        const char* name;
        int bit;
    } kLines[] = {{"cell", kShowCellPercent}, {"row", kShowRowPercent}, {"column", kShowColumnPercent},
                  {"expected", kShowExpected}};
    display = 0;
    std::istringstream words(option_text(request, "show", "none"));
    for (std::string word; std::getline(words, word, ',');) {
        if (word == "none") continue;
        int bit = 0;
        for (const auto& line : kLines)
            if (word == line.name) bit = line.bit;
        if (bit == 0) {
            error = "--show takes cell, row, column, expected or none, got '" + word + "'";
            return false;
        }
        display |= bit;
    }
    return true;
}

int run_crosstab(const RunRequest& request, std::string& error) {
    int display = 0;
    if (!exact_variables(request, 2, "ROW,COLUMN", error) || !crosstab_display(request, display, error))
        return kInvalidRequest;
    return crosstab_two_frame(request.data_path.c_str(), request.run_name.c_str(), request.variables[0],
                              request.variables[1], display, request.selection);
}

int run_crosstab3(const RunRequest& request, std::string& error) {
    int display = 0;
    if (!exact_variables(request, 3, "ROW,COLUMN,LAYER", error) || !crosstab_display(request, display, error))
        return kInvalidRequest;
    return crosstab_three_frame(request.data_path.c_str(), request.run_name.c_str(), request.variables[0],
                                request.variables[1], request.variables[2], display, request.selection);
}

int run_anova1(const RunRequest& request, std::string& error) {
    if (!exact_variables(request, 2, "DEPENDENT,FACTOR", error)) return kInvalidRequest;
    return anova_one_frame(request.data_path.c_str(), request.run_name.c_str(), request.variables[0],
                           request.variables[1], request.selection);
}

int run_anova2(const RunRequest& request, std::string& error) {
    if (!exact_variables(request, 3, "DEPENDENT,A,B", error)) return kInvalidRequest;
    return anova_two_frame(request.data_path.c_str(), request.run_name.c_str(), request.variables[0],
                           request.variables[1], request.variables[2], request.selection);
}

// One row per analysis, in the order of the native methods; options lists
// what its run function reads (option_* calls and request.options look-ups).
const std::vector<AnalysisCommand> kAnalyses = {
    {"descriptive", "descriptive statistics of each variable in --vars", "", run_descriptive},
    {"frequency", "frequency table of each variable in --vars; --describe 1 adds its statistics", "describe",
     run_frequency},
    {"one-sample", "t-test of the mean of --vars X against --test VALUE (default 0)", "test", run_one_sample},
    {"paired", "t-test of the differences of --vars X,Y against --test VALUE", "test", run_paired},
    {"independent", "t-test of --vars X between the two groups of --group G, --test VALUE", "group test",
     run_independent},
    {"matched", "t-test of --vars X, i-th cases of the two groups of --group G matched, --test VALUE", "group test",
     run_matched},
    {"crosstab", "two-way table of --vars ROW,COLUMN; --show cell,row,column,expected adds those lines", "show",
     run_crosstab},
    {"crosstab3", "three-way table of --vars ROW,COLUMN,LAYER, one subtable a layer; --show as for crosstab", "show",
     run_crosstab3},
    {"anova1", "one-way ANOVA of --vars DEPENDENT,FACTOR (balanced, at most 36 groups)", "", run_anova1},
    {"anova2", "two-way ANOVA of --vars DEPENDENT,A,B with interaction (balanced, at most 36 cells)", "", run_anova2},
    {"factor",
     "eigenvalues of the correlations of --vars, then the factors: --extraction pca|epic, --rotation "
     "varimax|oblimin|othosim, --processing complete|pair, --sort none|factor|commuality, --cutoff, --scores yes",
     "extraction rotation processing sort cutoff scores", run_factor},
    {"correlation",
     "covariances (--matrix cov) or correlations (corr) of --vars; --processing complete|pair; --alpha yes; "
     "--write-matrix yes",
     "matrix processing alpha write-matrix", run_correlation},
};

const AnalysisCommand* find_analysis(const std::string& name) {
    for (const AnalysisCommand& analysis : kAnalyses)
        if (name == analysis.name) return &analysis;
    return nullptr;
}

// The words of a space-separated list.
std::vector<std::string> words_of(const char* list) {
    std::vector<std::string> words;
    std::istringstream in(list);
    for (std::string word; in >> word;) words.push_back(word);
    return words;
}

bool takes_option(const AnalysisCommand& analysis, const std::string& name) {
    for (const char* list : {kCommonOptions, analysis.options})
        for (const std::string& word : words_of(list))
            if (word == name) return true;
    return false;
}

// A misspelled option would otherwise be ignored and the run go on with the default.
std::string unknown_option_message(const AnalysisCommand& analysis, const std::string& option) {
    std::string message = std::string(analysis.name) + " does not take " + option + "; its options are";
    const char* separator = " --";
    for (const char* list : {kCommonOptions, analysis.options}) {
        for (const std::string& word : words_of(list)) {
            message += separator + word;
            separator = ", --";
        }
    }
    return message;
}

bool parse_integer(const std::string& text, long long& value) {
    if (text.empty()) return false;
    char* end = nullptr;
    value = std::strtoll(text.c_str(), &end, 10);
    return *end == '\0';
}

std::vector<std::string> split_list(const std::string& text) {
    std::vector<std::string> parts;
    size_t start = 0;
    while (start <= text.size()) {
        const size_t comma = text.find(',', start);
        const std::string part = text.substr(start, comma == std::string::npos ? std::string::npos : comma - start);
        if (!part.empty()) parts.push_back(part);
        if (comma == std::string::npos) break;
        start = comma + 1;
    }
    return parts;
}

}  // namespace

// Variables by name or by 1-based number, checked against the file's dictionary.
bool resolve_variables(const std::string& path, const std::string& list, std::vector<int>& variables,
                       std::string& error) {
    RunContext context;
    if (!open_data_file(path, context, error)) return false;
    close_data_file(context);
    for (const std::string& item : split_list(list)) {
        long long number = 0;
        if (!parse_integer(item, number)) {
            for (int v = 1; v <= context.header.variable_count && number == 0; ++v)
                if (variable_name(context.header, v) == item) number = v;
            if (number == 0) {
                error = "no variable named '" + item + "' in " + path;
                return false;
            }
        }
        if (number < 1 || number > context.header.variable_count) {
            error = "variable number " + item + " is not between 1 and " + std::to_string(context.header.variable_count);
            return false;
        }
        variables.push_back(static_cast<int>(number));
    }
    return true;
}

std::string option_text(const RunRequest& request, const std::string& name, const std::string& fallback) {
    const auto option = request.options.find(name);
    return option == request.options.end() ? fallback : option->second;
}

bool option_number(const RunRequest& request, const std::string& name, double fallback, double& value,
                   std::string& error) {
    const auto option = request.options.find(name);
    if (option == request.options.end()) {
        value = fallback;
        return true;
    }
    char* end = nullptr;
    value = std::strtod(option->second.c_str(), &end);
    if (option->second.empty() || *end != '\0') {
        error = "--" + name + " needs a number, got '" + option->second + "'";
        return false;
    }
    return true;
}

bool option_variable(const RunRequest& request, const std::string& name, int& variable, std::string& error) {
    const auto option = request.options.find(name);
    if (option == request.options.end()) {
        error = "--" + name + " is required";
        return false;
    }
    std::vector<int> found;
    if (!resolve_variables(request.data_path, option->second, found, error)) return false;
    if (found.size() != 1) {
        error = "--" + name + " takes one variable";
        return false;
    }
    variable = found[0];
    return true;
}

namespace {

bool parse_request(const AnalysisCommand& analysis, const std::vector<std::string>& args, RunRequest& request,
                   std::string& error) {
    if (args.size() < 2) {
        error = "run needs an analysis and a data file";
        return false;
    }
    request.analysis = args[0];
    request.data_path = args[1];
    std::string variable_list;
    for (size_t i = 2; i < args.size(); ++i) {
        const std::string& option = args[i];
        if (option.compare(0, 2, "--") != 0 || i + 1 >= args.size()) {
            error = "expected --option VALUE, got '" + option + "'";
            return false;
        }
        const std::string& value = args[++i];
        if (option == "--run") {
            request.run_name = value;
        } else if (option == "--vars") {
            variable_list = value;
        } else if (option == "--select") {
            for (const std::string& item : split_list(value)) {
                long long entry;
                if (!parse_integer(item, entry) || entry < INT32_MIN || entry > INT32_MAX) {
                    error = "case selection entry '" + item + "' is not a whole number";
                    return false;
                }
                request.selection.push_back(static_cast<int32_t>(entry));
            }
        } else if (takes_option(analysis, option.substr(2))) {
            request.options[option.substr(2)] = value;
        } else {
            error = unknown_option_message(analysis, option);
            return false;
        }
    }
    return resolve_variables(request.data_path, variable_list, request.variables, error);
}

}  // namespace

std::string run_usage() {
    std::string text =
        "usage: rkstat run ANALYSIS DATA.rkd --run NAME [--vars A,B,...] [--select ENTRIES] [options]\n"
        "  writes DATA_NAME.out, DATA_NAME.log and DATA_NAME.xml beside the data file and echoes\n"
        "  the report and the log.\n"
        "  --vars     variables by name or 1-based number, in the order the analysis uses them\n"
        "  --select   the case selection as the analysis reads it: 0-based case numbers for the\n"
        "             basic analyses, one 0/1 flag per case for the others\n"
        "analyses:\n";
    for (const AnalysisCommand& analysis : kAnalyses)
        append_printf(text, "  %-14s %s\n", analysis.name, analysis.usage);
    return text;
}

const std::vector<AnalysisCommand>& analysis_commands() { return kAnalyses; }

int run_command(const std::vector<std::string>& args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h") {
        std::fputs(run_usage().c_str(), args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    RunRequest request;
    std::string error;
    const AnalysisCommand* analysis = find_analysis(args[0]);
    if (!analysis) error = "unknown analysis '" + args[0] + "' (rkstat run --help lists them)";
    if (analysis && !parse_request(*analysis, args, request, error)) analysis = nullptr;
    if (!analysis) {
        std::fprintf(stderr, "rkstat: %s\n", error.c_str());
        return 2;
    }
    const int status = analysis->run(request, error);
    if (status == kInvalidRequest) {
        std::fprintf(stderr, "rkstat: %s\n", error.c_str());
        return 2;
    }
    std::fflush(stdout);
    std::fputc('\n', stdout);
    return status == 0 ? 0 : 1;
}

}  // namespace quorix
