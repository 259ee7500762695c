// SPDX-License-Identifier: MIT
// Turning text of the window into the byte strings of the archive library.
// Entry names go the other way through the library's name decoding.
#pragma once

#include <QString>

#include <string>

// text converted with toLocal8Bit() and cut at its first zero byte, as the
// library wants passwords.
std::string localBytes(const QString& text);
