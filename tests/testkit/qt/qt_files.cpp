// SPDX-License-Identifier: MIT
#include "testkit/qt/qt_files.h"

#include <QFile>
#include <QtGlobal>

#include <exception>

#include "testkit/archive_builder.h"

namespace vza::test::qt {

namespace {

template <class Writer>
bool writeWith(Writer write, const QString& path, const std::vector<Entry>& entries, std::uint32_t flags,
               const QByteArray& password)
{
    std::vector<TestEntry> converted;
    for (const Entry& entry : entries)
        converted.emplace_back(entry.name.toStdString(),
                               std::string_view(entry.data.constData(), std::size_t(entry.data.size())));
    try {
        write(localPath(path), converted, flags, password.toStdString());
        return true;
    } catch (const std::exception& error) {
        qWarning("%s", error.what());
        return false;
    }
}

}  // namespace

bool writeArchive(const QString& path, const std::vector<Entry>& entries, std::uint32_t flags,
                  const QByteArray& password)
{
    const auto write = [](const std::string& to, const std::vector<TestEntry>& all, std::uint32_t f,
                          const std::string& key) { vza::test::writeArchive(to, all, f, key); };
    return writeWith(write, path, entries, flags, password);
}

bool writeArchiveAsGiven(const QString& path, const std::vector<Entry>& entries, std::uint32_t flags,
                         const QByteArray& password)
{
    const auto write = [](const std::string& to, const std::vector<TestEntry>& all, std::uint32_t f,
                          const std::string& key) { vza::test::writeArchiveAsGiven(to, all, f, key); };
    return writeWith(write, path, entries, flags, password);
}

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString& path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    return bytes.isNull() ? QByteArray("") : bytes;
}

std::string localPath(const QString& path)
{
    return QFile::encodeName(path).toStdString();
}

}  // namespace vza::test::qt
