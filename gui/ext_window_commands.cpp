// SPDX-License-Identifier: MIT
// The four commands of the main window. Each reports its outcome in at most
// one message box.
#include "ext_window.h"

#include <QDir>
#include <QFileDialog>
#include <QFileInfo>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QList>
#include <QMessageBox>
#include <QSettings>
#include <QTableView>

#include "entry_name_text.h"
#include "entry_table_model.h"
#include "password_dialog.h"
#include "plain_labels.h"
#include "replace_dialog.h"
#include "system_reason.h"

namespace {

// The folder of the archive read last, kept between runs of the program.
QString lastFolder()
{
    return QSettings(QStringLiteral("vza"), QStringLiteral("vza-extract"))
        .value(QStringLiteral("lastArchiveFolder"))
        .toString();
}

void rememberFolder(const QString& folder)
{
    QSettings(QStringLiteral("vza"), QStringLiteral("vza-extract"))
        .setValue(QStringLiteral("lastArchiveFolder"), folder);
}

}  // namespace

void vzA_ExtWindow::changeItem()
{
    const QModelIndexList cells = table->selectionModel()->selectedIndexes();
    // Rows are selected whole: two cells are exactly one row.
    if (cells.size() != 2) {
        QMessageBox::warning(this, tr("指定エラー"), tr("データを1個だけ選択して下さい。"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }
    const QModelIndex cell = cells[0].column() == 0 ? cells[0] : cells[1];

    bool ok = false;
    const QString name =
        QInputDialog::getText(this, tr("ファイル名変更"), tr("ファイル名を入力して下さい。"), QLineEdit::Normal,
                              cell.data(Qt::DisplayRole).toString(), &ok, Qt::WindowFlags());
    if (ok)
        model->setData(cell, name, Qt::DisplayRole);
}

void vzA_ExtWindow::replaceItem()
{
    replaceDialog->exec();
    if (replaceDialog->result() == QDialog::Rejected)
        return;
    const QString search = replaceDialog->searchText();
    const QString replacement = replaceDialog->replaceText();

    for (int row : selectedRows()) {
        QString name = model->outputName(row);
        if (search.isEmpty())
            name.insert(0, replacement);
        else
            name.replace(search, replacement, Qt::CaseSensitive);
        model->setData(model->index(row, 0), name, Qt::DisplayRole);
    }
    // The current cell stays where it is.
    table->selectionModel()->clearSelection();
}

void vzA_ExtWindow::readArchive()
{
    QString folder = lastFolder();
    if (folder.isEmpty() || !QFileInfo(folder).isDir())
        folder = tr(".");
    const QString chosen =
        QFileDialog::getOpenFileName(this, tr("アーカイブファイル"), folder, tr("VZ Archive形式 (*.vza)"));
    if (chosen.isEmpty())
        return;
    openArchive(chosen);
}

void vzA_ExtWindow::openArchive(const QString& chosen)
{
    if (isExtracting())
        return;  // the running extraction reads the listed archive
    rememberFolder(QFileInfo(chosen).absolutePath());
    const std::string path = QFile::encodeName(chosen).toStdString();

    const auto askPassword = [this](std::string& password) {
        passwordDialog->exec();
        if (passwordDialog->result() == QDialog::Rejected)
            return false;
        password = localBytes(passwordDialog->password());
        return true;
    };
    // The listed archive changes only on success; the model lets go of it
    // before showing the new one.
    switch (archive.openWithPassword(path, askPassword)) {
    case vza::Archive::OpenOutcome::Opened:
        model->setArchive(nullptr);
        statusLabel->clear();
        archivePath = chosen;
        fillTable();
        return;
    case vza::Archive::OpenOutcome::NotAnArchive:
        QMessageBox::warning(this, tr("読込失敗"), tr("読込に失敗したか,VZA形式ではありません"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    case vza::Archive::OpenOutcome::NoPassword: return;  // cancelled: the archive listed before stays
    case vza::Archive::OpenOutcome::Failed: break;
    }
    // A header or index that fails leaves nothing listed.
    const QString reason = failureReason(archive.lastError(), archive.systemError());
    model->setArchive(nullptr);
    statusLabel->clear();
    archivePath.clear();
    archive.reset();
    QMessageBox box(QMessageBox::Warning, tr("展開失敗"), tr("アーカイブの展開に失敗しました。"), QMessageBox::Ok,
                    this);
    box.setInformativeText(tr("対象: %1\n原因: %2").arg(QFileInfo(chosen).fileName(), reason));
    showLabelsAsPlainText(&box);
    box.exec();
}
