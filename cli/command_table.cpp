// SPDX-License-Identifier: MIT
#include "cli/command_table.h"

#include <cstdint>
#include <stdexcept>
#include <string>

#include "cli/commands.h"

namespace vza::cli {
namespace {

constexpr const char* PasswordRefusal =
    "passwords are never taken from the command line; set VZA_PASSWORD or use --password-file FILE";

bool refusePassword(Options&, const std::string&, std::string& error)
{
    error = PasswordRefusal;
    return false;
}

// unzip's -p pipes entries to stdout; here -p would be read as a password.
bool refuseP(Options&, const std::string&, std::string& error)
{
    error = std::string("-p: ") + PasswordRefusal + ". To write entries to standard output, use -O (--to-stdout)";
    return false;
}

// "vza help COMMAND" names one of the other commands.
bool checkHelpTopic(const Options& options, std::string& error)
{
    if (options.operands.empty())
        return true;
    const std::string& topic = options.operands.front();
    if (findCommand(topic) == nullptr || topic == "help") {
        error = "no help for '" + topic + "'";
        return false;
    }
    return true;
}

// -O writes no file: a folder to write under or files to keep mean the
// user expected files.
bool checkExtract(const Options& options, std::string& error)
{
    if (options.toStdout && (options.keepExisting || options.replaceExisting || options.outputDir != ".")) {
        error = "-O writes to standard output; -C, -n (-k) and -o do not go with it";
        return false;
    }
    if (options.keepExisting && options.replaceExisting) {
        error = "-o replaces existing files and -n (-k) keeps them; give one of them";
        return false;
    }
    return true;
}

// -0 ... -9: -0 stores the entries as they are; -1 (fastest) to -9
// (smallest) compress them, so with create they mean -z too.
template <int Level>
bool setLevel(Options& o, const std::string&, std::string&)
{
    o.level = Level;
    o.compress = o.compress || Level > 0;
    return true;
}

// One option or command per block, its help text beside its action.
// clang-format off
const std::vector<OptionSpec> Options_ = {
    {'q', "quiet", "", "no progress line; list prints names only, test only\n"
                       "failures (errors and warnings are always printed)",
     true, [](Options& o, const std::string&, std::string&) { o.verbosity = Verbosity::Quiet; return true; }},
    {'v', "verbose", "", "name each entry written or added",
     true, [](Options& o, const std::string&, std::string&) { o.verbosity = Verbosity::Verbose; return true; }},
    {'\0', "password-file", "FILE", "read the password from the first line of FILE", true,
     [](Options& o, const std::string& value, std::string& error) {
         if (value.empty()) {
             error = "option " + error + " needs a file name";
             return false;
         }
         o.passwordFile = value;
         return true;
     }},
    {'h', "help", "", "print this help; after a command, that command's", true,
     [](Options& o, const std::string&, std::string&) { o.help = true; return true; }},
    {'\0', "version", "", "print the version", true,
     [](Options& o, const std::string&, std::string&) { o.version = true; return true; }},
    // Asked for out of habit from other tools: the answer says where a
    // password may come from instead.
    {'\0', "password", "", "", true, refusePassword},
    {'p', "", "", "", true, refuseP},
    {'P', "", "", "", true, refusePassword},

    {'C', "", "DIR", "write under DIR (created when missing)", false,
     [](Options& o, const std::string& value, std::string& error) {
         if (value.empty()) {
             error = "option " + error + " needs a folder";
             return false;
         }
         o.outputDir = value;
         return true;
     }},
    {'o', "overwrite", "", "replace existing files without asking", false,
     [](Options& o, const std::string&, std::string&) { o.replaceExisting = true; return true; }},
    {'n', "", "", "never replace existing files (-k is the same); the\n"
                  "summary counts them", false,
     [](Options& o, const std::string&, std::string&) { o.keepExisting = true; return true; }},
    {'k', "", "", "", false, [](Options& o, const std::string&, std::string&) { o.keepExisting = true; return true; }},
    {'j', "threads", "N", "write files on N threads (default: one per core;\n"
                          "1 writes them one after the other)", false,
     [](Options& o, const std::string& value, std::string& error) {
         unsigned long n = 0;
         std::size_t used = 0;
         try {
             n = std::stoul(value, &used);
         } catch (const std::exception&) {
             used = 0;
         }
         if (used == 0 || used != value.size() || value.front() == '-' || n == 0 || n > 64) {
             error = "option " + error + " takes a number of threads from 1 to 64";
             return false;
         }
         o.threads = static_cast<unsigned>(n);
         return true;
     }},
    {'O', "to-stdout", "", "write the entries' bytes to standard output, one\n"
                          "after another, instead of to files", false,
     [](Options& o, const std::string&, std::string&) { o.toStdout = true; return true; }},
    {'z', "", "", "compress the entries (zlib)", false,
     [](Options& o, const std::string&, std::string&) { o.compress = true; return true; }},
    {'0', "", "", "(to -9) compression level: -0 stores the entries\n"
                  "as they are, -1 is fastest, -9 smallest (default -6)", false, setLevel<0>},
    {'1', "", "", "", false, setLevel<1>}, {'2', "", "", "", false, setLevel<2>},
    {'3', "", "", "", false, setLevel<3>}, {'4', "", "", "", false, setLevel<4>},
    {'5', "", "", "", false, setLevel<5>}, {'6', "", "", "", false, setLevel<6>},
    {'7', "", "", "", false, setLevel<7>}, {'8', "", "", "", false, setLevel<8>},
    {'9', "", "", "", false, setLevel<9>},
    {'e', "", "", "encrypt the archive (asks for the password twice on a terminal)", false,
     [](Options& o, const std::string&, std::string&) { o.encrypt = true; return true; }},
    {'x', "exclude", "PATTERN", "leave out the entries matching PATTERN (may be repeated)", false,
     [](Options& o, const std::string& value, std::string& error) {
         if (value.empty()) {
             error = "option " + error + " needs a pattern";
             return false;
         }
         o.excludes.push_back(value);
         return true;
     }},
    {'\0', "json", "", "write the listing as one JSON document (UTF-8)", false,
     [](Options& o, const std::string&, std::string&) { o.json = true; return true; }},
    {'\0', "names", "MODE", "read stored names as auto (UTF-8, else Shift_JIS,\n"
                            "else Latin-1), utf8, cp932, latin1 or raw (bytes,\n"
                            "escaped)", false,
     [](Options& o, const std::string& value, std::string& error) {
         if (!parseNameEncodingChoice(value, o.names)) {
             error = "option " + error + " takes auto, utf8, cp932, latin1 or raw";
             return false;
         }
         return true;
     }},
};

const std::vector<CommandSpec> Commands = {
    {"list", "ARCHIVE [NAME|PATTERN...]", "sizes, ratio and name of every entry",
     "Prints the size, stored size, space saved and name of every entry in index\n"
     "order, then a totals line. With -q only the names, one a line; with -v also\n"
     "the archive's flags. NAMEs choose entries as for extract.\n",
     {"x", "names", "json"}, 1, SIZE_MAX, "", "", nullptr, runList, "l"},
    {"test", "ARCHIVE [NAME|PATTERN...]", "read and check every entry",
     "Reads every entry, unseals and inflates it and checks its length, and prints\n"
     "OK or FAILED for each; STORED for an entry kept as it is, whose bytes have no\n"
     "check in this format (only what went through zlib is checked). With -q only\n"
     "the failures are printed. NAMEs choose entries as for extract.\n",
     {"x", "names"}, 1, SIZE_MAX, "", "", nullptr, runTest, "t"},
    {"extract", "ARCHIVE [-C DIR] [-o|-n] [-j N] [-O] [NAME|PATTERN...]", "write entries under DIR (default .)",
     "Writes entries under DIR (default: the current folder), creating folders as\n"
     "needed. Without names every entry is written; when two entries share a name\n"
     "the later one wins. A NAME given exactly picks the first entry of that name,\n"
     "and every entry under it when it names a folder ('proj/src'); a PATTERN\n"
     "(* ? [...], '*' also matches '/') picks every matching entry. Names are\n"
     "matched as list shows them, a backslash the same as a slash.\n"
     "Names that would leave DIR are made safe and a warning is printed.\n"
     "\n"
     "On a terminal an existing file is asked about, as unzip asks: yes, no,\n"
     "all, none, rename. Without a terminal it is replaced; -o replaces and -n\n"
     "keeps without asking.\n"
     "\n"
     "Give -- before names that begin with '-'.\n",
     {"C", "o", "n", "k", "j", "O", "x", "names"}, 1, SIZE_MAX, "", "", checkExtract, runExtract, "x"},
    {"create", "ARCHIVE [-z] [-e] PATH...", "pack files and folders",
     "Packs files, and folders recursively in sorted order, into a new ARCHIVE.\n"
     "An existing ARCHIVE (or the file a link at ARCHIVE leads to) is replaced\n"
     "only by a complete archive and keeps its permissions; when nothing can be\n"
     "added it is left as it was. ARCHIVE '-' writes to standard output (a pipe\n"
     "or a file, never a terminal). Entry names are the paths as given, an\n"
     "absolute path without its leading '/'; '..' is refused. Symbolic links and\n"
     "special files are skipped, and so is the archive itself. -x PATTERN, as\n"
     "tar's --exclude, leaves out what it matches as the whole path or as any\n"
     "trailing part of whole components ('-x b.txt' leaves out 'src/b.txt');\n"
     "an excluded folder is left out with everything in it.\n",
     {"z", "0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "e", "x"}, 2, SIZE_MAX, "create needs at least one file or folder to add", "", nullptr, runCreate, "c"},
    {"add", "ARCHIVE PATH...", "add files, or replace entries of their names",
     "Puts files, and folders recursively, into an existing ARCHIVE, named as\n"
     "create names them. A file whose name the archive holds takes the place of\n"
     "the first entry of that name, and the other entries of that name go;\n"
     "other files are added at the end. The archive keeps its compression and\n"
     "encryption (its password is asked once); the entries kept are copied as\n"
     "they are stored, never unpacked. ARCHIVE is replaced only by a complete\n"
     "archive and keeps its permissions: when a file cannot be read, the\n"
     "password is wrong or the disk is full, it is left as it was. A name that\n"
     "would change how the archive's names read is refused (not plain ASCII in\n"
     "a Shift_JIS or Latin-1 archive, not UTF-8 in a UTF-8 one). Another vza\n"
     "changing the same archive is waited for.\n",
     {"0", "1", "2", "3", "4", "5", "6", "7", "8", "9", "names"}, 2, SIZE_MAX, "add needs at least one file or folder to add", "", nullptr, runAdd, "a"},
    {"delete", "ARCHIVE NAME|PATTERN...", "remove entries",
     "Removes from ARCHIVE every entry of each NAME (all of them when several\n"
     "share it), and every entry under it when it names a folder. A NAME the\n"
     "archive does not hold that has * ? or [ is a pattern removing every entry\n"
     "it matches ('*' also matches '/'). When a NAME removes nothing, nothing is removed and ARCHIVE is\n"
     "left as it was. The other entries are copied as they are stored; ARCHIVE\n"
     "is replaced only by a complete archive and keeps its permissions.\n"
     "\n"
     "Give -- before names that begin with '-'.\n",
     {"names"}, 2, SIZE_MAX, "delete needs the names of the entries to remove", "", nullptr, runDelete, "d"},
    {"help", "COMMAND", "the options of one command", "", {}, 0, 1, "", "help takes at most one command",
     checkHelpTopic, runHelp},
};
// clang-format on

}  // namespace

const std::vector<CommandSpec>& commandTable()
{
    return Commands;
}

const std::vector<OptionSpec>& optionTable()
{
    return Options_;
}

const CommandSpec* findCommand(std::string_view name)
{
    for (const CommandSpec& command : Commands) {
        if (command.name == name || (!command.shortName.empty() && command.shortName == name))
            return &command;
    }
    return nullptr;
}

const OptionSpec* findOption(char letter)
{
    for (const OptionSpec& option : Options_) {
        if (option.letter != '\0' && option.letter == letter)
            return &option;
    }
    return nullptr;
}

std::vector<const OptionSpec*> findLongOptions(std::string_view longName)
{
    std::vector<const OptionSpec*> found;
    for (const OptionSpec& option : Options_) {
        if (option.longName == longName)
            return {&option};  // an exact match wins
        if (!longName.empty() && option.longName.starts_with(longName))
            found.push_back(&option);
    }
    return found;
}

bool isRefused(const OptionSpec& option)
{
    return option.apply == refusePassword || option.apply == refuseP;
}

bool takesOption(const CommandSpec& command, const OptionSpec& option)
{
    if (option.everyCommand)
        return true;
    for (std::string_view key : command.options) {
        if ((key.size() == 1 && key[0] == option.letter) || key == option.longName)
            return true;
    }
    return false;
}

std::string optionName(const OptionSpec& option)
{
    std::string name;
    if (option.letter != '\0')
        name = std::string("-") + option.letter;
    if (!option.longName.empty()) {
        if (!name.empty())
            name += ", ";
        name += "--";
        name += option.longName;
    }
    return name;
}

}  // namespace vza::cli
