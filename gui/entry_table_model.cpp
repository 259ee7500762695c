// SPDX-License-Identifier: MIT
#include "entry_table_model.h"

#include "vza/archive/read/archive.h"

QString storedNameText(std::string_view stored, vza::NameEncoding encoding)
{
    const std::string text = vza::decodeName(stored, encoding);
    return QString::fromUtf8(text.c_str());  // up to a zero byte
}

QString defaultOutputName(std::string_view stored, vza::NameEncoding encoding)
{
    return QString::fromStdString(vza::outputNameFor(stored, encoding));
}

vzA_EntryModel::vzA_EntryModel(QObject* parent) : QAbstractTableModel(parent) {}

void vzA_EntryModel::setArchive(const vza::Archive* archive)
{
    beginResetModel();
    archive_ = archive;
    rows_ = archive ? int(archive->entryCount()) : 0;
    encoding_ =
        archive ? vza::chooseNameEncoding(archive->archiveIndex().entryTable().entries(), vza::NameEncodingChoice::Auto)
                : vza::NameEncoding::Utf8;
    changed_.clear();
    endResetModel();
}

int vzA_EntryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int vzA_EntryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : 2;
}

QString vzA_EntryModel::outputName(int row) const
{
    const auto changed = changed_.constFind(row);
    if (changed != changed_.constEnd())
        return *changed;
    const std::optional<vza::EntryView> entry = archive_ ? archive_->entry(row) : std::nullopt;
    return entry ? defaultOutputName(entry->name, encoding_) : QString();
}

QString vzA_EntryModel::defaultName(int row) const
{
    const std::optional<vza::EntryView> entry = archive_ ? archive_->entry(row) : std::nullopt;
    return entry ? defaultOutputName(entry->name, encoding_) : QString();
}

QString vzA_EntryModel::dataName(int row) const
{
    const std::optional<vza::EntryView> entry = archive_ ? archive_->entry(row) : std::nullopt;
    return entry ? storedNameText(entry->name, encoding_) : QString();
}

QVariant vzA_EntryModel::data(const QModelIndex& index, int role) const
{
    // The tooltip shows a name the column is too narrow for in full.
    if (!index.isValid() || index.row() >= rows_ ||
        (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole))
        return QVariant();
    return index.column() == 0 ? outputName(index.row()) : dataName(index.row());
}

bool vzA_EntryModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= rows_ || index.column() != 0 ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    changed_.insert(index.row(), value.toString());
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

QVariant vzA_EntryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < 2)
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool vzA_EntryModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= 2 ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    headers_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags vzA_EntryModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled : Qt::NoItemFlags;
}

std::uint64_t vzA_EntryModel::totalSize() const
{
    std::uint64_t total = 0;
    for (int row = 0; row < rows_; ++row)
        total += archive_->entry(row)->originalSize;
    return total;
}
