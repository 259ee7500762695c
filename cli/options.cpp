#include "cli/options.h"

#include <algorithm>
#include <array>
#include <string_view>

namespace vza::cli {
namespace {

constexpr std::array<std::string_view, 5> Commands = {"list", "test", "extract", "create", "help"};

bool isCommand(std::string_view word)
{
    return std::find(Commands.begin(), Commands.end(), word) != Commands.end();
}

// Which command an option belongs to; "" for the options every command takes.
struct ShortOption {
    char letter;
    bool takesValue;
    std::string_view command;
};

constexpr std::array<ShortOption, 7> ShortOptions = {{
    {'q', false, ""},
    {'v', false, ""},
    {'h', false, ""},
    {'C', true, "extract"},
    {'k', false, "extract"},
    {'z', false, "create"},
    {'e', false, "create"},
}};

const ShortOption* findShort(char letter)
{
    for (const ShortOption& option : ShortOptions) {
        if (option.letter == letter)
            return &option;
    }
    return nullptr;
}

class Parser {
public:
    Parser(int argc, char** argv, Options& options) : args_(argv + 1, argv + argc), options_(options) {}

    bool run(std::string& error);

private:
    bool longOption(const std::string& arg, std::size_t& i);
    bool shortOptions(const std::string& arg, std::size_t& i);
    bool applyShort(const ShortOption& option, const std::string& value);
    bool checkForCommand();
    bool fail(std::string reason)
    {
        error_ = std::move(reason);
        return false;
    }

    std::vector<std::string> args_;
    Options& options_;
    std::vector<std::string> positional_;
    std::vector<const ShortOption*> used_;  // command-specific options seen
    std::string error_;
};

bool Parser::run(std::string& error)
{
    bool optionsEnded = false;
    for (std::size_t i = 0; i < args_.size(); ++i) {
        const std::string& arg = args_[i];
        bool ok = true;
        if (optionsEnded || arg.size() < 2 || arg[0] != '-')
            positional_.push_back(arg);
        else if (arg == "--")
            optionsEnded = true;
        else if (arg[1] == '-')
            ok = longOption(arg, i);
        else
            ok = shortOptions(arg, i);
        if (!ok) {
            error = error_;
            return false;
        }
    }
    if (!positional_.empty()) {
        options_.command = positional_.front();
        options_.operands.assign(positional_.begin() + 1, positional_.end());
    }
    if (!checkForCommand()) {
        error = error_;
        return false;
    }
    return true;
}

bool Parser::longOption(const std::string& arg, std::size_t& i)
{
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    if (name == "--password-file") {
        if (equals != std::string::npos) {
            options_.passwordFile = arg.substr(equals + 1);
        } else if (i + 1 < args_.size()) {
            options_.passwordFile = args_[++i];
        } else {
            return fail("--password-file needs a file name");
        }
        if (options_.passwordFile.empty())
            return fail("--password-file needs a file name");
        return true;
    }
    if (equals != std::string::npos)
        return fail("option " + name + " takes no value");
    if (name == "--quiet")
        options_.verbosity = Verbosity::Quiet;
    else if (name == "--verbose")
        options_.verbosity = Verbosity::Verbose;
    else if (name == "--help")
        options_.help = true;
    else if (name == "--version")
        options_.version = true;
    else if (name == "--password")
        return fail("passwords are never taken from the command line; "
                    "set VZA_PASSWORD or use --password-file FILE");
    else
        return fail("unknown option " + name);
    return true;
}

bool Parser::shortOptions(const std::string& arg, std::size_t& i)
{
    for (std::size_t k = 1; k < arg.size(); ++k) {
        const ShortOption* option = findShort(arg[k]);
        if (option == nullptr) {
            if (arg[k] == 'p' || arg[k] == 'P')
                return fail("passwords are never taken from the command line; "
                            "set VZA_PASSWORD or use --password-file FILE");
            return fail(std::string("unknown option -") + arg[k]);
        }
        if (!option->takesValue) {
            if (!applyShort(*option, ""))
                return false;
            continue;
        }
        // -CDIR or -C DIR: the value ends the cluster.
        std::string value = arg.substr(k + 1);
        if (value.empty()) {
            if (i + 1 >= args_.size())
                return fail(std::string("option -") + option->letter + " needs a value");
            value = args_[++i];
        }
        return applyShort(*option, value);
    }
    return true;
}

bool Parser::applyShort(const ShortOption& option, const std::string& value)
{
    switch (option.letter) {
    case 'q': options_.verbosity = Verbosity::Quiet; break;
    case 'v': options_.verbosity = Verbosity::Verbose; break;
    case 'h': options_.help = true; break;
    case 'C':
        if (value.empty())
            return fail("option -C needs a folder");
        options_.outputDir = value;
        break;
    case 'k': options_.keepExisting = true; break;
    case 'z': options_.compress = true; break;
    case 'e': options_.encrypt = true; break;
    }
    if (!option.command.empty())
        used_.push_back(&option);
    return true;
}

bool Parser::checkForCommand()
{
    const std::string& command = options_.command;
    if (command.empty()) {
        if (options_.help || options_.version)
            return true;
        return fail("no command given");
    }
    if (!isCommand(command))
        return fail("unknown command '" + command + "'");
    for (const ShortOption* option : used_) {
        if (option->command != command)
            return fail(std::string("option -") + option->letter + " is not valid for " + command);
    }
    if (options_.help)
        return true;  // "vza extract --help" shows the command's help
    const std::size_t count = options_.operands.size();
    if (command == "help") {
        if (count > 1)
            return fail("help takes at most one command");
        if (count == 1 && (!isCommand(options_.operands[0]) || options_.operands[0] == "help"))
            return fail("no help for '" + options_.operands[0] + "'");
        return true;
    }
    if (count == 0)
        return fail(command + " needs an archive");
    if ((command == "list" || command == "test") && count > 1)
        return fail(command + " takes one archive and no names");
    if (command == "create" && count < 2)
        return fail("create needs at least one file or folder to add");
    return true;
}

}  // namespace

bool parseArguments(int argc, char** argv, Options& options, std::string& error)
{
    Parser parser(argc, argv, options);
    return parser.run(error);
}

}  // namespace vza::cli
