// SPDX-License-Identifier: MIT
#include "entry_table_model.h"

#include "vza/archive/names/display_text.h"
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

QString shownName(const QString& text)
{
    // Backslashes stay as they are: the window shows no escapes of its own
    // that one could be read as.
    const QByteArray bytes = text.toUtf8();
    return QString::fromStdString(
        vza::displayText(std::string_view(bytes.constData(), std::size_t(bytes.size())), vza::DisplayBackslash::Kept));
}

QString humanSize(std::uint64_t bytes)
{
    if (bytes < 1024)
        return QStringLiteral("%1 B").arg(bytes);
    static const char* const units[] = {"KiB", "MiB", "GiB", "TiB"};
    double value = double(bytes) / 1024;
    std::size_t unit = 0;
    while (value >= 1024 && unit + 1 < std::size(units)) {
        value /= 1024;
        ++unit;
    }
    return QStringLiteral("%1 %2").arg(value, 0, 'f', 1).arg(QLatin1String(units[unit]));
}

vzA_EntryModel::vzA_EntryModel(QObject* parent) : QAbstractTableModel(parent) {}

void vzA_EntryModel::setArchive(const vza::Archive* archive, vza::NameEncodingChoice choice)
{
    beginResetModel();
    archive_ = archive;
    choice_ = choice;
    entries_ = archive ? int(archive->entryCount()) : 0;
    encoding_ = archive ? vza::chooseNameEncoding(archive->archiveIndex().entryTable().entries(), choice)
                        : vza::NameEncoding::Utf8;
    identity_ = true;
    order_.clear();
    changed_.clear();
    endResetModel();
}

void vzA_EntryModel::setNameEncodingChoice(vza::NameEncodingChoice choice)
{
    if (!archive_)
        return;
    choice_ = choice;
    const vza::NameEncoding encoding = vza::chooseNameEncoding(archive_->archiveIndex().entryTable().entries(), choice);
    if (encoding == encoding_)
        return;
    encoding_ = encoding;
    emit dataChanged(index(0, OutputColumn), index(rowCount() - 1, DataColumn));
}

void vzA_EntryModel::setViewOrder(std::vector<std::int32_t> rows, bool identity)
{
    beginResetModel();
    identity_ = identity;
    order_ = identity ? std::vector<std::int32_t>() : std::move(rows);
    endResetModel();
}

int vzA_EntryModel::rowCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : identity_ ? entries_ : int(order_.size());
}

int vzA_EntryModel::columnCount(const QModelIndex& parent) const
{
    return parent.isValid() ? 0 : ColumnCount;
}

QString vzA_EntryModel::outputName(std::int32_t entry) const
{
    const auto changed = changed_.constFind(entry);
    if (changed != changed_.constEnd())
        return *changed;
    return defaultName(entry);
}

QString vzA_EntryModel::defaultName(std::int32_t entry) const
{
    const std::optional<vza::EntryView> found = archive_ ? archive_->entry(entry) : std::nullopt;
    return found ? defaultOutputName(found->name, encoding_) : QString();
}

QString vzA_EntryModel::dataName(std::int32_t entry) const
{
    const std::optional<vza::EntryView> found = archive_ ? archive_->entry(entry) : std::nullopt;
    return found ? storedNameText(found->name, encoding_) : QString();
}

QVariant vzA_EntryModel::data(const QModelIndex& index, int role) const
{
    if (!index.isValid() || index.row() >= rowCount())
        return QVariant();
    const std::int32_t entry = entryAt(index.row());
    const int column = index.column();
    if (role == Qt::TextAlignmentRole)
        return column >= SizeColumn ? QVariant(Qt::AlignRight | Qt::AlignVCenter) : QVariant();
    if (role != Qt::DisplayRole && role != Qt::EditRole && role != Qt::ToolTipRole)
        return QVariant();
    if (column >= SizeColumn) {
        const vza::EntryView found = *archive_->entry(entry);
        return humanSize(column == SizeColumn ? found.originalSize : found.storedSize);
    }
    const QString name = column == OutputColumn ? outputName(entry) : dataName(entry);
    // The tooltip shows a name the column is too narrow for in full.
    return role == Qt::EditRole ? name : shownName(name);
}

bool vzA_EntryModel::setData(const QModelIndex& index, const QVariant& value, int role)
{
    if (!index.isValid() || index.row() >= rowCount() || index.column() != OutputColumn ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    changed_.insert(entryAt(index.row()), value.toString());
    emit dataChanged(index, index, {Qt::DisplayRole, Qt::EditRole});
    return true;
}

QVariant vzA_EntryModel::headerData(int section, Qt::Orientation orientation, int role) const
{
    if (orientation == Qt::Horizontal && role == Qt::DisplayRole && section >= 0 && section < ColumnCount)
        return headers_[section];
    return QAbstractTableModel::headerData(section, orientation, role);
}

bool vzA_EntryModel::setHeaderData(int section, Qt::Orientation orientation, const QVariant& value, int role)
{
    if (orientation != Qt::Horizontal || section < 0 || section >= ColumnCount ||
        (role != Qt::DisplayRole && role != Qt::EditRole))
        return false;
    headers_[section] = value.toString();
    emit headerDataChanged(orientation, section, section);
    return true;
}

Qt::ItemFlags vzA_EntryModel::flags(const QModelIndex& index) const
{
    return index.isValid() ? Qt::ItemIsSelectable | Qt::ItemIsEnabled | Qt::ItemIsDragEnabled : Qt::NoItemFlags;
}

std::uint64_t vzA_EntryModel::totalSize() const
{
    std::uint64_t total = 0;
    for (int entry = 0; entry < entries_; ++entry)
        total += archive_->entry(entry)->originalSize;
    return total;
}
