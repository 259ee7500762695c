// The four commands of the main window. Each runs to completion inside its
// slot and reports its outcome in at most one message box.
#include "ext_window.h"

#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QTableWidget>

#include "archive/format.h"
#include "entry_name_text.h"
#include "password_dialog.h"
#include "replace_dialog.h"

namespace {

// The exact stored name kept in a data-name cell.
std::string storedName(const QTableWidgetItem *dataItem)
{
    if (!dataItem)
        return std::string();
    const QByteArray bytes = dataItem->data(Qt::UserRole).toByteArray();
    return std::string(bytes.constData(), std::size_t(bytes.size()));
}

}  // namespace

void vzA_ExtWindow::changeItem()
{
    const QList<QTableWidgetItem *> items = table->selectedItems();
    // Rows are selected whole: two items are exactly one row.
    if (items.size() != 2) {
        QMessageBox::warning(this, tr("指定エラー"), tr("データを1個だけ選択して下さい。"),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }
    QTableWidgetItem *item = table->column(items[0]) == 0 ? items[0] : items[1];

    bool ok = false;
    const QString name = QInputDialog::getText(
        this, tr("ファイル名変更"), tr("ファイル名を入力して下さい。"), QLineEdit::Normal,
        item->data(Qt::DisplayRole).toString(), &ok, Qt::WindowFlags());
    if (ok)
        item->setData(Qt::DisplayRole, name);
}

void vzA_ExtWindow::replaceItem()
{
    replaceDialog->exec();
    if (replaceDialog->result() == QDialog::Rejected)
        return;
    const QString search = replaceDialog->searchText();
    const QString replacement = replaceDialog->replaceText();

    const QList<QTableWidgetItem *> items = table->selectedItems();
    for (QTableWidgetItem *item : items) {
        if (table->column(item) != 0)
            continue;
        QString name = item->data(Qt::DisplayRole).toString();
        if (search.isEmpty())
            name.insert(0, replacement);
        else
            name.replace(search, replacement, Qt::CaseSensitive);
        item->setData(Qt::DisplayRole, name);
    }

    const QList<QTableWidgetSelectionRange> ranges = table->selectedRanges();
    for (const QTableWidgetSelectionRange &range : ranges)
        table->setRangeSelected(range, false);
}

void vzA_ExtWindow::readArchive()
{
    const QString chosen = QFileDialog::getOpenFileName(
        this, tr("アーカイブファイル"), tr("."), tr("VZ Archive形式 (*.vza)"));
    if (chosen.isEmpty())
        return;
    const std::string path = localBytes(chosen);

    const int flags = archive.probeFlags(path);
    if (flags == 255) {
        QMessageBox::warning(this, tr("読込失敗"), tr("読込に失敗したか,VZA形式ではありません"),
                             QMessageBox::Ok, QMessageBox::NoButton);
        return;
    }

    std::string password;
    if (flags & vza::FlagEncrypted) {
        passwordDialog->exec();
        if (passwordDialog->result() == QDialog::Rejected)
            return;
        password = localBytes(passwordDialog->password());
    }

    // From here on the archive listed before is gone, whatever open() says.
    archive.reset();
    table->setRowCount(0);
    if (archive.open(path, password)) {
        fillTable();
        return;
    }
    // A failed open may leave a partly loaded index behind.
    archive.reset();
    QMessageBox::warning(this, tr("展開失敗"), tr("アーカイブの展開に失敗しました。"),
                         QMessageBox::Ok, QMessageBox::NoButton);
}

void vzA_ExtWindow::extractFile()
{
    const QList<QTableWidgetItem *> items = table->selectedItems();
    for (const QTableWidgetItem *item : items) {
        if (table->column(item) != 0)
            continue;
        const std::string fileName = localBytes(item->data(Qt::DisplayRole).toString());
        const std::string dataName = storedName(table->item(table->row(item), 1));
        // An empty file name lets the library derive a safe one from dataName.
        if (!archive.extractToFile(dataName, fileName)) {
            QMessageBox::warning(this, tr("展開失敗"), tr("アーカイブの展開に失敗しました。"),
                                 QMessageBox::Ok, QMessageBox::NoButton);
            return;
        }
    }
    QMessageBox::information(this, tr("展開成功"), tr("全てのファイルの展開に成功しました。"),
                             QMessageBox::Ok, QMessageBox::NoButton);
}
