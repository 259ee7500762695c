#include "entry_table_model.h"

#include "archive/archive.h"
#include "archive/safe_name.h"
#include "entry_name_text.h"

QString storedNameText(const std::string &stored)
{
    return entryNameText(stored);
}

// Decoded first, made safe after: a Shift_JIS name whose second bytes are
// 0x5C keeps its characters, and only real backslashes become separators.
QString defaultOutputName(const std::string &stored)
{
    const QByteArray text = entryNameText(stored).toUtf8();
    return QString::fromStdString(vza::safeOutputName(std::string(text.constData(), std::size_t(text.size()))));
}

vzA_EntryModel::vzA_EntryModel(QObject *parent)
    : QAbstractTableModel(parent)
{
}

void vzA_EntryModel::setArchive(const vza::Archive *archive)
{
    beginResetModel();
    archive_ = archive;
    rows_ = archive ? int(archive->entryCount()) : 0;
    changed_.clear();
    endResetModel();
}

int vzA_EntryModel::rowCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : rows_;
}

int vzA_EntryModel::columnCount(const QModelIndex &parent) const
{
    return parent.isValid() ? 0 : 2;
}

QString vzA_EntryModel::outputName(int row) const
{
    const auto changed = changed_.constFind(row);
    if (changed != changed_.constEnd())
        return *changed;
    const vza::ArchiveEntry *entry = archive_ ? archive_->entry(row) : nullptr;
    return entry ? defaultOutputName(entry->name) : QString();
}

QString vzA_EntryModel::dataName(int row) const
{
    const vza::ArchiveEntry *entry = archive_ ? archive_->entry(row) : nullptr;
    return entry ? storedNameText(entry->name) : QString();
}

QVariant vzA_EntryModel::data(const QModelIndex &index, int role) const
{
    if (!index.isValid() || index.row() >= rows_ || (role != Qt::DisplayRole && role != Qt::EditRole))
        return QVariant();
    return index.column() == 0 ? outputName(index.row()) : dataName(index.row());
}

bool vzA_EntryModel::setData(const QModelIndex &index, const QVariant &value, int role)
{
    if (!index.isValid() || index.row() >= rows_ || index.column() != 0
        || (role != Qt::DisplayRole && role != Qt::EditRole))
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

bool vzA_EntryModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant &value,
                                   int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= 2
        || (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    headers_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags vzA_EntryModel::flags(const QModelIndex &index) const
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
