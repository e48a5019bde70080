// rkstat: the command line of the statistics engine.
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "data_tools.h"
#include "run_command.h"

namespace {

const char kUsage[] =
    "usage:\n"
    "  rkstat import DATA.csv DATA.rkd [options]   convert a CSV file (header row of names) to a data file\n"
    "      --short                 8-byte names and short label records (the older layout)\n"
    "      --missing NAME=C1[,C2[,C3]]   user-missing codes (missing-value kinds 1 to 3)\n"
    "      --missing-range NAME=LOW:HIGH values from LOW to HIGH are missing (kind 4; kind 5 with one code)\n"
    "      --range NAME=MIN:MAX     the valid range, shown by frequency tables\n"
    "      --labels NAME=V:TEXT[,V:TEXT...]  value labels (values of at most 3 characters, at most 15)\n"
    "  rkstat export DATA.rkd DATA.csv            convert a data file back to CSV (17 significant digits at most)\n"
    "  rkstat info DATA.rkd                       show the header, the dictionary and the value labels\n"
    "  rkstat run ANALYSIS DATA.rkd --run NAME --vars A,B [--select ...]   run an analysis (rkstat run --help)\n";

int fail(const std::string& message) {
    std::fprintf(stderr, "rkstat: %s\n", message.c_str());
    return 1;
}

int run_import(const std::vector<std::string>& args) {
    quorix::ImportOptions options;
    std::vector<std::string> paths;
    std::string error;
    for (size_t i = 0; i < args.size(); ++i) {
        const std::string& arg = args[i];
        if (arg == "--short") {
            options.short_names = true;
            continue;
        }
        if (arg.compare(0, 2, "--") != 0) {
            paths.push_back(arg);
            continue;
        }
        if (i + 1 >= args.size()) return fail(arg + " needs a value");
        const std::string& value = args[++i];
        bool ok;
        if (arg == "--missing")
            ok = quorix::parse_missing_codes(value, options, error);
        else if (arg == "--missing-range")
            ok = quorix::parse_range(value, options.missing_ranges, error);
        else if (arg == "--range")
            ok = quorix::parse_range(value, options.valid_ranges, error);
        else if (arg == "--labels")
            ok = quorix::parse_labels(value, options, error);
        else
            return fail("unknown option " + arg);
        if (!ok) return fail(error);
    }
    if (paths.size() != 2) return fail("import needs a CSV file and a data file");
    if (!quorix::import_csv(paths[0], paths[1], options, error)) return fail(paths[0] + ": " + error);
    return 0;
}

int run_rkstat(std::vector<std::string> args) {
    if (args.empty() || args[0] == "--help" || args[0] == "-h" || args[0] == "help") {
        std::fputs(kUsage, args.empty() ? stderr : stdout);
        return args.empty() ? 2 : 0;
    }
    const std::string command = args[0];
    args.erase(args.begin());
    std::string error;
    if (command == "import") return run_import(args);
    if (command == "run") return quorix::run_command(args);
    if (command == "export") {
        if (args.size() != 2) return fail("export needs a data file and a CSV file");
        return quorix::export_csv(args[0], args[1], error) ? 0 : fail(error);
    }
    if (command == "info") {
        if (args.size() != 1) return fail("info needs one data file");
        std::string text;
        if (!quorix::describe_data_file(args[0], text, error)) return fail(error);
        std::fputs(text.c_str(), stdout);
        return 0;
    }
    std::fputs(kUsage, stderr);
    return fail("unknown command " + command);
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
