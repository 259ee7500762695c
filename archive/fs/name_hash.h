// SPDX-License-Identifier: MIT
// Hashing entry names for lookup tables, with a key the archive cannot know.
//
// A table keyed by entry names must not let an archive choose which names
// land in the same slot: names crafted to collide under a fixed hash make
// every insertion walk all earlier ones, and opening a 100 000-entry archive
// turns from milliseconds into many seconds. nameHash is SipHash-1-3 under a
// 128-bit key drawn from the kernel's random source once per process, so
// collisions can no longer be computed ahead of time.
#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>

namespace vza {

// SipHash-1-3 of name under this process's random key. Stable for the life
// of the process, different from one process to the next: never store it.
// Safe to call from several threads.
std::uint64_t nameHash(std::string_view name);

// nameHash as the hasher of a standard unordered container, for every table
// keyed by names an archive or a file system chooses. Transparent: a table of
// std::string looks up a std::string_view without a copy (with
// std::equal_to<> as the key equality).
struct NameHasher {
    using is_transparent = void;
    std::size_t operator()(std::string_view name) const { return static_cast<std::size_t>(nameHash(name)); }
};

// SipHash with 1 compression and 3 finalisation rounds (the fast variant
// nameHash uses) and with 2 and 4 (the reference variant, whose published
// test vectors check the shared code). k0 and k1 are the key's bytes 0-7 and
// 8-15 read as little-endian words.
std::uint64_t sipHash13(std::uint64_t k0, std::uint64_t k1, std::string_view bytes);
std::uint64_t sipHash24(std::uint64_t k0, std::uint64_t k1, std::string_view bytes);

}  // namespace vza
