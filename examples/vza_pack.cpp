// SPDX-License-Identifier: MIT
// vza_pack: makes a compressed archive of files and folders. A small
// example of the vza library: the steps below are the ones to copy for
// writing an archive.
//
//   vza_pack ARCHIVE FILE_OR_FOLDER...
//
// Names are stored as given, relative ("a/b.txt"); symbolic links and
// special files are left out, with a notice, and the exit status is then 1. The archive replaces ARCHIVE
// only once it is complete: a failed run leaves an older file as it was.
// With VZA_PASSWORD set the archive is also encrypted with it.
#include <sys/stat.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <vza/archive/write/archive_writer.h>
#include <vza/archive/write/input_tree.h>

// What the walk tells about a file it leaves out or stores differently.
static const char* noticeText(vza::InputTree::Notice::Kind kind)
{
    using Kind = vza::InputTree::Notice::Kind;
    switch (kind) {
    case Kind::Unreadable: return "cannot be read";
    case Kind::RefusedName: return "name refused";
    case Kind::LeadingSlash: return "stored without its leading /";
    case Kind::Backslash: return "stored with / for \\";
    case Kind::SymbolicLink: return "symbolic link left out";
    case Kind::SpecialFile: return "special file left out";
    case Kind::TooLarge: return "4 GiB or more, left out";
    case Kind::ArchiveItself: return "the archive itself, left out";
    }
    return "left out";
}

int main(int argc, char** argv)
{
    if (argc < 3) {
        std::fprintf(stderr, "usage: vza_pack ARCHIVE FILE_OR_FOLDER...\n");
        return 2;
    }
    const char* password = std::getenv("VZA_PASSWORD");
    const std::string archivePath = argv[1];

    // 1. Find the files. The walk holds each folder open and reaches what
    //    is below it from there, so a folder swapped for a link meanwhile
    //    leads nowhere else. Whatever it leaves out is told to the sink.
    int leftOut = 0;
    vza::InputTree tree([&leftOut](const vza::InputTree::Notice& notice) {
        using Kind = vza::InputTree::Notice::Kind;
        std::fprintf(stderr, "vza_pack: %s: %s\n", notice.path.c_str(), noticeText(notice.kind));
        if (notice.kind != Kind::LeadingSlash && notice.kind != Kind::Backslash)
            ++leftOut;
    });
    struct stat existing {};
    if (::stat(archivePath.c_str(), &existing) == 0)
        tree.skip(existing);  // never pack the archive into itself
    for (int i = 2; i < argc; ++i)
        tree.add(argv[i]);
    tree.finish();

    // 2. Plan the archive: flags and password, then one entry per file.
    std::uint32_t flags = vza::FlagCompressed;
    if (password && *password)
        flags |= vza::FlagEncrypted;
    vza::ArchiveWriter writer;
    if (!writer.begin(flags, password ? password : "")) {
        std::fprintf(stderr, "vza_pack: %s\n", vza::errorText(writer.lastError()));
        return 1;
    }
    bool planned = true;
    tree.handOver([&](std::size_t, const std::string& name, const struct stat& status) {
        planned = writer.addFile(name, status);
        if (!planned)
            std::fprintf(stderr, "vza_pack: %s: %s\n", name.c_str(), vza::errorText(writer.lastError()));
        return planned;
    });
    if (!planned || writer.entryCount() == 0) {
        std::fprintf(stderr, "vza_pack: %s not written\n", archivePath.c_str());
        return 1;
    }

    // 3. Write it. The writer opens file i through the walk again, checks
    //    it is the file planned, and reads it once.
    writer.setFileOpener([&](std::size_t file) { return tree.open(file, writer.entry(file).name); });
    if (!writer.writeTo(archivePath)) {
        std::fprintf(stderr, "vza_pack: %s: %s\n", archivePath.c_str(),
                     vza::errorMessage(writer.lastError(), writer.systemError()).c_str());
        return 1;
    }
    return leftOut == 0 ? 0 : 1;
}
