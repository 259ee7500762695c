// SPDX-License-Identifier: MIT
// Pieces of vza tested on their own, where a run of the binary cannot show
// them without waiting for real time to pass.
#include <gtest/gtest.h>

#include "cli/progress.h"

namespace vza::cli {
namespace {

// The time left on the progress line: the rest at the rate so far, said
// only once the rate has settled.
TEST(CliProgress, TimeLeftComesOnceTheRateHasSettled)
{
    struct Case {
        std::uint64_t done;
        std::uint64_t total;
        double seconds;
        std::string text;
    };
    const Case cases[] = {
        {100, 1000, 2.9, ""},  // too early
        {0, 1000, 10, ""},     // nothing moved
        {1000, 1000, 10, ""},  // done
        {1200, 1000, 10, ""},  // more than announced
        {500, 1000, 3, "0:03 left"},
        {100, 1000, 10, "1:30 left"},
        {1, 1000, 4, "1:06:36 left"},
        {1, std::uint64_t{1} << 40, 10, ""},  // years: nothing worth saying
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::to_string(c.done) + " of " + std::to_string(c.total) + " in " + std::to_string(c.seconds));
        EXPECT_EQ(timeLeftText(c.done, c.total, c.seconds), c.text);
    }
}

}  // namespace
}  // namespace vza::cli
