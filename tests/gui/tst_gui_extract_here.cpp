// SPDX-License-Identifier: MIT
// vza-extract --extract-here, as the file managers' menus start it: each
// archive into a new folder beside it, asking only what must be asked, then
// one summary for all.
#include <QDesktopServices>
#include <QDir>
#include <QMessageBox>
#include <QProgressDialog>
#include <QPushButton>
#include <QSignalSpy>
#include <QTest>
#include <QUrl>

#include "command_line.h"
#include "ext_window.h"
#include "gui_test_support.h"
#include "vza/archive/format/format.h"

using namespace guitest;

namespace {

const QString Summary = QStringLiteral("%1|展開結果|%2\n書き込み: %3 個、スキップ: %4 個、失敗: %5 個");

// text with each "@" standing for the working folder, as messages show it.
QString here(QString text)
{
    return text.replace(QLatin1Char('@'), QDir::toNativeSeparators(QDir::currentPath()));
}

}  // namespace

class ExtractHereTest : public GuiFixture {
    Q_OBJECT

public:
    ExtractHereTest() { QDesktopServices::setUrlHandler("file", this, "openUrl"); }
    ~ExtractHereTest() override { QDesktopServices::unsetUrlHandler("file"); }

public slots:
    // Where フォルダを開く sends the folders.
    void openUrl(const QUrl& url) { opened << url.toLocalFile(); }

private slots:
    void archivesInTurn_data();
    void archivesInTurn();
    void asksOnlyWhatItMust_data();
    void asksOnlyWhatItMust();
    void folderDialogWhenNothingBeside_data();
    void folderDialogWhenNothingBeside();
    void cancelStopsTheRest();

private:
    // Runs extract-here on the command line arguments after
    // "vza-extract --extract-here", as main() does, answering with steps; the
    // last step meets the summary, whose details are kept. allWritten is
    // what the window said when it ended.
    QList<Seen> extractHere(const QStringList& files, std::vector<ModalScript::Step> steps);
    ModalScript::Step summaryStep();

    QStringList opened;
    QString details;
    bool allWritten = false;
};

ModalScript::Step ExtractHereTest::summaryStep()
{
    return [this](QWidget* widget) {
        if (auto* box = qobject_cast<QMessageBox*>(widget))
            details = box->detailedText();
        pressButton("openFolderButton")(widget);
    };
}

QList<Seen> ExtractHereTest::extractHere(const QStringList& files, std::vector<ModalScript::Step> steps)
{
    const CommandLine line = parseCommandLine(QStringList{"--extract-here"} + files);
    [&] { QCOMPARE(int(line.action), int(CommandLine::Action::ExtractHere)); }();
    QStringList paths;
    for (const QString& file : line.files)
        paths << QFileInfo(file).absoluteFilePath();
    opened.clear();
    details.clear();
    ModalScript script(std::move(steps));
    QSignalSpy finished(window.get(), &vzA_ExtWindow::extractHereFinished);
    window->extractHere(paths);
    [&] { QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000); }();
    allWritten = !finished.isEmpty() && finished.first().first().toBool();
    [&] { QVERIFY(!window->isExtracting()); }();
    return script.result();
}

void ExtractHereTest::archivesInTurn_data()
{
    QTest::addColumn<QString>("first");  // the archive before the good one, by kind
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("informative");
    QTest::addColumn<QString>("details");
    QTest::addColumn<QStringList>("files");
    QTest::addColumn<QStringList>("opened");
    // "@": the working folder, known only once the test runs.
    const QString good = "@/it's a file";
    const QStringList goodFiles{"it's a file.vza", "it's a file/b.txt", "it's a file/dir/a.txt"};
    // Its name taken, as by an earlier extraction: "b (2)" instead.
    QTest::newRow("good") << "good" << Summary.arg("information", "展開が終わりました。").arg(3).arg(0).arg(0)
                          << "展開先: @/b (2)\n展開先: " + good << ""
                          << QStringList{"b (2)/x.txt", "b.vza", "b/old.txt"} + goodFiles << QStringList{"@"};
    QTest::newRow("damaged entry") << "damaged entry"
                                   << Summary.arg("warning", "展開が終わりました。").arg(4).arg(0).arg(1)
                                   << "展開先: @/broken\n展開先: " + good
                                   << "broken.vza\nb.txt: エントリを読み出せません (データが壊れています)"
                                   << QStringList{"broken.vza", "broken/a.txt", "broken/c.txt"} + goodFiles
                                   << QStringList{"@"};
    QTest::newRow("not an archive") << "not an archive"
                                    << Summary.arg("warning", "展開が終わりました。").arg(2).arg(0).arg(0)
                                    << "fake.vza: 展開できません (VZA形式ではありません)\n展開先: " + good << ""
                                    << QStringList{"fake.vza"} + goodFiles << QStringList{good};
    QTest::newRow("missing") << "missing" << Summary.arg("warning", "展開が終わりました。").arg(2).arg(0).arg(0)
                             << "gone.vza: 展開できません (ファイルまたはフォルダがありません)\n展開先: " + good << ""
                             << goodFiles << QStringList{good};
}

// Each archive in the order given, the bad one noted and the next one
// still extracted; nothing is asked; one summary names every folder, and
// フォルダを開く opens them (the folder that holds them, when several).
// The names hold a space and an apostrophe, as a file manager passes them.
void ExtractHereTest::archivesInTurn()
{
    QFETCH(QString, first);
    QFETCH(QString, summary);
    QFETCH(QString, informative);
    QFETCH(QString, details);
    QFETCH(QStringList, files);
    QFETCH(QStringList, opened);
    const std::vector<Entry> three{{"a.txt", "alpha"}, {"b.txt", QByteArray(5000, 'b')}, {"c.txt", "gamma"}};
    QString firstPath;
    if (first == "good") {
        firstPath = "b.vza";
        QVERIFY(writeArchive(firstPath, {{"x.txt", "x"}}));
        QVERIFY(QDir().mkdir("b") && writeFile("b/old.txt", "old"));
    } else if (first == "damaged entry") {
        firstPath = "broken.vza";
        QVERIFY(writeArchive(firstPath, three, vza::FlagCompressed));
        QVERIFY(damageEntry(firstPath, 1));
    } else if (first == "not an archive") {
        firstPath = "fake.vza";
        QVERIFY(writeFile(firstPath, "not an archive at all, only text"));
    } else {
        firstPath = "gone.vza";
    }
    QVERIFY(writeArchive("it's a file.vza", {{"dir/a.txt", "a"}, {"b.txt", "b"}}));

    const QList<Seen> seen = extractHere({firstPath, "it's a file.vza"}, {summaryStep()});
    QCOMPARE(lines(seen), QStringList{summary});
    QCOMPARE(seen[0].value, here(informative));
    QCOMPARE(this->details, details);
    QCOMPARE(this->opened.join('\n'), here(opened.join('\n')));
    QCOMPARE(allWritten, first == "good");
    QCOMPARE(filesBelow("."), files);
    QCOMPARE(readFile("it's a file/dir/a.txt"), QByteArray("a"));
}

void ExtractHereTest::asksOnlyWhatItMust_data()
{
    QTest::addColumn<bool>("givesPassword");
    QTest::newRow("password, then a file to replace") << true;
    QTest::newRow("password not given") << false;
}

// Only a password and a file that would be replaced (here, a name the
// archive holds twice) are asked about; a wrong password asks again.
void ExtractHereTest::asksOnlyWhatItMust()
{
    QFETCH(bool, givesPassword);
    QVERIFY(writeArchiveAsGiven("secret.vza", {{"a.txt", "first"}, {"a.txt", "second"}},
                                vza::FlagEncrypted | vza::FlagCompressed, "pw"));
    std::vector<ModalScript::Step> steps{enterPassword("wrong")};
    if (givesPassword)
        steps.insert(steps.end(), {enterPassword("pw"), press(QMessageBox::No), summaryStep()});
    else
        steps.insert(steps.end(), {cancel(), summaryStep()});
    const QList<Seen> seen = extractHere({"secret.vza"}, steps);
    if (!givesPassword) {
        QCOMPARE(lines(seen), (QStringList{PasswordDialog, PasswordDialog,
                                           Summary.arg("warning", "展開が終わりました。").arg(0).arg(0).arg(0)}));
        QCOMPARE(seen[2].value, "secret.vza: 展開できません (パスワードが入力されませんでした)");
        QCOMPARE(opened, QStringList());
        QCOMPARE(filesBelow("."), QStringList{"secret.vza"});
        return;
    }
    QCOMPARE(lines(seen), (QStringList{PasswordDialog, PasswordDialog, overwriteQuestion("a.txt"),
                                       Summary.arg("information", "展開が終わりました。").arg(1).arg(1).arg(0)}));
    QCOMPARE(seen[3].value, here("展開先: @/secret"));
    QCOMPARE(details, "a.txt: 既にあるため上書きしませんでした");
    QVERIFY(allWritten);  // kept at the user's word
    QCOMPARE(filesBelow("."), (QStringList{"secret.vza", "secret/a.txt"}));
    QCOMPARE(readFile("secret/a.txt"), QByteArray("first"));
}

void ExtractHereTest::folderDialogWhenNothingBeside_data()
{
    QTest::addColumn<bool>("chosen");
    QTest::newRow("a folder chosen") << true;
    QTest::newRow("none chosen") << false;
}

// No new folder can be made beside the archive (every name is taken, as
// an unwritable folder would refuse it): the folder dialog asks where.
void ExtractHereTest::folderDialogWhenNothingBeside()
{
    QFETCH(bool, chosen);
    QVERIFY(QDir().mkdir("full") && QDir().mkdir("target"));
    QVERIFY(writeArchive("full/x.vza", {{"x.txt", "x"}}));
    QVERIFY(QDir().mkdir("full/x"));
    for (int n = 2; n <= 999; ++n)
        QVERIFY(QDir().mkdir(QStringLiteral("full/x (%1)").arg(n)));
    const QList<Seen> seen =
        extractHere({"full/x.vza"}, {chosen ? chooseFolder("target") : ModalScript::Step(cancel()), summaryStep()});
    QCOMPARE(lines(seen).first(), FolderDialog);
    if (chosen) {
        QCOMPARE(lines(seen)[1], Summary.arg("information", "展開が終わりました。").arg(1).arg(0).arg(0));
        QCOMPARE(seen[1].value, here("展開先: @/target"));
        QCOMPARE(readFile("target/x.txt"), QByteArray("x"));
    } else {
        QCOMPARE(lines(seen)[1], Summary.arg("warning", "展開が終わりました。").arg(0).arg(0).arg(0));
        QCOMPARE(seen[1].value, "x.vza: 展開できません (展開先が選ばれませんでした)");
    }
    QCOMPARE(filesBelow("."), chosen ? (QStringList{"full/x.vza", "target/x.txt"}) : QStringList{"full/x.vza"});
}

// キャンセル in the progress dialog ends the whole of it: the archives not
// begun are named as stopped, and nothing of them is made. Here the cancel
// comes when the run's one entry is written already (held there), so the
// run itself ends as done.
void ExtractHereTest::cancelStopsTheRest()
{
    QVERIFY(writeArchive("one.vza", {{"a.txt", "a"}}));
    QVERIFY(writeArchive("two.vza", {{"c.txt", "c"}}));
    vzA_ExtractionRun::holdAfterFirstRow(true);
    vzA_ExtWindow::setProgressDelay(0);
    ModalScript script({summaryStep()});
    QSignalSpy finished(window.get(), &vzA_ExtWindow::extractHereFinished);
    window->extractHere({QDir::current().absoluteFilePath("one.vza"), QDir::current().absoluteFilePath("two.vza")});
    QProgressDialog* progress = nullptr;
    QTRY_VERIFY((progress = window->findChild<QProgressDialog*>("progressDialog")) && progress->isVisible());
    QTRY_VERIFY(QFileInfo::exists("one/a.txt"));   // in place before it is reported, and held
    progress->findChild<QPushButton*>()->click();  // キャンセル
    QTRY_COMPARE_WITH_TIMEOUT(finished.size(), 1, 60000);
    QCOMPARE(finished.first().first().toBool(), false);
    const QList<Seen> seen = script.result();
    QCOMPARE(lines(seen), QStringList{Summary.arg("warning", "展開を中止しました。").arg(1).arg(0).arg(0)});
    QCOMPARE(seen[0].value, here("展開先: @/one\ntwo.vza: 展開できません (中止しました)"));
    QVERIFY(!QFileInfo::exists("two"));
}

QTEST_MAIN(ExtractHereTest)
#include "tst_gui_extract_here.moc"
