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
#include <cerrno>

#include "entry_name_text.h"
#include "entry_table_model.h"
#include "password_dialog.h"
#include "plain_labels.h"
#include "recent_archives.h"
#include "replace_dialog.h"
#include "system_reason.h"
#include "view_order.h"

namespace {

constexpr int RenameWidth = 440;
constexpr int MaxPasswordTries = 3;

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

// Why an archive could not be read. Only regular files are read: a FIFO or
// a device named .vza is refused before anything waits on it.
QString openReason(const vza::Archive& archive)
{
    if (archive.lastError() == vza::ArchiveError::CannotOpenArchive && archive.systemError() == EINVAL)
        return vzA_ExtWindow::tr("通常のファイルではありません");
    if (archive.lastError() == vza::ArchiveError::CannotOpenArchive && archive.systemError() != 0)
        return systemReason(archive.systemError());  // no such file, no access, ...
    return failureReason(archive.lastError(), archive.systemError());
}

}  // namespace

void vzA_ExtWindow::changeItem()
{
    // Rows are selected whole; read as ranges, never cell by cell.
    const QList<int> rows = selectedRows();
    if (rows.size() != 1) {
        QMessageBox::warning(this, tr("指定エラー"), tr("データを1個だけ選択して下さい。"), QMessageBox::Ok,
                             QMessageBox::NoButton);
        return;
    }
    const QModelIndex cell = model->index(rows.first(), vzA_EntryModel::OutputColumn);

    QInputDialog dialog(this, Qt::WindowFlags());
    prepareNameDialog(dialog, tr("ファイル名変更"),
                      cell.data(Qt::EditRole).toString());  // the name itself, not as shown
    if (dialog.exec() == QDialog::Accepted)
        model->setData(cell, dialog.textValue(), Qt::DisplayRole);
}

// The dialog of QInputDialog::getText, wide enough for a path.
void vzA_ExtWindow::prepareNameDialog(QInputDialog& dialog, const QString& title, const QString& name)
{
    dialog.setWindowTitle(title);
    dialog.setLabelText(tr("ファイル名を入力して下さい。"));
    dialog.setInputMode(QInputDialog::TextInput);
    dialog.setTextEchoMode(QLineEdit::Normal);
    dialog.setTextValue(name);
    if (auto* field = dialog.findChild<QLineEdit*>())
        field->setMinimumWidth(RenameWidth);
}

void vzA_ExtWindow::replaceItem()
{
    replaceDialog->exec();
    if (replaceDialog->result() == QDialog::Rejected)
        return;
    const QString search = replaceDialog->searchText();
    const QString replacement = replaceDialog->replaceText();

    for (int row : selectedRows()) {
        QString name = model->outputName(model->entryAt(row));
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
    const QString shown = shownName(QFileInfo(chosen).fileName());
    QString reason;
    switch (loadArchive(chosen, reason)) {
    case Loaded::Opened:
    case Loaded::NoPassword: return;
    case Loaded::NotAnArchive:
        warn(tr("読込失敗"), tr("読込に失敗したか,VZA形式ではありません"), tr("対象: %1\n原因: %2").arg(shown, reason));
        return;
    case Loaded::Failed:
        warn(tr("展開失敗"), tr("アーカイブの展開に失敗しました。"), tr("対象: %1\n原因: %2").arg(shown, reason));
        return;
    }
}

vzA_ExtWindow::Loaded vzA_ExtWindow::loadArchive(const QString& chosen, QString& reason)
{
    rememberFolder(QFileInfo(chosen).absolutePath());
    const std::string path = QFile::encodeName(chosen).toStdString();
    const QString shown = shownName(QFileInfo(chosen).fileName());

    // A wrong password asks again, up to three times, naming the archive.
    int tries = 0;
    bool asked = false;
    const auto askPassword = [&](std::string& password) {
        asked = true;
        passwordDialog->setArchive(shown, tries > 0);
        passwordDialog->exec();
        if (passwordDialog->result() == QDialog::Rejected)
            return false;
        password = localBytes(passwordDialog->password());
        return true;
    };
    // The thread making the view order reads the listed archive, which the
    // open below may replace.
    viewBuilder->stop();
    vza::Archive::OpenOutcome outcome;
    for (;;) {
        asked = false;
        outcome = archive.openWithPassword(path, askPassword);
        const vza::ArchiveError error = archive.lastError();
        const bool wrong = error == vza::ArchiveError::WrongPassword || error == vza::ArchiveError::EmptyPassword;
        if (outcome != vza::Archive::OpenOutcome::Failed || !asked || !wrong || ++tries >= MaxPasswordTries)
            break;
    }
    // The listed archive changes only on success; the model lets go of it
    // before showing the new one.
    switch (outcome) {
    case vza::Archive::OpenOutcome::Opened:
        rememberRecentArchive(QFileInfo(chosen).absoluteFilePath());
        model->setArchive(nullptr);
        archivePath = chosen;
        fillTable();
        return Loaded::Opened;
    case vza::Archive::OpenOutcome::NotAnArchive:
        requestViewOrder();  // the archive listed before stays, as it was shown
        reason = openReason(archive);
        return Loaded::NotAnArchive;
    case vza::Archive::OpenOutcome::NoPassword:  // cancelled: the archive listed before stays
        requestViewOrder();
        return Loaded::NoPassword;
    case vza::Archive::OpenOutcome::Failed: break;
    }
    // A header or index that fails leaves nothing listed.
    reason = openReason(archive);
    forgetArchive();
    return Loaded::Failed;
}
