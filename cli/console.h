// SPDX-License-Identifier: MIT
// Where vza's output goes: data and listings to stdout, messages to stderr
// prefixed "vza:", and the progress line, which every message erases first.
#pragma once

#include <string>
#include <string_view>

#include "cli/options.h"
#include "cli/progress.h"

namespace vza::cli {

class Console {
public:
    explicit Console(Verbosity verbosity);

    bool quiet() const { return verbosity_ == Verbosity::Quiet; }
    bool verbose() const { return verbosity_ == Verbosity::Verbose; }

    // "vza: message" on stderr, always.
    void error(const std::string& message);

    // "vza: warning: message" on stderr, always: warnings say that something
    // was changed or skipped.
    void warning(const std::string& message);

    // "vza: note: message" on stderr, unless quiet: a hint, nothing wrong.
    void note(const std::string& message);

    // One line of data on stdout.
    void line(const std::string& text);

    // Several lines of data on stdout at once: text holds whole lines, each
    // ending in a newline (a listing written in large pieces).
    void lines(std::string_view text);

    ProgressLine& progress() { return progress_; }

private:
    Verbosity verbosity_;
    bool stdoutIsTerminal_;
    ProgressLine progress_;
};

// Flushes and closes standard output; false with the errno in error when
// anything written to it was lost (a full disk, a closed pipe's EPIPE when
// SIGPIPE is ignored). Call once, at the very end.
bool closeStandardOutput(int& error);

}  // namespace vza::cli
