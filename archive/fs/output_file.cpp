// SPDX-License-Identifier: MIT
#include "vza/archive/fs/output_file.h"

#include <atomic>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include <fcntl.h>
#include <linux/magic.h>
#include <pthread.h>
#include <sys/sendfile.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "vza/archive/fs/sibling_names.h"

namespace vza {
namespace {

// --- the registry of named temporaries --------------------------------------
//
// Fixed slots in static memory, claimed and released with atomics, so that a
// signal handler can walk them at any moment without a lock or an allocation.
// A slot being filled is skipped by the handler; its file does not exist yet
// or is about to be registered.
//
// Beside it a lock that files hold (shared) while a named temporary comes
// into being and is registered, or is renamed or removed and forgotten: the
// one who takes it alone (holdOutputFilesAndRemovePending) sees every such
// name that exists, and none appears after it.

constexpr int RegistrySlots = 256;
constexpr std::size_t TempNameSize = TemporaryStemSize + 32;  // ".STEM.XXXXXXXXXXXX.tmp"

enum SlotState : int { SlotFree, SlotFilling, SlotReady };

struct PendingName {
    std::atomic<int> state{SlotFree};
    int folder = -1;
    char name[TempNameSize] = {};
};

PendingName registry[RegistrySlots];
// Writers first: files keep taking it shared while the holder waits.
pthread_rwlock_t registryLock = PTHREAD_RWLOCK_WRITER_NONRECURSIVE_INITIALIZER_NP;
std::atomic<bool> forcedNamed{false};
std::atomic<const OutputFileFaults*> faults{nullptr};

// Holds the registry lock shared for one step of a named temporary.
class NameStep {
public:
    NameStep() { ::pthread_rwlock_rdlock(&registryLock); }
    ~NameStep() { ::pthread_rwlock_unlock(&registryLock); }
    NameStep(const NameStep&) = delete;
    NameStep& operator=(const NameStep&) = delete;
};

// Called with a NameStep held, before the name is made on the disk.
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
        if (const OutputFileFaults* injected = faults.load(std::memory_order_relaxed);
            injected && injected->namingTemporary)
            injected->namingTemporary(folder, name);
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

// --- names and the system --------------------------------------------------------

bool validName(const std::string& name)
{
    return !name.empty() && name != "." && name != ".." && name.size() <= NAME_MAX &&
           name.find('/') == std::string::npos && name.find('\0') == std::string::npos;
}

// O_TMPFILE files are linked in through /proc/self/fd; a /proc that is not
// procfs (a bind mount, a FUSE stand-in, none) cannot do that.
bool procAvailable()
{
    static const bool available = [] {
        struct statfs system {};
        return ::statfs("/proc/self/fd", &system) == 0 && system.f_type == PROC_SUPER_MAGIC;
    }();
    return available;
}

bool unsupportedTmpfile(int error)
{
    // EISDIR: kernels before 3.11 read O_TMPFILE as O_DIRECTORY.
    return error == EOPNOTSUPP || error == EISDIR || error == EINVAL || error == ENOSYS;
}

// Linking through /proc refused here (a hardened /proc, an LSM, another
// file system for the target): named temporaries will do.
bool procLinkRefused(int error)
{
    return error == ENOENT || error == EACCES || error == EPERM || error == EXDEV;
}

// close(2), reporting a late write error (NFS, a full quota); EINTR still
// closes on Linux and is no error.
bool closeChecked(int fd)
{
    const OutputFileFaults* injected = faults.load(std::memory_order_relaxed);
    const int result = ::close(fd);
    if (injected && injected->closeError != 0) {
        errno = injected->closeError;
        return false;
    }
    return result == 0 || errno == EINTR;
}

// Copies the whole of from into to, from the start.
bool copyWhole(int from, int to)
{
    off_t offset = 0;
    for (;;) {
        const ssize_t sent = ::sendfile(to, from, &offset, 1 << 30);
        if (sent == 0)
            return true;
        if (sent < 0 && errno != EINTR)
            return false;
    }
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

// Forgets any earlier file and takes the new one's folder and name.
bool OutputFile::start(int folder, const std::string& name, TemporaryChoice* choice)
{
    discard();
    if (ownedFolder_ >= 0 && folder != ownedFolder_) {
        ::close(ownedFolder_);
        ownedFolder_ = -1;
    }
    problem_ = Problem::None;
    systemError_ = 0;
    placed_ = false;
    if (!validName(name))
        return fail(Problem::BadName, ENAMETOOLONG);
    folder_ = folder;
    name_ = name;
    choice_ = choice;
    if (const OutputFileFaults* injected = faults.load(std::memory_order_relaxed); injected && injected->beforeCreate)
        injected->beforeCreate(folder, name);
    return true;
}

// An O_TMPFILE file in the folder, where it can be linked in later; false
// with errno set (EOPNOTSUPP where it would have to be named).
bool OutputFile::openUnnamed()
{
    if (forcedNamed.load(std::memory_order_relaxed) || (choice_ && choice_->named.load(std::memory_order_relaxed)) ||
        !procAvailable()) {
        errno = EOPNOTSUPP;
        return false;
    }
    // 0666: the umask applies, as for any new file.
    fd_ = ::openat(folder_, ".", O_TMPFILE | O_RDWR | O_CLOEXEC, 0666);
    return fd_ >= 0;
}

bool OutputFile::create(int folder, const std::string& name, TemporaryChoice* choice)
{
    if (!start(folder, name, choice))
        return false;
    if (openUnnamed())
        return true;
    if (errno != EOPNOTSUPP && !unsupportedTmpfile(errno))
        return fail(Problem::System, errno);
    return createNamed();
}

bool OutputFile::createUnnamed(int folder, const std::string& name, TemporaryChoice* choice)
{
    if (!start(folder, name, choice))
        return false;
    if (openUnnamed())
        return true;
    return fail(Problem::System, unsupportedTmpfile(errno) ? EOPNOTSUPP : errno);
}

// The file under a random name beside the target, registered from before
// it exists until it is renamed or removed.
bool OutputFile::createNamed()
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        std::string candidate = temporaryName(name_);
        const NameStep step;
        slot_ = registerName(folder_, candidate);
        if (slot_ < 0)
            return fail(Problem::System, EMFILE);
        fd_ = ::openat(folder_, candidate.c_str(), O_RDWR | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0666);
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

// Links the unnamed (O_TMPFILE) file in under name through /proc; false
// with errno set. Never AT_EMPTY_PATH: it needs CAP_DAC_READ_SEARCH on many
// kernels and would tempt a privileged build into linking any descriptor.
bool OutputFile::linkUnnamed(const std::string& name)
{
    const OutputFileFaults* injected = faults.load(std::memory_order_relaxed);
    if (injected && injected->procLinkError != 0) {
        errno = injected->procLinkError;
        return false;
    }
    char proc[40];
    std::snprintf(proc, sizeof proc, "/proc/self/fd/%d", fd_);
    return ::linkat(AT_FDCWD, proc, folder_, name.c_str(), AT_SYMLINK_FOLLOW) == 0;
}

// Linking through /proc was refused: the data goes into a named temporary
// beside the target, which then takes the named way into place; the
// destination's later files start out named (choice).
bool OutputFile::rescueUnnamed()
{
    if (choice_)
        choice_->named.store(true, std::memory_order_relaxed);
    const int unnamed = fd_;
    fd_ = -1;
    if (!createNamed()) {
        ::close(unnamed);
        return false;
    }
    const bool copied = copyWhole(unnamed, fd_);
    const int error = errno;
    ::close(unnamed);
    return copied || fail(Problem::System, error);
}

// The named temporary's way into place: closed and checked first, so that
// a late write error never replaces anything. True when it is there.
bool OutputFile::commitNamed(Replace replace, const TargetCheck& check)
{
    struct stat existing {};
    bool exists = false;
    if (::fstatat(folder_, name_.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (replace == Replace::No)
            return fail(Problem::TargetExists, EEXIST);
        if (!checkTarget(existing, check))
            return false;
        exists = true;
    } else if (errno != ENOENT) {
        return fail(Problem::System, errno);
    }
    const int fd = fd_;
    fd_ = -1;
    if (!closeChecked(fd))
        return fail(Problem::System, errno);
    const NameStep step;
    if (replace == Replace::Yes || exists) {
        if (::renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) != 0)
            return fail(Problem::System, errno);
    } else if (!renameExclusive()) {
        return false;
    }
    unregisterName(slot_);
    tempName_.clear();
    placed_ = true;
    return true;
}

// Never over a target that appeared meanwhile: an exclusive rename, or a
// hard link where the file system has no such rename (the temporary name
// is then removed).
bool OutputFile::renameExclusive()
{
    const OutputFileFaults* injected = faults.load(std::memory_order_relaxed);
    const bool refused = injected && injected->noExclusiveRename;
    if (!refused && ::renameat2(folder_, tempName_.c_str(), folder_, name_.c_str(), RENAME_NOREPLACE) == 0)
        return true;
    if (!refused && errno != EINVAL && errno != ENOSYS)
        return fail(errno == EEXIST ? Problem::TargetExists : Problem::System, errno);
    if (::linkat(folder_, tempName_.c_str(), folder_, name_.c_str(), 0) != 0)
        return fail(errno == EEXIST ? Problem::TargetExists : Problem::System, errno);
    ::unlinkat(folder_, tempName_.c_str(), 0);
    return true;
}

// The unnamed (O_TMPFILE) file's way into place. Most targets do not exist:
// one link, and the file is there. A target that exists is replaced by a
// rename; one that vanishes meanwhile is tried again, a few times. Where
// /proc refuses the link, the named way takes over.
bool OutputFile::commitUnnamed(Replace replace, const TargetCheck& check)
{
    for (int attempt = 0; attempt < 3; ++attempt) {
        if (linkUnnamed(name_)) {
            placed_ = true;
            return true;
        }
        if (procLinkRefused(errno))
            return rescueUnnamed() && commitNamed(replace, check);
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
        return replaceByRename();
    }
    return fail(Problem::System, ENOENT);
}

// linkat never replaces: the unnamed file is linked under a random name,
// then renamed over the target. SIGKILL between the two leaves that name;
// the registry knows it otherwise.
bool OutputFile::replaceByRename()
{
    for (int tries = 0; tempName_.empty(); ++tries) {
        std::string candidate = temporaryName(name_);
        const NameStep step;
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
    const NameStep step;
    if (::renameat(folder_, tempName_.c_str(), folder_, name_.c_str()) != 0)
        return fail(Problem::System, errno);
    unregisterName(slot_);
    tempName_.clear();
    placed_ = true;
    return true;
}

bool OutputFile::commit(Replace replace, const TargetCheck& check)
{
    if (fd_ < 0)
        return fail(Problem::System, EBADF);
    problem_ = Problem::None;
    systemError_ = 0;
    if (const OutputFileFaults* injected = faults.load(std::memory_order_relaxed); injected && injected->beforeCommit)
        injected->beforeCommit(folder_, name_);
    const bool named = !tempName_.empty();
    if (!(named ? commitNamed(replace, check) : commitUnnamed(replace, check))) {
        discard();
        return false;
    }
    if (fd_ < 0)
        return true;  // closed before it went in place
    // An unnamed file is closed only once it has a name. A late write error
    // then leaves it in place, reported: removing it by name could remove
    // what another process put there, and what it replaced is gone anyway.
    const int fd = fd_;
    fd_ = -1;
    return closeChecked(fd) || fail(Problem::System, errno);
}

void OutputFile::discard()
{
    if (fd_ >= 0) {
        ::close(fd_);
        fd_ = -1;
    }
    if (!tempName_.empty()) {
        const NameStep step;
        ::unlinkat(folder_, tempName_.c_str(), 0);
        tempName_.clear();
        unregisterName(slot_);
    }
    unregisterName(slot_);  // registered, but never made
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

void holdOutputFilesAndRemovePending() noexcept
{
    ::pthread_rwlock_wrlock(&registryLock);  // never given back
    removePendingOutputFiles();
}

void forceNamedTemporaries(bool on)
{
    forcedNamed.store(on, std::memory_order_relaxed);
}

void setOutputFileFaults(const OutputFileFaults* injected)
{
    faults.store(injected, std::memory_order_relaxed);
}

}  // namespace vza
