// SPDX-License-Identifier: MIT
#include "vza/archive/names/name_verdict.h"

#include <optional>

#include "vza/archive/names/path_components.h"
#include "vza/archive/names/safe_name.h"

namespace vza {
namespace {

// The verdict on a path whose components are '/'-separated and all names.
NameVerdict measure(std::string_view path)
{
    std::size_t components = 0;
    for (std::size_t start = 0; start <= path.size();) {
        std::size_t end = path.find('/', start);
        if (end == std::string_view::npos)
            end = path.size();
        if (!componentLengthFits(path.substr(start, end - start)))
            return NameVerdict::ComponentTooLong;
        ++components;
        start = end + 1;
    }
    return componentCountFits(components) ? NameVerdict::Writable : NameVerdict::TooManyComponents;
}

// What a byte of a name that stands as it is can be: part of a component,
// the separator, or anything else (zero, backslash, not ASCII). One table
// look-up per byte: a million names are judged on every listing.
enum class ByteClass : unsigned char { Plain, Slash, Other };

struct ByteClasses {
    ByteClass kind[256];
    constexpr ByteClasses() : kind{}
    {
        for (int byte = 0; byte < 256; ++byte)
            kind[byte] = byte == 0 || byte == '\\' || byte >= 0x80 ? ByteClass::Other
                         : byte == '/'                             ? ByteClass::Slash
                                                                   : ByteClass::Plain;
    }
};
constexpr ByteClasses Bytes;

// The verdict on stored when it is its own output path in every encoding
// (ASCII without a backslash or zero byte, neither anchored nor holding "",
// "." or ".."), in one pass over its bytes; nothing when it is not.
std::optional<NameVerdict> judgeAsItStands(std::string_view stored)
{
    if (stored.empty() || startsAtRoot(stored) || hasDrivePrefix(stored))
        return std::nullopt;
    std::size_t components = 0;
    std::size_t start = 0;
    bool tooLong = false;
    for (std::size_t i = 0; i <= stored.size(); ++i) {
        if (i < stored.size()) {
            const ByteClass kind = Bytes.kind[static_cast<unsigned char>(stored[i])];
            if (kind == ByteClass::Plain)
                continue;
            if (kind == ByteClass::Other)
                return std::nullopt;
        }
        const std::string_view component = stored.substr(start, i - start);
        if (componentKind(component) != ComponentKind::Name)
            return std::nullopt;
        tooLong = tooLong || !componentLengthFits(component);
        ++components;
        start = i + 1;
    }
    if (tooLong)
        return NameVerdict::ComponentTooLong;
    return componentCountFits(components) ? NameVerdict::Writable : NameVerdict::TooManyComponents;
}

}  // namespace

NameVerdict judgeStoredName(std::string_view stored, NameEncoding encoding, std::string* outputPath)
{
    if (stored.empty())
        return NameVerdict::Empty;
    if (const std::optional<NameVerdict> verdict = judgeAsItStands(stored)) {
        if (*verdict == NameVerdict::Writable && outputPath != nullptr)
            outputPath->assign(stored);
        return *verdict;
    }
    const std::string decoded = decodeName(stored, encoding);
    if (decoded.find('\0') != std::string::npos)
        return NameVerdict::HoldsNul;
    std::string path = safeOutputName(decoded);
    if (path.empty())
        return NameVerdict::NothingSafe;
    const NameVerdict verdict = measure(path);
    if (verdict == NameVerdict::Writable && outputPath != nullptr)
        *outputPath = std::move(path);
    return verdict;
}

}  // namespace vza
