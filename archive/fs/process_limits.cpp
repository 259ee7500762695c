// SPDX-License-Identifier: MIT
#include "vza/archive/fs/process_limits.h"

#include <cerrno>
#include <sched.h>
#include <thread>

#include <dirent.h>
#include <fcntl.h>
#include <sys/resource.h>

namespace vza {

unsigned usableCpuCount()
{
    // A fixed cpu_set_t holds 1 024 CPUs; the kernel refuses a set smaller
    // than its own (EINVAL), so the set grows until it is taken.
    for (int cpus = 1024; cpus <= (1 << 16); cpus *= 2) {
        cpu_set_t* set = CPU_ALLOC(cpus);
        if (!set)
            break;
        const std::size_t size = CPU_ALLOC_SIZE(cpus);
        CPU_ZERO_S(size, set);
        const bool taken = ::sched_getaffinity(0, size, set) == 0;
        const int count = taken ? CPU_COUNT_S(size, set) : 0;
        const int error = errno;
        CPU_FREE(set);
        if (taken && count > 0)
            return static_cast<unsigned>(count);
        if (taken || error != EINVAL)
            break;
    }
    const unsigned machine = std::thread::hardware_concurrency();
    return machine > 0 ? machine : 1;
}

std::size_t descriptorLimit()
{
    struct rlimit limit {};
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY || limit.rlim_cur > (1u << 20))
        return std::size_t{1} << 20;
    return static_cast<std::size_t>(limit.rlim_cur);
}

std::size_t descriptorsOpen()
{
    if (DIR* folder = ::opendir("/proc/self/fd")) {
        std::size_t count = 0;
        while (const dirent* entry = ::readdir(folder)) {
            if (entry->d_name[0] != '.')
                ++count;
        }
        ::closedir(folder);
        return count > 0 ? count - 1 : 0;  // less the listing's own
    }
    const std::size_t limit = descriptorLimit() < 65536 ? descriptorLimit() : 65536;
    std::size_t count = 0;
    for (std::size_t fd = 0; fd < limit; ++fd) {
        if (::fcntl(static_cast<int>(fd), F_GETFD) != -1)
            ++count;
    }
    return count;
}

}  // namespace vza
