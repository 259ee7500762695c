// SPDX-License-Identifier: MIT
// vza-command-surface: the command table as the build and the tests read it.
// Not installed.
//
//   vza-command-surface table
//       One line per command and one per spelling of each option:
//         command NAME SHORT            (SHORT "-" when there is none)
//         option FORM ARITY KIND COMMAND...
//       FORM is "-x" or "--exclude"; ARITY "value" or "switch"; KIND "listed"
//       (its own help line), "alias" (named in another option's line, as -k
//       in -n's) or "refused" (there only to be refused); then the commands
//       that take it.
//   vza-command-surface bash TEMPLATE OUTPUT
//       Writes the bash completion: TEMPLATE with @COMMANDS@, @COMMON@ and
//       @WITH_VALUE@ replaced by word lists and the line @OWN_OPTIONS@ by
//       one case arm per command that has options of its own.
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>
#include <string>
#include <vector>

#include "cli/command_table.h"

namespace {

using namespace vza::cli;

std::vector<std::string> forms(const OptionSpec& option)
{
    std::vector<std::string> out;
    if (option.letter != '\0')
        out.push_back(std::string("-") + option.letter);
    if (!option.longName.empty())
        out.push_back("--" + std::string(option.longName));
    return out;
}

std::string kind(const OptionSpec& option)
{
    if (isRefused(option))
        return "refused";
    return option.help.empty() ? "alias" : "listed";
}

int printTable()
{
    for (const CommandSpec& command : commandTable()) {
        std::cout << "command " << command.name << ' ' << (command.shortName.empty() ? "-" : command.shortName) << '\n';
    }
    for (const OptionSpec& option : optionTable()) {
        for (const std::string& form : forms(option)) {
            std::cout << "option " << form << ' ' << (option.valueName.empty() ? "switch" : "value") << ' '
                      << kind(option);
            for (const CommandSpec& command : commandTable()) {
                if (takesOption(command, option))
                    std::cout << ' ' << command.name;
            }
            std::cout << '\n';
        }
    }
    std::cout.flush();
    return std::cout ? 0 : 1;
}

// The spellings of the options that pass filter, offered by the completion
// (refused ones never are), separated by spaces.
template <typename Filter>
std::string words(Filter filter)
{
    std::string out;
    for (const OptionSpec& option : optionTable()) {
        if (isRefused(option) || !filter(option))
            continue;
        for (const std::string& form : forms(option)) {
            if (!out.empty())
                out += ' ';
            out += form;
        }
    }
    return out;
}

std::string ownOptionArms()
{
    std::string out;
    for (const CommandSpec& command : commandTable()) {
        const std::string own =
            words([&](const OptionSpec& option) { return !option.everyCommand && takesOption(command, option); });
        if (own.empty())
            continue;
        out += "            " + std::string(command.name);
        if (!command.shortName.empty())
            out += " | " + std::string(command.shortName);
        out += ") own=\"" + own + "\" ;;\n";
    }
    return out;
}

bool replace(std::string& text, const std::string& token, const std::string& value)
{
    const std::size_t at = text.find(token);
    if (at == std::string::npos)
        return false;
    text.replace(at, token.size(), value);
    return true;
}

int writeCompletion(const char* templatePath, const char* outputPath)
{
    std::ifstream in(templatePath, std::ios::binary);
    std::stringstream buffer;
    buffer << in.rdbuf();
    if (!in) {
        std::cerr << "vza-command-surface: cannot read " << templatePath << '\n';
        return 1;
    }
    std::string text = buffer.str();
    std::string commands;
    for (const CommandSpec& command : commandTable()) {
        if (!commands.empty())
            commands += ' ';
        commands += command.name;
    }
    const bool complete =
        replace(text, "@COMMANDS@", commands) &&
        replace(text, "@COMMON@", words([](const OptionSpec& option) { return option.everyCommand; })) &&
        replace(text, "@WITH_VALUE@", words([](const OptionSpec& option) { return !option.valueName.empty(); })) &&
        replace(text, "@OWN_OPTIONS@\n", ownOptionArms());
    if (!complete) {
        std::cerr << "vza-command-surface: " << templatePath << " lacks a placeholder\n";
        return 1;
    }
    std::ofstream out(outputPath, std::ios::binary | std::ios::trunc);
    out << text;
    out.close();
    if (!out) {
        std::cerr << "vza-command-surface: cannot write " << outputPath << '\n';
        std::remove(outputPath);
        return 1;
    }
    return 0;
}

}  // namespace

int main(int argc, char** argv)
{
    const std::string mode = argc > 1 ? argv[1] : "";
    if (mode == "table" && argc == 2)
        return printTable();
    if (mode == "bash" && argc == 4)
        return writeCompletion(argv[2], argv[3]);
    std::cerr << "usage: vza-command-surface table | bash TEMPLATE OUTPUT\n";
    return 2;
}
