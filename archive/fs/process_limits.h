// SPDX-License-Identifier: MIT
// What this process may use: the CPUs it may run on and the descriptors it
// may still open. Both programs size their threads and caches from these,
// never from the machine's totals: `taskset -c 0 vza extract` runs one
// thread, and `ulimit -n 256` shrinks what is kept open instead of failing.
#pragma once

#include <cstddef>

namespace vza {

// The CPUs this process may run on (sched_getaffinity, with a set sized for
// any number of CPUs); the machine's count when that fails; at least 1.
unsigned usableCpuCount();

// The soft limit on open descriptors (RLIMIT_NOFILE); a large number when
// there is none.
std::size_t descriptorLimit();

// How many descriptors this process has open now (/proc/self/fd, else by
// probing each number up to the limit).
std::size_t descriptorsOpen();

}  // namespace vza
