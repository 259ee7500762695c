// SPDX-License-Identifier: MIT
// OutputFile: invisible until committed, modes kept, special targets refused,
// nothing left behind; in both the O_TMPFILE and the named-temporary mode.
#include <gtest/gtest.h>

#include <atomic>
#include <cerrno>
#include <condition_variable>
#include <csignal>
#include <mutex>
#include <string>
#include <thread>

#include <fcntl.h>
#include <sched.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>
#include <sys/un.h>
#include <sys/wait.h>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/fs/sibling_names.h"

namespace vza {
namespace {

using test::bytesOf;
using test::readBytes;
using test::TempDir;
using test::writeBytes;
using Strings = std::vector<std::string>;

// Runs every test once with O_TMPFILE and once with named temporaries.
class OutputFileTest : public ::testing::TestWithParam<bool> {
protected:
    void SetUp() override
    {
        forceNamedTemporaries(GetParam());
        folder_ = ::open(dir_.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
        ASSERT_GE(folder_, 0);
    }
    void TearDown() override
    {
        ::close(folder_);
        forceNamedTemporaries(false);
    }

    // Writes text to name in the folder and commits it.
    bool put(const std::string& name, const std::string& text, OutputFile::Replace replace = OutputFile::Replace::Yes)
    {
        OutputFile out;
        return out.create(folder_, name) && out.write(text.data(), text.size()) && out.commit(replace);
    }

    mode_t modeOf(const std::string& name)
    {
        struct stat status {};
        EXPECT_EQ(::lstat((dir_ / name).c_str(), &status), 0);
        return status.st_mode;
    }

    TempDir dir_;
    int folder_ = -1;
};

INSTANTIATE_TEST_SUITE_P(Modes, OutputFileTest, ::testing::Values(false, true),
                         [](const auto& info) { return info.param ? "NamedTemporary" : "Unnamed"; });

// Faults in force for one scope.
class Injected {
public:
    explicit Injected(const OutputFileFaults& faults) : faults_(faults) { setOutputFileFaults(&faults_); }
    ~Injected() { setOutputFileFaults(nullptr); }
    Injected(const Injected&) = delete;
    Injected& operator=(const Injected&) = delete;

private:
    OutputFileFaults faults_;
};

// A late write error reported by close: a named temporary is closed before
// it is renamed, so the old file stays; an unnamed file can only be closed
// once it is linked in, so it stays in place, reported (before, the target
// was then removed by name: old and new both lost).
TEST_P(OutputFileTest, CloseFailureNeverLosesTheOldFile)
{
    const bool named = GetParam();
    ASSERT_TRUE(put("old", "old bytes"));
    OutputFileFaults faults;
    faults.closeError = EIO;
    const Injected injected(faults);
    for (const char* name : {"old", "new"}) {
        SCOPED_TRACE(name);
        OutputFile out;
        ASSERT_TRUE(out.create(folder_, name));
        ASSERT_TRUE(out.write("new bytes", 9));
        EXPECT_FALSE(out.commit());
        EXPECT_EQ(out.problem(), OutputFile::Problem::System);
        EXPECT_EQ(out.systemError(), EIO);
        EXPECT_EQ(out.placed(), !named);
    }
    if (named) {
        EXPECT_EQ(dir_.list(), Strings{"old"});
        EXPECT_EQ(readBytes(dir_ / "old"), bytesOf("old bytes"));
    } else {
        EXPECT_EQ(dir_.list(), (Strings{"new", "old"}));
        EXPECT_EQ(readBytes(dir_ / "old"), bytesOf("new bytes"));
    }
}

// Where the system refuses a step, the file still goes in place the other
// way: an exclusive rename the file system lacks (a hard link then), a link
// through /proc that is refused (the bytes move to a named temporary, and
// later files of the same destination are named from the start).
TEST_P(OutputFileTest, FallbacksWhereTheSystemRefuses)
{
    const bool named = GetParam();
    ASSERT_TRUE(put("taken", "old"));
    {
        OutputFileFaults faults;
        faults.noExclusiveRename = true;
        const Injected injected(faults);
        EXPECT_TRUE(put("fresh", "new", OutputFile::Replace::No));
        EXPECT_FALSE(put("taken", "new", OutputFile::Replace::No));
        EXPECT_EQ(readBytes(dir_ / "taken"), bytesOf("old"));
        EXPECT_EQ(dir_.list(), (Strings{"fresh", "taken"}));
    }
    for (int error : {EACCES, EPERM, ENOENT, EXDEV}) {
        SCOPED_TRACE(error);
        OutputFileFaults faults;
        faults.procLinkError = error;
        const Injected injected(faults);
        TemporaryChoice choice;
        for (const char* name : {"linked", "taken"}) {
            OutputFile out;
            ASSERT_TRUE(out.create(folder_, name, &choice));
            // Unnamed at first; named once the first was refused.
            EXPECT_EQ(out.namedTemporary(), named || std::string(name) == "taken");
            ASSERT_TRUE(out.write("rescued", 7));
            ASSERT_TRUE(out.commit()) << out.systemError();
            EXPECT_EQ(readBytes(dir_ / name), bytesOf("rescued"));
        }
        EXPECT_EQ(choice.named.load(), !named);
        EXPECT_EQ(dir_.list(), (Strings{"fresh", "linked", "taken"}));
        ASSERT_EQ(::unlinkat(folder_, "linked", 0), 0);
    }
}

TEST_P(OutputFileTest, NothingIsVisibleUntilCommit)
{
    OutputFile out;
    ASSERT_TRUE(out.create(folder_, "a.txt"));
    EXPECT_EQ(out.namedTemporary(), GetParam());
    ASSERT_TRUE(out.write("hello", 5));
    // At most the hidden temporary; never the target.
    for (const std::string& name : dir_.list())
        EXPECT_EQ(name.rfind(".a.txt.", 0), 0u) << name;
    ASSERT_TRUE(out.commit());
    EXPECT_EQ(dir_.list(), Strings{"a.txt"});
    EXPECT_EQ(readBytes(dir_ / "a.txt"), bytesOf("hello"));
    EXPECT_EQ(out.descriptor(), -1);
}

TEST_P(OutputFileTest, DiscardedAndDestroyedFilesLeaveNothing)
{
    {
        OutputFile out;
        ASSERT_TRUE(out.create(folder_, "gone"));
        ASSERT_TRUE(out.write("x", 1));
    }
    OutputFile out;
    ASSERT_TRUE(out.create(folder_, "gone"));
    out.discard();
    EXPECT_TRUE(dir_.list().empty());
    EXPECT_FALSE(out.commit());
}

TEST_P(OutputFileTest, NewFilesFollowTheUmaskReplacedFilesKeepTheirPermissionBits)
{
    const mode_t old = ::umask(027);
    ASSERT_TRUE(put("new", "n"));
    struct Case {
        mode_t before;
        mode_t after;
    };
    const Case cases[] = {
        {0600, 0600},   // a private file stays private
        {0755, 0755},   // a program stays executable
        {0444, 0444},   // read-only stays read-only
        {04755, 0755},  // never setuid
        {02770, 0770},  // never setgid
    };
    for (const Case& c : cases) {
        writeBytes(dir_ / "old", bytesOf("before"));
        ASSERT_EQ(::chmod((dir_ / "old").c_str(), c.before), 0);
        ASSERT_TRUE(put("old", "after"));
        EXPECT_EQ(modeOf("old") & 07777, c.after) << std::oct << c.before;
        EXPECT_EQ(readBytes(dir_ / "old"), bytesOf("after"));
    }
    ::umask(old);
    EXPECT_EQ(modeOf("new") & 07777, 0640u);
}

TEST_P(OutputFileTest, SymlinkTargetIsReplacedNeverWrittenThrough)
{
    TempDir elsewhere;
    writeBytes(elsewhere / "victim", bytesOf("precious"));
    ASSERT_EQ(::symlink((elsewhere / "victim").c_str(), (dir_ / "link").c_str()), 0);
    ASSERT_TRUE(put("link", "new"));
    EXPECT_TRUE(S_ISREG(modeOf("link")));
    EXPECT_EQ(readBytes(dir_ / "link"), bytesOf("new"));
    EXPECT_EQ(readBytes(elsewhere / "victim"), bytesOf("precious"));
}

TEST_P(OutputFileTest, FoldersAndSpecialFilesAreRefusedAndUntouched)
{
    ASSERT_EQ(::mkdir((dir_ / "folder").c_str(), 0755), 0);
    ASSERT_EQ(::mkfifo((dir_ / "fifo").c_str(), 0644), 0);
    const int sock = ::socket(AF_UNIX, SOCK_STREAM, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    const std::string socketPath = dir_ / "socket";
    ASSERT_LT(socketPath.size(), sizeof address.sun_path);
    std::snprintf(address.sun_path, sizeof address.sun_path, "%s", socketPath.c_str());
    ASSERT_EQ(::bind(sock, reinterpret_cast<sockaddr*>(&address), sizeof address), 0);
    const bool root = ::geteuid() == 0;
    if (root) {
        ASSERT_EQ(::mknod((dir_ / "null").c_str(), S_IFCHR | 0666, makedev(1, 3)), 0);
    }

    struct Case {
        const char* name;
        OutputFile::Problem problem;
        mode_t type;
    };
    const Case cases[] = {
        {"folder", OutputFile::Problem::TargetIsFolder, S_IFDIR},
        {"fifo", OutputFile::Problem::TargetIsSpecial, S_IFIFO},
        {"socket", OutputFile::Problem::TargetIsSpecial, S_IFSOCK},
        {"null", OutputFile::Problem::TargetIsSpecial, S_IFCHR},
    };
    for (const Case& c : cases) {
        if (c.type == S_IFCHR && !root)
            continue;  // only root can make a device node
        OutputFile out;
        ASSERT_TRUE(out.create(folder_, c.name));
        ASSERT_TRUE(out.write("x", 1));
        EXPECT_FALSE(out.commit()) << c.name;
        EXPECT_EQ(out.problem(), c.problem) << c.name;
        EXPECT_EQ(modeOf(c.name) & S_IFMT, c.type) << c.name;
    }
    ::close(sock);
    Strings expected{"fifo", "folder", "socket"};
    if (root)
        expected.insert(expected.begin() + 2, "null");
    EXPECT_EQ(dir_.list(), expected);
}

TEST_P(OutputFileTest, ReplaceNoKeepsWhatIsThereAndTheCheckCanRefuse)
{
    writeBytes(dir_ / "kept", bytesOf("old"));
    OutputFile out;
    ASSERT_TRUE(out.create(folder_, "kept"));
    EXPECT_FALSE(out.commit(OutputFile::Replace::No));
    EXPECT_EQ(out.problem(), OutputFile::Problem::TargetExists);
    EXPECT_TRUE(put("fresh", "new", OutputFile::Replace::No));

    ASSERT_TRUE(out.create(folder_, "kept"));
    EXPECT_FALSE(out.commit(OutputFile::Replace::Yes, [](const struct stat&) { return false; }));
    EXPECT_EQ(out.problem(), OutputFile::Problem::TargetRefused);
    EXPECT_EQ(readBytes(dir_ / "kept"), bytesOf("old"));
    EXPECT_EQ(dir_.list(), (Strings{"fresh", "kept"}));
}

TEST_P(OutputFileTest, BadNamesAreRefused)
{
    OutputFile out;
    for (const std::string& name : {std::string(), std::string("."), std::string(".."), std::string("a/b"),
                                    std::string("a\0b", 3), std::string(NAME_MAX + 1, 'n')}) {
        EXPECT_FALSE(out.create(folder_, name));
        EXPECT_EQ(out.problem(), OutputFile::Problem::BadName);
    }
    EXPECT_TRUE(out.create(folder_, std::string(NAME_MAX, 'n')));
    EXPECT_TRUE(out.commit());
}

TEST_P(OutputFileTest, PathFormAndSyncs)
{
    OutputFile out;
    ASSERT_TRUE(out.create(dir_ / "by-path"));
    ASSERT_TRUE(out.write("p", 1));
    EXPECT_TRUE(out.syncData());
    ASSERT_TRUE(out.commit());
    EXPECT_TRUE(syncFolder(out.folder()));
    EXPECT_EQ(readBytes(dir_ / "by-path"), bytesOf("p"));
    EXPECT_FALSE(out.create(dir_ / "missing/x"));
    EXPECT_EQ(out.systemError(), ENOENT);
}

// A child writes a file and stops half-way; the parent kills it. SIGINT runs
// a handler that calls the cleanup, as the programs' handlers do; SIGKILL
// runs nothing.
extern "C" void cleanUpAndDie(int signal)
{
    removePendingOutputFiles();
    ::signal(signal, SIG_DFL);
    ::raise(signal);
}

TEST_P(OutputFileTest, KilledWriterLeavesNothing)
{
    for (int signal : {SIGINT, SIGKILL}) {
        SCOPED_TRACE(signal);
        int ready[2];
        ASSERT_EQ(::pipe(ready), 0);
        const pid_t child = ::fork();
        ASSERT_GE(child, 0);
        if (child == 0) {
            ::signal(SIGINT, cleanUpAndDie);
            writeBytes(dir_ / "done", bytesOf("complete"));
            OutputFile out;
            if (!out.create(folder_, "half") || !out.write("partial", 7))
                ::_exit(3);
            (void)::write(ready[1], "!", 1);
            ::pause();
            ::_exit(4);
        }
        char byte = 0;
        ASSERT_EQ(::read(ready[0], &byte, 1), 1);
        ::kill(child, signal);
        int status = 0;
        ASSERT_EQ(::waitpid(child, &status, 0), child);
        EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal);
        ::close(ready[0]);
        ::close(ready[1]);
        Strings expected{"done"};
        Strings listed = dir_.list();
        // Without O_TMPFILE nothing can remove a name after SIGKILL: what is
        // left is the hidden temporary, never the target.
        if (GetParam() && signal == SIGKILL) {
            ASSERT_EQ(listed.size(), 2u);
            EXPECT_EQ(listed[0].rfind(".half.", 0), 0u) << listed[0];
            ::unlink((dir_ / listed[0]).c_str());
            listed.erase(listed.begin());
        }
        EXPECT_EQ(listed, expected);
    }
}

// Whether the thread tid of this process sleeps (state S in its stat line).
bool sleeping(pid_t tid)
{
    std::string path = "/proc/self/task/";
    path += std::to_string(tid);
    path += "/stat";
    const std::string stat = test::readFile(path);
    const std::size_t close = stat.rfind(')');
    return close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'S';
}

// The cleanup of a program's signal thread against a file that is just
// being named: holdOutputFilesAndRemovePending waits for it, removes its name
// once made, and no name appears after it. The writer stops in the naming
// step; it goes on once the cleanup has either returned (what a cleanup that
// does not wait would do: the name then appears after it) or sleeps waiting
// for the writer. In a child, as the hold is never given back.
TEST(OutputFileCleanup, HoldWaitsForANameBeingMadeAndLeavesNone)
{
    TempDir dir;
    const pid_t child = ::fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        ::alarm(300);  // a guard against a hang only
        forceNamedTemporaries(true);
        std::mutex mutex;
        std::condition_variable changed;
        bool naming = false, go = false, held = false, atCommit = false;
        std::atomic<pid_t> holder{0};
        const auto set = [&](bool& flag) {
            const std::lock_guard<std::mutex> lock(mutex);
            flag = true;
            changed.notify_all();
        };
        OutputFileFaults faults;
        faults.namingTemporary = [&](int, const std::string&) {
            set(naming);
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return go; });
        };
        faults.beforeCommit = [&](int, const std::string&) {
            set(atCommit);
            ::pause();  // the hold would keep it out of the rename anyway
        };
        setOutputFileFaults(&faults);
        std::thread writer([&] {
            OutputFile out;
            if (out.create(dir / "target") && out.write("x", 1))
                out.commit();
        });
        {
            std::unique_lock<std::mutex> lock(mutex);
            changed.wait(lock, [&] { return naming; });
        }
        std::thread cleaner([&] {
            holder = static_cast<pid_t>(::gettid());
            holdOutputFilesAndRemovePending();
            set(held);
        });
        for (;;) {
            {
                const std::lock_guard<std::mutex> lock(mutex);
                if (held)
                    break;
            }
            if (holder != 0 && sleeping(holder))
                break;
            ::sched_yield();
        }
        set(go);
        std::unique_lock<std::mutex> lock(mutex);
        changed.wait(lock, [&] { return held && atCommit; });
        ::_exit(dir.list().empty() ? 0 : 1);
    }
    int status = 0;
    ASSERT_EQ(::waitpid(child, &status, 0), child);
    EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "status " << status << ", left " << dir.list().size();
}

}  // namespace
}  // namespace vza

namespace vza {
namespace {

// Temporary names are made from the target's: a UTF-8 name is cut on a
// character boundary (exFAT refused half a 日), a name that is not UTF-8
// lends only its ASCII bytes.
TEST(SiblingNames, StemsKeepWholeCharacters)
{
    std::string days;
    for (int n = 0; n < 30; ++n)
        days += "\xE6\x97\xA5";  // 日: 90 bytes
    struct Case {
        std::string name;
        std::size_t size;
        std::string stem;
    };
    const Case cases[] = {
        {days, 64, days.substr(0, 63)},
        {days, 90, days},
        {"caf\xC3\xA9-\xF0\x9F\x98\x80", 9, "caf\xC3\xA9-"},  // the 4-byte emoji does not fit
        {"caf\xE9 latin1", 64, "caf latin1"},
        {"\xED\xA0\x80surrogate", 64, "surrogate"},  // no character, though shaped like one
        {std::string(100, 'a'), 64, std::string(64, 'a')},
    };
    for (const Case& c : cases)
        EXPECT_EQ(nameStem(c.name, c.size), c.stem) << c.name;

    // A named temporary beside such a target is all whole characters.
    TempDir dir;
    const int folder = ::open(dir.path().c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    ASSERT_GE(folder, 0);
    forceNamedTemporaries(true);
    OutputFile out;
    ASSERT_TRUE(out.create(folder, days + ".txt"));
    const Strings names = dir.list();
    ASSERT_EQ(names.size(), 1u);
    EXPECT_EQ(names[0].rfind("." + days.substr(0, 63) + ".", 0), 0u) << names[0];
    EXPECT_EQ(names[0].size(), 1 + 63 + 1 + 12 + 4);
    out.discard();
    forceNamedTemporaries(false);
    ::close(folder);
}

}  // namespace
}  // namespace vza
