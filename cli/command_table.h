// SPDX-License-Identifier: MIT
// The commands and options of vza, as one table each.
//
// Everything that knows which commands exist reads these tables: the
// parser (which options a command takes, how many operands), the help texts
// and main's dispatch. A new command is one CommandSpec entry plus its
// handler; a new option is one OptionSpec entry plus its field in Options.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "cli/console.h"
#include "cli/options.h"

namespace vza::cli {

struct OptionSpec {
    char letter;                 // -x; '\0' when there is only the long form
    std::string_view longName;   // --name without the dashes; "" when there is only the short form
    std::string_view valueName;  // "" for a switch, else what the value is ("DIR")
    std::string_view help;       // its line in the help text; "" keeps it out of the help
    bool everyCommand;           // valid for every command, not only for those that list it
    // Stores value into options (value is "" for a switch). False with a
    // one-line reason in error when the value is not acceptable; on entry
    // error holds the option as the user spelt it ("--exc", "-x"), for that
    // reason to name it so.
    bool (*apply)(Options& options, const std::string& value, std::string& error);
};

struct CommandSpec {
    std::string_view name;
    std::string_view synopsis;     // what follows "vza NAME" in a usage line
    std::string_view summary;      // its line in the overview
    std::string_view description;  // the paragraphs of "vza help NAME", before the options
    // Its own options, each named by its letter or its long name.
    std::vector<std::string_view> options;
    std::size_t minOperands;   // ARCHIVE counts as one
    std::size_t maxOperands;   // SIZE_MAX: no limit
    std::string_view tooFew;   // the reason when some but fewer than minOperands are given
    std::string_view tooMany;  // the reason when more than maxOperands are given
    // An extra check of the operands, or nullptr; false with the reason in error.
    bool (*check)(const Options& options, std::string& error);
    int (*run)(const Options& options, Console& console);
    std::string_view shortName = "";  // "x" for extract, as 7z has them; "" when none
};

// Every command, in the order the overview shows them.
const std::vector<CommandSpec>& commandTable();

// Every option, in the order the help texts show them.
const std::vector<OptionSpec>& optionTable();

// The command called name (or by its short name), or nullptr.
const CommandSpec* findCommand(std::string_view name);

// The option with that letter, or nullptr.
const OptionSpec* findOption(char letter);

// The options whose long name is longName, or starts with it, as getopt_long
// takes unique prefixes: the one exact match when there is one, else every
// option it begins (none, one, or several when it is ambiguous).
std::vector<const OptionSpec*> findLongOptions(std::string_view longName);

// Whether option is there only to be refused with a reason (-p, -P,
// --password): no help line, never offered by the completion.
bool isRefused(const OptionSpec& option);

// Whether command takes option (its own, or one for every command).
bool takesOption(const CommandSpec& command, const OptionSpec& option);

// "-C", "--names" or "-x, --exclude": how help and messages name the option.
std::string optionName(const OptionSpec& option);

}  // namespace vza::cli
