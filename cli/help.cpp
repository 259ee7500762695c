#include "cli/help.h"

namespace vza::cli {
namespace {

constexpr const char* CommonOptions =
    "Common options:\n"
    "  -q, --quiet             no progress line; list prints names only, test only\n"
    "                          failures (errors and warnings are always printed)\n"
    "  -v, --verbose           name each entry written or added\n"
    "  --password-file FILE    read the password from the first line of FILE\n"
    "\n"
    "The password of an encrypted archive comes from the environment variable\n"
    "VZA_PASSWORD, else from --password-file, else from a prompt on the terminal.\n"
    "It is never taken from the command line.\n";

constexpr const char* ExitCodes =
    "Exit status: 0 all done; 1 some entries failed or were skipped (the others\n"
    "were done); 2 usage error, or the archive cannot be opened or written, or\n"
    "the output folder cannot be used.\n";

}  // namespace

std::string generalHelp()
{
    return std::string(
               "Usage: vza COMMAND ARCHIVE [OPTIONS] [ARGS...]\n"
               "Lists, tests, extracts and creates .vza archives.\n"
               "\n"
               "Commands:\n"
               "  list    ARCHIVE                        sizes, ratio and name of every entry\n"
               "  test    ARCHIVE                        read and check every entry\n"
               "  extract ARCHIVE [-C DIR] [-k] [NAME|PATTERN...]\n"
               "                                         write entries under DIR (default .)\n"
               "  create  ARCHIVE [-z] [-e] PATH...      pack files and folders\n"
               "  help    COMMAND                        the options of one command\n"
               "\n") +
           CommonOptions + "\n" + ExitCodes + "\n" +
           "  vza --version    print the version\n";
}

std::string commandHelp(const std::string& command)
{
    std::string text;
    if (command == "list") {
        text = "Usage: vza list ARCHIVE\n"
               "Prints the size, stored size, space saved and name of every entry in index\n"
               "order, then a totals line. With -q only the names, one a line; with -v also\n"
               "the archive's flags.\n";
    } else if (command == "test") {
        text = "Usage: vza test ARCHIVE\n"
               "Reads every entry, unseals and inflates it and checks its length, and prints\n"
               "OK or FAILED for each. With -q only the failures are printed.\n";
    } else if (command == "extract") {
        text = "Usage: vza extract ARCHIVE [-C DIR] [-k] [NAME|PATTERN...]\n"
               "Writes entries under DIR (default: the current folder), creating folders as\n"
               "needed. Without names every entry is written; when two entries share a name\n"
               "the later one wins. A NAME given exactly picks the first entry of that name;\n"
               "a PATTERN (* ? [...], '*' also matches '/') picks every matching entry.\n"
               "Names that would leave DIR are made safe and a warning is printed.\n"
               "\n"
               "Give -- before names that begin with '-'.\n"
               "\n"
               "  -C DIR    write under DIR (created when missing)\n"
               "  -k        keep existing files; they are reported as skipped\n";
    } else if (command == "create") {
        text = "Usage: vza create ARCHIVE [-z] [-e] PATH...\n"
               "Packs files, and folders recursively in sorted order, into a new ARCHIVE\n"
               "(an existing one is replaced). Entry names are the paths as given; absolute\n"
               "paths and '..' are refused. Symbolic links and special files are skipped.\n"
               "\n"
               "  -z        compress the entries (zlib)\n"
               "  -e        encrypt the archive (asks for the password twice on a terminal)\n";
    } else {
        return generalHelp();
    }
    return text + "\n" + CommonOptions + "\n" + ExitCodes;
}

std::string versionText()
{
    return std::string("vza ") + VZA_VERSION + "\n";
}

}  // namespace vza::cli
