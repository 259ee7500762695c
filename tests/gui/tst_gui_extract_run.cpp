// SPDX-License-Identifier: MIT
// Extraction as a run of its own: フォルダへ展開 with its summary, テスト, and
// the reasons a summary gives. The progress dialog is tst_gui_extract_progress's.
#include <QDir>
#include <QMessageBox>
#include <QRegularExpression>
#include <QTest>

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "ext_window.h"
#include "gui_test_support.h"
#include "system_reason.h"
#include "vza/archive/format/format.h"
#include "vza/archive/read/archive.h"

using namespace guitest;

class ExtractRunTest : public GuiFixture {
    Q_OBJECT

private slots:
    void toFolderSummary();
    void toFolderStartsAtArchiveThenLast();
    void toFolderQuestionsInRowOrder_data();
    void toFolderQuestionsInRowOrder();
    void testArchive_data();
    void testArchive();
    void systemReasonTexts_data();
    void systemReasonTexts();
    void reasonNoAccess();
    void reasonTooManyOpenFiles();
};

// フォルダへ展開 goes on past a failure and ends with one summary: what was
// written, skipped and failed, with a reason for each entry not written.
void ExtractRunTest::toFolderSummary()
{
    QVERIFY(writeArchive("mixed.vza",
                         {{"dir/a.txt", "a"}, {"b.txt", "new b"}, {"c.txt", QByteArray(5000, 'c')}, {"d.txt", "d"}},
                         vza::FlagCompressed));
    vza::Archive archive;
    QVERIFY(archive.open("mixed.vza", std::string()));
    QFile damage("mixed.vza");
    QVERIFY(damage.open(QIODevice::ReadWrite) && damage.seek(qint64(archive.archiveIndex().entryOffset(2))) &&
            damage.write(QByteArray(16, '\xff')) == 16);
    damage.close();
    QVERIFY(QDir().mkdir("out") && writeFile("out/b.txt", "old b"));
    QCOMPARE(lines(read("mixed.vza")), QStringList{FileDialog});
    table()->selectAll();

    QString details;
    const auto summary = [&details](QWidget* widget) {
        if (auto* box = qobject_cast<QMessageBox*>(widget))
            details = box->detailedText();
        closeBox()(widget);
    };
    const QList<Seen> seen =
        run(&vzA_ExtWindow::extractToFolder, {chooseFolder("out"), press(QMessageBox::No), summary});
    QCOMPARE(lines(seen),
             (QStringList{FolderDialog, overwriteQuestion("b.txt"),
                          "warning|展開結果|展開が終わりました。\n書き込み: 2 個、スキップ: 1 個、失敗: 1 個"}));
    QCOMPARE(seen[2].value, "展開先: " + QDir::current().absoluteFilePath("out"));
    QCOMPARE(details, QStringLiteral("c.txt: エントリを読み出せません (データが壊れています)\n"
                                     "b.txt: 既にあるため上書きしませんでした"));
    QCOMPARE(filesBelow("out"), (QStringList{"b.txt", "d.txt", "dir/a.txt"}));
    QCOMPARE(readFile("out/b.txt"), QByteArray("old b"));
    QCOMPARE(readFile("out/dir/a.txt"), QByteArray("a"));
}

void ExtractRunTest::toFolderQuestionsInRowOrder_data()
{
    QTest::addColumn<bool>("cancelAtThird");
    QTest::newRow("every one kept") << false;
    QTest::newRow("cancelled at the third") << true;
}

// Many rows, written on several threads: the questions still come in row
// order, a kept file is counted once, and キャンセル at a question keeps that
// file and every later one that exists.
void ExtractRunTest::toFolderQuestionsInRowOrder()
{
    QFETCH(bool, cancelAtThird);
    constexpr int Count = 400;
    const QStringList existing{"f010", "f050", "f220", "f390"};
    std::vector<Entry> entries;
    for (int i = 0; i < Count; ++i)
        entries.push_back(
            {QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0')).toUtf8(), "new " + QByteArray::number(i)});
    QVERIFY(writeArchive("many.vza", entries));
    QVERIFY(QDir().mkdir("out"));
    for (const QString& name : existing)
        QVERIFY(writeFile("out/" + name, "old"));
    QCOMPARE(lines(read("many.vza")), QStringList{FileDialog});
    table()->selectAll();

    const ModalScript::Step no = press(QMessageBox::No);
    const QList<Seen> seen =
        cancelAtThird ? run(&vzA_ExtWindow::extractToFolder,
                            {chooseFolder("out"), no, no, press(QMessageBox::Cancel), closeBox()})
                      : run(&vzA_ExtWindow::extractToFolder, {chooseFolder("out"), no, no, no, no, closeBox()});
    QStringList expected{FolderDialog};
    for (const QString& name : existing.mid(0, cancelAtThird ? 3 : 4))
        expected << overwriteQuestion(name);
    QCOMPARE(lines(seen).mid(0, expected.size()), expected);
    QCOMPARE(seen.size(), expected.size() + 1);
    const QString summary = lines(seen).last();
    for (const QString& name : existing)
        QCOMPARE(readFile("out/" + name), QByteArray("old"));
    if (!cancelAtThird) {
        QCOMPARE(summary, "information|展開結果|展開が終わりました。\n書き込み: 396 個、スキップ: 4 個、失敗: 0 個");
        QCOMPARE(filesBelow("out").size(), Count);
        return;
    }
    // Rows after the cancelled one may have been under way on other threads:
    // what was written is counted, every row before it is there.
    const QRegularExpression counts(
        "^information\\|展開結果\\|展開を中止しました。\n書き込み: (\\d+) 個、スキップ: 2 個、失敗: 0 個$");
    const QRegularExpressionMatch match = counts.match(summary);
    QVERIFY2(match.hasMatch(), qPrintable(summary));
    const QStringList files = filesBelow("out");
    QCOMPARE(match.captured(1).toInt() + existing.size(), files.size());
    for (int i = 0; i < 220; ++i)
        QVERIFY(files.contains(QStringLiteral("f%1").arg(i, 3, 10, QLatin1Char('0'))));
    QCOMPARE(readFile("out/f219"), QByteArray("new 219"));
}

void ExtractRunTest::testArchive_data()
{
    QTest::addColumn<QString>("kind");
    QTest::addColumn<QString>("line");
    QTest::addColumn<QString>("summary");
    QTest::addColumn<QString>("details");
    QTest::newRow("compressed") << "compressed"
                                << "information|テスト結果|テストが終わりました。"
                                << "3 個のファイルに問題はありません"
                                << "";
    // Stored entries are read whole, but nothing in the format checks them.
    QTest::newRow("stored") << "stored"
                            << "information|テスト結果|テストが終わりました。"
                            << "格納のみの 3 個は、この形式では検査できません"
                            << "";
    QTest::newRow("damaged") << "damaged"
                             << "warning|テスト結果|テストで問題が見つかりました。"
                             << "3 個中 1 個が失敗しました\n2 個のファイルに問題はありません"
                             << "b.txt: データが壊れています";
    QTest::newRow("name extraction refuses") << "unsafe name"
                                             << "warning|テスト結果|テストで問題が見つかりました。"
                                             << "3 個中 1 個が失敗しました\n2 個のファイルに問題はありません"
                                             << "../..: 展開できない名前です (安全なファイル名になりません)";
}

// テスト reads every entry, writes nothing, and sums up in the words of what
// reading can vouch for.
void ExtractRunTest::testArchive()
{
    QFETCH(QString, kind);
    QFETCH(QString, line);
    QFETCH(QString, summary);
    QFETCH(QString, details);
    const std::vector<Entry> entries{{"a.txt", QByteArray(4000, 'a')},
                                     {kind == "unsafe name" ? "../.." : "b.txt", QByteArray(5000, 'b')},
                                     {"c.txt", QByteArray(3000, 'c')}};
    QVERIFY(writeArchiveAsGiven("t.vza", entries, kind == "stored" ? 0u : std::uint32_t(vza::FlagCompressed)));
    if (kind == "damaged") {
        vza::Archive archive;
        QVERIFY(archive.open("t.vza", std::string()));
        QFile file("t.vza");
        QVERIFY(file.open(QIODevice::ReadWrite) && file.seek(qint64(archive.archiveIndex().entryOffset(1)) + 4) &&
                file.write(QByteArray(8, '\xff')) == 8);
    }
    QCOMPARE(lines(read("t.vza")), QStringList{FileDialog});
    QString detailText;
    const auto summaryBox = [&detailText](QWidget* widget) {
        if (auto* box = qobject_cast<QMessageBox*>(widget))
            detailText = box->detailedText();
        closeBox()(widget);
    };
    const QList<Seen> seen = run(&vzA_ExtWindow::testArchive, {summaryBox});
    QCOMPARE(lines(seen), QStringList{line});
    QCOMPARE(seen[0].value, summary);
    QCOMPARE(detailText, details);
    QCOMPARE(filesBelow("."), QStringList{"t.vza"});
}

// The common causes read in Japanese, the rest in the system's own words.
void ExtractRunTest::systemReasonTexts_data()
{
    QTest::addColumn<int>("error");
    QTest::addColumn<QString>("text");  // empty: some Japanese text
    QTest::newRow("EACCES") << EACCES << "アクセスが拒否されました";
    QTest::newRow("EPERM") << EPERM << "アクセスが拒否されました";
    QTest::newRow("ENOSPC") << ENOSPC << "ディスクの空き容量が足りません";
    QTest::newRow("EROFS") << EROFS << "読み取り専用のファイルシステムです";
    QTest::newRow("EIO") << EIO << "入出力エラー";
    for (int error : {EDQUOT, ENAMETOOLONG, EEXIST, EISDIR, ENOTDIR, ELOOP, EMFILE, ENFILE})
        QTest::addRow("errno %d", error) << error << QString();
    QTest::newRow("unmapped") << EDOM << QString::fromLocal8Bit(std::strerror(EDOM));
    QTest::newRow("none") << 0 << QString("");
}

void ExtractRunTest::systemReasonTexts()
{
    QFETCH(int, error);
    QFETCH(QString, text);
    const QString reason = systemReason(error);
    if (!text.isNull()) {
        QCOMPARE(reason, text);
        return;
    }
    QVERIFY(!reason.isEmpty());
    QVERIFY2(!reason.contains(QRegularExpression("[A-Za-z]")), qPrintable(reason));
}

// An unwritable folder: the reason in brackets is the Japanese one.
void ExtractRunTest::reasonNoAccess()
{
    if (geteuid() == 0)
        QSKIP("root may write anywhere");
    QVERIFY(writeArchive("one.vza", {{"a.txt", "a"}}));
    QVERIFY(QDir().mkdir("locked") && QFile::setPermissions("locked", QFile::ReadOwner | QFile::ExeOwner));
    QCOMPARE(lines(read("one.vza")), QStringList{FileDialog});
    table()->selectAll();
    QString details;
    const auto summary = [&details](QWidget* widget) {
        if (auto* box = qobject_cast<QMessageBox*>(widget))
            details = box->detailedText();
        closeBox()(widget);
    };
    run(&vzA_ExtWindow::extractToFolder, {chooseFolder("locked"), summary});
    QFile::setPermissions("locked", QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner);
    QCOMPARE(details, QStringLiteral("a.txt: ファイルを作成できません (アクセスが拒否されました)"));
}

// Out of file descriptors (as root too): 展開 cannot open the working folder.
void ExtractRunTest::reasonTooManyOpenFiles()
{
    QVERIFY(writeArchive("one.vza", {{"a.txt", "a"}}));
    QCOMPARE(lines(read("one.vza")), QStringList{FileDialog});
    table()->selectAll();
    rlimit saved{};
    QVERIFY(getrlimit(RLIMIT_NOFILE, &saved) == 0);
    // A low limit, and every descriptor below it taken.
    rlimit tight = saved;
    tight.rlim_cur = std::min<rlim_t>(saved.rlim_cur, 256);
    QVERIFY(setrlimit(RLIMIT_NOFILE, &tight) == 0);
    std::vector<int> taken;
    for (int fd; (fd = dup(STDERR_FILENO)) >= 0;)
        taken.push_back(fd);
    const auto release = [&] {
        for (int fd : taken)
            close(fd);
        taken.clear();
        setrlimit(RLIMIT_NOFILE, &saved);
    };
    const auto restore = [&release](QWidget* widget) {
        release();
        closeBox()(widget);
    };
    const QList<Seen> seen = run(&vzA_ExtWindow::extractFile, {restore});
    release();
    QCOMPARE(lines(seen), QStringList{ExtractFailedBox});
    QCOMPARE(seen[0].value, "展開先: " + QDir::currentPath() + "\n原因: 開いているファイルが多すぎます");
}

// The first time the folder dialog starts in the archive's folder, later in
// the folder chosen last.
void ExtractRunTest::toFolderStartsAtArchiveThenLast()
{
    QVERIFY(QDir().mkdir("archives") && QDir().mkdir("target"));
    QVERIFY(writeArchive("archives/one.vza", {{"one.txt", "1"}}));
    QCOMPARE(lines(read("archives/one.vza")), QStringList{FileDialog});
    table()->selectAll();
    QList<Seen> seen = run(&vzA_ExtWindow::extractToFolder, {chooseFolder("target"), closeBox()});
    QCOMPARE(seen[0].value, QDir::current().absoluteFilePath("archives"));
    QCOMPARE(seen[1].line, QStringLiteral("information|展開結果|展開が終わりました。\n"
                                          "書き込み: 1 個、スキップ: 0 個、失敗: 0 個"));
    QCOMPARE(readFile("target/one.txt"), QByteArray("1"));

    seen = run(&vzA_ExtWindow::extractToFolder, {cancel()});
    QCOMPARE(lines(seen), QStringList{FolderDialog});
    QCOMPARE(seen[0].value, QDir::current().absoluteFilePath("target"));
}

QTEST_MAIN(ExtractRunTest)
#include "tst_gui_extract_run.moc"
