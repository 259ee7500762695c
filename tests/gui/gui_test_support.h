// SPDX-License-Identifier: MIT
// Shared pieces of the vza-extract tests: a fixture that gives each test a
// fresh window in a fresh working folder, the widgets found by objectName,
// and the lines (see vza::test::qt::Seen) of the program's message boxes and
// standard dialogs, which only these texts identify.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ext_window.h"
#include "testkit/qt/modal_script.h"
#include "testkit/qt/qt_files.h"

class QAction;
class QPushButton;

namespace guitest {

using namespace vza::test::qt;

// The lines of the dialogs and message boxes the program shows.
inline const QString FileDialog = QStringLiteral("file|アーカイブファイル|VZ Archive形式 (*.vza)");
inline const QString PasswordDialog = QStringLiteral("password");
inline const QString ReplaceDialog = QStringLiteral("replace");
inline const QString RenameDialog = QStringLiteral("input|ファイル名変更|ファイル名を入力して下さい。");
inline const QString ReadFailedBox = QStringLiteral("warning|読込失敗|読込に失敗したか,VZA形式ではありません");
inline const QString OpenFailedBox = QStringLiteral("warning|展開失敗|アーカイブの展開に失敗しました。");
inline const QString ExtractFailedBox = OpenFailedBox;
inline const QString ExtractDoneBox = QStringLiteral("information|展開成功|全てのファイルの展開に成功しました。");
inline QString overwriteQuestion(const QString& path)
{
    return QStringLiteral("box+buttons|上書き確認|%1 は既にあります。上書きしますか？").arg(path);
}
// 名前を変えて保存 of the overwrite question: its button, and the dialog
// that asks for the name (its value: the name proposed).
inline const QString SaveAsButton = QStringLiteral("saveAsButton");
inline const QString SaveAsDialog = QStringLiteral("input|名前を変えて保存|ファイル名を入力して下さい。");
// The question before every row is extracted; arg: the count.
inline const QString AllRowsQuestion =
    QStringLiteral("box+buttons|展開|選択がありません。全て (%1 個) を展開しますか？");
inline const QString FolderDialog = QStringLiteral("file|展開先フォルダ|All Files (*)");
inline const QString SelectOneRowBox = QStringLiteral("warning|指定エラー|データを1個だけ選択して下さい。");

// Every file below root, as paths relative to it, sorted; hidden ones too,
// so that a temporary file left behind shows.
QStringList filesBelow(const QString& root);

// Overwrites the stored bytes of entry index of the archive at path.
bool damageEntry(const QString& path, int index);

// Steps for the extract commands.
ModalScript::Step press(int standardButton);          // a button of a message box
ModalScript::Step chooseFolder(const QString& path);  // the folder dialog of フォルダへ展開

// A fresh main window, shown, in a fresh temporary working folder.
class GuiFixture : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> settingsDir;  // the program's settings, per test
    std::unique_ptr<vzA_ExtWindow> window;

    QTableView* table() const;
    int rowCount() const;
    // The window's widgets by objectName, e.g. "readButton", "readAction".
    QPushButton* button(const QString& objectName) const;
    QAction* action(const QString& objectName) const;

    // The texts of one column, top to bottom.
    QStringList column(int column) const;
    // Selects the given rows, in this order, and nothing else.
    void selectRows(const QList<int>& rows);
    QList<int> selectedRows() const;

    // Makes the main window the active one, as a click on it would, and
    // waits until it is (a dialog that just closed may still be).
    bool activateMainWindow();

    // Waits until an extraction the window runs has ended and its outcome
    // has been closed.
    void waitForExtraction(int timeoutMs = 60000);

    // Runs slot while script answers its dialogs, and waits for an
    // extraction it starts to end; returns what was seen.
    QList<Seen> run(void (vzA_ExtWindow::*slot)(), std::initializer_list<ModalScript::Step> steps);
    // Reads the archive at path (relative to the working folder) with the
    // given steps after the file dialog.
    QList<Seen> read(const QString& path, std::vector<ModalScript::Step> more = {});

private slots:
    // QtTest runs these around every test function of a derived class.
    void init();
    void cleanup();
};

}  // namespace guitest
