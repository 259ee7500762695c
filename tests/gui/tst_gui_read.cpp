// SPDX-License-Identifier: MIT
// The read-archive command: every way a read can end, and what it leaves
// in the table and the window's archive.
#include <QDir>
#include <QLabel>
#include <QTableView>
#include <QTest>

#include "ext_window.h"
#include "gui_test_support.h"
#include "vza/archive/format/format.h"

using namespace guitest;

namespace {

const std::vector<Entry> ThreeEntries{
    {"a.txt", "alpha"},
    {"dir/b.bin", QByteArray(5000, 'b')},  // long enough to be stored compressed
    {"c", "gamma"},
};
const QStringList ThreeNames{"a.txt", "dir/b.bin", "c"};

// Builds the file a case reads.
bool makeFile(const QString& kind, const QString& path)
{
    if (kind == "plain")
        return writeArchive(path, ThreeEntries);
    if (kind == "compressed")
        return writeArchive(path, ThreeEntries, vza::FlagCompressed);
    if (kind == "encrypted")
        return writeArchive(path, ThreeEntries, vza::FlagEncrypted | vza::FlagCompressed, "secret");
    if (kind == "no entries")
        return writeArchive(path, {});
    if (kind == "text")
        return writeFile(path, "just some text, no archive\n");
    if (kind == "7 bytes")
        return writeFile(path, QByteArray("\x00\x1d\x4f\xd6\x00\x00\x00", 7));
    if (kind == "flags 255")
        return writeFile(path, QByteArray("\x00\x1d\x4f\xd6\x00\x00\x00\xff", 8) + QByteArray(24, '\0'));
    if (kind == "cut index") {
        if (!writeArchive(path, ThreeEntries))
            return false;
        return writeFile(path, readFile(path).left(40));
    }
    return false;
}

}  // namespace

class ReadTest : public GuiFixture {
    Q_OBJECT

private slots:
    void readOutcome_data();
    void readOutcome();
    void rereadResetsOutputNames();
    void passwordDialogKeepsLastPassword();
    void wrongPasswordAsksAgain();
    void passwordDialogCentred_data();
    void passwordDialogCentred();

private:
    // Lists kept.vza with its one entry keep.txt, as the archive read before.
    void listPrevious();
    // The previous archive is still listed and still extracts.
    void checkPreviousKept();
};

void ReadTest::listPrevious()
{
    QVERIFY(writeArchive("kept.vza", {{"keep.txt", "kept"}}));
    QCOMPARE(lines(read("kept.vza")), QStringList{FileDialog});
    QCOMPARE(column(1), QStringList{"keep.txt"});
}

void ReadTest::checkPreviousKept()
{
    QCOMPARE(column(0), QStringList{"keep.txt"});
    QCOMPARE(column(1), QStringList{"keep.txt"});
    selectRows({0});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})), QStringList{ExtractDoneBox});
    QCOMPARE(readFile("keep.txt"), QByteArray("kept"));
}

void ReadTest::readOutcome_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("password");  // typed into the password dialog, or <cancel>
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<bool>("kept");         // the archive listed before stays listed
    QTest::addColumn<QStringList>("rows");  // otherwise, the data-name column afterwards

    const QString cancel = "<cancel>";
    const QStringList file{FileDialog};
    const QStringList asked{FileDialog, PasswordDialog};
    const QStringList notRead{FileDialog, ReadFailedBox};
    const QStringList openFailed{FileDialog, OpenFailedBox};
    const QStringList none;

    QTest::newRow("file dialog cancelled") << "plain"
                                           << "" << file << true << none;
    QTest::newRow("plain") << "plain"
                           << "" << file << false << ThreeNames;
    QTest::newRow("compressed: no password asked") << "compressed"
                                                   << "" << file << false << ThreeNames;
    QTest::newRow("no entries") << "no entries"
                                << "" << file << false << none;
    QTest::newRow("encrypted, right password") << "encrypted"
                                               << "secret" << asked << false << ThreeNames;
    QTest::newRow("encrypted, password cancelled") << "encrypted" << cancel << asked << true << none;
    // A wrong password is asked for again, three times in all.
    const QStringList thrice{FileDialog, PasswordDialog, PasswordDialog, PasswordDialog, OpenFailedBox};
    QTest::newRow("encrypted, wrong password") << "encrypted"
                                               << "Secret" << thrice << false << none;
    QTest::newRow("encrypted, empty password") << "encrypted"
                                               << "" << thrice << false << none;
    QTest::newRow("not an archive") << "text"
                                    << "" << notRead << true << none;
    QTest::newRow("7 bytes") << "7 bytes"
                             << "" << notRead << true << none;
    QTest::newRow("flags word 255") << "flags 255"
                                    << "" << notRead << true << none;
    QTest::newRow("index cut short") << "cut index"
                                     << "" << openFailed << false << none;
}

void ReadTest::readOutcome()
{
    QFETCH(QString, kind);
    QFETCH(QString, password);
    QFETCH(QStringList, seen);
    QFETCH(bool, kept);
    QFETCH(QStringList, rows);

    listPrevious();
    QVERIFY(makeFile(kind, "case.vza"));

    // Answer each dialog the case expects after the file dialog.
    std::vector<ModalScript::Step> steps;
    for (const QString& line : seen.mid(1))
        steps.push_back(line != PasswordDialog   ? closeBox()
                        : password == "<cancel>" ? cancel()
                                                 : enterPassword(password));
    const bool cancelFile = QByteArray(QTest::currentDataTag()) == "file dialog cancelled";
    const QList<Seen> got = cancelFile ? run(&vzA_ExtWindow::readArchive, {cancel()}) : read("case.vza", steps);
    QCOMPARE(lines(got), seen);
    // A failed open names the file and says why.
    const QMap<QByteArray, QString> reasons{
        {"encrypted, wrong password", "パスワードが違うか、ヘッダが壊れています"},
        {"encrypted, empty password", "パスワードが必要です"},
        {"index cut short", "インデックスが壊れています"},
    };
    if (seen.last() == OpenFailedBox)
        QCOMPARE(got.last().value, "対象: case.vza\n原因: " + reasons.value(QTest::currentDataTag()));
    QCOMPARE(got[0].value, QDir::currentPath());  // the file dialog starts here

    if (kept) {
        checkPreviousKept();
        return;
    }
    QCOMPARE(column(1), rows);
    QCOMPARE(column(0), rows);  // output names start as the stored names
    for (int row = 0; row < rowCount(); ++row)
        QCOMPARE(table()->rowHeight(row), 20);

    // The archive in the window is the one listed: every row extracts.
    if (!rows.isEmpty()) {
        QVERIFY(QDir().mkdir("dir"));
        selectRows({0, 1, 2});
        QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})), QStringList{ExtractDoneBox});
        QCOMPARE(window->windowTitle(), "VZ Archive Extract - case.vza");
        for (std::size_t i = 0; i < ThreeEntries.size(); ++i)
            QCOMPARE(readFile(ThreeNames[int(i)]), ThreeEntries[i].data);
    }
}

void ReadTest::rereadResetsOutputNames()
{
    QVERIFY(makeFile("plain", "case.vza"));
    QCOMPARE(lines(read("case.vza")), QStringList{FileDialog});
    selectRows({1});
    QCOMPARE(lines(run(&vzA_ExtWindow::changeItem, {enterText("renamed")})), QStringList{RenameDialog});
    QCOMPARE(column(0), (QStringList{"a.txt", "renamed", "c"}));

    QCOMPARE(lines(read("case.vza")), QStringList{FileDialog});
    QCOMPARE(column(0), ThreeNames);
    QCOMPARE(selectedRows(), QList<int>{});
}

// The field is never cleared: a second encrypted archive offers the last
// password, masked.
void ReadTest::passwordDialogKeepsLastPassword()
{
    QVERIFY(makeFile("encrypted", "one.vza"));
    QVERIFY(makeFile("encrypted", "two.vza"));
    const QList<Seen> first = read("one.vza", {enterPassword("secret")});
    QCOMPARE(lines(first), (QStringList{FileDialog, PasswordDialog}));
    QCOMPARE(first[1].value, QString());

    const QList<Seen> second = read("two.vza", {cancel()});
    QCOMPARE(lines(second), (QStringList{FileDialog, PasswordDialog}));
    QCOMPARE(second[1].value, QStringLiteral("secret"));
    QCOMPARE(column(1), ThreeNames);  // cancelled: one.vza stays listed
}

// The dialog names the archive; after a wrong password it says so and asks
// again, with the wrong one still there to correct.
void ReadTest::wrongPasswordAsksAgain()
{
    QVERIFY(makeFile("encrypted", "one.vza"));
    QStringList notes;
    const auto note = [&notes](const ModalScript::Step& then) {
        return [&notes, then](QWidget* dialog) {
            notes << dialog->findChild<QLabel*>("passwordArchiveLabel")->text();
            then(dialog);
        };
    };
    const QList<Seen> seen =
        read("one.vza", {note(enterPassword("Secret")), note(enterPassword("secreT")), note(enterPassword("secret"))});
    QCOMPARE(lines(seen), (QStringList{FileDialog, PasswordDialog, PasswordDialog, PasswordDialog}));
    QCOMPARE(seen[2].value, "Secret");
    const QString ask = "one.vza のパスワードを入力して下さい。";
    QCOMPARE(notes, (QStringList{ask, "パスワードが違います。もう一度入力して下さい。\n" + ask,
                                 "パスワードが違います。もう一度入力して下さい。\n" + ask}));
    QCOMPARE(column(1), ThreeNames);
}

void ReadTest::passwordDialogCentred_data()
{
    QTest::addColumn<bool>("atStart");  // named on the command line, else read by the command
    QTest::newRow("read command") << false;
    // The window is placed only some time after the program asked for the
    // archive, as a window manager does.
    QTest::newRow("named at start, window placed late") << true;
}

// The dialog comes up centred over the main window, wherever that is.
void ReadTest::passwordDialogCentred()
{
    QFETCH(bool, atStart);
    QVERIFY(makeFile("encrypted", "one.vza"));
    // Both measured while the dialog is up.
    QPoint dialogCentre;
    QPoint windowCentre;
    bool windowShown = false;
    const ModalScript::Step measure = [&](QWidget* dialog) {
        dialogCentre = dialog->frameGeometry().center();
        windowCentre = window->frameGeometry().center();
        windowShown = window->isVisible();
        dialog->close();
    };
    std::vector<ModalScript::Step> steps{measure};
    if (!atStart) {
        window->move(430, 170);
        steps.insert(steps.begin(), chooseFile("one.vza"));
    } else {
        window = std::make_unique<vzA_ExtWindow>();
        window->openArchiveWhenShown(QDir::current().absoluteFilePath("one.vza"));
        // Placed once the program is back in its event loop, after it asked.
        QTimer::singleShot(0, window.get(), [this] {
            window->move(430, 170);
            window->show();
        });
    }
    ModalScript script(steps);
    if (!atStart)
        window->readArchive();
    else
        QTRY_VERIFY(!dialogCentre.isNull());
    const QList<Seen> seen = script.result();
    QCOMPARE(lines(seen).last(), PasswordDialog);
    QVERIFY(windowShown);
    const QPoint offset = dialogCentre - windowCentre;
    QVERIFY2(
        offset.manhattanLength() <= 4,
        qPrintable(QStringLiteral("dialog centre off by %1,%2 from the window's").arg(offset.x()).arg(offset.y())));
}

QTEST_MAIN(ReadTest)
#include "tst_gui_read.moc"
