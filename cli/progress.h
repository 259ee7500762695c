// SPDX-License-Identifier: MIT
// The one updating status line on stderr: bytes done of total, rate, time
// left, entry.
//
// Drawn only when enabled (stderr is a terminal and -q was not given), and
// at most ten times a second, so that many small entries cost nothing.
#pragma once

#include <chrono>
#include <cstdint>
#include <string>
#include <string_view>

namespace vza::cli {

// "1:05 left" (or "2:03:40 left") for done of total bytes after seconds:
// the rest at the rate so far. "" until a few seconds have passed (early
// rates mislead) and when nothing is left or nothing has moved.
std::string timeLeftText(std::uint64_t done, std::uint64_t total, double seconds);

class ProgressLine {
public:
    explicit ProgressLine(bool enabled) : enabled_(enabled) {}
    ~ProgressLine() { clear(); }
    ProgressLine(const ProgressLine&) = delete;
    ProgressLine& operator=(const ProgressLine&) = delete;

    bool enabled() const { return enabled_; }

    // Starts counting towards totalBytes.
    void start(std::uint64_t totalBytes);

    // The entry now being worked on, as stored or as its text (never
    // escaped already): it is made safe to print when the line is drawn.
    void setEntry(std::string_view name);

    // Adds bytes to the count done; redraws when the last draw is old enough.
    void advance(std::uint64_t bytes);

    // Erases the line, so that a message can be printed; the next advance
    // draws it again.
    void clear();

    // Leaves waited out of the rate and the time left: time spent waiting
    // for the user (a question) is no work done.
    void leaveOut(std::chrono::steady_clock::duration waited) { started_ += waited; }

private:
    void draw();

    using Clock = std::chrono::steady_clock;
    bool enabled_;
    bool shown_ = false;
    std::uint64_t total_ = 0;
    std::uint64_t done_ = 0;
    std::string entry_;
    Clock::time_point started_{};
    Clock::time_point lastDraw_{};
};

}  // namespace vza::cli
