// SPDX-License-Identifier: MIT
// Opening the folders of an output path one component at a time.
//
// Every folder is opened relative to the descriptor of the one before it
// with O_NOFOLLOW | O_DIRECTORY, so a symbolic link or a non-folder on the
// way is refused, never followed, whatever another process does meanwhile:
// once a folder is open, renaming it or putting a link in its place does not
// change where the files go. Missing folders are made with mkdirat when
// asked to.
//
// The last few folders opened are kept open, so the many entries of one
// folder cost no lookup at all; the cache holds at most MaxOpenFolders
// descriptors and their paths (fewer when the owner's descriptor budget says
// so), whatever the depth or number of the names. When the process runs out
// of descriptors (EMFILE) the cache gives its own back and the walk is tried
// once more.
//
// A walk remembers which of its open folders it (or a walk sharing its
// MadeFolders) made: nothing was in those when they were made, which spares
// a look before each new file.
#pragma once

#include <cstddef>
#include <cstdint>
#include <mutex>
#include <string>
#include <string_view>
#include <unordered_map>
#include <unordered_set>
#include <vector>

#include "vza/archive/fs/name_hash.h"

namespace vza {

// The folders several walks from one base have made, so that each knows
// the others' too. Safe to use from several threads.
class MadeFolders {
public:
    void add(std::string_view folder);
    bool contains(std::string_view folder) const;

private:
    mutable std::mutex mutex_;
    std::unordered_set<std::string, NameHasher, std::equal_to<>> folders_;
};

// A folder path under a walk's base, taken apart once (see splitOutputPath
// in path_components.h): its components joined by single '/', and where each
// one ends in that text, so that nothing walks it looking for slashes again.
struct FolderPath {
    std::string text;
    std::vector<std::uint16_t> ends;  // ends[i]: one past component i in text

    // Adds component (not empty, no '/') at the end.
    void append(std::string_view component);
    void clear();
    bool empty() const { return ends.empty(); }
    std::size_t size() const { return ends.size(); }
    // The text of the first count components.
    std::string_view prefix(std::size_t count) const
    {
        return count == 0 ? std::string_view() : std::string_view(text).substr(0, ends[count - 1]);
    }
    std::string_view component(std::size_t index) const
    {
        const std::size_t start = index == 0 ? 0 : ends[index - 1] + 1u;
        return std::string_view(text).substr(start, ends[index] - start);
    }
};

class FolderWalk {
public:
    static constexpr std::size_t MaxOpenFolders = 64;

    FolderWalk() = default;
    ~FolderWalk();
    FolderWalk(const FolderWalk&) = delete;
    FolderWalk& operator=(const FolderWalk&) = delete;

    // Walks from base, a folder descriptor the caller keeps open; baseMade
    // says the caller has just made it. shared, when given, outlives the walk.
    void start(int base, bool createFolders, bool baseMade = false, MadeFolders* shared = nullptr);

    enum class Problem {
        None,
        Link,        // a component is a symbolic link
        NotAFolder,  // a component is something else than a folder
        Missing,     // a component does not exist and folders are not made
        System,      // mkdirat or openat failed; systemError says why
    };
    struct Failure {
        Problem problem = Problem::None;
        std::size_t end = 0;  // the failing component ends at folder.text[end]
        int systemError = 0;
    };

    // The descriptor of folder, none of its components empty or "." (none
    // is base itself; ".." is allowed and goes up). It stays open until the
    // next call; -1 with failure set when it cannot be opened (failure.end
    // is then an offset in folder.text). made, when given, is set to whether
    // this walk made the folder.
    int open(const FolderPath& folder, Failure& failure, bool* made = nullptr);

    // Whether open() makes missing folders from now on (start() sets it).
    void makeFolders(bool on) { createFolders_ = on; }

    // Keeps at most limit (1 to MaxOpenFolders) folders open from now on.
    void setCacheLimit(std::size_t limit);

    // Closes every cached descriptor.
    void clear();

private:
    int walk(const FolderPath& folder, Failure& failure, bool& madeLast);
    Failure failureAt(int at, const std::string& name, std::size_t end) const;

    struct Open {
        int fd;
        bool made;
    };
    int base_ = -1;
    bool createFolders_ = false;
    bool baseMade_ = false;
    std::size_t cacheLimit_ = MaxOpenFolders;
    MadeFolders* shared_ = nullptr;
    std::unordered_map<std::string, Open, NameHasher, std::equal_to<>> open_;
};

}  // namespace vza
