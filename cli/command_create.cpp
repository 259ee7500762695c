// vza create: packs files and folders into a new archive.
//
// One file is in memory at a time (its bytes and, while compressing, its
// stream); ArchiveWriter spools the data area to disk, so a large archive
// costs no more memory than its largest file.
#include <cstring>
#include <string>
#include <sys/stat.h>

#include "archive/archive_writer.h"
#include "archive/data_buffer.h"
#include "archive/format.h"
#include "cli/commands.h"
#include "cli/display_name.h"
#include "cli/input_walk.h"
#include "cli/password.h"
#include "codec/blowfish.h"

namespace vza::cli {
namespace {

// Keys the cipher for a new encrypted archive; false when no password came.
bool keyCipher(const Options& options, Console& console)
{
    PasswordRequest request;
    request.passwordFile = options.passwordFile;
    request.prompt = "Password for the new archive " + displayName(options.operands.front()) + ": ";
    request.confirm = true;
    const PasswordResult result = obtainPassword(request);
    if (result.status == PasswordStatus::Missing) {
        console.error(std::string("-e needs a password; ") + PasswordHint);
        return false;
    }
    if (result.status == PasswordStatus::Failed) {
        console.error(result.error);
        return false;
    }
    setKey(reinterpret_cast<const std::uint8_t*>(result.password.data()), result.password.size());
    return true;
}

enum class AddResult { Added, Skipped, Fatal };

class Packer {
public:
    Packer(Console& console, std::uint32_t flags) : console_(console), flags_(flags) {}

    bool begin(const std::string& path);
    AddResult add(const std::string& path, const InputFile& file);
    bool finish();
    void abort() { writer_.abort(); }

private:
    Console& console_;
    std::uint32_t flags_;
    ArchiveWriter writer_;
    std::string shownPath_;
};

bool Packer::begin(const std::string& path)
{
    shownPath_ = displayName(path);
    if (writer_.begin(path))
        return true;
    const int reason = writer_.systemError();
    console_.error(shownPath_ + ": " + errorText(writer_.lastError()) +
                   (reason != 0 ? std::string(" (") + std::strerror(reason) + ")" : std::string()));
    return false;
}

AddResult Packer::add(const std::string& path, const InputFile& file)
{
    const std::string shown = quoted(path);
    // Refused before reading, so that a huge file is never loaded for nothing.
    if (file.size > UINT32_MAX) {
        console_.error(shown + ": larger than 4 GiB, more than an entry can hold; skipped");
        return AddResult::Skipped;
    }
    if ((flags_ & FlagCompressed) == 0 && file.size >= MaxArchiveSize) {
        console_.error(shown + ": " + errorText(ArchiveError::ArchiveTooLarge));
        return AddResult::Fatal;
    }
    DataBuffer buffer;
    if (!buffer.loadFile(path)) {
        const int reason = buffer.systemError();
        console_.error("cannot read " + shown + (reason != 0 ? std::string(": ") + std::strerror(reason) : ""));
        return AddResult::Skipped;
    }
    if (buffer.size() > UINT32_MAX) {
        console_.error(shown + ": grew past 4 GiB while being read; skipped");
        return AddResult::Skipped;
    }
    buffer.setName(file.name);
    if (!prepareStored(buffer, flags_)) {
        console_.error(shown + ": " + errorText(ArchiveError::CompressionFailed) + "; skipped");
        return AddResult::Skipped;
    }
    if (!writer_.add(buffer)) {
        // The writer has abandoned the archive: nothing more can be added.
        console_.error(shown + ": " + errorText(writer_.lastError()));
        return AddResult::Fatal;
    }
    return AddResult::Added;
}

bool Packer::finish()
{
    if (writer_.finish(flags_))
        return true;
    console_.error(shownPath_ + ": " + errorText(writer_.lastError()));
    writer_.abort();
    return false;
}

}  // namespace

int runCreate(const Options& options, Console& console)
{
    const std::string& archivePath = options.operands.front();
    struct stat existing {};
    const bool archiveExists = stat(archivePath.c_str(), &existing) == 0;

    // Asked first, as zip does, so that the user is not kept waiting for
    // the prompt while a large tree is walked.
    if (options.encrypt && !keyCipher(options, console))
        return ExitFatal;

    InputWalk walk(console, archiveExists ? &existing : nullptr);
    for (std::size_t i = 1; i < options.operands.size(); ++i)
        walk.add(options.operands[i]);
    walk.finish();
    // Every input failed: an empty archive would only hide that (and replace
    // a good one), so none is written. An empty folder is another matter.
    if (walk.files().empty() && walk.problems() > 0) {
        console.error("nothing to add; " + quoted(archivePath) + " not created");
        return ExitPartial;
    }
    const std::uint32_t flags = (options.compress ? FlagCompressed : 0) | (options.encrypt ? FlagEncrypted : 0);
    Packer packer(console, flags);
    if (!packer.begin(archivePath))
        return ExitFatal;

    int problems = walk.problems();
    ProgressLine& progress = console.progress();
    progress.start(walk.totalSize());
    for (const InputFile& file : walk.files()) {
        progress.setEntry(file.name);
        const AddResult result = packer.add(walk.pathOf(file), file);
        if (result == AddResult::Fatal) {
            packer.abort();
            console.error(displayName(archivePath) + ": not created");
            return ExitFatal;
        }
        if (result == AddResult::Skipped) {
            ++problems;
        } else if (console.verbose()) {
            console.line("a " + displayName(file.name));
        }
        progress.advance(file.size);
    }
    progress.clear();
    if (!packer.finish())
        return ExitFatal;
    return problems == 0 ? ExitOk : ExitPartial;
}

}  // namespace vza::cli
