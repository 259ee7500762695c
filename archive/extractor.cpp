#include "archive/extractor.h"

#include <cerrno>
#include <climits>
#include <string_view>

#include <fcntl.h>
#include <unistd.h>

#include "archive/archive.h"
#include "archive/output_file.h"
#include "archive/sequential_archive.h"

namespace vza {
namespace {

bool sameFile(const struct stat& a, const struct stat& b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// mkdir -p for the user's own destination; links in it are the user's.
bool makeFolders(const std::string& path)
{
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        errno = ENOTDIR;
        return S_ISDIR(status.st_mode);
    }
    const std::size_t slash = path.find_last_of('/');
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash)))
        return false;
    return ::mkdir(path.c_str(), 0777) == 0 || errno == EEXIST;
}

Extractor::Problem problemOf(FolderWalk::Problem problem)
{
    switch (problem) {
    case FolderWalk::Problem::Link: return Extractor::Problem::LinkOnTheWay;
    case FolderWalk::Problem::NotAFolder: return Extractor::Problem::NotAFolderOnTheWay;
    case FolderWalk::Problem::Missing: return Extractor::Problem::FolderMissing;
    case FolderWalk::Problem::None:
    case FolderWalk::Problem::System: break;
    }
    return Extractor::Problem::FolderFailed;
}

}  // namespace

Extractor::Extractor(Archive& archive) : archive_(&archive) {}

Extractor::Extractor(SequentialArchive& stream) : stream_(&stream) {}

const EntryTable& Extractor::entryTable() const
{
    return archive_ ? archive_->archiveIndex().entryTable() : stream_->entryTable();
}

bool Extractor::writeEntry(std::int32_t index, OutputFile& out, const std::function<bool(std::size_t)>& progress)
{
    return archive_ ? archive_->writeEntry(index, out, progress) : stream_->writeEntry(index, out, progress);
}

ArchiveError Extractor::sourceError() const
{
    return archive_ ? archive_->lastError() : stream_->lastError();
}

int Extractor::sourceSystemError() const
{
    return archive_ ? archive_->systemError() : stream_->systemError();
}

Extractor::~Extractor()
{
    close();
}

void Extractor::close()
{
    folders_.clear();
    rootFolders_.clear();
    if (destination_ >= 0 && destination_ != AT_FDCWD)
        ::close(destination_);
    if (root_ >= 0)
        ::close(root_);
    destination_ = root_ = -1;
}

bool Extractor::open(const std::string& destination)
{
    close();
    asGiven_ = false;
    openError_ = 0;
    std::string path = destination.empty() ? std::string(".") : destination;
    while (path.size() > 1 && path.back() == '/')
        path.pop_back();
    if (options_.createFolders && !makeFolders(path)) {
        openError_ = errno;
        return false;
    }
    destination_ = ::open(path.c_str(), O_PATH | O_DIRECTORY | O_CLOEXEC);
    if (destination_ < 0) {
        openError_ = errno;
        return false;
    }
    baseLength_ = path.size();
    encoding_.reset();
    folders_.start(destination_, options_.createFolders);
    // The archive by its file and by the name it was opened with, which may
    // be a link: entries are read by that name, so neither may be replaced.
    archiveKnown_ = false;
    if (archive_) {
        const std::string& archivePath = archive_->archiveIndex().path();
        archiveKnown_ = ::stat(archivePath.c_str(), &archiveFile_) == 0 &&
                        ::lstat(archivePath.c_str(), &archiveName_) == 0;
    }
    return true;
}

bool Extractor::openWorkingFolder()
{
    if (!open("."))
        return false;
    asGiven_ = true;
    baseLength_ = 0;
    return true;
}

bool Extractor::isArchive(const struct stat& status) const
{
    return archiveKnown_ && (sameFile(status, archiveFile_) || sameFile(status, archiveName_));
}

bool Extractor::done(Result& result, Problem problem, ArchiveError error, int systemError) const
{
    result.problem = problem;
    result.error = problem == Problem::Exists ? ArchiveError::None : error;
    result.systemError = systemError;
    result.status = problem == Problem::None        ? Status::Written
                    : problem == Problem::Exists    ? Status::Skipped
                    : problem == Problem::Cancelled ? Status::Cancelled
                                                    : Status::Failed;
    return problem == Problem::None;
}

Extractor::Result Extractor::extract(std::int32_t index)
{
    const ArchiveEntry* entry = entryTable().at(index);
    if (entry && !encoding_)
        encoding_ = chooseNameEncoding(entryTable().entries(), options_.names);
    std::string path = entry ? outputNameFor(entry->name, *encoding_) : std::string();
    if (entry && path.empty()) {
        Result result;
        result.index = index;
        done(result, Problem::UnsafeName, ArchiveError::UnsafeName);
        return result;
    }
    return extract(index, path);
}

Extractor::Result Extractor::extract(std::int32_t index, const std::string& path)
{
    Result result;
    result.index = index;
    result.path = path;
    if (cancelled()) {
        done(result, Problem::Cancelled, ArchiveError::None);
        return result;
    }
    const ArchiveEntry* entry = entryTable().at(index);
    if (!entry) {
        done(result, Problem::NoSuchEntry, ArchiveError::NoSuchEntry);
        return result;
    }
    if (destination_ < 0) {
        done(result, Problem::CannotCreate, ArchiveError::CannotWriteOutput, EBADF);
        return result;
    }

    // The whole name is judged before anything is made for it: a hostile
    // one costs one pass over its bytes.
    if (path.find('\0') != std::string::npos) {
        done(result, Problem::UnsafeName);  // it would be cut short by every system call
        return result;
    }
    if (baseLength_ + 1 + path.size() >= PATH_MAX) {
        done(result, Problem::NameTooLong, ArchiveError::CannotWriteOutput, ENAMETOOLONG);
        return result;
    }
    const bool absolute = asGiven_ && !path.empty() && path.front() == '/';
    std::string folder;  // the kept components but the last, joined by '/'
    std::string_view leaf;
    std::size_t components = 0;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string_view part(path.data() + start, end - start);
        const bool last = end == path.size();
        start = end + 1;
        if (last && (part.empty() || part == "." || part == "..")) {
            done(result, Problem::UnsafeName);  // it names a folder, not a file
            return result;
        }
        if (part.empty() || part == ".")
            continue;
        if (part == ".." && !asGiven_) {
            done(result, Problem::UnsafeName, ArchiveError::UnsafeName);
            return result;
        }
        if (++components > MaxComponents) {
            done(result, Problem::TooManyComponents, ArchiveError::CannotWriteOutput, ENAMETOOLONG);
            return result;
        }
        if (part.size() > NAME_MAX) {
            done(result, Problem::NameTooLong, ArchiveError::CannotWriteOutput, ENAMETOOLONG);
            return result;
        }
        if (!leaf.empty()) {
            if (!folder.empty())
                folder += '/';
            folder += leaf;
        }
        leaf = part;
    }
    const std::string name(leaf);

    FolderWalk& walk = absolute ? rootFolders_ : folders_;
    if (absolute && root_ < 0) {
        root_ = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        rootFolders_.start(root_, options_.createFolders);
    }
    FolderWalk::Failure failure;
    const int parent = walk.open(folder, failure);
    if (parent < 0) {
        result.at = folder.substr(0, failure.end);
        done(result, problemOf(failure.problem), ArchiveError::CannotWriteOutput, failure.systemError);
        return result;
    }

    // What is there now decides before the entry is read; commit() looks
    // again just before the file goes in place.
    struct stat existing {};
    OutputFile::Replace replace = OutputFile::Replace::Yes;
    if (::fstatat(parent, name.c_str(), &existing, AT_SYMLINK_NOFOLLOW) == 0) {
        if (S_ISDIR(existing.st_mode)) {
            done(result, Problem::FolderInTheWay, ArchiveError::CannotWriteOutput, EISDIR);
            return result;
        }
        if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode)) {
            done(result, Problem::SpecialFileInTheWay, ArchiveError::CannotWriteOutput, EEXIST);
            return result;
        }
        if (isArchive(existing)) {
            done(result, Problem::ArchiveInTheWay, ArchiveError::CannotWriteOutput, EEXIST);
            return result;
        }
        if (options_.overwrite == Overwrite::Keep ||
            (options_.overwrite == Overwrite::Ask &&
             !(options_.askOverwrite && options_.askOverwrite(index, path)))) {
            done(result, Problem::Exists);
            return result;
        }
    } else if (errno != ENOENT) {
        done(result, Problem::CannotCreate, ArchiveError::CannotWriteOutput, errno);
        return result;
    } else if (options_.overwrite != Overwrite::Replace) {
        replace = OutputFile::Replace::No;  // nobody agreed to replace what may appear meanwhile
    }

    OutputFile out;
    if (!out.create(parent, name)) {
        done(result, Problem::CannotCreate, ArchiveError::CannotWriteOutput, out.systemError());
        return result;
    }
    const std::uint64_t total = entry->originalSize;
    std::uint64_t written = 0;
    const bool read = writeEntry(index, out, [&](std::size_t length) {
        written += length;
        if (options_.progress)
            options_.progress(index, written, total);
        return !cancelled();
    });
    if (!read) {
        if (cancelled())
            done(result, Problem::Cancelled, ArchiveError::None);
        else if (sourceError() == ArchiveError::CannotWriteOutput)
            done(result, Problem::CannotWrite, ArchiveError::CannotWriteOutput, sourceSystemError());
        else
            done(result, Problem::ReadFailed, sourceError(), sourceSystemError());
        return result;  // out is discarded: nothing is left
    }
    if (!out.commit(replace, [this](const struct stat& status) { return !isArchive(status); })) {
        switch (out.problem()) {
        case OutputFile::Problem::TargetIsFolder: done(result, Problem::FolderInTheWay, ArchiveError::CannotWriteOutput, EISDIR); break;
        case OutputFile::Problem::TargetIsSpecial: done(result, Problem::SpecialFileInTheWay, ArchiveError::CannotWriteOutput, EEXIST); break;
        case OutputFile::Problem::TargetRefused: done(result, Problem::ArchiveInTheWay, ArchiveError::CannotWriteOutput, EEXIST); break;
        case OutputFile::Problem::TargetExists: done(result, Problem::Exists); break;
        default: done(result, Problem::CannotWrite, ArchiveError::CannotWriteOutput, out.systemError()); break;
        }
        return result;
    }
    done(result, Problem::None, ArchiveError::None);
    return result;
}

std::vector<Extractor::Result> Extractor::extractAll(const std::vector<std::int32_t>& indices)
{
    std::vector<Result> results;
    results.reserve(indices.size());
    for (std::int32_t index : indices) {
        results.push_back(extract(index));
        if (results.back().status == Status::Cancelled)
            break;
    }
    return results;
}

}  // namespace vza
