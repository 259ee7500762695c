// SPDX-License-Identifier: MIT
#include "cli/progress.h"

#include <algorithm>
#include <cstdio>
#include <sys/ioctl.h>
#include <unistd.h>

#include "cli/display_name.h"

namespace vza::cli {
namespace {

constexpr auto RedrawInterval = std::chrono::milliseconds(100);

std::string formatBytes(double bytes)
{
    static constexpr const char* Units[] = {"B", "KiB", "MiB", "GiB"};
    int unit = 0;
    while (bytes >= 1024.0 && unit < 3) {
        bytes /= 1024.0;
        ++unit;
    }
    char text[32];
    std::snprintf(text, sizeof text, unit == 0 ? "%.0f %s" : "%.1f %s", bytes, Units[unit]);
    return text;
}

std::size_t terminalColumns()
{
    winsize size{};
    if (ioctl(STDERR_FILENO, TIOCGWINSZ, &size) == 0 && size.ws_col > 0)
        return size.ws_col;
    return 80;
}

// The tail of name that fits in width columns, marked with "..." when cut.
std::string fitName(const std::string& name, std::size_t width)
{
    if (displayWidth(name) <= width)
        return name;
    if (width <= 3)
        return std::string(width, '.');
    return "..." + std::string(tailFitting(name, width - 3));
}

}  // namespace

std::string timeLeftText(std::uint64_t done, std::uint64_t total, double seconds)
{
    constexpr double Settling = 3.0;  // seconds before the rate is trusted
    if (seconds < Settling || done == 0 || done >= total)
        return "";
    const double left = static_cast<double>(total - done) * seconds / static_cast<double>(done);
    if (!(left < 100.0 * 3600.0))
        return "";  // days away, or not a number: saying nothing is as useful
    const auto whole = static_cast<unsigned long>(left + 0.5);
    char text[32];
    if (whole >= 3600)
        std::snprintf(text, sizeof text, "%lu:%02lu:%02lu left", whole / 3600, whole / 60 % 60, whole % 60);
    else
        std::snprintf(text, sizeof text, "%lu:%02lu left", whole / 60, whole % 60);
    return text;
}

void ProgressLine::start(std::uint64_t totalBytes)
{
    total_ = totalBytes;
    done_ = 0;
    started_ = Clock::now();
    lastDraw_ = started_ - RedrawInterval;  // the first bytes draw the line at once
}

void ProgressLine::setEntry(std::string_view name)
{
    if (enabled_)
        entry_.assign(name);
}

void ProgressLine::advance(std::uint64_t bytes)
{
    done_ += bytes;
    if (!enabled_)
        return;
    const auto now = Clock::now();
    if (now - lastDraw_ < RedrawInterval)
        return;
    lastDraw_ = now;
    draw();
}

void ProgressLine::draw()
{
    const double seconds = std::chrono::duration<double>(Clock::now() - started_).count();
    const double rate = seconds > 0 ? static_cast<double>(done_) / seconds : 0.0;
    const int percent = total_ > 0 ? static_cast<int>(std::min<std::uint64_t>(done_ * 100 / total_, 100)) : 100;
    std::string line = std::to_string(percent) + "%  " + formatBytes(static_cast<double>(done_)) + " of " +
                       formatBytes(static_cast<double>(total_)) + "  " + formatBytes(rate) + "/s  ";
    if (const std::string left = timeLeftText(done_, total_, seconds); !left.empty())
        line += left + "  ";
    // One column is kept free: a line that fills the last column makes some
    // terminals wrap, and every redraw would then start a new line.
    const std::size_t columns = terminalColumns();
    if (line.size() + 1 >= columns)
        line.resize(columns > 1 ? columns - 1 : 0);  // the numbers are ASCII
    else
        line += fitName(displayName(entry_), columns - line.size() - 1);
    // Carriage return, the line, then erase whatever an older, longer line left.
    const std::string out = "\r" + line + "\x1b[K";
    std::fwrite(out.data(), 1, out.size(), stderr);
    std::fflush(stderr);
    shown_ = true;
}

void ProgressLine::clear()
{
    if (!shown_)
        return;
    std::fputs("\r\x1b[K", stderr);
    std::fflush(stderr);
    shown_ = false;
}

}  // namespace vza::cli
