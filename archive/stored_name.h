// The rule every name stored in a new archive obeys.
#pragma once

#include <string>

namespace vza {

// True when name (slashes only, backslashes already turned into slashes) is
// not empty, does not start with '/' and has no empty, "." or ".." component.
bool safeStoredName(const std::string& name);

}  // namespace vza
