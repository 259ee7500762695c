// SPDX-License-Identifier: MIT
// ArchiveEditor: an archive changed in place replaces only the file that was
// read, one editor at a time, with names that keep reading as they did.
#include <gtest/gtest.h>

#include <chrono>
#include <condition_variable>
#include <fcntl.h>
#include <filesystem>
#include <mutex>
#include <sys/file.h>
#include <thread>
#include <unistd.h>

#include "testkit/testkit.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/write/archive_editor.h"
#include "vza/archive/write/archive_output.h"
#include "vza/archive/write/archive_writer.h"
#include "vza/archive/write/input_tree.h"

using namespace vza;
using namespace vza::test;

namespace {

namespace fs = std::filesystem;

// The names and plain bytes of every entry.
std::vector<std::pair<std::string, Bytes>> contents(const std::string& path, const std::string& password = "pw")
{
    Archive archive;  // the path as given: open() would read a backslash as a slash
    EXPECT_EQ(archive.openWithPassword(path,
                                       [&](std::string& given) {
                                           given = password;
                                           return true;
                                       }),
              Archive::OpenOutcome::Opened)
        << path;
    std::vector<std::pair<std::string, Bytes>> entries;
    for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
        DataBuffer buffer;
        EXPECT_TRUE(archive.readEntry(i, buffer));
        entries.emplace_back(std::string(archive.entryName(i)), buffer.bytes);
    }
    return entries;
}

ArchiveEditor::OpenOutcome openEditor(ArchiveEditor& editor, const std::string& path,
                                      const ArchiveLock::Notice& notice = {})
{
    return editor.open(
        path,
        [](std::string& password) {
            password = "pw";
            return true;
        },
        notice);
}

// Adds the files (paths) to the archive an editor has open.
bool addFiles(ArchiveEditor& editor, InputTree& tree, const std::vector<std::string>& files)
{
    for (const std::string& file : files)
        tree.add(file);
    tree.finish();
    return editor.planAdd(tree) && editor.write();
}

class ArchiveEditorTest : public ::testing::Test {
protected:
    void SetUp() override { EXPECT_EQ(::chdir(dir.path().c_str()), 0); }
    void TearDown() override
    {
        setReplaceHookForTesting({});
        EXPECT_EQ(::chdir("/"), 0);
    }
    TempDir dir;
};

// Another program puts a file at the archive's name after it was read (the
// attack: a link swapped to lead elsewhere, or the archive renamed away):
// nothing is replaced, with or without the file system's swap.
TEST_F(ArchiveEditorTest, ReplacesOnlyTheFileThatWasRead)
{
    for (const bool noExchange : {false, true}) {
        SCOPED_TRACE(noExchange ? "check, then rename" : "exchange");
        writeArchive("a.vza", {{"old", "old bytes"}}, FlagCompressed, "pw");
        writeFile("victim.txt", "important");
        writeFile("new.txt", "new");
        ArchiveEditor editor;
        ASSERT_EQ(openEditor(editor, "a.vza"), ArchiveEditor::OpenOutcome::Opened);
        const Bytes archive = readBytes("a.vza");
        setReplaceHookForTesting(
            [] {
                ASSERT_EQ(::rename("a.vza", "moved.vza"), 0);
                ASSERT_EQ(::link("victim.txt", "a.vza"), 0);
            },
            noExchange);
        InputTree tree({});
        EXPECT_FALSE(addFiles(editor, tree, {"new.txt"}));
        setReplaceHookForTesting({});
        EXPECT_EQ(editor.lastError(), ArchiveError::InputChanged);
        EXPECT_EQ(editor.failedItem(), -1);
        EXPECT_EQ(readFile("a.vza"), "important");
        EXPECT_EQ(readFile("victim.txt"), "important");
        EXPECT_EQ(readBytes("moved.vza"), archive);
        EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.vza", "moved.vza", "new.txt", "victim.txt"}));
        for (const char* name : {"a.vza", "moved.vza", "victim.txt"})
            fs::remove(name);
    }
}

// The archive is read through the descriptor the editor locked, never by
// its path again: what was read is the locked file, and another archive put
// at the name afterwards (a valid one, so only the file tells them apart)
// is neither read nor replaced.
TEST_F(ArchiveEditorTest, ReadsTheLockedFileAndLeavesOneSwappedInAlone)
{
    writeArchive("a.vza", {{"a", "aaa"}, {"b", "bbb"}}, FlagCompressed | FlagEncrypted, "pw");
    writeArchive("other.vza", {{"z", "zzz"}, {"y", "yyy"}}, FlagCompressed | FlagEncrypted, "pw");
    const Bytes original = readBytes("a.vza");
    const Bytes other = readBytes("other.vza");
    ArchiveEditor editor;
    ASSERT_EQ(openEditor(editor, "a.vza"), ArchiveEditor::OpenOutcome::Opened);
    EXPECT_TRUE(editor.archive().identity().is(editor.lockedStatus()));
    ASSERT_EQ(::rename("a.vza", "moved.vza"), 0);
    ASSERT_EQ(::rename("other.vza", "a.vza"), 0);
    EXPECT_EQ(editor.archive().entryName(0), "a");
    editor.planDelete({true, false});
    EXPECT_FALSE(editor.write());
    EXPECT_EQ(editor.lastError(), ArchiveError::InputChanged);
    EXPECT_EQ(editor.failedItem(), -1);
    EXPECT_EQ(readBytes("a.vza"), other);
    EXPECT_EQ(readBytes("moved.vza"), original);
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.vza", "moved.vza"}));
}

// A program that does not lock rewrites the archive in place after it was
// read: the index read no longer describes it, so nothing is written.
TEST_F(ArchiveEditorTest, ArchiveChangedSinceItWasOpenedIsLeftAlone)
{
    writeArchive("a.vza", {{"a", "aaa"}, {"b", "bbb"}}, 0, "pw");
    ArchiveEditor editor;
    ASSERT_EQ(openEditor(editor, "a.vza"), ArchiveEditor::OpenOutcome::Opened);
    writeArchive("other.vza", {{"z", "zzzz"}}, 0, "pw");
    const Bytes changed = readBytes("other.vza");
    {
        const int fd = ::open("a.vza", O_WRONLY | O_TRUNC);
        ASSERT_GE(fd, 0);
        ASSERT_EQ(::write(fd, changed.data(), changed.size()), static_cast<ssize_t>(changed.size()));
        ::close(fd);
    }
    editor.planDelete({true, false});
    EXPECT_FALSE(editor.write());
    EXPECT_EQ(editor.lastError(), ArchiveError::InputChanged);
    EXPECT_EQ(readBytes("a.vza"), changed);
}

// Two editors of one archive: the second waits for the first, then reads
// what the first wrote, so neither addition is lost.
TEST_F(ArchiveEditorTest, SecondEditorWaitsAndKeepsTheFirstOnesAddition)
{
    writeArchive("a.vza", {{"a", "aaa"}}, FlagCompressed | FlagEncrypted, "pw");
    writeFile("x", "from the first");
    writeFile("y", "from the second");
    auto first = std::make_unique<ArchiveEditor>();
    ASSERT_EQ(openEditor(*first, "a.vza"), ArchiveEditor::OpenOutcome::Opened);

    std::mutex mutex;
    std::condition_variable changed;
    int waits = 0;
    bool secondAdded = false;
    std::thread second([&] {
        ArchiveEditor editor;
        const auto outcome = openEditor(editor, "a.vza", [&](ArchiveLock::Event event) {
            EXPECT_EQ(event, ArchiveLock::Event::Waiting);
            std::lock_guard<std::mutex> lock(mutex);
            ++waits;
            changed.notify_all();
        });
        ASSERT_EQ(outcome, ArchiveEditor::OpenOutcome::Opened);
        InputTree tree({});
        secondAdded = addFiles(editor, tree, {"y"});
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        // A guard against hanging when nobody waits, not a timing: the
        // other thread tells as soon as it waits.
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::minutes(2), [&] { return waits > 0; }));
    }
    InputTree tree({});
    EXPECT_TRUE(addFiles(*first, tree, {"x"}));
    first.reset();  // lets go of the lock
    second.join();
    EXPECT_TRUE(secondAdded);
    EXPECT_EQ(waits, 1);
    const auto entries = contents("a.vza");
    ASSERT_EQ(entries.size(), 3u);
    EXPECT_EQ(entries[1], (std::pair<std::string, Bytes>{"x", bytesOf("from the first")}));
    EXPECT_EQ(entries[2], (std::pair<std::string, Bytes>{"y", bytesOf("from the second")}));
}

// Creating over an archive an editor has open waits for the editor, then
// replaces what the editor wrote.
TEST_F(ArchiveEditorTest, CreateOverAnArchiveWaitsForItsEditor)
{
    writeArchive("a.vza", {{"a", "aaa"}, {"b", "bbb"}}, 0, "pw");
    auto editor = std::make_unique<ArchiveEditor>();
    ASSERT_EQ(openEditor(*editor, "a.vza"), ArchiveEditor::OpenOutcome::Opened);
    std::mutex mutex;
    std::condition_variable changed;
    int waits = 0;
    bool created = false;
    std::thread create([&] {
        ArchiveWriter writer;
        ASSERT_TRUE(writer.begin(0));
        ASSERT_TRUE(writer.addBytes("new", "new", 3));
        ArchiveOutput output;
        ASSERT_TRUE(output.open("a.vza", [&](ArchiveLock::Event event) {
            EXPECT_EQ(event, ArchiveLock::Event::Waiting);
            std::lock_guard<std::mutex> lock(mutex);
            ++waits;
            changed.notify_all();
        }));
        created = writer.writeTo(output);
    });
    {
        std::unique_lock<std::mutex> lock(mutex);
        // A guard against hanging when nobody waits, not a timing: the
        // other thread tells as soon as it waits.
        ASSERT_TRUE(changed.wait_for(lock, std::chrono::minutes(2), [&] { return waits > 0; }));
    }
    editor->planDelete({true, false});
    EXPECT_TRUE(editor->write());
    EXPECT_EQ(contents("a.vza").size(), 1u);
    editor.reset();
    create.join();
    EXPECT_TRUE(created);
    EXPECT_EQ(contents("a.vza"), (std::vector<std::pair<std::string, Bytes>>{{"new", bytesOf("new")}}));
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a.vza"}));
}

// A name joins an archive only when every old name reads as before.
TEST_F(ArchiveEditorTest, NamesThatWouldChangeHowTheArchiveReadsAreRefused)
{
    const std::string latin1 = "r\xe9sum\xe9.txt";
    const std::string utf8 = "r\xc3\xa9sum\xc3\xa9.txt";
    const std::string sjis = "\x93\xfa\x96\x7b.txt";  // 日本 in Shift_JIS
    writeFile(latin1, "l");
    writeFile(utf8, "u");
    writeFile("plain.txt", "p");
    const struct {
        const char* what;
        std::string oldName;
        std::string added;
        bool refused;
        NameEncoding encoding;
    } cases[] = {
        {"Latin-1 into UTF-8", utf8, latin1, true, NameEncoding::Utf8},
        {"UTF-8 into UTF-8", "日本.txt", utf8, false, NameEncoding::Utf8},
        {"UTF-8 into Shift_JIS", sjis, utf8, true, NameEncoding::Cp932},
        {"ASCII into Shift_JIS", sjis, "plain.txt", false, NameEncoding::Cp932},
        {"Latin-1 into ASCII", "old.txt", latin1, false, NameEncoding::Utf8},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        writeArchive("a.vza", {{c.oldName, "old"}}, 0, "pw");
        const Bytes before = readBytes("a.vza");
        ArchiveEditor editor;
        ASSERT_EQ(openEditor(editor, "a.vza"), ArchiveEditor::OpenOutcome::Opened);
        EXPECT_EQ(editor.namesEncoding(), c.encoding);
        InputTree tree({});
        tree.add(c.added);
        tree.finish();
        EXPECT_EQ(editor.planAdd(tree), !c.refused);
        EXPECT_EQ(editor.refusedNames(), c.refused ? std::vector<std::size_t>{0} : std::vector<std::size_t>{});
        if (c.refused) {
            EXPECT_EQ(readBytes("a.vza"), before);
            continue;
        }
        ASSERT_TRUE(editor.write());
        EXPECT_EQ(contents("a.vza").back().first, c.added);
    }
}

// The rewritten header keeps only the flag bits with a meaning; the archive
// is found however its name is spelt (a backslash is a byte of it), and its
// permission bits stay.
TEST_F(ArchiveEditorTest, KeepsMeaningfulFlagsAndTheModeAtAnyName)
{
    for (const std::uint32_t flags : {0x100u | FlagCompressed, 0x1u | FlagEncrypted, 0xF0u}) {
        SCOPED_TRACE(flags);
        writeArchive("a\\b.vza", {{"a", "aaa"}, {"b", compressible(5000)}}, flags, "pw");
        ASSERT_EQ(::chmod("a\\b.vza", 0640), 0);
        const auto before = contents("a\\b.vza");
        ArchiveEditor editor;
        ASSERT_EQ(openEditor(editor, "a\\b.vza"), ArchiveEditor::OpenOutcome::Opened);
        editor.planDelete({true, false});
        ASSERT_TRUE(editor.write()) << errorText(editor.lastError());
        EXPECT_EQ(static_cast<std::uint32_t>(Archive().probeFlags("a\\b.vza")),
                  flags & (FlagCompressed | FlagEncrypted));
        EXPECT_EQ(contents("a\\b.vza"), (std::vector<std::pair<std::string, Bytes>>{before[1]}));
        EXPECT_EQ(fs::status("a\\b.vza").permissions() & fs::perms::all, fs::perms(0640));
    }
    EXPECT_EQ(dir.list(), (std::vector<std::string>{"a\\b.vza"}));
}

TEST_F(ArchiveEditorTest, WhatCannotBeEditedIsToldApart)
{
    fs::create_directory("folder");
    ASSERT_EQ(::mkfifo("fifo", 0600), 0);
    writeFile("text", "not an archive at all, not even close");
    using Outcome = ArchiveEditor::OpenOutcome;
    const struct {
        const char* path;
        Outcome outcome;
    } cases[] = {
        {"missing.vza", Outcome::CannotOpen},
        {"folder", Outcome::IsFolder},
        {"fifo", Outcome::NotRegular},
        {"text", Outcome::NotAnArchive},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.path);
        ArchiveEditor editor;
        EXPECT_EQ(openEditor(editor, c.path), c.outcome);
    }
}

}  // namespace
