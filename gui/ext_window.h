// SPDX-License-Identifier: MIT
// The main window of vza-extract: the entry table, four command buttons with
// matching menu actions, and the two dialogs the commands use.
#pragma once

#include <QElapsedTimer>
#include <QMainWindow>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <memory>
#include <vector>

#include "extraction_run.h"
#include "test_run.h"
#include "vza/archive/read/archive.h"

class QAction;
class QCloseEvent;
class QDragEnterEvent;
class QDropEvent;
class QFrame;
class QHBoxLayout;
class QInputDialog;
class QLabel;
class QLineEdit;
class QMenu;
class QMimeData;
class QMessageBox;
class QProgressDialog;
class QPushButton;
class QResizeEvent;
class QTemporaryDir;
class QTimer;
class QTableView;
class vzA_EntryModel;
class vzA_PasswordDialog;
class vzA_ReplaceDialog;
class vzA_ViewOrderBuilder;

class vzA_ExtWindow : public QMainWindow {
    Q_OBJECT

public:
    vzA_ExtWindow();
    ~vzA_ExtWindow() override;

    // Shares the table's free width equally between its two columns.
    // Run after show(), on every resize and whenever the vertical header or
    // scroll bar changes.
    void adjustColumnWidths();

    // Reads the archive at path as the read command does after its file
    // dialog: asks the password when needed and lists the entries. Used for
    // the file named on the command line and for a file dropped on the window.
    void openArchive(const QString& path);

    // Reads the archive at path as openArchive() does, but only once the
    // window is on the screen. A window manager places a new window some
    // time after show(); a password dialog or message that came up before
    // would be centred over where the window was not yet, not over it.
    void openArchiveWhenShown(const QString& path);

    // The file managers' "extract here": each archive in turn, read as
    // openArchive() reads it (its password asked, three tries), has every
    // entry extracted into a new folder beside it, named after it (the
    // folder dialog when its folder cannot be written), with the progress
    // dialog; nothing else is asked unless a file would be replaced. An
    // archive that cannot be read is noted and the others still go. Then
    // one summary for all, and extractHereFinished().
    void extractHere(const QStringList& paths);
    // extractHere() once the window is on the screen (see
    // openArchiveWhenShown()).
    void extractHereWhenShown(const QStringList& paths);

    // True from the start of an extraction until its outcome has been
    // shown, and through the whole of extractHere(): commands are disabled
    // meanwhile.
    bool isExtracting() const { return extracting || extractingHere; }

    // The folder 展開 writes to: the one chosen, or the one beside the
    // archive (made on first use); empty for the working folder.
    QString destination() const { return destinationFolder; }

    // How long an extraction runs before its progress dialog comes up; 0
    // shows it at once (tests that work with the dialog).
    static void setProgressDelay(int milliseconds);

    // Whether the program counts as started from a terminal, which makes
    // the working folder the 展開先 (decided from the standard streams at
    // start unless set).
    static void setStartedFromTerminal(bool terminal);

    // What a drag out starts with the files' mime data; by default
    // QDrag::exec with the copy action. Tests set their own.
    using DragStarter = std::function<void(QWidget* source, QMimeData* files)>;
    static void setDragStarter(DragStarter starter);

public slots:
    // Renames the output name of the one selected row.
    void changeItem();
    // Search and replace over the output names of the selected rows.
    void replaceItem();
    // Chooses an archive, asks its password if needed, and lists it.
    void readArchive();
    // Writes the entries of the selected rows (all shown rows, once the user
    // agrees, when none is selected) below the 展開先 folder.
    void extractFile();
    // Chooses a folder and writes the entries of the selected rows (all
    // shown rows, once the user agrees, when none is selected) below it,
    // then sums up what was done.
    void extractToFolder();
    // Reads every entry of the listed archive as 展開 would, writing
    // nothing, and sums up what was checked.
    void testArchive();
    // Extracts the entry of the row at index into a private temporary
    // folder and hands it to the desktop's opener (its folder instead when
    // the file could run).
    void openEntry(const QModelIndex& index);
    // Extracts the selected rows into a private temporary folder (with
    // progress) and offers the files to a drag, as copies only.
    void dragOut();
    // Lets the user choose the 展開先 folder.
    void chooseDestination();
    // Reads the names by choice (the 文字コード menu); typed names stay.
    void setNameEncodingChoice(vza::NameEncodingChoice choice);

signals:
    // An extraction has ended and its outcome has been closed.
    void extractionEnded();
    // extractHere() has ended and its summary has been closed. allWritten:
    // every archive was read and none of its entries failed (files kept at
    // the user's word count as done); false when the user stopped it.
    void extractHereFinished(bool allWritten);
    // The rows the filter and the sort column ask for are shown.
    void viewOrderShown();

protected:
    void closeEvent(QCloseEvent* event) override;
    void resizeEvent(QResizeEvent* event) override;
    bool eventFilter(QObject* watched, QEvent* event) override;
    void dragEnterEvent(QDragEnterEvent* event) override;
    void dropEvent(QDropEvent* event) override;

private:
    void createTable(QWidget* central);
    void createLayout(QWidget* central);
    QHBoxLayout* createButtonRow();
    QHBoxLayout* createDestinationRow();
    void createActions();
    void createMenus();
    // Runs work once the window is first exposed (see openArchiveWhenShown()).
    void runWhenShown(std::function<void()> work);

    // How loadArchive() went.
    enum class Loaded { Opened, NotAnArchive, NoPassword, Failed };
    // Reads the archive at chosen, asking its password, and lists it when it
    // opens; otherwise says why in reason. Shows no message of its own.
    Loaded loadArchive(const QString& chosen, QString& reason);

    // Lists the entries of archive afresh, at the top, and updates the
    // status bar, the title and the 展開先.
    void fillTable();
    void forgetArchive();
    void updateCommands();
    void updateStatus();
    void requestViewOrder();
    void showViewOrder(std::vector<std::int32_t> rows, bool identity);
    void resetView();
    void fillRecentMenu();
    // Rows the commands work on: the selected rows in selection order, and
    // their entries.
    QList<int> selectedRows() const;
    QList<int> selectedEntries() const;
    // The rows an extract command works on: the selection, or every row once
    // the user agrees; false when there is nothing to do.
    bool rowsToExtract(std::vector<std::int32_t>& rows);
    // The message boxes of the window: plain-text labels wide enough for
    // Japanese lines, answered by exec().
    int showBox(QMessageBox& box);
    // A dialog asking for a file name: title, the label, name filled in,
    // the field wide enough for a path.
    void prepareNameDialog(QInputDialog& dialog, const QString& title, const QString& name);
    void warn(const QString& title, const QString& text, const QString& detail = QString());

    // The 展開先 (ext_window_destination.cpp). besideArchive: a new folder
    // beside the listed archive, else the working folder when the program
    // was started from a terminal.
    void resetDestination();
    void resetDestination(bool besideArchive);
    bool destinationForExtract(std::string& destination);
    void showDestination();

    // Extraction (ext_window_extract.cpp).
    void startExtraction(vzA_ExtractionRun::Request request);
    void startProgress();
    void showProgress();
    void askOverwrite();
    vzA_ExtractionRun::Answer overwriteAnswer(const vzA_ExtractionRun::Question& question, std::string& newName);
    bool askNewName(const QString& proposed, QString& name);
    void finishExtraction();
    void stopExtraction();
    void finishTest();
    void openExtracted(const vzA_ExtractionRun::Outcome& outcome);
    QString newPrivateFolder();
    void reportExtraction(const vzA_ExtractionRun::Outcome& outcome, const QString& folder);
    void summariseExtraction(const vzA_ExtractionRun::Outcome& outcome, const QString& folder);
    // Shows box with フォルダを開く, which opens the folders (none: box alone).
    void offerFolders(QMessageBox& box, const QStringList& folders);
    QString problemText(const vza::Extractor::Result& result) const;
    QString verdictText(vza::NameVerdict verdict) const;
    QString rowName(int row) const;
    // The lines of a summary's details: each failed, then each skipped row
    // with its reason, up to a limit and a line for the rest.
    QStringList problemLines(const vzA_ExtractionRun::Outcome& outcome) const;
    // 書き込み: … 個、スキップ: … 個、失敗: … 個
    QString countsText(std::size_t written, std::size_t skipped, std::size_t failed) const;

    // Extract here (ext_window_here.cpp).
    struct HereArchive {
        QString name;     // the archive's file name, as shown
        QString folder;   // where its entries went; empty when they did not
        QString problem;  // why nothing was extracted, if so
        std::size_t written = 0, skipped = 0, failed = 0;
        bool cancelled = false;
        QStringList details;  // its rows that failed or were kept, with reasons
    };
    void extractNextHere();
    void finishHereArchive(const vzA_ExtractionRun::Outcome& outcome);
    void summariseHere();

    QTableView* table = nullptr;
    vzA_EntryModel* model = nullptr;
    QFrame* frame = nullptr;
    vzA_ReplaceDialog* replaceDialog = nullptr;
    vzA_PasswordDialog* passwordDialog = nullptr;
    QLabel* statusLabel = nullptr;
    QLineEdit* filterEdit = nullptr;
    vzA_ViewOrderBuilder* viewBuilder = nullptr;
    QLabel* destinationLabel = nullptr;
    QPushButton* destinationButton = nullptr;

    QAction* quitAction = nullptr;
    QAction* readAction = nullptr;
    QAction* changeAction = nullptr;
    QAction* replaceAction = nullptr;
    QAction* extractAction = nullptr;
    QAction* extractToFolderAction = nullptr;
    QAction* testAction = nullptr;
    QAction* aboutQtAction = nullptr;
    QAction* menuKeyAction = nullptr;
    QAction* filterAction = nullptr;
    QMenu* recentMenu = nullptr;

    vza::Archive archive;
    QString archivePath;            // the listed archive, for the status bar
    std::function<void()> onShown;  // to run once the window is exposed
    std::uint64_t totalSize = 0;
    vza::NameEncodingChoice nameChoice = vza::NameEncodingChoice::Auto;

    // Where 展開 writes: a folder the user chose or that was made beside the
    // archive, the working folder (destinationFolder empty, started from a
    // terminal), or a folder beside the archive still to be made.
    QString destinationFolder;
    bool destinationPending = false;

    // The extraction running, if any; it is joined before archive goes.
    std::unique_ptr<vzA_ExtractionRun> extraction;
    std::unique_ptr<vzA_TestRun> testRun;  // テスト, likewise
    bool extracting = false;               // from the start until the outcome is closed
    bool askingOverwrite = false;
    QString extractionFolder;  // its destination, as shown
    // What follows the run: 展開's one message, フォルダへ展開's summary, or
    // handing the one file to the desktop's opener.
    enum class AfterRun { Report, Summary, Open, Drag, Here };
    AfterRun afterRun = AfterRun::Report;
    std::unique_ptr<QTemporaryDir> openFolder;  // entries opened, until the program ends
    int opened = 0;
    bool* draggedOk = nullptr;  // set while a drag out waits for its files
    static DragStarter dragStarter;
    QElapsedTimer extractionClock;
    QTimer* progressTimer = nullptr;
    QProgressDialog* progressDialog = nullptr;
    QPointer<QMessageBox> quitQuestion;  // 展開を中止して終了しますか？ while it is up

    // extractHere(): the archives still to do, and those done.
    bool extractingHere = false;
    bool hereCancelled = false;  // the user pressed キャンセル meanwhile
    QStringList hereQueue;
    std::vector<HereArchive> hereDone;
};
