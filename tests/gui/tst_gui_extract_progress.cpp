// SPDX-License-Identifier: MIT
// While an extraction runs: the progress dialog and its Cancel, what the
// window allows meanwhile, and closing the window during a run.
#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QProgressDialog>
#include <QPushButton>
#include <QTest>
#include <QUrl>

#include "ext_window.h"
#include "gui_test_support.h"
#include "vza/archive/format/format.h"

using namespace guitest;

namespace {

// Enough entries for several threads; the progress tests hold the run
// after its first row, so its speed does not matter. A run that is stopped
// must leave rows unwritten: more than the engine reads ahead while the
// first row is held (a few batches a thread).
constexpr int ManyCount = 2000;
// A run that is let go to its end writes every row: enough for several
// batches, and few enough to stay cheap under the sanitizers.
constexpr int FinishedCount = 300;
const QString QuitQuestion = QStringLiteral("box+buttons|展開中|展開を中止して終了しますか？");

QByteArray entryName(int i)
{
    return "d" + QByteArray::number(i % 30) + "/e" + QByteArray::number(i);
}

}  // namespace

class ExtractProgressTest : public GuiFixture {
    Q_OBJECT

private slots:
    void cancelFromProgress();
    void escapeFromProgress();
    void progressKeepsItsWidth();
    void closeDuringRun_data();
    void closeDuringRun();

private:
    void listMany(int count = ManyCount);
    QProgressDialog* startHeld();
};

void ExtractProgressTest::listMany(int count)
{
    std::vector<Entry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({entryName(i), entryName(i)});
    QVERIFY(writeArchive("many.vza", entries, vza::FlagEncrypted, "pw"));
    QCOMPARE(lines(read("many.vza", {enterPassword("pw")})), (QStringList{FileDialog, PasswordDialog}));
    table()->selectAll();
}

// Starts 展開 of every row, held after its first row (so it is still running
// however fast the machine is), and waits for the progress dialog.
QProgressDialog* ExtractProgressTest::startHeld()
{
    vzA_ExtractionRun::holdAfterFirstRow(true);
    vzA_ExtWindow::setProgressDelay(0);
    window->extractFile();
    QProgressDialog* progress = nullptr;
    const auto shown = [&] {
        progress = window->findChild<QProgressDialog*>("progressDialog");
        return progress && progress->isVisible();
    };
    [&] { QTRY_VERIFY(shown()); }();
    return progress;
}

// Cancel in the progress dialog stops the run: the entries written stay
// whole, nothing half-written is left, and no message follows. Meanwhile
// the commands and drops are refused.
void ExtractProgressTest::cancelFromProgress()
{
    listMany();
    ModalScript script({});
    QProgressDialog* progress = startHeld();
    QVERIFY(progress);
    QVERIFY(!progress->isModal());  // the window still takes Ctrl+Q and its close box
    QMimeData mime;
    mime.setUrls({QUrl::fromLocalFile(QDir::current().absoluteFilePath("many.vza"))});
    QDragEnterEvent enter(QPoint(5, 5), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QVERIFY(!enter.isAccepted());
    for (const char* name : {"readAction", "changeAction", "replaceAction", "extractAction", "extractToFolderAction"})
        QVERIFY2(!action(name)->isEnabled(), name);
    QVERIFY(!window->findChild<QPushButton*>("readButton")->isEnabled());

    progress->findChild<QPushButton*>()->click();  // キャンセル
    waitForExtraction();
    QCOMPARE(lines(script.result()), QStringList{});  // and no message after
    QVERIFY(action("readAction")->isEnabled() && action("extractAction")->isEnabled());
    const QStringList files = filesBelow(".");
    QVERIFY(files.size() < ManyCount + 1);
    for (const QString& file : files)
        if (file != "many.vza")
            QCOMPARE(readFile(file), file.toUtf8());
}

// Escape in the progress dialog cancels like its button.
void ExtractProgressTest::escapeFromProgress()
{
    listMany();
    ModalScript script({});
    QTest::keyClick(startHeld(), Qt::Key_Escape);
    waitForExtraction();
    QCOMPARE(lines(script.result()), QStringList{});
    QVERIFY(filesBelow(".").size() < ManyCount + 1);
}

// A long name is shortened in the middle; the dialog does not grow.
void ExtractProgressTest::progressKeepsItsWidth()
{
    const QByteArray level = "とても長い日本語のフォルダ名がここに続きます";
    const QByteArray name = level + "/" + level + "/" + level + "/最後のファイル.txt";
    QVERIFY(writeArchive("long.vza", {{name, "1"}, {"second.txt", "2"}}));
    QCOMPARE(lines(read("long.vza")), QStringList{FileDialog});
    table()->selectAll();
    ModalScript closeWhatComes({});  // the second row may be done before the cancel
    QProgressDialog* progress = startHeld();
    QTRY_VERIFY(progress->findChild<QLabel*>()->text().contains(QChar(0x2026)));
    QCOMPARE(progress->width(), 420);
    progress->findChild<QPushButton*>()->click();  // キャンセル
    waitForExtraction();
}

void ExtractProgressTest::closeDuringRun_data()
{
    QTest::addColumn<QString>("how");     // close box, Ctrl+Q in the window or in the progress dialog
    QTest::addColumn<QString>("answer");  // yes, no, or none: the run ends while the question is up
    for (const char* how : {"close box", "Ctrl+Q in the window", "Ctrl+Q in the progress dialog"})
        for (const char* answer : {"yes", "no", "none"})
            QTest::addRow("%s, %s", how, answer) << how << answer;
}

// Closing the window during a run asks first. はい stops the run (joined
// before the window goes); いいえ lets it finish and the program stays; when
// the run ends while the question is up, the question goes, the outcome
// shows and the program stays.
void ExtractProgressTest::closeDuringRun()
{
    QFETCH(QString, how);
    QFETCH(QString, answer);
    // はい must leave rows unwritten; the other answers write them all.
    const int count = answer == "yes" ? ManyCount : FinishedCount;
    listMany(count);
    const ModalScript::Step reply = answer == "yes" ? press(QMessageBox::Yes)
                                    : answer == "no"
                                        ? ModalScript::Step([](QWidget* widget) {
                                              press(QMessageBox::No)(widget);
                                              vzA_ExtractionRun::releaseHeld();
                                          })
                                        : ModalScript::Step([](QWidget*) { vzA_ExtractionRun::releaseHeld(); });
    ModalScript script({reply, closeBox()});
    QProgressDialog* progress = startHeld();
    if (how == "close box") {
        // Queued, as a window manager's request comes.
        QMetaObject::invokeMethod(window.get(), &QWidget::close, Qt::QueuedConnection);
    } else {
        QWidget* target = how == "Ctrl+Q in the window" ? static_cast<QWidget*>(window.get()) : progress;
        target->activateWindow();
        QVERIFY(QTest::qWaitFor([target] { return QApplication::activeWindow() == target; }));
        QTest::keySequence(target, QKeySequence(QStringLiteral("Ctrl+Q")));
    }
    if (answer == "yes") {
        QTRY_VERIFY(!window->isVisible());
        QCOMPARE(lines(script.result()).first(), QuitQuestion);
        QVERIFY(filesBelow(".").size() < ManyCount + 1);
        window.reset();  // nothing left running to outlive it
        return;
    }
    waitForExtraction();
    QCOMPARE(lines(script.result()), (QStringList{QuitQuestion, ExtractDoneBox}));
    QVERIFY(window->isVisible());
    QCOMPARE(filesBelow(".").size(), count + 1);
}

QTEST_MAIN(ExtractProgressTest)
#include "tst_gui_extract_progress.moc"
