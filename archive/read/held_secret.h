// SPDX-License-Identifier: MIT
// A password and the key schedule made from it, wiped from memory when they
// are let go of.
//
// An Archive keeps the password it was opened with and its own key
// schedule. A crash dump, or a later allocation that reuses the memory,
// should find neither: every copy is zeroed (explicit_bzero, which the
// compiler may not leave out) when it is reset, assigned over or destroyed.
// The process-wide key (setKey) is not kept here and stays.
#pragma once

#include <string>

#include <string.h>

#include "vza/codec/blowfish.h"

namespace vza {

// Zeroes every byte text holds, its spare capacity included (a short string
// lives inside the object, where a move leaves the bytes behind), and
// empties it.
inline void wipeString(std::string& text) noexcept
{
    ::explicit_bzero(text.data(), text.capacity());
    text.clear();
}

struct HeldSecret {
    std::string password;
    CipherState key{};

    HeldSecret() = default;
    HeldSecret(const HeldSecret& other) = default;
    // Copied, then wiped: a moved string could leave its bytes behind.
    HeldSecret(HeldSecret&& other) : password(other.password), key(other.key) { other.wipe(); }
    HeldSecret& operator=(const HeldSecret& other)
    {
        if (this != &other) {
            wipe();
            password = other.password;
            key = other.key;
        }
        return *this;
    }
    HeldSecret& operator=(HeldSecret&& other)
    {
        if (this != &other) {
            *this = other;
            other.wipe();
        }
        return *this;
    }
    ~HeldSecret() { wipe(); }

    void wipe() noexcept
    {
        wipeString(password);
        ::explicit_bzero(&key, sizeof key);
    }
};

}  // namespace vza
