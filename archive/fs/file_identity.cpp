// SPDX-License-Identifier: MIT
#include "vza/archive/fs/file_identity.h"

namespace vza {

FileIdentity FileIdentity::of(const struct stat& status)
{
    return FileIdentity{status.st_dev, status.st_ino, true};
}

FileIdentity FileIdentity::ofDescriptor(int fd, bool regularOnly)
{
    struct stat status {};
    if (fd < 0 || ::fstat(fd, &status) != 0 || (regularOnly && !S_ISREG(status.st_mode)))
        return {};
    return of(status);
}

}  // namespace vza
