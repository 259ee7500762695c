// Turning the byte strings of the archive library into text and back.
#pragma once

#include <QString>

#include <string>

// The text shown for a stored entry name: the bytes up to the first zero
// byte, read as UTF-8 when they are valid UTF-8, else as Shift_JIS (CP932)
// when they decode without error, else as Latin-1.
QString entryNameText(const std::string &bytes);

// text converted with toLocal8Bit() and cut at its first zero byte, as the
// library wants paths, passwords and output names.
std::string localBytes(const QString &text);
