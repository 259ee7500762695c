// SPDX-License-Identifier: MIT
// The files a new archive is made of, found without trusting the file
// system to stay still.
//
// Each operand's folder is opened once and held; everything below it is
// reached from held folder descriptors, one component at a time, with
// symbolic links never followed. Folders are walked in sorted byte order.
// Every file found is opened and checked (a regular file: its device, inode
// and size are kept), so that the archive's layout can be fixed before it is
// written; open() finds it again the same way when its bytes are read, and
// the writer checks it is still the same file.
//
// Memory: per file only its identity (device, inode, size), where its name
// is and which operand it came from, 32 bytes, and its name once, in pieces
// of 1 MiB: nothing grows by doubling a block of millions of records.
//
// Names: an operand is stored as given, with "." components and repeated
// slashes dropped and a leading '/' removed ("./src//a.c" -> "src/a.c",
// "/etc/hosts" -> "etc/hosts"). A name with a ".." component, before or after
// backslashes become slashes, is refused: it would lead out of the folder the
// archive is later extracted into. Symbolic links, special files, files of
// 4 GiB or more and names of more than MaxComponents components (which
// extraction refuses) are left out. Each case is reported as a Notice.
#pragma once

#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <sys/stat.h>
#include <utility>
#include <vector>

namespace vza {

class InputTree {
public:
    struct Notice {
        enum class Kind {
            Unreadable,     // cannot be opened or read (systemError says why)
            RefusedName,    // empty, or with a ".." component
            LeadingSlash,   // an absolute path: stored without its leading '/' (told once)
            Backslash,      // stored with its backslashes turned into slashes (storedName)
            SymbolicLink,   // left out
            SpecialFile,    // a device, pipe or socket: left out
            TooLarge,       // 4 GiB or more: left out
            ArchiveItself,  // the archive being written: left out
            TooDeep,        // its name, or its folder's contents', would have more
                            // than MaxComponents components: left out, not walked
        };
        Kind kind;
        std::string path;        // as reached from the operand
        std::string storedName;  // for Backslash
        int systemError = 0;     // for Unreadable
    };
    using NoticeSink = std::function<void(const Notice&)>;

    explicit InputTree(NoticeSink notices) : notices_(std::move(notices)) {}
    ~InputTree();
    InputTree(const InputTree&) = delete;
    InputTree& operator=(const InputTree&) = delete;

    // Leaves out the file with this device and inode (the archive being
    // written, and its replacement while it is written). May be called more
    // than once.
    void skip(const struct stat& file) { skip_.emplace_back(file.st_dev, file.st_ino); }

    // Asked with the stored name (slashes only) of every file and folder
    // before it is looked at, and for an operand with each of its leading
    // folders too: true leaves it out, a folder with everything in it, which
    // is then not even listed. Nothing is reported for what it leaves out.
    using Exclude = std::function<bool(const std::string& storedName)>;
    void setExclude(Exclude exclude) { exclude_ = std::move(exclude); }

    // Adds the file or folder operand.
    void add(const std::string& operand);

    // Drops the files named a second time (operands that overlap), keeping
    // the first. Call once, after the last add().
    void finish();

    // A stored name the walk has made and judged safe (slashes only, see
    // safeStoredName). Only an InputTree makes one, so a writer given one
    // (ArchiveWriter::addFile) need not judge it again.
    class StoredName {
    public:
        const std::string& text() const { return text_; }
        // Where a plain name is wanted (a taker written for one, say).
        operator const std::string&() const { return text_; }

    private:
        friend class InputTree;
        explicit StoredName(std::string text) : text_(std::move(text)) {}
        std::string text_;
    };

    std::size_t count() const { return files_.size(); }
    // The stored name of file i (slashes only) and its status when found:
    // only its device, inode, size and file type (S_IFREG) are kept.
    std::string storedName(std::size_t i) const;
    StoredName checkedName(std::size_t i) const { return StoredName(storedName(i)); }
    std::string path(std::size_t i) const;
    struct stat status(std::size_t i) const;
    // The length of every file's name together.
    std::uint64_t namesSize() const { return namesSize_; }

    // Opens file i for reading again as the walk found it: each folder
    // component with O_NOFOLLOW | O_DIRECTORY from the operand's folder, the
    // file with O_NOFOLLOW. -1 with errno set when that fails; checking that
    // it is still the same file is the caller's part (ArchiveWriter does).
    int open(std::size_t i) const;

    // Hands every file, in order, to take(i, storedName, status), forgetting
    // each one's name and status as it goes: an ArchiveWriter planning them
    // keeps the names in its index, and a list of millions of files is not
    // held twice. take returns false to stop (the rest is forgotten too).
    // Call once, after finish(); count() is 0 afterwards, and a file is
    // opened and named with the stored name take was given.
    using Taker = std::function<bool(std::size_t i, const StoredName& storedName, const struct stat& status)>;
    void handOver(const Taker& take);
    int open(std::size_t i, std::string_view storedName) const;
    std::string path(std::size_t i, std::string_view storedName) const;

private:
    struct Root {
        int folder;              // the operand's folder, held open
        std::string path;        // the operand without trailing slashes, for notices
        std::string prefix;      // the path of the operand's own node from folder
        std::size_t nameLength;  // length of the operand's stored name
    };
    struct File {
        std::uint64_t nameAt;  // piece << 32 | offset in names_: the stored name
        std::uint64_t inode;
        std::uint32_t size;  // files of 4 GiB or more are left out
        std::uint32_t root;
        std::uint32_t nameLength;
        std::uint32_t device;  // into devices_
    };

    static bool operandName(const std::string& path, std::string& name);
    void notice(Notice::Kind kind, const std::string& path, int systemError = 0, const std::string& stored = {});
    // A name as found on disk and as it will be stored (backslashes made
    // slashes once, component by component, as the walk goes down).
    struct Name {
        std::string raw;
        std::string stored;
    };
    void visit(int folder, const std::string& component, unsigned char type, const std::string& path, const Name& name,
               std::size_t depth);
    int openNode(int folder, const std::string& component, unsigned char type, const std::string& path,
                 struct stat& status);
    void visitFolder(int fd, const std::string& path, const Name& name, std::size_t depth);
    void addFile(const struct stat& status, const std::string& path, const Name& name);
    std::string_view storedView(const File& file) const;
    std::string_view diskName(const File& file) const;
    struct stat statusOf(const File& file) const;
    int openRaw(std::uint32_t root, std::string_view raw) const;
    std::string pathRaw(std::uint32_t root, std::string_view raw) const;
    std::uint32_t rootOf(std::size_t i) const;
    int openFolder(const std::string& parent);

    NoticeSink notices_;
    Exclude exclude_;
    std::vector<std::pair<dev_t, ino_t>> skip_;
    bool toldLeadingSlash_ = false;
    std::map<std::string, int> folders_;  // operand folders by path, each opened once
    std::vector<Root> roots_;
    // The files in blocks of 64 Ki records (2.5 MiB, each its own mapping),
    // so that handOver() gives the memory back block by block.
    class FileList {
    public:
        File& operator[](std::size_t i) { return blocks_[i >> Shift][i & Mask]; }
        const File& operator[](std::size_t i) const { return blocks_[i >> Shift][i & Mask]; }
        std::size_t size() const { return size_; }
        void push_back(const File& file)
        {
            if ((size_ >> Shift) == blocks_.size())
                blocks_.emplace_back(new File[Mask + 1]);
            (*this)[size_++] = file;
        }
        // Keeps the first count files.
        void shrink(std::size_t count)
        {
            size_ = count;
            blocks_.resize((count + Mask) >> Shift);
        }
        // Frees the blocks wholly before file i.
        void releaseBefore(std::size_t i)
        {
            for (std::size_t block = 0; block < (i >> Shift); ++block)
                blocks_[block].reset();
        }
        void clear()
        {
            blocks_.clear();
            size_ = 0;
        }

    private:
        static constexpr std::size_t Shift = 16;
        static constexpr std::size_t Mask = (std::size_t{1} << Shift) - 1;
        std::vector<std::unique_ptr<File[]>> blocks_;
        std::size_t size_ = 0;
    };
    FileList files_;
    std::vector<std::string> names_;
    // The names on disk that differ from the stored ones (with backslashes;
    // rare), by the stored name's place in names_.
    std::map<std::uint64_t, std::string> diskNames_;
    std::vector<std::uint64_t> devices_;  // the few devices the files are on
    std::size_t lastDevice_ = 0;
    std::uint64_t namesSize_ = 0;
    // After handOver(): the first file of each operand, and the names on
    // disk that differ from the stored ones (with backslashes; rare).
    std::vector<std::pair<std::size_t, std::uint32_t>> rootStarts_;
    std::map<std::size_t, std::string> rawNames_;
    // open(): the folder of the last file opened, kept for the next one.
    mutable std::string cachedFolder_;
    mutable std::uint32_t cachedRoot_ = UINT32_MAX;
    mutable int cachedFd_ = -1;
};

}  // namespace vza
