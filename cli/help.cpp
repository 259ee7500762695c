// SPDX-License-Identifier: MIT
#include "cli/help.h"

#include <cstdio>

#include "cli/command_table.h"
#include "cli/commands.h"

namespace vza::cli {
namespace {

constexpr std::size_t OptionColumn = 26;  // where an option's help text starts

constexpr const char* PasswordText = "The password of an encrypted archive comes from the environment variable\n"
                                     "VZA_PASSWORD, else from --password-file, else from a prompt on the terminal.\n"
                                     "It is never taken from the command line.\n";

constexpr const char* ExitCodes = "Exit status: 0 all done; 1 some entries failed or were skipped (the others\n"
                                  "were done); 2 usage error, or the archive cannot be opened or written, or\n"
                                  "the output folder cannot be used.\n";

void pad(std::string& text, std::size_t lineStart, std::size_t column)
{
    const std::size_t used = text.size() - lineStart;
    if (used + 1 > column) {
        text += '\n';
        text.append(column, ' ');
    } else {
        text.append(column - used, ' ');
    }
}

// "  -C DIR                  write under DIR", its help's further lines
// indented to the same column.
std::string optionLine(const OptionSpec& option)
{
    std::string text = "  " + optionName(option);
    if (!option.valueName.empty()) {
        text += ' ';
        text += option.valueName;
    }
    pad(text, 0, OptionColumn);
    for (char c : option.help) {
        text += c;
        if (c == '\n')
            text.append(OptionColumn, ' ');
    }
    return text + '\n';
}

std::string commonOptions()
{
    std::string text = "Common options:\n";
    for (const OptionSpec& option : optionTable()) {
        if (option.everyCommand && !option.help.empty())
            text += optionLine(option);
    }
    return text + "\n" + PasswordText;
}

}  // namespace

std::string generalHelp()
{
    std::string text = "Usage: vza COMMAND ARCHIVE [OPTIONS] [ARGS...]\n"
                       "Lists, tests, extracts, creates and changes .vza archives.\n"
                       "\n"
                       "Commands:\n";
    for (const CommandSpec& command : commandTable()) {
        const std::size_t lineStart = text.size();
        text += "  ";
        text += command.name;
        pad(text, lineStart, 10);
        text += command.synopsis;
        pad(text, text.rfind('\n') + 1, 41);
        text += command.summary;
        text += '\n';
    }
    text += "\nShort names, as 7z has them:";
    for (const CommandSpec& command : commandTable()) {
        if (!command.shortName.empty())
            text += " " + std::string(command.shortName) + " " + std::string(command.name) + ",";
    }
    text.back() = '.';
    text += "\nLong options may be cut to any unique beginning (--exc for --exclude).\n";
    return text + "\n" + commonOptions() + "\n" + ExitCodes;
}

std::string commandHelp(const std::string& name)
{
    const CommandSpec* command = findCommand(name);
    if (command == nullptr || command->name == "help")
        return generalHelp();
    std::string text = "Usage: vza " + std::string(command->name) + " " + std::string(command->synopsis) + "\n";
    text += command->description;
    bool first = true;
    for (const OptionSpec& option : optionTable()) {
        if (option.everyCommand || !takesOption(*command, option) || option.help.empty())
            continue;
        if (first)
            text += '\n';
        first = false;
        text += optionLine(option);
    }
    return text + "\n" + commonOptions() + "\n" + ExitCodes;
}

std::string versionText()
{
    return std::string("vza ") + VZA_VERSION + "\n";
}

int runHelp(const Options& options, Console&)
{
    const std::string text = options.operands.empty() ? generalHelp() : commandHelp(options.operands.front());
    std::fputs(text.c_str(), stdout);
    return ExitOk;
}

}  // namespace vza::cli
