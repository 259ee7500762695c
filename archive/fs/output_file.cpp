// SPDX-License-Identifier: MIT
#include "vza/archive/fs/output_file.h"

#include "vza/archive/fs/sibling_names.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <unistd.h>

namespace vza {
namespace {

// --- the registry of named temporaries --------------------------------------
//
// Fixed slots in static memory, claimed and released with atomics, so that a
// signal handler can walk them at any moment without a lock or an allocation.
// A slot being filled is skipped by the handler; its file does not exist yet
// or is about to be registered.

constexpr int RegistrySlots = 256;
constexpr std::size_t TempNameSize = TemporaryStemSize + 32;  // ".STEM.XXXXXXXXXXXX.tmp"

enum SlotState : int { SlotFree, SlotFilling, SlotReady };

struct PendingName {
    std::atomic<int> state{SlotFree};
    int folder = -1;
    char name[TempNameSize] = {};
};

PendingName registry[RegistrySlots];
std::atomic<bool> forcedNamed{false};

int registerName(int folder, const std::string& name)
{
    if (name.size() >= TempNameSize)
        return -1;
    for (int slot = 0; slot < RegistrySlots; ++slot) {
        int expected = SlotFree;
        if (!registry[slot].state.compare_exchange_strong(expected, SlotFilling))
            continue;
        registry[slot].folder = folder;
        std::memcpy(registry[slot].name, name.c_str(), name.size() + 1);
        registry[slot].state.store(SlotReady, std::memory_order_release);
        return slot;
    }
    return -1;
}

void unregisterName(int& slot)
{
    if (slot >= 0)
        registry[slot].state.store(SlotFree, std::memory_order_release);
    slot = -1;
}

// --- names --------------------------------------------------------------------

bool validName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.size() <= NAME_MAX &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// O_TMPFILE files are linked in through /proc; without it they could not be.
bool procAvailable()
{
    static const bool available = ::access("/proc/self/fd", F_OK) == 0;
    return available;
}

bool unsupportedTmpfile(int error)
{
    // EISDIR: kernels before 3.11 read O_TMPFILE as O_DIRECTORY.
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

}  // namespace

// --- OutputFile -----------------------------------------------------------------

OutputFile::~OutputFile()
{
    discard();
    if (ownedFolder_ >= 0)
        ::close(ownedFolder_);
}

bool OutputFile::fail(Problem problem, int error)
{
    problem_ = problem;
    systemError_ = error;
    return false;
}

bool OutputFile::create(int folder, const std::string& name)
{
    discard();
    if (ownedFolder_ >= 0 && folder != ownedFolder_) {
        ::close(ownedFolder_);
        ownedFolder_ = -1;
    }
    problem_ = Problem::None;
    systemError_ = 0;
    if (!validName(name))
        return fail(Problem::BadName, ENAMETOOLONG);
    folder_ = folder;
    name_ = name;

    if (!forcedNamed.load(std::memory_order_relaxed) && procAvailable()) {
        // 0666: the umask applies, as for any new file.
        fd_ = ::openat(folder, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
        if (fd_ >= 0)
            return true;
        if (!unsupportedTmpfile(errno))
            return fail(Problem::System, errno);
    }
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = temporaryName(name);
        // Registered before it exists, so that no moment has it on disk
        // unknown to the signal handler; a handler that runs before the
        // openat finds nothing to remove.
        slot_ = registerName(folder, candidate);
        if (slot_ < 0)
            return fail(Problem::System, EMFILE);
        fd_ = ::openat(folder, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
        if (fd_ >= 0) {
            tempName_ = std::move(candidate);
            return true;
        }
        const int error = errno;
        unregisterName(slot_);
        if (error != EEXIST)
            return fail(Problem::System, error);
    }
    return fail(Problem::System, EEXIST);
}

bool OutputFile::create(const std::string& path)
{
    discard();
    const std::size_t slash = path.find_last_of('/');
    if (slash == std::string::npos)
        return create(AT_FDCWD, path);
    const std::string folderPath = slash == 0 ? "/" : path.substr(0, slash);
    // Readable, so that syncFolder() can use it; O_PATH for a folder that
    // may be written but not read.
    int folder = ::open(folderPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0 && errno == EACCES)
        folder = ::open(folderPath.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (folder < 0)
        return fail(Problem::System, errno);
    if (ownedFolder_ >= 0)
        ::close(ownedFolder_);
    ownedFolder_ = folder;
    return create(folder, path.substr(slash + 1));
}

bool OutputFile::write(const void* data, std::size_t length)
{
    if (fd_ < 0)
        return fail(Problem::System, EBADF);
    const char* at = static_cast<const char*>(data);
    while (length > 0) {
        const ssize_t written = ::write(fd_, at, length);
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0)
            return fail(Problem::System, written < 0 ? errno : EIO);
        at += written;
        length -= static_cast<std::size_t>(written);
    }
    return true;
}

bool OutputFile::syncData()
{
    if (fd_ < 0)
        return fail(Problem::System, EBADF);
    return ::fsync(fd_) == 0 || fail(Problem::System, errno);
}

bool OutputFile::checkTarget(const struct stat& existing, const TargetCheck& check)
{
    if (S_ISDIR(existing.st_mode))
        return fail(Problem::TargetIsFolder, EISDIR);
    if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        return fail(Problem::TargetIsSpecial, EEXIST);
    if (check && !check(existing))
        return fail(Problem::TargetRefused, EEXIST);
    // The replacement keeps what the owner allowed, and nothing more.
    if (S_ISREG(existing.st_mode) && ::fchmod(fd_, existing.st_mode & 0777) != 0)
        return fail(Problem::System, errno);
    return true;
}

// Links the unnamed (O_TMPFILE) file in under name; false with errno set.
// The descriptor itself (AT_EMPTY_PATH) spares the kernel a walk through
// /proc, but needs CAP_DAC_READ_SEARCH on older kernels; where it is refused
// once, /proc is used from then on.
bool OutputFile::linkUnnamed(const std::string& name)
{
    static std::atomic<bool> emptyPathRefused{false};
    if (!emptyPathRefused.load(std::memory_order_relaxed)) {
        if (::linkat(fd_, "", folder_, name.c_str(), AT_EMPTY_PATH) == 0)
            return true;
        if (errno != ENOENT && errno != EPERM && errno != EINVAL)
            return false;
        emptyPathRefused.store(true, std::memory_order_relaxed);
    }
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
    return ::linkat(AT_FDCWD, proc, folder_, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// The named temporary's way into place. True when it is there; the
// temporary name is then gone, or left for commit() to remove.
bool OutputFile::commitNamed(Replace replace, const TargetCheck& check)
{
    bool renamed = false;
    struct stat existing {};
    if (::fstatat(folder_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (replace == Replace::No)
            return fail(Problem::TargetExists, EEXIST);
        if (!checkTarget(existing, check))
            return false;
        renamed = ::renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) == 0;
    } else if (errno != ENOENT) {
        return fail(Problem::System, errno);
    } else if (replace == Replace::Yes) {
        renamed = ::renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) == 0;
    } else {
        // Never over a target that appeared meanwhile: an exclusive rename,
        // or a hard link where the file system has no such rename (the
        // temporary name is then removed by commit()).
        if (::renameat2(folder_, tempName_.c_str(), folder_, name_.c_str(), RENAME_NOREPLACE) == 0)
            renamed = true;
        else if ((errno != EINVAL && errno != ENOSYS) ||
                 ::linkat(folder_, tempName_.c_str(), folder_, name_.c_str(), 0) != 0)
            return fail(errno == EEXIST ? Problem::TargetExists : Problem::System, errno);
        else
            return true;
    }
    if (!renamed)
        return fail(Problem::System, errno);
    unregisterName(slot_);
    tempName_.clear();
    return true;
}

// The unnamed (O_TMPFILE) file's way into place. Most targets do not exist:
// one link, and the file is there. A target that exists is replaced by a
// rename; one that vanishes meanwhile is tried again, a few times.
bool OutputFile::commitUnnamed(Replace replace, const TargetCheck& check)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (linkUnnamed(name_))
            return true;
        if (errno != EEXIST)
            return fail(Problem::System, errno);
        if (replace == Replace::No)
            return fail(Problem::TargetExists, EEXIST);
        struct stat existing {};
        if (::fstatat(folder_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return fail(Problem::System, errno);
            continue;
        }
        if (!checkTarget(existing, check))
            return false;
        // linkat never replaces: link under a random name, then rename.
        // SIGKILL between the two leaves that name; other signals find it
        // in the registry.
        for (int tries = 0; tempName_.empty(); ++tries) {
            std::string candidate = temporaryName(name_);
            slot_ = registerName(folder_, candidate);
            if (slot_ < 0)
                return fail(Problem::System, EMFILE);
            if (linkUnnamed(candidate)) {
                tempName_ = std::move(candidate);
                break;
            }
            const int error = errno;
            unregisterName(slot_);
            if (error != EEXIST || tries == 100)
                return fail(Problem::System, error);
        }
        if (::renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) != 0)
            return fail(Problem::System, errno);
        unregisterName(slot_);
        tempName_.clear();
        return true;
    }
    return fail(Problem::System, ENOENT);
}

bool OutputFile::commit(Replace replace, const TargetCheck& check)
{
    if (fd_ < 0)
        return fail(Problem::System, EBADF);
    problem_ = Problem::None;
    systemError_ = 0;
    const bool placed = tempName_.empty() ? commitUnnamed(replace, check) : commitNamed(replace, check);
    if (!placed) {
        discard();
        return false;
    }
    // Closing can report a late write error (NFS): then the file is not good.
    const int fd = fd_;
    fd_ = -1;
    if (!tempName_.empty()) {
        ::unlinkat(folder_, tempName_.c_str(), 0);
        unregisterName(slot_);
        tempName_.clear();
    }
    if (::close(fd) != 0 && errno != EINTR) {
        const int error = errno;
        ::unlinkat(folder_, name_.c_str(), 0);
        return fail(Problem::System, error);
    }
    return true;
}

void OutputFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty()) {
        ::unlinkat(folder_, tempName_.c_str(), 0);
        tempName_.clear();
    }
    unregisterName(slot_);
}

bool OutputFile::placeIn(int folder, const std::string& name)
{
    if (fd_ < 0 || !tempName_.empty())
        return fail(Problem::System, EINVAL);
    if (!name.empty() && !validName(name))
        return fail(Problem::BadName, ENAMETOOLONG);
    folder_ = folder;
    if (!name.empty())
        name_ = name;
    return true;
}

// --- free calls -----------------------------------------------------------------

bool syncFolder(int folder)
{
    return ::fsync(folder) == 0;
}

void removePendingOutputFiles() noexcept
{
    for (PendingName& pending : registry) {
        if (pending.state.load(std::memory_order_acquire) == SlotReady)
            ::unlinkat(pending.folder, pending.name, 0);
    }
}

void forceNamedTemporaries(bool on)
{
    forcedNamed.store(on, std::memory_order_relaxed);
}

}  // namespace vza
