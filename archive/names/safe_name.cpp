// SPDX-License-Identifier: MIT
#include "vza/archive/names/safe_name.h"

#include "vza/archive/names/path_components.h"

namespace vza {

std::string safeOutputName(std::string_view name)
{
    std::string_view path = name;
    // A drive prefix such as "C:" would make the path absolute on Windows.
    if (hasDrivePrefix(path))
        path.remove_prefix(2);
    return joinNameComponents(splitComponents(path, Backslash::IsSeparator));
}

bool safeLeafName(std::string_view name)
{
    return componentKind(name) == ComponentKind::Name &&
           name.find_first_of(std::string_view("/\0", 2)) == std::string_view::npos && componentLengthFits(name);
}

}  // namespace vza
