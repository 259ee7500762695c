// SPDX-License-Identifier: MIT
// The program as part of the desktop: its command line, files dropped on the
// window, the folder the file dialog remembers, the status bar, Qt's own
// texts in Japanese, and a table that starts at the top for each archive.
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QHeaderView>
#include <QLabel>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QTableView>
#include <QTest>
#include <QTranslator>
#include <QUrl>

#include <sys/stat.h>

#include "command_line.h"
#include "ext_window.h"
#include "gui_test_support.h"
#include "qt_translation.h"
#include "ui_language.h"

using namespace guitest;

namespace {

std::vector<Entry> numberedEntries(int count, const QByteArray& prefix)
{
    std::vector<Entry> entries;
    for (int i = 0; i < count; ++i)
        entries.push_back({prefix + QByteArray::number(i), "x"});
    return entries;
}

}  // namespace

class DesktopTest : public GuiFixture {
    Q_OBJECT

private slots:
    void commandLine_data();
    void commandLine();
    void dropArchive_data();
    void dropArchive();
    void refusedBeforeReading_data();
    void refusedBeforeReading();
    void keyboard();
    void languageRule();
    void englishTexts();
    void recentArchivesAndGeometry();
    void fileDialogRemembersFolder();
    void statusBar();
    void qtTextsInJapanese();
    void newArchiveAtTop();
    void widthsOnceScrollBarKnown();

private:
    QString statusText() const;
};

QString DesktopTest::statusText() const
{
    return window->findChild<QLabel*>(QStringLiteral("statusLabel"))->text();
}

void DesktopTest::commandLine_data()
{
    QTest::addColumn<QStringList>("arguments");
    QTest::addColumn<int>("action");
    QTest::addColumn<QStringList>("files");

    const int run = int(CommandLine::Action::Run);
    const int here = int(CommandLine::Action::ExtractHere);
    const int help = int(CommandLine::Action::Help);
    const int version = int(CommandLine::Action::Version);
    const int error = int(CommandLine::Action::Error);
    const QStringList none;
    QTest::newRow("nothing") << none << run << none;
    QTest::newRow("a file") << QStringList{"a.vza"} << run << QStringList{"a.vza"};
    QTest::newRow("help") << QStringList{"--help"} << help << none;
    QTest::newRow("-h after a file") << QStringList{"a.vza", "-h"} << help << none;
    QTest::newRow("version") << QStringList{"--version"} << version << none;
    QTest::newRow("a file named like an option") << QStringList{"--", "--help"} << run << QStringList{"--help"};
    QTest::newRow("a file named -") << QStringList{"-"} << run << QStringList{"-"};
    QTest::newRow("unknown option") << QStringList{"--verbose", "a.vza"} << error << none;
    QTest::newRow("two files") << QStringList{"a.vza", "b.vza"} << error << none;
    // What a file manager's %F gives: every file as one argument, in order.
    QTest::newRow("extract here") << QStringList{"--extract-here", "/a b/x y.vza", "/it's.vza"} << here
                                  << QStringList{"/a b/x y.vza", "/it's.vza"};
    QTest::newRow("extract here after its file")
        << QStringList{"a.vza", "--extract-here"} << here << QStringList{"a.vza"};
    QTest::newRow("extract here, a file named like an option")
        << QStringList{"--extract-here", "--", "--help"} << here << QStringList{"--help"};
    QTest::newRow("extract here without a file") << QStringList{"--extract-here"} << error << none;
    QTest::newRow("extract here, help wins") << QStringList{"--extract-here", "a.vza", "--help"} << help << none;
}

void DesktopTest::commandLine()
{
    QFETCH(QStringList, arguments);
    QFETCH(int, action);
    QFETCH(QStringList, files);

    const CommandLine line = parseCommandLine(arguments);
    QCOMPARE(int(line.action), action);
    if (action == int(CommandLine::Action::ExtractHere)) {
        QCOMPARE(line.files, files);
        QCOMPARE(line.file, QString());
    } else {
        QCOMPARE(line.file, files.value(0));
        QVERIFY(line.files.isEmpty());
    }
    QCOMPARE(line.error.isEmpty(), action != int(CommandLine::Action::Error));

    // Before Qt starts only --help and --version are looked for.
    QList<QByteArray> bytes{"vza-extract"};
    for (const QString& argument : arguments)
        bytes << argument.toUtf8();
    std::vector<char*> argv;
    for (QByteArray& b : bytes)
        argv.push_back(b.data());
    const CommandLine early = earlyCommandLine(int(argv.size()), argv.data());
    const bool answeredEarly = action == int(CommandLine::Action::Help) || action == int(CommandLine::Action::Version);
    QCOMPARE(int(early.action), answeredEarly ? action : int(CommandLine::Action::Run));
}

void DesktopTest::dropArchive_data()
{
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<bool>("accepted");

    QTest::newRow("one archive") << QStringList{"drop.vza"} << true;
    QTest::newRow("upper-case extension") << QStringList{"DROP.VZA"} << true;
    QTest::newRow("not an archive name") << QStringList{"drop.txt"} << false;
    QTest::newRow("two archives") << QStringList{"drop.vza", "DROP.VZA"} << false;
}

// A dragged .vza file is taken and read as the read command reads it.
void DesktopTest::dropArchive()
{
    QFETCH(QStringList, files);
    QFETCH(bool, accepted);

    QMimeData mime;
    QList<QUrl> urls;
    for (const QString& file : files) {
        QVERIFY(writeArchive(file, {{file.toUtf8() + "-entry", "x"}}));
        urls << QUrl::fromLocalFile(QDir::current().absoluteFilePath(file));
    }
    mime.setUrls(urls);

    const QPoint middle = window->rect().center();
    QDragEnterEvent enter(middle, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &enter);
    QCOMPARE(enter.isAccepted(), accepted);
    if (!accepted)
        return;
    QDropEvent drop(QPointF(middle), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(window.get(), &drop);
    QVERIFY(drop.isAccepted());
    QTRY_COMPARE(column(1), QStringList{files[0] + "-entry"});
}

void DesktopTest::refusedBeforeReading_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("reason");
    QTest::newRow("FIFO") << "fifo"
                          << "通常のファイルではありません";
    QTest::newRow("folder") << "folder"
                            << "フォルダです";
    QTest::newRow("missing (named on the command line)") << "missing"
                                                         << "ファイルまたはフォルダがありません";
}

// Only a regular file is read: a FIFO named .vza is refused at once, where
// reading it would hold the window until some writer came. Each box names
// the file and says why; the archive listed before stays.
void DesktopTest::refusedBeforeReading()
{
    QFETCH(QString, kind);
    QFETCH(QString, reason);
    QVERIFY(writeArchive("listed.vza", {{"kept.txt", "k"}}));
    QCOMPARE(lines(read("listed.vza")), QStringList{FileDialog});
    const QString path = QDir::current().absoluteFilePath("x.vza");
    if (kind == "fifo")
        QCOMPARE(mkfifo(QFile::encodeName(path).constData(), 0600), 0);
    else if (kind == "folder")
        QVERIFY(QDir().mkdir(path));

    ModalScript script({closeBox()});
    if (kind == "missing") {
        window->openArchive(path);
    } else {
        QMimeData mime;
        mime.setUrls({QUrl::fromLocalFile(path)});
        const QPoint middle = window->rect().center();
        QDragEnterEvent enter(middle, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &enter);
        QVERIFY(enter.isAccepted());  // by its name; what it is shows only when it is read
        QDropEvent drop(QPointF(window->rect().center()), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
        QApplication::sendEvent(window.get(), &drop);
    }
    QTRY_COMPARE(lines(script.result()), QStringList{ReadFailedBox});
    QCOMPARE(script.result()[0].value, "対象: x.vza\n原因: " + reason);
    QCOMPARE(column(1), QStringList{"kept.txt"});
    QCOMPARE(window->windowTitle(), "VZ Archive Extract - listed.vza");
}

// Once rows are listed the keys work on them: the table has the focus, Tab
// leaves it for the buttons without moving the selection, and F10 opens the
// first menu, from which every entry is reached.
void DesktopTest::keyboard()
{
    QVERIFY(writeArchive("three.vza", numberedEntries(3, "e")));
    QCOMPARE(lines(read("three.vza")), QStringList{FileDialog});
    QVERIFY(activateMainWindow());
    QTRY_COMPARE(QApplication::focusWidget(), table());
    selectRows({1});
    QTest::keyClick(table(), Qt::Key_Tab);
    QVERIFY(qobject_cast<QPushButton*>(QApplication::focusWidget()));
    QCOMPARE(selectedRows(), QList<int>{1});

    QTest::keyClick(window.get(), Qt::Key_F10);
    QTRY_COMPARE(window->menuBar()->activeAction(), window->menuBar()->actions().first());
    QTest::keyClick(QApplication::activePopupWidget() ? QApplication::activePopupWidget() : window.get(),
                    Qt::Key_Escape);
}

// The first entry of LANGUAGE, else LC_ALL, LC_MESSAGES, LANG: unset, C,
// POSIX or ja* mean Japanese.
void DesktopTest::languageRule()
{
    const char* names[] = {"LANGUAGE", "LC_ALL", "LC_MESSAGES", "LANG"};
    struct Case {
        const char* values[4];
        bool japanese;
    };
    const Case cases[] = {
        {{"", "", "", ""}, true},
        {{"", "", "", "C"}, true},
        {{"", "", "", "C.UTF-8"}, true},
        {{"", "POSIX", "", "en_US.UTF-8"}, true},
        {{"", "", "", "ja_JP.UTF-8"}, true},
        {{"", "", "", "en_US.UTF-8"}, false},
        {{"", "", "de_DE.UTF-8", "ja_JP.UTF-8"}, false},
        {{"ja", "en_US.UTF-8", "", ""}, true},
        {{"en", "ja_JP.UTF-8", "", ""}, false},
        {{"en_GB:ja", "", "", "ja_JP.UTF-8"}, false},
        {{"ja:en", "", "", "en_US.UTF-8"}, true},
    };
    QList<QByteArray> saved;
    for (const char* name : names)
        saved << qgetenv(name);
    for (const Case& c : cases) {
        for (int i = 0; i < 4; ++i)
            qputenv(names[i], c.values[i]);
        const QString values = QStringList{c.values[0], c.values[1], c.values[2], c.values[3]}.join('|');
        QVERIFY2(wantsJapanese() == c.japanese, qPrintable(values));
    }
    for (int i = 0; i < 4; ++i)
        qputenv(names[i], saved[i]);
}

// In English the window's texts come from the embedded translation.
void DesktopTest::englishTexts()
{
    QVERIFY(installTranslations(*qApp, false));
    window = std::make_unique<vzA_ExtWindow>();
    QStringList shown{
        window->findChild<QPushButton*>("readButton")->text(), window->findChild<QPushButton*>("extractButton")->text(),
        window->menuBar()->actions().first()->text(), table()->model()->headerData(2, Qt::Horizontal).toString()};
    for (QTranslator* translator : qApp->findChildren<QTranslator*>())
        qApp->removeTranslator(translator), delete translator;
    QCOMPARE(shown, (QStringList{"Open", "Extract", "Application", "Size"}));
}

// The 最近使ったファイル menu holds the last ten archives read, newest first,
// each once, also in a later run; the window comes back where it was.
void DesktopTest::recentArchivesAndGeometry()
{
    for (int i = 0; i < 12; ++i) {
        const QString name = QStringLiteral("r%1.vza").arg(i);
        QVERIFY(writeArchive(name, {{"x", "x"}}));
        QCOMPARE(lines(read(name)), QStringList{FileDialog});
    }
    QCOMPARE(lines(read("r5.vza")), QStringList{FileDialog});
    window->move(120, 90);
    window->resize(640, 480);
    QVERIFY(window->close());

    window = std::make_unique<vzA_ExtWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    QCOMPARE(window->size(), QSize(640, 480));
    auto* recent = window->findChild<QAction*>("recentMenuAction")->menu();
    emit recent->aboutToShow();
    QStringList shown;
    for (QAction* action : recent->actions())
        shown << QFileInfo(action->text()).fileName();
    QCOMPARE(shown, (QStringList{"r5.vza", "r11.vza", "r10.vza", "r9.vza", "r8.vza", "r7.vza", "r6.vza", "r4.vza",
                                 "r3.vza", "r2.vza"}));
    recent->actions()[2]->trigger();
    QCOMPARE(window->windowTitle(), "VZ Archive Extract - r10.vza");
}

// The file dialog starts in the folder of the archive read last, also in a
// later run of the program, and in the working folder when that is gone.
void DesktopTest::fileDialogRemembersFolder()
{
    QVERIFY(QDir().mkpath("far/away"));
    QVERIFY(writeArchive("far/away/one.vza", {{"one", "1"}}));
    QList<Seen> seen = read("far/away/one.vza");
    QCOMPARE(seen[0].value, QDir::currentPath());  // first time: the working folder
    QCOMPARE(column(1), QStringList{"one"});

    seen = run(&vzA_ExtWindow::readArchive, {cancel()});
    QCOMPARE(seen[0].value, QDir::current().absoluteFilePath("far/away"));

    window = std::make_unique<vzA_ExtWindow>();
    seen = run(&vzA_ExtWindow::readArchive, {cancel()});
    QCOMPARE(seen[0].value, QDir::current().absoluteFilePath("far/away"));

    QVERIFY(QDir("far").removeRecursively());
    seen = run(&vzA_ExtWindow::readArchive, {cancel()});
    QCOMPARE(seen[0].value, QDir::currentPath());
}

void DesktopTest::statusBar()
{
    QCOMPARE(statusText(), QString());
    QVERIFY(writeArchive("sizes.vza", {{"a", QByteArray(1000, 'a')}, {"b", QByteArray(234, 'b')}, {"c", ""}}));
    QCOMPARE(lines(read("sizes.vza")), QStringList{FileDialog});
    QCOMPARE(statusText(), QStringLiteral("sizes.vza　ファイル数: 3　合計サイズ: 1,234 バイト"));

    // A failed read leaves nothing listed, and nothing in the status bar.
    QVERIFY(writeFile("cut.vza", readFile("sizes.vza").left(40)));
    QCOMPARE(lines(read("cut.vza", {closeBox()})), (QStringList{FileDialog, OpenFailedBox}));
    QCOMPARE(statusText(), QString());
}

void DesktopTest::qtTextsInJapanese()
{
    QVERIFY(loadQtTranslation(*qApp));
    QMessageBox box;
    box.setStandardButtons(QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    QCOMPARE(box.button(QMessageBox::Yes)->text(), QStringLiteral("はい(&Y)"));
    QCOMPARE(box.button(QMessageBox::No)->text(), QStringLiteral("いいえ(&N)"));
    QCOMPARE(box.button(QMessageBox::Cancel)->text(), QStringLiteral("キャンセル"));
}

void DesktopTest::newArchiveAtTop()
{
    QVERIFY(writeArchive("first.vza", numberedEntries(300, "first")));
    QVERIFY(writeArchive("second.vza", numberedEntries(300, "second")));
    QCOMPARE(lines(read("first.vza")), QStringList{FileDialog});
    table()->scrollToBottom();
    QTRY_VERIFY(table()->verticalScrollBar()->value() > 0);
    QCOMPARE(lines(read("second.vza")), QStringList{FileDialog});
    QCOMPARE(table()->verticalScrollBar()->value(), 0);
    QCOMPARE(table()->rowAt(0), 0);
}

// Reading an archive that brings the vertical scroll bar up (or takes it
// away) shares the width again once the bar shows: no column hides under it.
void DesktopTest::widthsOnceScrollBarKnown()
{
    QVERIFY(writeArchive("long.vza", numberedEntries(500, "long")));
    QVERIFY(writeArchive("short.vza", numberedEntries(2, "short")));
    QTableView* t = table();
    for (const QString& name : {QStringLiteral("long.vza"), QStringLiteral("short.vza")}) {
        QCOMPARE(lines(read(name)), QStringList{FileDialog});
        QTRY_COMPARE(t->verticalScrollBar()->isVisible(), name == "long.vza");
        const auto all = [t] { return t->columnWidth(0) + t->columnWidth(1) + t->columnWidth(2) + t->columnWidth(3); };
        QTRY_VERIFY2(all() <= t->viewport()->width(), qPrintable(name));
        QVERIFY(all() >= t->viewport()->width() - 6);
    }
}

QTEST_MAIN(DesktopTest)
#include "tst_gui_desktop.moc"
