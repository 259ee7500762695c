// SPDX-License-Identifier: MIT
#include "vza/archive/extract/extractor.h"

#include <cerrno>
#include <string_view>

#include <fcntl.h>
#include <linux/fs.h>
#include <linux/magic.h>
#include <sys/ioctl.h>
#include <sys/vfs.h>
#include <unistd.h>

#include "vza/archive/extract/extractor_parts.h"
#include "vza/archive/extract/output_conflicts.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/fs/sibling_names.h"
#include "vza/archive/names/safe_name.h"
#include "vza/archive/read/archive.h"
#include "vza/archive/read/sequential_archive.h"

namespace vza {
namespace {

// mkdir -p for the user's own destination; links in it are the user's.
// made tells whether the last folder was made here.
bool makeFolders(const std::string& path, bool& made)
{
    made = false;
    struct stat status {};
    if (::stat(path.c_str(), &status) == 0) {
        errno = ENOTDIR;
        return S_ISDIR(status.st_mode);
    }
    const std::size_t slash = path.find_last_of('/');
    bool parentMade = false;
    if (slash != std::string::npos && slash > 0 && !makeFolders(path.substr(0, slash), parentMade))
        return false;
    made = ::mkdir(path.c_str(), 0777) == 0;
    return made || errno == EEXIST;
}

// Whether the file system at folder may take two names that differ only in
// case (or in more than ASCII case) as one file: then entries are written
// one at a time, as the conflict check folds ASCII letters only.
bool caseBlind(int folder)
{
#ifndef FS_CASEFOLD_FL
#define FS_CASEFOLD_FL 0x40000000
#endif
    struct statfs system {};
    if (::fstatfs(folder, &system) != 0)
        return true;
    switch (static_cast<unsigned long>(system.f_type)) {
    case MSDOS_SUPER_MAGIC:
    case 0x2011BAB0:  // exFAT
    case 0x5346544e:  // NTFS
    case 0xFF534D42:  // CIFS
    case 0xFE534D42:  // SMB2
    case SMB_SUPER_MAGIC:
    case 0x4244:      // HFS
    case 0x482b:      // HFS+
    case 0x65735546:  // FUSE: it could be any of those
        return true;
    default: break;
    }
    // ext4 and f2fs fold case in folders marked so, and new folders inherit it.
    const int readable = ::openat(folder, ".", O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (readable < 0)
        return false;
    long flags = 0;
    const bool folded = ::ioctl(readable, FS_IOC_GETFLAGS, &flags) == 0 && (flags & FS_CASEFOLD_FL) != 0;
    ::close(readable);
    return folded;
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

Extractor::Extractor(Archive& archive) : archive_(&archive), lane_(std::make_unique<Lane>()) {}

Extractor::Extractor(SequentialArchive& stream) : stream_(&stream), lane_(std::make_unique<Lane>()) {}

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
    lane_->folders.clear();
    lane_->rootFolders.clear();
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
    destinationMade_ = false;
    if (options_.createFolders && !makeFolders(path, destinationMade_)) {
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
    made_ = std::make_unique<MadeFolders>();
    conflicts_ = std::make_unique<OutputConflicts>();
    positions_ = 0;
    singles_ = false;
    lane_->folders.start(destination_, options_.createFolders, destinationMade_, made_.get());
    caseBlind_ = caseBlind(destination_);
    temporaries_.named.store(false, std::memory_order_relaxed);
    // The archive by the file its descriptor is open on, whatever its path
    // names now: entries are read through that descriptor. The link the user
    // named it by is left alone too, so that the name still leads to it.
    archiveFile_ = archive_ ? archive_->identity() : stream_->identity();
    archiveLink_ = archive_ ? archive_->linkIdentity() : FileIdentity{};
    return true;
}

bool Extractor::openWorkingFolder()
{
    if (!open("."))
        return false;
    asGiven_ = true;
    destinationMade_ = false;
    lane_->folders.start(destination_, options_.createFolders, false, made_.get());
    baseLength_ = 0;
    return true;
}

bool Extractor::isArchive(const struct stat& status) const
{
    return archiveFile_.is(status) || archiveLink_.is(status);
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
    const std::optional<EntryView> entry = entryTable().at(index);
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

// The checks of the name alone: nothing is made for a name refused here.
bool Extractor::target(std::int32_t index, const std::string& path, Result& result, Target& target)
{
    result.index = index;
    result.path = path;
    if (cancelled())
        return done(result, Problem::Cancelled, ArchiveError::None);
    if (!entryTable().at(index))
        return done(result, Problem::NoSuchEntry, ArchiveError::NoSuchEntry);
    if (destination_ < 0)
        return done(result, Problem::CannotCreate, ArchiveError::CannotWriteOutput, EBADF);
    return judge(path, result, target);
}

// The whole name is judged before anything is made for it: a hostile one
// costs one pass over its bytes.
bool Extractor::judge(const std::string& path, Result& result, Target& target) const
{
    if (path.find('\0') != std::string::npos)
        return done(result, Problem::UnsafeName);  // it would be cut short by every system call
    if (baseLength_ + 1 + path.size() >= MaxPathLength)
        return done(result, Problem::NameTooLong, ArchiveError::CannotWriteOutput, ENAMETOOLONG);
    switch (splitOutputPath(path, asGiven_, target)) {
    case OutputPathProblem::None: return true;
    case OutputPathProblem::NamesAFolder: return done(result, Problem::UnsafeName);
    case OutputPathProblem::Climbs: return done(result, Problem::UnsafeName, ArchiveError::UnsafeName);
    case OutputPathProblem::TooManyComponents:
        return done(result, Problem::TooManyComponents, ArchiveError::CannotWriteOutput, ENAMETOOLONG);
    case OutputPathProblem::ComponentTooLong:
        return done(result, Problem::NameTooLong, ArchiveError::CannotWriteOutput, ENAMETOOLONG);
    }
    return done(result, Problem::UnsafeName);
}

Extractor::Result Extractor::extract(std::int32_t index, const std::string& path)
{
    Result result;
    Target where;
    if (!target(index, path, result, where))
        return result;
    singles_ = true;  // a path extractAll's record of paths does not hold
    const Ask ask = [this](const Question& question) { return askCaller(question); };
    write(
        *lane_, where, true, ask, [this, index](OutputFile& out, Result& r) { return fillFromSource(index, out, r); },
        result);
    return result;
}

// The entry's bytes from the archive or stream, with progress and cancel
// after each block.
bool Extractor::fillFromSource(std::int32_t index, OutputFile& out, Result& result)
{
    const std::uint64_t total = entryTable().at(index)->originalSize;
    std::uint64_t written = 0;
    const bool read = writeEntry(index, out, [&](std::size_t length) {
        written += length;
        if (options_.progress)
            options_.progress(index, written, total);
        return !cancelled();
    });
    if (read)
        return true;
    if (cancelled())
        return done(result, Problem::Cancelled, ArchiveError::None);
    if (sourceError() == ArchiveError::CannotWriteOutput)
        return done(result, Problem::CannotWrite, ArchiveError::CannotWriteOutput, sourceSystemError());
    return done(result, Problem::ReadFailed, sourceError(), sourceSystemError());
}

Extractor::OverwriteAnswer Extractor::askCaller(const Question& question)
{
    if (options_.decideOverwrite)
        return options_.decideOverwrite(question.index, question.path);
    const bool replace = options_.askOverwrite && options_.askOverwrite(question.index, question.path);
    return replace ? OverwriteAnswer::replace() : OverwriteAnswer::keep();
}

// The folder target's file goes in, walked on lane's descriptors; fresh
// tells whether the walk made it. -1 with result set when it cannot be had.
int Extractor::openParent(Lane& lane, const Target& target, Result& result, bool& fresh)
{
    FolderWalk& walk = target.absolute ? lane.rootFolders : lane.folders;
    if (target.absolute && root_ < 0) {
        root_ = ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC);
        lane.rootFolders.start(root_, options_.createFolders);
    }
    FolderWalk::Failure failure;
    const int parent = walk.open(target.folder, failure, &fresh);
    if (parent < 0) {
        result.at = target.folder.text.substr(0, failure.end);
        done(result, problemOf(failure.problem), ArchiveError::CannotWriteOutput, failure.systemError);
    }
    return parent;
}

// What is at an output path that no entry may replace: a folder, a FIFO,
// device or socket, the archive itself. True (result set) for those.
bool Extractor::refusedInTheWay(const struct stat& existing, Result& result) const
{
    if (S_ISDIR(existing.st_mode))
        return !done(result, Problem::FolderInTheWay, ArchiveError::CannotWriteOutput, EISDIR);
    if (!S_ISREG(existing.st_mode) && !S_ISLNK(existing.st_mode))
        return !done(result, Problem::SpecialFileInTheWay, ArchiveError::CannotWriteOutput, EEXIST);
    if (isArchive(existing))
        return !done(result, Problem::ArchiveInTheWay, ArchiveError::CannotWriteOutput, EEXIST);
    return false;
}

// The caller's answer Rename: the entry goes beside the file, under name.
bool Extractor::rename(const Target& target, const std::string& name, Result& result, Placement& place) const
{
    if (!safeLeafName(name))
        return done(result, Problem::UnsafeName, ArchiveError::UnsafeName);
    std::string path = target.absolute ? "/" : "";
    path += target.folder.text;
    if (!target.folder.empty())
        path += '/';
    path += name;
    if (baseLength_ + 1 + path.size() >= PATH_MAX)
        return done(result, Problem::NameTooLong, ArchiveError::CannotWriteOutput, ENAMETOOLONG);
    result.path = std::move(path);
    place.leaf = name;
    place.renamed = true;
    return true;
}

// Looks at the output path before the entry is read and decides: write
// (place says under which name, and whether what may be there by then is
// replaced) or not (false, result set). look false says that nothing can
// be there but what another process put there since: in a folder this walk
// made, for a path no earlier entry had. commit() looks again in any case.
bool Extractor::decide(int parent, const Target& target, bool look, const Ask& ask, Result& result, Placement& place)
{
    place.leaf = target.leaf;
    // Nobody agreed to replace what may appear meanwhile.
    place.replace = options_.overwrite == Overwrite::Replace ? OutputFile::Replace::Yes : OutputFile::Replace::No;
    if (!look)
        return true;
    for (int asked = 0;; ++asked) {
        struct stat existing {};
        if (::fstatat(parent, place.leaf.c_str(), &existing, AT_SYMLINK_NOFOLLOW) != 0) {
            if (errno != ENOENT)
                return done(result, Problem::CannotCreate, ArchiveError::CannotWriteOutput, errno);
            if (place.renamed)
                place.replace = OutputFile::Replace::No;
            return true;
        }
        if (refusedInTheWay(existing, result))
            return false;
        if (options_.overwrite == Overwrite::Replace)
            return true;
        if (options_.overwrite == Overwrite::Keep || asked == MaxOverwriteQuestions)
            return done(result, Problem::Exists);
        const Question question{result.index, result.path, &target.folder, place.leaf};
        OverwriteAnswer answer = ask(question);
        if (answer.action == OverwriteAnswer::Action::Keep)
            return done(result, Problem::Exists);
        if (answer.action == OverwriteAnswer::Action::Replace) {
            place.replace = OutputFile::Replace::Yes;
            return true;
        }
        if (!rename(target, answer.newName, result, place))
            return false;
    }
}

void Extractor::commitFailed(const OutputFile& out, Result& result) const
{
    switch (out.problem()) {
    case OutputFile::Problem::TargetIsFolder:
        done(result, Problem::FolderInTheWay, ArchiveError::CannotWriteOutput, EISDIR);
        break;
    case OutputFile::Problem::TargetIsSpecial:
        done(result, Problem::SpecialFileInTheWay, ArchiveError::CannotWriteOutput, EEXIST);
        break;
    case OutputFile::Problem::TargetRefused:
        done(result, Problem::ArchiveInTheWay, ArchiveError::CannotWriteOutput, EEXIST);
        break;
    case OutputFile::Problem::TargetExists: done(result, Problem::Exists); break;
    default: done(result, Problem::CannotWrite, ArchiveError::CannotWriteOutput, out.systemError()); break;
    }
}

// Creates the file for target, fills it and puts it in place. mayExist
// false says that nothing can be at the path but what another process put
// there since (see decide()). prepared, when given, is an unnamed file that
// already holds the entry: it is put in place instead of a new one, after
// the same looks.
void Extractor::write(Lane& lane, const Target& target, bool mayExist, const Ask& ask, const Fill& fill, Result& result,
                      OutputFile* prepared)
{
    bool fresh = false;
    int parent = openParent(lane, target, result, fresh);
    if (parent < 0)
        return;
    Placement place;
    if (!decide(parent, target, mayExist || !fresh || options_.overwrite == Overwrite::Ask, ask, result, place))
        return;
    OutputFile own;
    OutputFile& out = prepared ? *prepared : own;
    if (prepared)
        prepared->placeIn(parent, place.leaf);
    else if (!createFile(lane, target, place, out, parent, result))
        return;
    if (!fill(out, result))
        return;  // out is discarded: nothing is left
    if (!out.commit(place.replace, [this](const struct stat& status) { return !isArchive(status); }))
        return commitFailed(out, result);
    done(result, Problem::None, ArchiveError::None);
}

// Creates out for place in parent. Out of descriptors, the lane's open
// folders are given back and it is tried once more (parent reopened).
bool Extractor::createFile(Lane& lane, const Target& target, const Placement& place, OutputFile& out, int& parent,
                           Result& result)
{
    if (out.create(parent, place.leaf, &temporaries_))
        return true;
    if (out.systemError() == EMFILE) {
        lane.folders.clear();
        lane.rootFolders.clear();
        bool fresh = false;
        parent = openParent(lane, target, result, fresh);
        if (parent < 0)
            return false;
        if (out.create(parent, place.leaf, &temporaries_))
            return true;
    }
    return done(result, Problem::CannotCreate, ArchiveError::CannotWriteOutput, out.systemError());
}

std::string Extractor::proposeFreeName(const std::string& path)
{
    Result result;
    Target where;
    if (destination_ < 0 || !judge(path, result, where))
        return {};
    const int base = where.absolute ? ::open("/", O_PATH | O_DIRECTORY | O_CLOEXEC) : destination_;
    FolderWalk walk;  // one that makes nothing
    walk.start(base, false);
    FolderWalk::Failure failure;
    const int folder = base >= 0 ? walk.open(where.folder, failure) : -1;
    std::string name = folder >= 0 ? freeLeafName(folder, where.leaf) : std::string();
    walk.clear();
    if (where.absolute && base >= 0)
        ::close(base);
    return name;
}

}  // namespace vza
