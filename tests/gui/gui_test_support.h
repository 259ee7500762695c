// Shared pieces of the vza-extract tests: archives built with the library's
// writer, a fixture that gives each test a fresh window in a fresh working
// folder, and a script that answers the modal dialogs a command opens.
#pragma once

#include <QByteArray>
#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "ext_window.h"

class QAction;
class QPushButton;
class QTableView;


namespace guitest {

struct Entry {
    QByteArray name;  // stored exactly as given
    QByteArray data;
};

// Writes an archive of entries with the flags word given; an encrypted one
// is sealed under password. Fails the running test when the writer fails.
bool writeArchive(const QString &path, const std::vector<Entry> &entries,
                  std::uint32_t flags = 0, const QByteArray &password = QByteArray());

// Writes bytes to path (for files that are not archives).
bool writeFile(const QString &path, const QByteArray &bytes);

// The whole content of the file at path; a null array when it cannot be read.
QByteArray readFile(const QString &path);

// What a modal widget showed when a script step met it, as one line
// "kind|title|text": kind is file, password, replace, input, warning,
// information or other (a message box with other buttons than OK alone
// gets "+buttons"); text is the message, the input label or the filter.
// value holds the field's text as the dialog came up, the file dialog's
// folder, or a message box's detail (its informative text).
struct Seen {
    QString line;
    QString value;
};
QStringList lines(const QList<Seen> &seen);

// Answers modal widgets one by one, as a user would: each new modal widget
// that appears gets the next step. A modal widget that no step is left for
// is recorded and closed, so a wrong guess fails the test instead of
// hanging it; a step that no widget came for is recorded as "never shown".
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget *)>;

    explicit ModalScript(std::vector<Step> steps);

    // What was seen, with the steps that found no widget at the end.
    QList<Seen> result() const;

private:
    void poll();

    std::vector<Step> steps_;
    QList<Seen> seen_;
    QPointer<QWidget> handled_;
    QTimer timer_;
};

// Steps.
ModalScript::Step chooseFile(const QString &path);
ModalScript::Step cancel();    // rejects whatever dialog is up
ModalScript::Step closeBox();  // presses OK on a message box
ModalScript::Step enterPassword(const QString &password);
ModalScript::Step enterText(const QString &text);  // the rename input dialog
ModalScript::Step enterReplace(const QString &search, const QString &replacement);

// The lines of the dialogs and message boxes the program shows.
inline const QString FileDialog = QStringLiteral("file|アーカイブファイル|VZ Archive形式 (*.vza)");
inline const QString PasswordDialog = QStringLiteral("password|パスワード|");
inline const QString ReplaceDialog = QStringLiteral("replace|置換|");
inline const QString RenameDialog = QStringLiteral("input|ファイル名変更|ファイル名を入力して下さい。");
inline const QString ReadFailedBox = QStringLiteral("warning|読込失敗|読込に失敗したか,VZA形式ではありません");
inline const QString OpenFailedBox = QStringLiteral("warning|展開失敗|アーカイブの展開に失敗しました。");
inline const QString ExtractFailedBox = OpenFailedBox;
inline const QString ExtractDoneBox = QStringLiteral("information|展開成功|全てのファイルの展開に成功しました。");
inline const QString SelectOneRowBox = QStringLiteral("warning|指定エラー|データを1個だけ選択して下さい。");

// A fresh main window, shown, in a fresh temporary working folder.
class GuiFixture : public QObject {
    Q_OBJECT

protected:
    std::unique_ptr<QTemporaryDir> dir;
    std::unique_ptr<QTemporaryDir> settingsDir;  // the program's settings, per test
    std::unique_ptr<vzA_ExtWindow> window;

    QTableView *table() const;
    int rowCount() const;
    QPushButton *button(const QString &text) const;
    QAction *action(const QString &text) const;

    // The texts of one column, top to bottom.
    QStringList column(int column) const;
    // Selects the given rows, in this order, and nothing else.
    void selectRows(const QList<int> &rows);
    QList<int> selectedRows() const;

    // Runs slot while script answers its dialogs; returns what was seen.
    QList<Seen> run(void (vzA_ExtWindow::*slot)(), std::initializer_list<ModalScript::Step> steps);
    // Reads the archive at path (relative to the working folder) with the
    // given steps after the file dialog.
    QList<Seen> read(const QString &path, std::vector<ModalScript::Step> more = {});

private slots:
    // QtTest runs these around every test function of a derived class.
    void init();
    void cleanup();
};

}  // namespace guitest
