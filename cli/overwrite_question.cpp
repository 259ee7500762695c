// SPDX-License-Identifier: MIT
#include "cli/overwrite_question.h"

#include <cstdio>
#include <cstdlib>
#include <unistd.h>

#include "cli/display_name.h"
#include "vza/archive/names/safe_name.h"

namespace vza::cli {
namespace {

using Answer = Extractor::OverwriteAnswer;

void say(const std::string& text)
{
    std::fputs(text.c_str(), stderr);
    std::fflush(stderr);
}

}  // namespace

bool askingPossible(const std::string& archivePath)
{
    return archivePath != "-" && isatty(STDIN_FILENO) == 1 && isatty(STDERR_FILENO) == 1;
}

OverwriteQuestion::OverwriteQuestion(Extractor& extractor, Console& console, std::string outputDir)
    : extractor_(extractor), console_(console), outputDir_(std::move(outputDir))
{}

std::string OverwriteQuestion::shownPath(const std::string& path) const
{
    if (outputDir_ == ".")
        return displayName(path);
    std::string shown = displayName(outputDir_);
    if (!shown.ends_with('/'))
        shown += '/';
    return shown + displayName(path);
}

// One line of standard input without its line end; false at its end.
bool OverwriteQuestion::readLine(std::string& line)
{
    char* buffer = nullptr;
    std::size_t size = 0;
    const ssize_t got = getline(&buffer, &size, stdin);
    if (got < 0) {
        std::free(buffer);
        return false;
    }
    line.assign(buffer, static_cast<std::size_t>(got));
    std::free(buffer);
    while (!line.empty() && (line.back() == '\n' || line.back() == '\r'))
        line.pop_back();
    return true;
}

Answer OverwriteQuestion::operator()(std::int32_t, const std::string& path)
{
    if (standing_ == Standing::ReplaceAll)
        return Answer::replace();
    if (standing_ == Standing::KeepAll)
        return Answer::keep();
    console_.progress().clear();
    std::fflush(stdout);
    // The time the question is up is left out of the progress line's rate.
    struct LeftOut {
        ProgressLine& line;
        std::chrono::steady_clock::time_point from = std::chrono::steady_clock::now();
        ~LeftOut() { line.leaveOut(std::chrono::steady_clock::now() - from); }
    } leftOut{console_.progress()};
    for (;;) {
        say("replace " + shownPath(path) + "? [y]es, [n]o, [A]ll, [N]one, [r]ename: ");
        std::string reply;
        if (!readLine(reply)) {
            say("\n(end of input: taken as [N]one)\n");
            standing_ = Standing::KeepAll;
            return Answer::keep();
        }
        if (reply == "y" || reply == "Y" || reply == "yes")
            return Answer::replace();
        if (reply == "n" || reply == "no")
            return Answer::keep();
        if (reply == "A") {
            standing_ = Standing::ReplaceAll;
            return Answer::replace();
        }
        if (reply == "N") {
            standing_ = Standing::KeepAll;
            return Answer::keep();
        }
        if (reply == "r" || reply == "R")
            return askForName(path);
        say("error: invalid response [" + displayName(reply) + "]\n");
    }
}

// The new last component for path; Enter takes the free one offered.
Answer OverwriteQuestion::askForName(const std::string& path)
{
    const std::string offered = extractor_.proposeFreeName(path);
    for (;;) {
        say(offered.empty() ? std::string("new name: ") : "new name [" + displayName(offered) + "]: ");
        std::string name;
        if (!readLine(name)) {
            say("\n(end of input: taken as [N]one)\n");
            standing_ = Standing::KeepAll;
            return Answer::keep();
        }
        if (name.empty())
            name = offered;
        if (safeLeafName(name))
            return Answer::rename(name);
        say("error: '" + displayName(name) + "' is not a name for a file in that folder\n");
    }
}

}  // namespace vza::cli
