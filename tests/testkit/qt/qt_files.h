// SPDX-License-Identifier: MIT
// The test kit's archive and file helpers for Qt paths and byte arrays.
#pragma once

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <string>
#include <vector>

namespace vza::test::qt {

struct Entry {
    QByteArray name;
    QByteArray data;
};

// vza::test::writeArchive (the programs' writer) and writeArchiveAsGiven
// (names stored exactly as given, for archives the writer refuses) for a Qt
// path; false (with a warning naming the reason) instead of an exception,
// for QVERIFY.
bool writeArchive(const QString& path, const std::vector<Entry>& entries, std::uint32_t flags = 0,
                  const QByteArray& password = QByteArray());
bool writeArchiveAsGiven(const QString& path, const std::vector<Entry>& entries, std::uint32_t flags = 0,
                         const QByteArray& password = QByteArray());

// Writes bytes to path, replacing what was there.
bool writeFile(const QString& path, const QByteArray& bytes);

// The whole content of the file at path; a null array when it cannot be read.
QByteArray readFile(const QString& path);

// path in the local 8-bit encoding, as the library takes it.
std::string localPath(const QString& path);

}  // namespace vza::test::qt
