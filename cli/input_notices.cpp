// SPDX-License-Identifier: MIT
#include "cli/input_notices.h"

#include <cstring>
#include <string>

#include "cli/display_name.h"
#include "vza/archive/names/path_components.h"

namespace vza::cli {

bool reportInputNotice(Console& console, const InputTree::Notice& notice)
{
    using Kind = InputTree::Notice::Kind;
    const std::string shown = quoted(notice.path);
    switch (notice.kind) {
    case Kind::Unreadable:
        console.error("cannot read " + shown + ": " + std::strerror(notice.systemError));
        return true;
    case Kind::RefusedName:
        console.error(notice.path.empty() ? std::string("an empty path cannot be added")
                                          : shown + ": '..' is refused in names: it would lead out of the folder "
                                                    "the archive is extracted into");
        return true;
    case Kind::LeadingSlash: console.warning("leading '/' removed from stored names (" + shown + ")"); return false;
    case Kind::Backslash:
        console.warning(shown + " is stored as " + quoted(notice.storedName) + " (backslashes become slashes)");
        return false;
    case Kind::SymbolicLink: console.warning("skipped symbolic link " + shown); return true;
    case Kind::SpecialFile: console.warning("skipped special file " + shown); return true;
    case Kind::TooLarge: console.error(shown + ": 4 GiB or larger, more than an entry can hold; skipped"); return true;
    case Kind::ArchiveItself: console.warning("not adding the archive itself: " + shown); return false;
    case Kind::TooDeep:
        console.error(shown + ": names of more than " + std::to_string(MaxComponents) +
                      " components cannot be extracted; skipped");
        return true;
    }
    return true;
}

bool inputFailed(const InputTree::Notice& notice)
{
    using Kind = InputTree::Notice::Kind;
    return notice.kind == Kind::Unreadable || notice.kind == Kind::RefusedName || notice.kind == Kind::TooLarge ||
           notice.kind == Kind::TooDeep;
}

}  // namespace vza::cli
