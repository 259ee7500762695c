#include "archive/safe_name.h"

#include <cctype>

#include "archive/format.h"

namespace vza {

std::string safeOutputName(const std::string& name)
{
    std::string path = toSlashes(name);
    // A drive prefix such as "C:" would make the path absolute on Windows.
    if (path.size() >= 2 && std::isalpha(static_cast<unsigned char>(path[0])) && path[1] == ':')
        path.erase(0, 2);

    std::string safe;
    std::size_t start = 0;
    while (start <= path.size()) {
        std::size_t end = path.find('/', start);
        if (end == std::string::npos)
            end = path.size();
        const std::string part = path.substr(start, end - start);
        if (!part.empty() && part != "." && part != "..") {
            if (!safe.empty())
                safe += '/';
            safe += part;
        }
        start = end + 1;
    }
    return safe;
}

}  // namespace vza
