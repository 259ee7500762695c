// SPDX-License-Identifier: MIT
#include "cli/open_archive.h"

#include <cerrno>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include "cli/display_name.h"
#include "cli/password.h"
#include "vza/archive/format/format.h"

namespace vza::cli {

bool askArchivePassword(const std::string& shown, const Options& options, Console& console, std::string& password)
{
    PasswordRequest request;
    request.passwordFile = options.passwordFile;
    request.prompt = "Password for " + shown + ": ";
    const PasswordResult result = obtainPassword(request);
    if (result.status == PasswordStatus::Missing) {
        console.error(shown + ": the archive is encrypted and no password was given; " + PasswordHint);
        return false;
    }
    if (result.status == PasswordStatus::Failed) {
        console.error(shown + ": " + result.error);
        return false;
    }
    password = result.password;
    return true;
}

ArchiveInput::~ArchiveInput()
{
    wipe(password_);
    if (ownsFd_ && fd_ >= 0)
        close(fd_);
}

const EntryTable& ArchiveInput::entryTable() const
{
    return sequential_ ? stream_.entryTable() : archive_.archiveIndex().entryTable();
}

bool ArchiveInput::streamEntry(std::int32_t index, const Archive::ChunkSink& sink)
{
    return sequential_ ? stream_.streamEntry(index, sink) : archive_.streamEntry(index, sink);
}

bool openArchive(const std::string& path, const Options& options, Console& console, ArchiveInput& input)
{
    const bool standardInput = path == "-";
    input.shownPath_ = standardInput ? "standard input" : displayName(path);
    const std::string& shown = input.shownPath_;

    int fd = STDIN_FILENO;
    if (!standardInput) {
        fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            console.error(shown + ": cannot open: " + std::strerror(errno));
            return false;
        }
    }
    struct stat status {};
    if (fstat(fd, &status) != 0) {
        console.error(shown + ": cannot open: " + std::strerror(errno));
        if (!standardInput)
            close(fd);
        return false;
    }
    if (S_ISDIR(status.st_mode)) {
        console.error(shown + ": is a folder, not an archive");
        if (!standardInput)
            close(fd);
        return false;
    }

    std::string password;
    const WipeOnExit wipePassword(password);
    if (standardInput || !S_ISREG(status.st_mode)) {
        // A pipe or a device: what is read is gone, so the flags are taken
        // from the same pass that then reads the index.
        input.sequential_ = true;
        input.fd_ = fd;
        input.ownsFd_ = !standardInput;
        SequentialArchive& stream = input.stream_;
        if (!stream.begin(fd)) {
            console.error(shown + ": " + errorMessage(stream.lastError(), stream.systemError()));
            return false;
        }
        if ((stream.flags() & FlagEncrypted) != 0 && !askArchivePassword(input.shownPath(), options, console, password))
            return false;
        if (!stream.readIndex(password)) {
            console.error(shown + ": " + errorMessage(stream.lastError(), stream.systemError()));
            return false;
        }
        input.password_ = password;
        return true;
    }

    close(fd);
    Archive& archive = input.archive_;
    const auto passphrase = [&](std::string& given) {
        if (!askArchivePassword(input.shownPath(), options, console, given))
            return false;
        password = given;
        return true;
    };
    switch (archive.openWithPassword(path, passphrase)) {
    case Archive::OpenOutcome::Opened: input.password_ = password; return true;
    case Archive::OpenOutcome::NoPassword: return false;  // askArchivePassword has said why
    case Archive::OpenOutcome::NotAnArchive:
    case Archive::OpenOutcome::Failed: break;
    }
    console.error(shown + ": " + errorMessage(archive.lastError(), archive.systemError()));
    return false;
}

}  // namespace vza::cli
