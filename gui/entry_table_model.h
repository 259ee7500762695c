// SPDX-License-Identifier: MIT
// The entry table's data: one row per entry of the listed archive, read from
// the archive's index when a cell is drawn, so that listing a million entries
// costs no more than the index itself.
//
// Columns: the output name (the entry's name made safe, until the user
// changes it), the entry's stored name as text, its size and its stored size.
// Only output names the user changed are kept here, by entry.
//
// Rows are shown in a view order (view row -> entry), made elsewhere for a
// sort column and a filter (see view_order.h) and set here whole; until one
// is set, row i is entry i. Calls named for "entry" take entry indices,
// the rest view rows.
//
// Names are shown with invisible and direction-changing characters escaped
// (a right-to-left override would make "report\u202efdp.sh" read as
// "reporths.pdf"); the edit role gives the name itself, which is what is
// written and looked up.
#pragma once

#include <QAbstractTableModel>
#include <QHash>
#include <QString>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

#include "vza/archive/names/name_decoding.h"

namespace vza {
class Archive;
}

class vzA_EntryModel : public QAbstractTableModel {
    Q_OBJECT

public:
    enum Column { OutputColumn, DataColumn, SizeColumn, StoredSizeColumn, ColumnCount };

    explicit vzA_EntryModel(QObject* parent = nullptr);

    // Lists the entries of archive, or nothing when it is null, in the
    // archive's order, and reads its names by choice (one encoding for the
    // whole archive). The archive's index must stay unchanged until the
    // next call; output names the user gave are forgotten.
    void setArchive(const vza::Archive* archive, vza::NameEncodingChoice choice = vza::NameEncodingChoice::Auto);

    // Reads the names again by choice; output names the user gave stay.
    void setNameEncodingChoice(vza::NameEncodingChoice choice);

    // The encoding the listed archive's names are read in.
    vza::NameEncoding nameEncoding() const { return encoding_; }
    const vza::Archive* archive() const { return archive_; }

    // Shows the entries in rows, in that order (entry indices); an empty
    // list with identity set shows every entry in the archive's order.
    void setViewOrder(std::vector<std::int32_t> rows, bool identity);
    std::int32_t entryAt(int row) const { return identity_ ? row : order_[std::size_t(row)]; }

    int rowCount(const QModelIndex& parent = QModelIndex()) const override;
    int columnCount(const QModelIndex& parent = QModelIndex()) const override;
    QVariant data(const QModelIndex& index, int role = Qt::DisplayRole) const override;
    // Changes an output name (column 0, display or edit role); the stored
    // names never change.
    bool setData(const QModelIndex& index, const QVariant& value, int role = Qt::EditRole) override;
    QVariant headerData(int section, Qt::Orientation orientation, int role = Qt::DisplayRole) const override;
    bool setHeaderData(int section, Qt::Orientation orientation, const QVariant& value,
                       int role = Qt::EditRole) override;
    Qt::ItemFlags flags(const QModelIndex& index) const override;

    // The text of an entry's output name and of its stored name, and the
    // output name it has until the user changes it.
    QString outputName(std::int32_t entry) const;
    QString dataName(std::int32_t entry) const;
    QString defaultName(std::int32_t entry) const;

    // The output names the user changed, by entry; all other entries use
    // their default. Shared cheaply with a running extraction.
    const QHash<int, QString>& changedOutputNames() const { return changed_; }

    // Total of the plain sizes of all entries.
    std::uint64_t totalSize() const;

private:
    const vza::Archive* archive_ = nullptr;
    vza::NameEncodingChoice choice_ = vza::NameEncodingChoice::Auto;
    vza::NameEncoding encoding_ = vza::NameEncoding::Utf8;
    int entries_ = 0;
    bool identity_ = true;
    std::vector<std::int32_t> order_;
    QHash<int, QString> changed_;
    QString headers_[ColumnCount];
};

// The stored name of an entry as text (up to a zero byte), and the output
// name it starts with: the text made safe (no absolute path, no "..",
// backslashes as folder separators), empty when nothing safe is left.
QString storedNameText(std::string_view stored, vza::NameEncoding encoding);
QString defaultOutputName(std::string_view stored, vza::NameEncoding encoding);

// text as the window shows a name: invisible and direction-changing
// characters escaped as \uXXXX, everything else as it is.
QString shownName(const QString& text);

// A size in IEC units: "512 B", "1.5 KiB", "3.0 GiB".
QString humanSize(std::uint64_t bytes);
