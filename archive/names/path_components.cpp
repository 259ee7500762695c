// SPDX-License-Identifier: MIT
#include "vza/archive/names/path_components.h"

#include <cctype>

namespace vza {

std::vector<std::string_view> splitComponents(std::string_view name, Backslash backslash)
{
    const std::string_view separators =
        backslash == Backslash::IsSeparator ? std::string_view("/\\", 2) : std::string_view("/", 1);
    std::vector<std::string_view> components;
    std::size_t start = 0;
    while (true) {
        const std::size_t end = name.find_first_of(separators, start);
        if (end == std::string_view::npos) {
            components.push_back(name.substr(start));
            return components;
        }
        components.push_back(name.substr(start, end - start));
        start = end + 1;
    }
}

ComponentKind componentKind(std::string_view component)
{
    if (component.empty())
        return ComponentKind::Empty;
    if (component == ".")
        return ComponentKind::Dot;
    if (component == "..")
        return ComponentKind::DotDot;
    return ComponentKind::Name;
}

std::string joinNameComponents(const std::vector<std::string_view>& components)
{
    std::string joined;
    for (const std::string_view component : components) {
        if (componentKind(component) != ComponentKind::Name)
            continue;
        if (!joined.empty())
            joined += '/';
        joined += component;
    }
    return joined;
}

bool startsAtRoot(std::string_view name)
{
    return !name.empty() && name.front() == '/';
}

bool hasDrivePrefix(std::string_view name)
{
    return name.size() >= 2 && std::isalpha(static_cast<unsigned char>(name[0])) && name[1] == ':';
}

bool componentLengthFits(std::string_view component)
{
    return component.size() <= MaxComponentLength;
}

bool pathLengthFits(std::string_view path)
{
    return path.size() < MaxPathLength;
}

bool componentCountFits(std::size_t count)
{
    return count <= MaxComponents;
}

OutputPathProblem splitOutputPath(std::string_view path, bool mayClimb, OutputPath& out)
{
    out.folder.clear();
    out.leaf.clear();
    out.absolute = out.climbs = mayClimb && startsAtRoot(path);
    std::string_view leaf;
    std::size_t components = 0;
    for (std::size_t start = 0; start <= path.size();) {
        const std::size_t slash = path.find('/', start);
        const std::size_t end = slash == std::string_view::npos ? path.size() : slash;
        const std::string_view part = path.substr(start, end - start);
        const ComponentKind kind = componentKind(part);
        start = end + 1;
        if (end == path.size() && kind != ComponentKind::Name)
            return OutputPathProblem::NamesAFolder;
        if (kind == ComponentKind::Empty || kind == ComponentKind::Dot)
            continue;
        if (kind == ComponentKind::DotDot && !mayClimb)
            return OutputPathProblem::Climbs;
        if (!componentCountFits(++components))
            return OutputPathProblem::TooManyComponents;
        if (!componentLengthFits(part))
            return OutputPathProblem::ComponentTooLong;
        if (!leaf.empty()) {
            out.climbs = out.climbs || componentKind(leaf) == ComponentKind::DotDot;
            out.folder.append(leaf);
        }
        leaf = part;
    }
    out.leaf.assign(leaf);
    return OutputPathProblem::None;
}

bool safeStoredName(std::string_view name)
{
    if (name.empty() || startsAtRoot(name))
        return false;
    for (std::string_view part : splitComponents(name, Backslash::IsByte)) {
        if (componentKind(part) != ComponentKind::Name)
            return false;
    }
    return true;
}

}  // namespace vza
