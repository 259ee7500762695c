// SPDX-License-Identifier: MIT
// The entry table's data: one row per entry of the listed archive, read from
// the archive's index when a cell is drawn, so that listing a million entries
// costs no more than the index itself.
//
// Column 0 is the output name (the entry's name made safe, until the user
// changes it), column 1 the entry's stored name as text. Only output names
// the user changed are kept here.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>

#include "vza/archive/names/name_decoding.h"

namespace vza {
class Archive;
}

class vzA_EntryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    explicit vzA_EntryModel(QObject* parent = nullptr);

    // Lists the entries of archive, or nothing when it is null, and decides
    // how its names are read (one encoding for the whole archive). The
    // archive's index must stay unchanged until the next call; output names
    // the user gave are forgotten.
    void setArchive(const vza::Archive* archive);

    // The encoding the listed archive's names are read in.
    vza::NameEncoding nameEncoding() const { return encoding_; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Changes an output name (column 0, display or edit role); the stored
    // names in column 1 never change.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The text of row's output name and of its stored name, and the output
    // name the row has until the user changes it.
    QString outputName(int row) const;
    QString dataName(int row) const;
    QString defaultName(int row) const;

    // The output names the user changed, by row; all other rows use their
    // default. Shared cheaply with a running extraction.
    const QHash<int, QString>& changedOutputNames() const { return changed_; }

    // Total of the plain sizes of all entries.
    std::uint64_t totalSize() const;

private:
    const vza::Archive* archive_ = nullptr;
    vza::NameEncoding encoding_ = vza::NameEncoding::Utf8;
    int rows_ = 0;
    QHash<int, QString> changed_;
    QString headers_[2];
};

// The stored name of an entry as text (up to a zero byte), and the output
// name it starts with: the text made safe (no absolute path, no "..",
// backslashes as folder separators), empty when nothing safe is left.
QString storedNameText(std::string_view stored, vza::NameEncoding encoding);
QString defaultOutputName(std::string_view stored, vza::NameEncoding encoding);
