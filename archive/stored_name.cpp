#include "archive/stored_name.h"

namespace vza {

bool safeStoredName(const std::string& name)
{
    if (name.empty() || name.front() == '/')
        return false;
    std::size_t start = 0;
    while (start <= name.size()) {
        std::size_t end = name.find('/', start);
        if (end == std::string::npos)
            end = name.size();
        const std::string_view part(name.data() + start, end - start);
        if (part.empty() || part == "." || part == "..")
            return false;
        start = end + 1;
    }
    return true;
}

}  // namespace vza
