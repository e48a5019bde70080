// rkstat: the command line of the statistics engine.
//
// Exit status: 0 when the command did its work, 1 when it failed, 2 when the
// command line is wrong (no further work is attempted).
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data_tools.h"
#include "report_view.h"
#include "run_command.h"

namespace {

const char kVersion[] = "rkstat (Quorix statistics engine) 0.1.0\n";

const char kUsage[] =
    "usage: rkstat COMMAND [ARGUMENTS]\n"
    "  rkstat import DATA.csv DATA.rkd [options]   convert a CSV file (header row of names) to a data file\n"
    "  rkstat export DATA.rkd DATA.csv             convert a data file back to CSV\n"
    "  rkstat info DATA.rkd                        show the header, the dictionary and the value labels\n"
    "  rkstat run ANALYSIS DATA.rkd --run NAME [options]   run an analysis\n"
    "  rkstat view RUN.xml [-o RUN.html] [--format html|json|xml]   render a result document\n"
    "  rkstat COMMAND --help                       the command's options (also -h)\n"
    "  rkstat --version                            the program's version\n"
    "exit status: 0 done, 1 failed, 2 wrong command line\n";

const char kImportUsage[] =
    "usage: rkstat import DATA.csv DATA.rkd [options]\n"
    "  converts a CSV file whose first row names the variables to a data file and prints what it\n"
    "  read: each variable's type and missing cells, and where a text column's first text lies.\n"
    "  Columns whose every cell is a number or missing become numeric variables, the others\n"
    "  alphanumeric. A leading byte-order mark is dropped.\n"
    "  --delimiter comma|semicolon|tab   the field delimiter (default: the one of the three that\n"
    "                                    the header row holds most often)\n"
    "  --na TEXT[,TEXT...]           texts read as missing besides empty cells (default NA; '' for none)\n"
    "  --missing NAME=C1[,C2[,C3]]   user-missing codes (missing-value kinds 1 to 3)\n"
    "  --missing-range NAME=LOW:HIGH values from LOW to HIGH are missing (kind 4; kind 5 with one code)\n"
    "  --range NAME=MIN:MAX          the valid range, shown by frequency tables; the data file holds it\n"
    "                                in the fields of the second and third code and the missing range,\n"
    "                                so it takes at most one missing code\n"
    "  --labels NAME=V:TEXT[,V:TEXT...]   value labels (values of at most 3 characters, at most 15)\n"
    "  --short                       8-byte names and short label records (the older layout)\n"
    "  --quiet                       print nothing on success but warnings\n"
    "  -h, --help                    this text\n";

const char kExportUsage[] =
    "usage: rkstat export DATA.rkd DATA.csv\n"
    "  writes the data file as CSV: a header row of names, numbers in the shortest form that reads\n"
    "  back as the same value (17 significant digits at most), missing values as empty cells.\n"
    "  -h, --help   this text\n";

const char kInfoUsage[] =
    "usage: rkstat info DATA.rkd\n"
    "  shows the data file's header, its dictionary (type, width, missing values and kind of each\n"
    "  variable) and its value labels.\n"
    "  -h, --help   this text\n";

bool is_help(const std::string& arg) { return arg == "--help" || arg == "-h"; }
bool is_option(const std::string& arg) { return arg.size() > 1 && arg[0] == '-'; }

int fail(const std::string& message) {
    std::fprintf(stderr, "rkstat: %s\n", message.c_str());
    return 1;
}

int usage_error(const std::string& message, const char* command) {
    std::fprintf(stderr, "rkstat: %s\n(rkstat %s--help shows the usage)\n", message.c_str(), command);
    return 2;
}

int show(const char* text) {
    std::fputs(text, stdout);
    return 0;
}

// The message of a failed import, led by the CSV file's path unless it names a path itself.
std::string import_message(const quorix::ImportSummary& summary, const std::string& error) {
    for (const std::string* path : {&summary.csv_path, &summary.rkd_path})
        if (error.compare(0, path->size(), *path) == 0 || error.find(" " + *path) != std::string::npos) return error;
    return summary.csv_path + ": " + error;
}

int run_import(const std::vector<std::string>& args) {
    quorix::ImportOptions options;
    std::vector<std::string> paths;
    bool quiet = false;
    std::string error;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (is_help(arg)) return show(kImportUsage);
        if (arg == "--short" || arg == "--quiet") {
            (arg == "--short" ? options.short_names : quiet) = true;
            continue;
        }
        if (!is_option(arg)) {
            paths.push_back(arg);
            continue;
        }
        static const char* const kValued[] = {"--missing", "--missing-range", "--range", "--labels", "--na",
                                              "--delimiter"};
        bool known = false;
        for (const char* name : kValued) known = known || arg == name;
        if (!known) return usage_error("unknown option " + arg, "import ");
        if (i + 1 >= args.size()) return usage_error(arg + " needs a value", "import ");
        const std::string& value = args[++i];
        bool ok = true;
        if (arg == "--missing")
            ok = quorix::parse_missing_codes(value, options, error);
        else if (arg == "--missing-range")
            ok = quorix::parse_range(value, options.missing_ranges, error);
        else if (arg == "--range")
            ok = quorix::parse_range(value, options.valid_ranges, error);
        else if (arg == "--labels")
            ok = quorix::parse_labels(value, options, error);
        else if (arg == "--delimiter")
            ok = quorix::parse_delimiter(value, options, error);
        else
            quorix::parse_missing_texts(value, options);
        if (!ok) return usage_error(error, "import ");
    }
    if (paths.size() != 2) return usage_error("import needs a CSV file and a data file", "import ");
    if (!quorix::check_import_options(options, error)) return usage_error(error, "import ");
    quorix::ImportSummary summary;
    if (!quorix::import_csv(paths[0], paths[1], options, error, &summary)) {
        const std::string message = import_message(summary, error);
        return summary.arguments_refused ? usage_error(message, "import ") : fail(message);
    }
    if (quiet) {
        const std::string notice = quorix::system_missing_notice(summary);
        if (!notice.empty()) std::fprintf(stderr, "rkstat: warning: %s\n", notice.c_str());
    } else {
        std::fputs(quorix::import_summary_text(summary).c_str(), stdout);
    }
    return 0;
}

// The paths of a command that takes exactly `count` of them and no options:
// -1 when they are there, else the exit status (help shown, or a usage error).
int read_paths(const std::vector<std::string>& args, size_t count, const char* command, const char* usage,
               const char* what, std::vector<std::string>& paths) {
    for (const std::string& arg : args) {
        if (is_help(arg)) return show(usage);
        if (is_option(arg)) return usage_error("unknown option " + arg, command);
        paths.push_back(arg);
    }
    return paths.size() == count ? -1 : usage_error(what, command);
}

int run_export(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    const int status = read_paths(args, 2, "export ", kExportUsage, "export needs a data file and a CSV file", paths);
    if (status >= 0) return status;
    std::string error;
    if (!quorix::check_distinct_output(paths[0], paths[1], error)) return usage_error(error, "export ");
    return quorix::export_csv(paths[0], paths[1], error) ? 0 : fail(error);
}

int run_info(const std::vector<std::string>& args) {
    std::vector<std::string> paths;
    const int status = read_paths(args, 1, "info ", kInfoUsage, "info needs one data file", paths);
    if (status >= 0) return status;
    std::string text, error;
    if (!quorix::describe_data_file(paths[0], text, error)) return fail(error);
    std::fputs(text.c_str(), stdout);
    return 0;
}

int run_rkstat(std::vector<std::string> args) {
    if (args.empty()) {
        std::fputs(kUsage, stderr);
        return 2;
    }
    if (args[0] == "help" && args.size() > 1) args = {args[1], "--help"};
    if (is_help(args[0]) || args[0] == "help") return show(kUsage);
    if (args[0] == "--version") return show(kVersion);
    const std::string command = args[0];
    args.erase(args.begin());
    if (command == "import") return run_import(args);
    if (command == "run") return quorix::run_command(args);
    if (command == "export") return run_export(args);
    if (command == "info") return run_info(args);
    if (command == "view") return quorix::view_command(args);
    return usage_error((is_option(command) ? "unknown option " : "unknown command ") + command, "");
}

}  // namespace

// What rkstat printed must have reached its standard output (a file on a full
// disk may not take it): a failed write turns the exit status into 1.
int main(int argc, char** argv) {
    int status = run_rkstat(std::vector<std::string>(argv + 1, argv + argc));
    errno = 0;
    if (std::fflush(stdout) != 0 || std::ferror(stdout)) {
        std::fprintf(stderr, "rkstat: cannot write the standard output: %s\n", std::strerror(errno != 0 ? errno : EIO));
        if (status == 0) status = 1;
    }
    return status;
}
