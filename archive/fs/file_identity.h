// SPDX-License-Identifier: MIT
// Which file something is: its device and inode number.
//
// A path names whatever is there when it is looked up; a descriptor stays on
// the file it was opened on. To tell whether a directory entry is a file the
// program holds open (the archive being read, say), compare the entry's
// lstat with the identity taken from the held descriptor, never with a stat
// of the path it was opened by.
#pragma once

#include <sys/stat.h>
#include <sys/types.h>

namespace vza {

struct FileIdentity {
    dev_t device = 0;
    ino_t inode = 0;
    bool known = false;  // false: nothing to compare with, is() says no

    // The identity of the file status describes.
    static FileIdentity of(const struct stat& status);

    // The identity of the file open as fd (fstat); unknown when fstat fails
    // or, with regularOnly, when fd is not a regular file (a pipe or a
    // terminal is no file a directory entry can be).
    static FileIdentity ofDescriptor(int fd, bool regularOnly = false);

    // True when status describes this very file.
    bool is(const struct stat& status) const { return known && status.st_dev == device && status.st_ino == inode; }
};

}  // namespace vza
