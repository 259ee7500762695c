// A file written under a temporary name and renamed into place when complete.
//
// The temporary file sits in the target's folder (so the rename is atomic)
// and is created with mode 0666 less the umask, as fopen(path, "wb") would.
// Until commit() succeeds the target is untouched; a file that is not
// committed is removed when the AtomicFile is destroyed.
#pragma once

#include <cstddef>
#include <cstdio>
#include <string>

namespace vza {

class AtomicFile {
public:
    AtomicFile() = default;
    ~AtomicFile();
    AtomicFile(const AtomicFile&) = delete;
    AtomicFile& operator=(const AtomicFile&) = delete;

    // Creates the temporary file beside target. False when the folder does
    // not exist or is not writable.
    bool open(const std::string& target);

    bool write(const void* data, std::size_t length);

    // The file descriptor, with everything written so far flushed to it, for
    // copies made by the kernel; -1 when not open.
    int descriptor();

    // Flushes, closes and renames over the target.
    bool commit();

    // Closes and removes the temporary file.
    void discard();

    // The errno saved when open, write, descriptor or commit last failed in
    // a system call; 0 when none did (see archive_error.h).
    int systemError() const { return systemError_; }

private:
    std::FILE* file_ = nullptr;
    std::string target_;
    std::string tempPath_;
    int systemError_ = 0;
};

// Creates a new empty file with a random name beside target (mode 0666 less
// the umask) and returns its descriptor, or -1 with errno set. tempPath
// receives its path.
int createTempBeside(const std::string& target, std::string& tempPath);

}  // namespace vza
