// SPDX-License-Identifier: MIT
// The extract command: which rows it writes where, when it stops, and how
// stored names of every kind reach the disk.
#include <QAction>
#include <QDialogButtonBox>
#include <QDir>
#include <QFile>
#include <QInputDialog>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QStatusBar>
#include <QTableView>
#include <QTest>
#include <QTextDocument>

#include "ext_window.h"
#include "gui_test_support.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"

using namespace guitest;

namespace {

const std::vector<Entry> ThreeEntries{
    {"a.txt", "alpha"},
    {"b.txt", QByteArray(5000, 'b')},  // compresses, so damage shows
    {"c.txt", "gamma"},
};

// What a label shows: its text itself, or what the text renders to when the
// label takes it for markup.
QString shownText(const QLabel* label)
{
    const QString text = label->text();
    if (label->textFormat() == Qt::PlainText || (label->textFormat() == Qt::AutoText && !Qt::mightBeRichText(text)))
        return text;
    QTextDocument document;
    document.setHtml(text);
    return document.toPlainText();
}

// The texts the labels of widget show, one per line.
QString shownTexts(const QWidget* widget)
{
    QStringList texts;
    for (const QLabel* label : widget->findChildren<QLabel*>())
        if (!label->text().isEmpty())
            texts << shownText(label);
    return texts.join('\n');
}

}  // namespace

class ExtractTest : public GuiFixture {
    Q_OBJECT

private slots:
    void nothingSelected();
    void selectedRowsOnly();
    void stopsAtFirstFailingRow_data();
    void stopsAtFirstFailingRow();
    void stopsAtFailingRowAmongMany();
    void emptyOutputName();
    void sameOutputNameTwice_data();
    void sameOutputNameTwice();
    void storedNames_data();
    void storedNames();
    void duplicateNames();
    void askBeforeReplacing_data();
    void askBeforeReplacing();
    void saveUnderAnotherName_data();
    void saveUnderAnotherName();
    void saveAsNameMustBeALeaf();
    void linkInWorkingFolder();
    void archiveNeverATarget();
    void namesShownAsTheyAre_data();
    void namesShownAsTheyAre();

private:
    void listThree(std::uint32_t flags = 0);
    void listConflicts(const QString& folder);
    void rename(int row, const QString& name);
};

void ExtractTest::listThree(std::uint32_t flags)
{
    QVERIFY(writeArchive("three.vza", ThreeEntries, flags));
    QCOMPARE(lines(read("three.vza")), QStringList{FileDialog});
}

void ExtractTest::rename(int row, const QString& name)
{
    selectRows({row});
    QCOMPARE(lines(run(&vzA_ExtWindow::changeItem, {enterText(name)})), QStringList{RenameDialog});
}

// With no archive listed there is nothing to extract: the commands are off
// and no success is claimed. With no row selected every row is extracted,
// but only once the user has agreed to the count.
void ExtractTest::nothingSelected()
{
    QVERIFY(!action("extractAction")->isEnabled() && !action("extractToFolderAction")->isEnabled());
    QVERIFY(!button("extractButton")->isEnabled());
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})), QStringList{"never shown"});
    listThree();
    QVERIFY(action("extractAction")->isEnabled() && action("extractToFolderAction")->isEnabled());
    QCOMPARE(selectedRows(), QList<int>{});
    for (bool escape : {false, true}) {
        const QList<Seen> seen = run(&vzA_ExtWindow::extractFile, {escape ? cancel() : press(QMessageBox::No)});
        QCOMPARE(lines(seen), QStringList{AllRowsQuestion.arg(3)});
        QCOMPARE(filesBelow("."), QStringList{"three.vza"});
    }
    QCOMPARE(lines(run(&vzA_ExtWindow::extractToFolder, {press(QMessageBox::No)})),
             QStringList{AllRowsQuestion.arg(3)});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {press(QMessageBox::Yes), closeBox()})),
             (QStringList{AllRowsQuestion.arg(3), ExtractDoneBox}));
    QCOMPARE(filesBelow("."), (QStringList{"a.txt", "b.txt", "c.txt", "three.vza"}));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(readFile(column(0)[i]), ThreeEntries[std::size_t(i)].data);
}

void ExtractTest::selectedRowsOnly()
{
    listThree(vza::FlagCompressed);
    QVERIFY(writeFile("c.txt", "an older c.txt, longer than the new one"));
    selectRows({2, 0});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {press(QMessageBox::Yes), closeBox()})),
             (QStringList{overwriteQuestion("c.txt"), ExtractDoneBox}));
    QCOMPARE(filesBelow("."), (QStringList{"a.txt", "c.txt", "three.vza"}));
    QCOMPARE(readFile("a.txt"), ThreeEntries[0].data);
    QCOMPARE(readFile("c.txt"), ThreeEntries[2].data);  // replaced once confirmed
    QCOMPARE(selectedRows(), (QList<int>{0, 2}));       // the table is left as it was
    QCOMPARE(column(0), (QStringList{"a.txt", "b.txt", "c.txt"}));
}

void ExtractTest::stopsAtFirstFailingRow_data()
{
    QTest::addColumn<bool>("damaged");
    QTest::addColumn<QString>("detail");  // the failure box names the row and the reason
    // The box names the row by the name it writes.
    QTest::newRow("a file where a folder should be")
        << false << "対象: file/b.txt\n原因: file はフォルダではありません";
    QTest::newRow("damaged entry") << true << "対象: b.txt\n原因: エントリを読み出せません (データが壊れています)";
}

void ExtractTest::stopsAtFirstFailingRow()
{
    QFETCH(bool, damaged);
    QFETCH(QString, detail);
    listThree(vza::FlagCompressed);
    if (damaged) {
        QVERIFY(damageEntry("three.vza", 1));
    } else {
        QVERIFY(writeFile("file", "in the way"));
        rename(1, "file/b.txt");
    }

    selectRows({0, 1, 2});
    const QList<Seen> seen = run(&vzA_ExtWindow::extractFile, {closeBox()});
    QCOMPARE(lines(seen), QStringList{ExtractFailedBox});
    QCOMPARE(seen[0].value, detail);
    // Row 0 stays written, row 1 leaves nothing behind, row 2 is not tried.
    QStringList expected{"a.txt", "three.vza"};
    if (!damaged)
        expected.insert(1, "file");
    QCOMPARE(filesBelow("."), expected);
}

// Rows enough for several threads: a damaged row in the middle ends the
// command there. Every row before it is written, and nothing of a row after
// it is on the disk, not even the folders only those rows needed.
void ExtractTest::stopsAtFailingRowAmongMany()
{
    constexpr int Rows = 600, Failing = 300;
    const auto name = [](int i) { return "d" + QByteArray::number(i / 60) + "/e" + QByteArray::number(i); };
    std::vector<Entry> entries;
    for (int i = 0; i < Rows; ++i)
        entries.push_back({name(i), QByteArray(200 + i, char('a' + i % 26))});
    QVERIFY(writeArchive("many.vza", entries, vza::FlagCompressed));
    QVERIFY(damageEntry("many.vza", Failing));
    QCOMPARE(lines(read("many.vza")), QStringList{FileDialog});
    table()->selectAll();

    const QList<Seen> seen = run(&vzA_ExtWindow::extractFile, {closeBox()});
    QCOMPARE(lines(seen), QStringList{ExtractFailedBox});
    QCOMPARE(seen[0].value,
             "対象: " + QString(name(Failing)) + "\n原因: エントリを読み出せません (データが壊れています)");
    QStringList expected{"many.vza"};
    for (int i = 0; i < Failing; ++i)
        expected << name(i);
    expected.sort();
    QCOMPARE(filesBelow("."), expected);
    for (int folder = Failing / 60 + 1; folder < Rows / 60; ++folder)
        QVERIFY2(!QDir("d" + QString::number(folder)).exists(), qPrintable(QString::number(folder)));
}

// An empty output name writes the entry under its stored name made safe.
void ExtractTest::emptyOutputName()
{
    QVERIFY(writeArchiveAsGiven("up.vza", {{"../up.txt", "up"}}));
    QCOMPARE(lines(read("up.vza")), QStringList{FileDialog});
    rename(0, "");
    QCOMPARE(column(0), QStringList{""});
    table()->selectAll();
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})), QStringList{ExtractDoneBox});
    QCOMPARE(filesBelow("."), (QStringList{"up.txt", "up.vza"}));
    QCOMPARE(readFile("up.txt"), QByteArray("up"));
}

void ExtractTest::sameOutputNameTwice_data()
{
    QTest::addColumn<QList<int>>("order");
    QTest::newRow("rows 0, 1") << QList<int>{0, 1};
    QTest::newRow("rows 1, 0") << QList<int>{1, 0};
}

// Both rows are written in list order: the later one wins.
void ExtractTest::sameOutputNameTwice()
{
    QFETCH(QList<int>, order);
    listThree();
    rename(0, "same.txt");
    rename(1, "same.txt");
    selectRows(order);
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {press(QMessageBox::Yes), closeBox()})),
             (QStringList{overwriteQuestion("same.txt"), ExtractDoneBox}));
    QCOMPARE(filesBelow("."), (QStringList{"same.txt", "three.vza"}));
    QCOMPARE(readFile("same.txt"), ThreeEntries[std::size_t(order.last())].data);
}

// Stored names as they come: the data name shows the stored name, the
// output name starts safe, and every entry is found by its exact bytes.
void ExtractTest::storedNames_data()
{
    QTest::addColumn<QByteArray>("stored");
    QTest::addColumn<QString>("dataText");
    QTest::addColumn<QString>("fileText");
    QTest::addColumn<QString>("written");  // below the working folder; empty: the row fails

    QTest::newRow("UTF-8") << QByteArray("日本語/名前.txt") << "日本語/名前.txt"
                           << "日本語/名前.txt"
                           << "日本語/名前.txt";
    QTest::newRow("Shift_JIS") << QByteArray("\x83\x65\x83\x58\x83\x67.txt") << "テスト.txt"
                               << "テスト.txt"
                               << "テスト.txt";
    QTest::newRow("Latin-1") << QByteArray("caf\xe9.txt") << "café.txt"
                             << "café.txt"
                             << "café.txt";
    // No file name can hold a zero byte: shown up to it, never written.
    QTest::newRow("zero byte") << QByteArray("a.txt\0tail", 10) << "a.txt"
                               << ""
                               << "";
    QTest::newRow("parent folders") << QByteArray("../../escape.txt") << "../../escape.txt"
                                    << "escape.txt"
                                    << "escape.txt";
    QTest::newRow("absolute") << QByteArray("/etc/passwd") << "/etc/passwd"
                              << "etc/passwd"
                              << "etc/passwd";
    QTest::newRow("nothing safe left") << QByteArray("../..") << "../.."
                                       << ""
                                       << "";
    // 0x5C as the second byte of ソ, 表, 能, ... is no folder separator; a
    // backslash between characters is one.
    QTest::newRow("Shift_JIS with 0x5C") << QByteArray("\x83\x5c\x95\x5c.csv") << "ソ表.csv"
                                         << "ソ表.csv"
                                         << "ソ表.csv";
    QTest::newRow("Shift_JIS folder") << QByteArray("\x83\x74\x83\x48\x83\x8b\x83\x5f\\\x95\x5c.csv")
                                      << "フォルダ\\表.csv"
                                      << "フォルダ/表.csv"
                                      << "フォルダ/表.csv";
}

void ExtractTest::storedNames()
{
    QFETCH(QByteArray, stored);
    QFETCH(QString, dataText);
    QFETCH(QString, fileText);
    QFETCH(QString, written);

    // Work two levels down, so that an escape would land inside the
    // temporary folder where it can be seen. Folders on the way are made.
    QVERIFY(QDir().mkpath("work/here"));
    QVERIFY(QDir::setCurrent("work/here"));

    QVERIFY(writeArchiveAsGiven("names.vza", {{"first.txt", "1"}, {stored, "payload"}}));
    QCOMPARE(lines(read("names.vza")), QStringList{FileDialog});
    QCOMPARE(column(1), (QStringList{"first.txt", dataText}));
    QCOMPARE(column(0), (QStringList{"first.txt", fileText}));

    selectRows({1});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})),
             QStringList{written.isEmpty() ? ExtractFailedBox : ExtractDoneBox});
    QStringList expected{"work/here/names.vza"};
    if (!written.isEmpty())
        expected << "work/here/" + written;
    expected.sort();
    QCOMPARE(filesBelow(dir->path()), expected);
    if (!written.isEmpty())
        QCOMPARE(readFile(written), QByteArray("payload"));
}

// Two entries of one name: each row writes its own entry.
void ExtractTest::duplicateNames()
{
    QVERIFY(writeArchive("dup.vza", {{"dup.txt", "first"}, {"dup.txt", "second"}}));
    QCOMPARE(lines(read("dup.vza")), QStringList{FileDialog});
    rename(1, "second.txt");
    selectRows({1, 0});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})), QStringList{ExtractDoneBox});
    QCOMPARE(readFile("dup.txt"), QByteArray("first"));
    QCOMPARE(readFile("second.txt"), QByteArray("second"));
}

// Before a file is replaced the user is asked, naming it: Yes replaces it,
// Yes to all replaces it and the rest without asking again, No keeps it and
// goes on, Cancel keeps it and stops there.
void ExtractTest::askBeforeReplacing_data()
{
    QTest::addColumn<QList<int>>("answers");
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QStringList>("contents");  // of a.txt, b.txt, c.txt afterwards

    const QString a = overwriteQuestion("a.txt");
    const QString b = overwriteQuestion("b.txt");
    const QString c = overwriteQuestion("c.txt");
    // Files kept at the user's word: the summary does not claim success.
    const QString someKept = QStringLiteral("information|展開結果|展開が終わりました。");
    QTest::newRow("yes, no, yes") << QList<int>{QMessageBox::Yes, QMessageBox::No, QMessageBox::Yes}
                                  << QStringList{a, b, c, someKept} << QStringList{"alpha", "old b", "gamma"};
    QTest::newRow("yes to all") << QList<int>{QMessageBox::YesToAll} << QStringList{a, ExtractDoneBox}
                                << QStringList{"alpha", QString(5000, 'b'), "gamma"};
    QTest::newRow("no to each") << QList<int>{QMessageBox::No, QMessageBox::No, QMessageBox::No}
                                << QStringList{a, b, c, someKept} << QStringList{"old a", "old b", "old c"};
    QTest::newRow("yes, no to all") << QList<int>{QMessageBox::Yes, QMessageBox::NoToAll} << QStringList{a, b, someKept}
                                    << QStringList{"alpha", "old b", "old c"};
    QTest::newRow("cancel") << QList<int>{QMessageBox::Yes, QMessageBox::Cancel} << QStringList{a, b}
                            << QStringList{"alpha", "old b", "old c"};
    QTest::newRow("escape") << QList<int>{QMessageBox::NoButton} << QStringList{a}
                            << QStringList{"old a", "old b", "old c"};
}

void ExtractTest::askBeforeReplacing()
{
    QFETCH(QList<int>, answers);
    QFETCH(QStringList, seen);
    QFETCH(QStringList, contents);

    listThree(vza::FlagCompressed);
    for (const char* name : {"a", "b", "c"})
        QVERIFY(writeFile(QString(name) + ".txt", QByteArray("old ") + name));
    std::vector<ModalScript::Step> steps;
    for (int answer : answers)
        steps.push_back(answer == QMessageBox::NoButton ? cancel() : press(answer));
    steps.push_back(closeBox());
    table()->selectAll();
    ModalScript script(steps);
    window->extractFile();
    waitForExtraction();
    QList<Seen> got = script.result();
    if (!seen.last().startsWith("information"))
        got.removeLast();  // the closing step that no box came for
    QCOMPARE(lines(got), seen);
    // The question shows both sizes: "old a" and "alpha", 5 bytes each.
    QCOMPARE(got[0].value, QStringLiteral("既にあるファイル: 5 B\n展開するファイル: 5 B"));
    const bool cancelled = !seen.last().startsWith("information");
    const int kept = cancelled ? 0 : int(std::count_if(contents.begin(), contents.end(), [](const QString& c) {
        return c.startsWith("old ");
    }));
    if (kept)
        QCOMPARE(got.last().value,
                 QStringLiteral("上書きしなかったファイル: %1 個\n展開先: %2").arg(kept).arg(QDir::currentPath()));
    for (int i = 0; i < 3; ++i)
        QCOMPARE(QString::fromUtf8(readFile(column(0)[i])), contents[i]);
    QCOMPARE(filesBelow("."), (QStringList{"a.txt", "b.txt", "c.txt", "three.vza"}));
    QVERIFY(window->findChild<QAction*>("extractAction")->isEnabled());
}

// 写真.jpg, then two entries of one name, each meeting a file already there.
void ExtractTest::listConflicts(const QString& folder)
{
    QVERIFY(writeArchive("conflicts.vza", {{"写真.jpg", "photo"}, {"dup.txt", "first"}, {"dup.txt", "second"}}));
    QVERIFY(QDir().mkpath(folder));
    QVERIFY(writeFile(folder + "/写真.jpg", "old photo") && writeFile(folder + "/dup.txt", "old dup"));
    QCOMPARE(lines(read("conflicts.vza")), QStringList{FileDialog});
    table()->selectAll();
}

// 名前を変えて保存 proposes a free name beside the existing file, which the
// user may take or edit; the existing file stays. A name that is taken too
// is asked about in turn, and going back from the name asks the question
// again.
void ExtractTest::saveUnderAnotherName_data()
{
    QTest::addColumn<bool>("toFolder");      // フォルダへ展開 into out/, else 展開
    QTest::addColumn<QStringList>("steps");  // see the test
    QTest::addColumn<QStringList>("seen");
    QTest::addColumn<QStringList>("proposed");  // the names the dialog came up with
    QTest::addColumn<QStringList>("files");     // "name=content", below the destination

    const QString photo = overwriteQuestion("写真.jpg");
    const QString dup = overwriteQuestion("dup.txt");
    const QString someKept = QStringLiteral("information|展開結果|展開が終わりました。");
    const QStringList untouched{"dup.txt=old dup", "写真.jpg=old photo"};
    // The second dup.txt finds dup (2).txt written by the first.
    QTest::newRow("as proposed, each time")
        << false << QStringList{"rename", "ok", "rename", "ok", "rename", "ok", "close"}
        << QStringList{photo, SaveAsDialog, dup, SaveAsDialog, dup, SaveAsDialog, ExtractDoneBox}
        << QStringList{"写真 (2).jpg", "dup (2).txt", "dup (3).txt"}
        << QStringList{"dup (2).txt=first", "dup (3).txt=second", "dup.txt=old dup", "写真 (2).jpg=photo",
                       "写真.jpg=old photo"};
    QTest::newRow("edited") << false << QStringList{"rename", "type:アルバム 1.jpg", "no", "no", "close"}
                            << QStringList{photo, SaveAsDialog, dup, dup, someKept} << QStringList{"写真 (2).jpg"}
                            << QStringList{"dup.txt=old dup", "アルバム 1.jpg=photo", "写真.jpg=old photo"};
    QTest::newRow("a taken name is asked about")
        << false << QStringList{"rename", "type:dup.txt", "notoall", "close"}
        << QStringList{photo, SaveAsDialog, dup, someKept} << QStringList{"写真 (2).jpg"} << untouched;
    QTest::newRow("back from the name, then cancel")
        << false << QStringList{"rename", "escape", "cancel"} << QStringList{photo, SaveAsDialog, photo}
        << QStringList{"写真 (2).jpg"} << untouched;
    // A file saved under another name is one written.
    QTest::newRow("to a folder: counted as written")
        << true << QStringList{"folder", "rename", "ok", "no", "no", "close"}
        << QStringList{FolderDialog,
                       photo,
                       SaveAsDialog,
                       dup,
                       dup,
                       "information|展開結果|展開が終わりました。\n書き込み: 1 個、スキップ: 2 個、失敗: 0 個"}
        << QStringList{"写真 (2).jpg"} << QStringList{"dup.txt=old dup", "写真 (2).jpg=photo", "写真.jpg=old photo"};
}

void ExtractTest::saveUnderAnotherName()
{
    QFETCH(bool, toFolder);
    QFETCH(QStringList, steps);
    QFETCH(QStringList, seen);
    QFETCH(QStringList, proposed);
    QFETCH(QStringList, files);

    const QString destination = toFolder ? "out" : ".";
    listConflicts(destination);
    std::vector<ModalScript::Step> script;
    for (const QString& step : steps) {
        if (step.startsWith("type:"))
            script.push_back([name = step.mid(5)](QWidget* widget) {
                if (auto* input = qobject_cast<QInputDialog*>(widget))
                    input->setTextValue(name);
                pressOk()(widget);
            });
        else if (step == "rename")
            script.push_back(pressButton(SaveAsButton));
        else if (step == "ok")
            script.push_back(pressOk());
        else if (step == "escape")
            script.push_back(cancel());
        else if (step == "close")
            script.push_back(closeBox());
        else if (step == "folder")
            script.push_back(chooseFolder("out"));
        else
            script.push_back(press(step == "no"        ? QMessageBox::No
                                   : step == "notoall" ? QMessageBox::NoToAll
                                                       : QMessageBox::Cancel));
    }
    ModalScript answers(script);
    if (toFolder)
        window->extractToFolder();
    else
        window->extractFile();
    waitForExtraction();
    const QList<Seen> got = answers.result();
    QCOMPARE(lines(got), seen);
    QStringList shown;
    for (const Seen& s : got)
        if (s.line == SaveAsDialog)
            shown << s.value;
    QCOMPARE(shown, proposed);
    // Nothing else, no temporary file either.
    QStringList expected = files;
    if (!toFolder)
        expected << "conflicts.vza=";
    expected.sort();
    QStringList found;
    for (const QString& name : filesBelow(QDir(destination).absolutePath()))
        found << name + "=" +
                     (name.endsWith(".vza") ? QString() : QString::fromUtf8(readFile(destination + "/" + name)));
    QCOMPARE(found, expected);
    QVERIFY(action("extractAction")->isEnabled());
}

// The name dialog takes only a name the file can have in that folder as it
// is: OK is off for anything the engine would refuse.
void ExtractTest::saveAsNameMustBeALeaf()
{
    listConflicts(".");
    QMap<QString, bool> okFor;
    const auto tryNames = [&okFor](QWidget* widget) {
        auto* input = qobject_cast<QInputDialog*>(widget);
        QAbstractButton* ok = widget->findChild<QDialogButtonBox*>()->button(QDialogButtonBox::Ok);
        okFor["as proposed"] = ok->isEnabled();
        for (const QString& name : {QString(), QString("."), QString(".."), QString("sub/写真.jpg"), QString(256, 'n'),
                                    QString(255, 'n'), QString("..写真.jpg")}) {
            input->setTextValue(name);
            okFor[name.size() > 10 ? QString::number(name.size()) : name] = ok->isEnabled();
        }
        widget->close();
    };
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {pressButton(SaveAsButton), tryNames, press(QMessageBox::Cancel)})),
             (QStringList{overwriteQuestion("写真.jpg"), SaveAsDialog, overwriteQuestion("写真.jpg")}));
    const QMap<QString, bool> expected{{"as proposed", true},   {"", false},    {".", false},  {"..", false},
                                       {"sub/写真.jpg", false}, {"256", false}, {"255", true}, {"..写真.jpg", true}};
    QCOMPARE(okFor, expected);
    QCOMPARE(filesBelow("."), (QStringList{"conflicts.vza", "dup.txt", "写真.jpg"}));
}

// A link in the working folder on an entry's way is never followed, whatever
// the entry or the typed name says: the entry's default name would otherwise
// carry it out of the folder. The row fails, says why, and the rows after it
// are not tried.
void ExtractTest::linkInWorkingFolder()
{
    QVERIFY(QDir().mkpath("elsewhere") && QDir().mkpath("work"));
    QVERIFY(QFile::link("../elsewhere", "work/docs"));
    QVERIFY(QDir::setCurrent("work"));
    QVERIFY(writeArchive("planted.vza", {{"docs/planted.sh", "echo owned"}, {"after.txt", "after"}}));
    QCOMPARE(lines(read("planted.vza")), QStringList{FileDialog});
    table()->selectAll();
    const QList<Seen> seen = run(&vzA_ExtWindow::extractFile, {closeBox()});
    QCOMPARE(lines(seen), QStringList{ExtractFailedBox});
    QCOMPARE(seen[0].value, "対象: docs/planted.sh\n原因: docs はシンボリックリンクのため、その先へは書き込みません");
    QCOMPARE(filesBelow(dir->path()), QStringList{"work/planted.vza"});
}

// An output name that is the archive itself (under any spelling) fails the
// row; the archive stays as it was and later rows are not tried.
void ExtractTest::archiveNeverATarget()
{
    listThree();
    const QByteArray before = readFile("three.vza");
    rename(0, "./three.vza");
    selectRows({0, 1});
    const QList<Seen> seen = run(&vzA_ExtWindow::extractFile, {closeBox()});
    QCOMPARE(lines(seen), QStringList{ExtractFailedBox});
    QCOMPARE(seen[0].value, "対象: ./three.vza\n原因: 読込中のアーカイブ自身には書き込みません");
    QCOMPARE(readFile("three.vza"), before);
    QCOMPARE(filesBelow("."), QStringList{"three.vza"});
}

void ExtractTest::namesShownAsTheyAre_data()
{
    QTest::addColumn<QString>("name");
    QTest::newRow("a tag") << "<b>x.txt";
    QTest::newRow("a link") << "<a href=x>y.txt";
    QTest::newRow("an entity") << "&lt;i&gt;.txt";
}

// Names that look like markup are shown as they are, never rendered: in the
// question before a file is replaced, in the reason of a failure and in the
// status bar.
void ExtractTest::namesShownAsTheyAre()
{
    QFETCH(QString, name);
    const QString failing = name + "2";
    const QString archive = name + ".vza";
    QVERIFY(writeArchive(archive, {{name.toUtf8(), "new"}, {failing.toUtf8(), QByteArray(5000, 'f')}},
                         vza::FlagCompressed));
    QVERIFY(damageEntry(archive, 1));
    QCOMPARE(lines(read(archive)), QStringList{FileDialog});
    QCOMPARE(shownTexts(window->statusBar()).section(QChar(0x3000), 0, 0), archive);
    QVERIFY(writeFile(name, "old"));
    table()->selectAll();

    QString question, failure;
    const auto answer = [&question](QWidget* widget) {
        question = shownTexts(widget);
        press(QMessageBox::Yes)(widget);
    };
    const auto readFailure = [&failure](QWidget* widget) {
        failure = shownTexts(widget);
        closeBox()(widget);
    };
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {answer, readFailure})),
             (QStringList{overwriteQuestion(name), ExtractFailedBox}));
    QCOMPARE(question, name + " は既にあります。上書きしますか？\n既にあるファイル: 3 B\n展開するファイル: 3 B");
    QVERIFY2(failure.contains("対象: " + failing + "\n"), qPrintable(failure));
    QCOMPARE(readFile(name), QByteArray("new"));
}

QTEST_MAIN(ExtractTest)
#include "tst_gui_extract.moc"
