// SPDX-License-Identifier: MIT
#include "cli/options.h"

#include <utility>

#include "cli/command_table.h"

namespace vza::cli {
namespace {

class Parser {
public:
    Parser(int argc, char** argv, Options& options) : args_(argv + 1, argv + argc), options_(options) {}

    bool run(std::string& error);

private:
    bool longOption(const std::string& arg, std::size_t& i);
    bool shortOptions(const std::string& arg, std::size_t& i);
    bool apply(const OptionSpec& option, std::string spelling, const std::string& value);
    bool checkForCommand();
    bool fail(std::string reason)
    {
        error_ = std::move(reason);
        return false;
    }

    // A command-specific option seen before the command is known, and how
    // it was spelt, for the message when the command does not take it.
    struct Used {
        const OptionSpec* option;
        std::string spelling;
    };

    std::vector<std::string> args_;
    Options& options_;
    std::vector<std::string> positional_;
    std::vector<Used> used_;
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

// --name, --name=VALUE or --name VALUE.
bool Parser::longOption(const std::string& arg, std::size_t& i)
{
    const std::size_t equals = arg.find('=');
    const std::string name = arg.substr(0, equals);
    const std::vector<const OptionSpec*> found = findLongOptions(std::string_view(name).substr(2));
    if (found.empty())
        return fail("unknown option " + name);
    if (found.size() > 1) {
        std::string candidates;
        for (const OptionSpec* candidate : found)
            candidates += (candidates.empty() ? "--" : ", --") + std::string(candidate->longName);
        return fail("option " + name + " is ambiguous: " + candidates);
    }
    const OptionSpec* option = found.front();
    if (option->valueName.empty()) {
        if (equals == std::string::npos)
            return apply(*option, name, "");
        // A refusal (--password=...) says why before "takes no value" would.
        return apply(*option, name, "") && fail("option " + name + " takes no value");
    }
    if (equals != std::string::npos)
        return apply(*option, name, arg.substr(equals + 1));
    if (i + 1 >= args_.size())
        return apply(*option, name, "");  // its own message says what is missing
    return apply(*option, name, args_[++i]);
}

// A cluster of letters, -qk; a letter that takes a value ends the cluster
// (-CDIR) or takes the next argument (-C DIR).
bool Parser::shortOptions(const std::string& arg, std::size_t& i)
{
    for (std::size_t k = 1; k < arg.size(); ++k) {
        const OptionSpec* option = findOption(arg[k]);
        const std::string spelling = std::string("-") + arg[k];
        if (option == nullptr)
            return fail("unknown option " + spelling);
        if (option->valueName.empty()) {
            if (!apply(*option, spelling, ""))
                return false;
            continue;
        }
        std::string value = arg.substr(k + 1);
        if (value.empty()) {
            if (i + 1 >= args_.size())
                return fail("option " + spelling + " needs a value");
            value = args_[++i];
        }
        return apply(*option, spelling, value);
    }
    return true;
}

bool Parser::apply(const OptionSpec& option, std::string spelling, const std::string& value)
{
    std::string reason = spelling;
    if (!option.apply(options_, value, reason))
        return fail(reason);
    if (!option.everyCommand)
        used_.push_back({&option, std::move(spelling)});
    return true;
}

bool Parser::checkForCommand()
{
    const std::string& name = options_.command;
    if (name.empty()) {
        if (options_.help || options_.version)
            return true;
        return fail("no command given");
    }
    const CommandSpec* command = findCommand(name);
    if (command == nullptr)
        return fail("unknown command '" + name + "'");
    options_.command = command->name;  // "x" is extract from here on
    for (const Used& used : used_) {
        if (!takesOption(*command, *used.option))
            return fail("option " + used.spelling + " is not valid for " + name);
    }
    if (options_.help)
        return true;  // "vza extract --help" shows the command's help
    const std::size_t count = options_.operands.size();
    if (count < command->minOperands)
        return fail(count == 0 ? name + " needs an archive" : std::string(command->tooFew));
    if (count > command->maxOperands)
        return fail(std::string(command->tooMany));
    std::string reason;
    if (command->check != nullptr && !command->check(options_, reason))
        return fail(reason);
    return true;
}

}  // namespace

bool parseArguments(int argc, char** argv, Options& options, std::string& error)
{
    Parser parser(argc, argv, options);
    return parser.run(error);
}

}  // namespace vza::cli
