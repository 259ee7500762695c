// SPDX-License-Identifier: MIT
// Writing an archive's entries to disk: the one way both programs do it.
//
// An Extractor is given an open Archive (or a SequentialArchive, a pipe read
// once) and a destination folder. It opens the
// destination once and reaches every output file from that descriptor, one
// component at a time, never following a symbolic link (see folder_walk.h):
// nothing is written outside the destination, whatever another process does
// meanwhile. Each file is an OutputFile (see output_file.h): it appears only
// when its entry has been read and checked completely, a killed extraction
// leaves no partial file, a replaced file keeps its permission bits, and a
// folder, FIFO, device or socket in the way is refused. The archive being
// read is never a target, under any name (hard links included): it is known
// by the file its descriptor is open on (Archive::identity), not by a path,
// and so is the symbolic link it was opened through.
//
// Names that could make the work grow without bound are refused before
// anything is created: more than MaxComponents components, a component longer
// than NAME_MAX, an output path of PATH_MAX bytes or more. A run of
// extractAll that would make more folders than MaxFoldersPerRun (or more
// than its jobs, whichever is larger), or more than half the free inodes of
// the destination, is refused whole before anything is made (limits.h).
//
// Descriptors: extractAll shares what the soft limit leaves between its
// threads, their open folders and the files it reads ahead; it never raises
// the limit (a program may, see vza's main) and never fails an entry for
// want of descriptors that it could give back.
//
//     vza::Extractor extractor(archive);
//     extractor.options().overwrite = vza::Extractor::Overwrite::Keep;
//     if (!extractor.open("out")) ... extractor.openProblem() ...
//     for (std::int32_t i = 0; i < archive.entryCount(); ++i) {
//         const vza::Extractor::Result result = extractor.extract(i);
//         if (result.status == vza::Extractor::Status::Failed) ...
//     }
//
// Entries are addressed by index, so entries of the same name and names with
// any bytes are all reachable. Nothing here prints; files are not fsynced.
//
// Many entries at once: extractAll() writes small entries on several threads
// (Options::threads) and ends exactly as writing them one after the other
// would: an entry that shares its path with an earlier one, or needs a
// folder where an earlier one put a file (or the reverse), waits for it.
// Every callback still runs on the calling thread, in entry order. Large
// entries are written one at a time on the calling thread, with progress as
// they go.
#pragma once

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include <sys/stat.h>

#include "vza/archive/format/archive_error.h"
#include "vza/archive/fs/file_identity.h"
#include "vza/archive/fs/output_file.h"
#include "vza/archive/names/name_decoding.h"
#include "vza/archive/names/path_components.h"

namespace vza {

class Archive;
class EntryTable;
class MadeFolders;
class OutputConflicts;
class SequentialArchive;

class Extractor {
public:
    static constexpr std::size_t MaxComponents = vza::MaxComponents;

    enum class Overwrite {
        Replace,  // an existing file (or symbolic link) is replaced
        Keep,     // an existing file is kept; the entry is Skipped
        Ask,      // decideOverwrite (or askOverwrite) decides for each existing file
    };

    // What to do with a file that exists at an entry's output path.
    struct OverwriteAnswer {
        enum class Action {
            Replace,  // replace it
            Keep,     // keep it; the entry is Skipped (Exists)
            Rename,   // write the entry beside it, under newName
        };
        Action action = Action::Keep;
        // For Rename: the new last component, in the same folder. It must be
        // a safe leaf name (see safeLeafName in safe_name.h), else the entry
        // fails with UnsafeName. When a file exists under it too, the
        // question is asked again for the new path; proposeFreeName() gives
        // one that does not.
        std::string newName;

        static OverwriteAnswer replace() { return {Action::Replace, {}}; }
        static OverwriteAnswer keep() { return {Action::Keep, {}}; }
        static OverwriteAnswer rename(std::string name) { return {Action::Rename, std::move(name)}; }
    };
    // After this many answers for one entry that each named an existing
    // file, the entry is kept (Skipped, Exists): a caller that keeps
    // proposing taken names cannot hang the run.
    static constexpr int MaxOverwriteQuestions = 100;

    struct Options {
        // Make missing folders on an entry's way (and the destination).
        bool createFolders = true;
        // How extract(index) reads stored names (see name_decoding.h).
        NameEncodingChoice names = NameEncodingChoice::Auto;
        Overwrite overwrite = Overwrite::Replace;
        // For Overwrite::Ask: called before the entry is read, with the
        // entry's index and output path (relative to the destination), when
        // a file or symbolic link is there. A renamed entry's Result.path is
        // its new path. A file that appears at a path meanwhile is never
        // replaced unasked: the entry is then Skipped (Exists). A new name
        // is one the run did not plan: later entries with that very path
        // wait for it and are asked about it, except those already under way
        // on other threads when the answer came, of which either may take
        // the name first (the other is Skipped, Exists).
        std::function<OverwriteAnswer(std::int32_t index, const std::string& path)> decideOverwrite;
        // The same question answered yes or no (replace or keep); used when
        // decideOverwrite is not set.
        std::function<bool(std::int32_t index, const std::string& path)> askOverwrite;
        // Called after each block written: bytes done of the entry's total.
        std::function<void(std::int32_t index, std::uint64_t done, std::uint64_t total)> progress;
        // When set and true, the entry being written is dropped at the next
        // block and no further entry is started (Status::Cancelled).
        const std::atomic<bool>* cancel = nullptr;
        // Threads extractAll() writes small entries on; 0 for one per CPU
        // this process may run on. 1 writes everything on the calling
        // thread. Fewer run when the descriptor limit is low.
        unsigned threads = 0;
        // extractAll() ends at the first Failed job, as a loop of extract()
        // calls that stops there would: see extractAll().
        bool stopAtFirstFailure = false;
    };

    enum class Status { Written, Skipped, Failed, Cancelled };

    // Why an entry was not written.
    enum class Problem {
        None,
        NoSuchEntry,          // the index is out of range
        UnsafeName,           // nothing safe is left of the name, or it holds a NUL or ".."
        TooManyComponents,    // more than MaxComponents components
        NameTooLong,          // a component over NAME_MAX, or the path reaches PATH_MAX
        LinkOnTheWay,         // at: a folder on the way is a symbolic link
        NotAFolderOnTheWay,   // at: a component on the way is not a folder
        FolderMissing,        // at: a folder on the way is missing (createFolders off)
        FolderFailed,         // at: a folder cannot be made or opened (systemError)
        FolderInTheWay,       // a folder is at the output path
        SpecialFileInTheWay,  // a FIFO, device or socket is at the output path
        ArchiveInTheWay,      // the archive being read is at the output path
        TooManyFolders,       // extractAll: the jobs would make more folders than
                              // one run may (see limits.h); nothing was made
        Exists,               // kept (Keep, or askOverwrite said no): Skipped
        CannotCreate,         // the output file cannot be created (systemError)
        ReadFailed,           // the entry cannot be read: error says why
        CannotWrite,          // the output cannot be written or put in place (systemError)
        Cancelled,            // the cancel flag was set
    };

    struct Result {
        std::int32_t index = -1;
        std::string path;  // the output path, relative to the destination
        Status status = Status::Failed;
        Problem problem = Problem::None;
        std::string at;  // for the *OnTheWay and Folder* problems: the folder's path
        ArchiveError error = ArchiveError::None;
        int systemError = 0;  // the errno of the failing call, 0 when none
    };

    explicit Extractor(Archive& archive);
    // Entries from a stream read once: extract them in increasing index
    // order (see SequentialArchive::streamEntry). A stream that is a regular
    // file (standard input redirected from the archive) is the archive on
    // disk and is refused as a target like one opened by name.
    explicit Extractor(SequentialArchive& stream);
    ~Extractor();
    Extractor(const Extractor&) = delete;
    Extractor& operator=(const Extractor&) = delete;

    // Set before open(); progress, cancel and askOverwrite may change later.
    Options& options() { return options_; }

    // Opens destination, the user's choice (symbolic links in it are
    // followed, as the user meant them), made with its parents when
    // createFolders is on. False with openError() when it cannot be used.
    bool open(const std::string& destination);

    // For output paths used as the caller gives them, relative to the working
    // folder or absolute, ".." allowed: still no symbolic link is followed on
    // any component. Archive::extractEntry writes through this.
    bool openWorkingFolder();

    int openError() const { return openError_; }  // errno of a failed open()

    // A last component under which nothing exists in the folder of path
    // (relative to the destination, as decideOverwrite is given it): path's
    // own leaf when it is free, else "name (2).ext", "name (3).ext" and so
    // on (see freeLeafName in sibling_names.h). Looks through the descriptors
    // this Extractor holds; makes nothing. "" when the folder cannot be
    // opened or no such name is free. For decideOverwrite to propose a name.
    std::string proposeFreeName(const std::string& path);

    // Writes entry index to its output name: the stored name decoded in the
    // archive's name encoding (decided at the first call), then made safe.
    Result extract(std::int32_t index);

    // Writes entry index to path, the caller's own output name, relative to
    // the destination ('/' separates; "" and "." components are ignored; ".."
    // is refused unless opened with openWorkingFolder).
    Result extract(std::int32_t index, const std::string& path);

    // One entry for extractAll: its index, and the caller's output path as
    // for extract(index, path), or "" for its decoded, safe name.
    struct Job {
        std::int32_t index = -1;
        std::string path;
    };
    using Report = std::function<void(const Result& result)>;

    // Writes jobs as extract() would one after the other, on options().threads
    // threads: the files, their contents and each entry's Result are the same
    // whatever the number of threads. report hears every Result on the calling
    // thread in job order, and progress and askOverwrite run there too, in
    // job order; progress of a small entry comes once, when it is reported.
    // After cancel is set no further job is started; the entries under way
    // end Written or Cancelled and are all reported, the first Cancelled one
    // included. Entries of a stream, and paths as given (openWorkingFolder)
    // that are absolute or hold "..", are written on the calling thread, the
    // latter after every job before them and before any job after them.
    //
    // A run that would make too many folders (see above) is refused before
    // anything is made: report hears the first job only, Failed with
    // TooManyFolders.
    //
    // With stopAtFirstFailure the run ends at the first job whose Result is
    // Failed (a refused name included): that Result is the last one
    // reported, and no later job is reported or leaves any trace. Threads
    // still read and decode later entries, each into an unnamed file (or
    // memory) that nobody sees, but nothing is made or put in place on the
    // disk but in job order, one batch after the other, each job only once
    // every job before it has ended not Failed: no later job's file, folder
    // or temporary name appears, and no question is asked for it. The files,
    // folders and Results are those of the loop
    //     for (job : jobs) { r = extract(job); report(r);
    //                        if (r.status is Failed or Cancelled) break; }
    // whatever the number of threads. A cancel ends the run the same way:
    // the first job not put in place is reported Cancelled, and nothing
    // after it; a file read but not yet in place is dropped. One difference
    // remains on a disk that fills up: the unnamed files read ahead take room
    // too, so the job that finds the disk full may come earlier than one at
    // a time; nothing after it is left either way.
    void extractAll(const std::vector<Job>& jobs, const Report& report);

    // extractAll for indices, their decoded names; the Results in order.
    std::vector<Result> extractAll(const std::vector<std::int32_t>& indices);

    // Closes the destination and every folder kept open.
    void close();

private:
    using Target = OutputPath;
    struct Lane;
    struct Item;
    struct Batch;
    class Pool;
    struct Run;
    // What one extractAll run may use, from the descriptor limit.
    struct Budget {
        unsigned threads = 1;
        std::size_t folders = 1;  // kept open by each thread
        int heldFiles = 0;        // read ahead, held open
    };

    struct Question;
    struct Placement;
    bool target(std::int32_t index, const std::string& path, Result& result, Target& target);
    bool judge(const std::string& path, Result& result, Target& target) const;
    using Fill = std::function<bool(OutputFile& out, Result& result)>;
    using Ask = std::function<OverwriteAnswer(const Question& question)>;
    OverwriteAnswer askCaller(const Question& question);
    int openParent(Lane& lane, const Target& target, Result& result, bool& fresh);
    bool decide(int parent, const Target& target, bool look, const Ask& ask, Result& result, Placement& place);
    bool refusedInTheWay(const struct stat& existing, Result& result) const;
    bool rename(const Target& target, const std::string& name, Result& result, Placement& place) const;
    void commitFailed(const OutputFile& out, Result& result) const;
    void write(Lane& lane, const Target& target, bool mayExist, const Ask& ask, const Fill& fill, Result& result,
               OutputFile* prepared = nullptr);
    bool fillFromSource(std::int32_t index, OutputFile& out, Result& result);
    void runBatch(Lane& lane, Batch& batch, const Ask& ask);
    void prepareBatch(Lane& lane, Batch& batch);
    void placeBatch(Lane& lane, Batch& batch, const Ask& ask);
    bool holdPrepared(Lane& lane, Item& item);
    bool createFile(Lane& lane, const Target& target, const Placement& place, OutputFile& out, int& parent,
                    Result& result);
    void extractInOrder(const std::vector<Job>& jobs, const Report& report);
    Budget budget() const;
    std::uint64_t folderCount(const std::vector<Job>& jobs, std::uint64_t cap) const;
    bool tooManyFolders(const std::vector<Job>& jobs) const;
    bool done(Result& result, Problem problem, ArchiveError error = ArchiveError::CannotWriteOutput,
              int systemError = 0) const;
    bool isArchive(const struct stat& status) const;
    bool cancelled() const { return options_.cancel && options_.cancel->load(std::memory_order_relaxed); }

    // The entries' source: exactly one of the two is set.
    const EntryTable& entryTable() const;
    bool writeEntry(std::int32_t index, OutputFile& out, const std::function<bool(std::size_t)>& progress);
    ArchiveError sourceError() const;
    int sourceSystemError() const;

    Archive* archive_ = nullptr;
    SequentialArchive* stream_ = nullptr;
    Options options_;
    int destination_ = -1;
    int openError_ = 0;
    bool asGiven_ = false;        // openWorkingFolder: ".." and absolute paths allowed
    std::size_t baseLength_ = 0;  // length of the destination as given, for the PATH_MAX check
    int root_ = -1;               // "/" for absolute paths, opened when first needed
    bool destinationMade_ = false;
    std::unique_ptr<Lane> lane_;  // the calling thread's folders and buffers
    // Since open(): the folders made, every path written by extractAll (its
    // jobs numbered on from one call to the next), and whether extract()
    // wrote paths that extractAll does not know.
    std::unique_ptr<MadeFolders> made_;
    std::unique_ptr<OutputConflicts> conflicts_;
    std::int64_t positions_ = 0;
    bool singles_ = false;
    bool caseBlind_ = false;    // the destination may take names differing in case as one
    FileIdentity archiveFile_;  // the archive, and the link by which it was named
    FileIdentity archiveLink_;
    std::optional<NameEncoding> encoding_;
    // stopAtFirstFailure with threads: the run has stopped, so the threads
    // prepare nothing more; the prepared files held open, and how many may be.
    std::atomic<bool> halt_{false};
    std::atomic<int> heldFiles_{0};
    int heldLimit_ = 0;
    std::atomic<bool> unnamedFiles_{true};  // the destination takes unnamed files
    TemporaryChoice temporaries_;           // linking through /proc was refused here
};

}  // namespace vza
