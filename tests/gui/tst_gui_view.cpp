// SPDX-License-Identifier: MIT
// What the table shows and how: the size columns, sorting by a header click,
// the filter box, the status bar's sums, names read in another encoding, and
// names whose characters would hide or reorder what they say.
#include <QActionGroup>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QSignalSpy>
#include <QStatusBar>
#include <QTest>

#include "entry_table_model.h"
#include "ext_window.h"
#include "gui_test_support.h"
#include "vza/archive/format/format.h"

using namespace guitest;

class ViewTest : public GuiFixture {
    Q_OBJECT

private slots:
    void humanSizes();
    void sizeColumns();
    void sortByHeader_data();
    void sortByHeader();
    void filter();
    void commandsWorkOnWhatIsShown();
    void statusSumsSelection();
    void encodingMenuKeepsTypedNames();
    void invisibleCharactersShown();

private:
    QString status() const { return window->findChild<QLabel*>("statusLabel")->text(); }
    QLineEdit* filterEdit() const { return window->findChild<QLineEdit*>("filterEdit"); }
    // Clicks the header of column and waits until the new order is shown.
    void clickHeader(int column);
    void typeFilter(const QString& text);
};

void ViewTest::clickHeader(int column)
{
    QSignalSpy shown(window.get(), &vzA_ExtWindow::viewOrderShown);
    QHeaderView* header = table()->horizontalHeader();
    const QPoint at(header->sectionViewportPosition(column) + header->sectionSize(column) / 2, header->height() / 2);
    QTest::mouseClick(header->viewport(), Qt::LeftButton, Qt::NoModifier, at);
    QVERIFY(shown.count() == 1 || shown.wait());
}

void ViewTest::typeFilter(const QString& text)
{
    QSignalSpy shown(window.get(), &vzA_ExtWindow::viewOrderShown);
    filterEdit()->setText(text);
    QVERIFY(shown.count() == 1 || shown.wait());
}

void ViewTest::humanSizes()
{
    const std::pair<std::uint64_t, const char*> cases[] = {
        {0, "0 B"},
        {1023, "1023 B"},
        {1024, "1.0 KiB"},
        {1536, "1.5 KiB"},
        {5ull << 20, "5.0 MiB"},
        {(3ull << 30) + (1ull << 29), "3.5 GiB"},
        {4000ull << 40, "4000.0 TiB"},
    };
    for (const auto& [bytes, text] : cases)
        QCOMPARE(humanSize(bytes), QString(text));
}

// The two name columns stay first and equal; the sizes follow, right-aligned.
void ViewTest::sizeColumns()
{
    QVERIFY(writeArchive("sizes.vza", {{"big", QByteArray(3 << 20, 'z')}, {"small", "12345"}}, vza::FlagCompressed));
    QCOMPARE(lines(read("sizes.vza")), QStringList{FileDialog});
    const QAbstractItemModel* m = table()->model();
    QStringList headers;
    for (int c = 0; c < m->columnCount(); ++c)
        headers << m->headerData(c, Qt::Horizontal).toString();
    QCOMPARE(headers, (QStringList{"ファイル名", "データ名", "サイズ", "格納サイズ"}));
    QCOMPARE(column(2), (QStringList{"3.0 MiB", "5 B"}));
    QVERIFY(column(3)[0].endsWith(" KiB"));  // compressed well below its size
    QCOMPARE(m->index(0, 2).data(Qt::TextAlignmentRole).toInt(), int(Qt::AlignRight | Qt::AlignVCenter));
    QCOMPARE(table()->columnWidth(0), table()->columnWidth(1));
}

void ViewTest::sortByHeader_data()
{
    QTest::addColumn<int>("column");
    QTest::addColumn<QStringList>("ascending");  // the data names, after one click
    // Code point order (upper case before lower, ä and 日 after ASCII);
    // the two "b" entries keep the archive's order both ways.
    QTest::newRow("data name") << 1 << QStringList{"B", "a", "b", "b", "ä", "日"};
    // Sizes as numbers: 9 < 10 < 100, not "10" < "100" < "9".
    QTest::newRow("size") << 2 << QStringList{"B", "ä", "日", "b", "a", "b"};
}

// One click sorts by the column, the second the other way, the third brings
// back the archive's order; entries of equal keys keep their order.
void ViewTest::sortByHeader()
{
    QFETCH(int, column);
    QFETCH(QStringList, ascending);
    QVERIFY(writeArchive("sort.vza", {{"b", QByteArray(100, '1')},
                                      {"日", QByteArray(10, '2')},
                                      {"a", QByteArray(100, '3')},
                                      {"B", QByteArray(1, '4')},
                                      {"b", QByteArray(100, '5')},
                                      {"ä", QByteArray(9, '6')}}));
    QCOMPARE(lines(read("sort.vza")), QStringList{FileDialog});
    const QStringList archiveOrder{"b", "日", "a", "B", "b", "ä"};
    QCOMPARE(this->column(1), archiveOrder);

    clickHeader(column);
    QCOMPARE(this->column(1), ascending);
    clickHeader(column);
    QStringList descending = ascending;
    std::reverse(descending.begin(), descending.end());
    // Stable both ways: the first "b" of the archive stays first among equals.
    if (column == 1)
        descending = QStringList{"日", "ä", "b", "b", "a", "B"};
    else
        descending = QStringList{"b", "a", "b", "日", "ä", "B"};
    QCOMPARE(this->column(1), descending);
    clickHeader(column);
    QCOMPARE(this->column(1), archiveOrder);
}

// The filter keeps rows whose stored or output name holds the text, in any
// case; Escape clears it, Ctrl+F comes back to it.
void ViewTest::filter()
{
    QVERIFY(writeArchive("filter.vza", {{"docs/Readme.TXT", "1"},
                                        {"src/main.cpp", "2"},
                                        {"日本語/メモ.txt", "3"},
                                        {"ÄRGER.md", "4"},
                                        {"other.bin", "5"}}));
    QCOMPARE(lines(read("filter.vza")), QStringList{FileDialog});
    selectRows({1});
    QCOMPARE(lines(run(&vzA_ExtWindow::changeItem, {enterText("renamed.txt")})), QStringList{RenameDialog});

    typeFilter("txt");
    QCOMPARE(column(1), (QStringList{"docs/Readme.TXT", "src/main.cpp", "日本語/メモ.txt"}));
    typeFilter("ärger");
    QCOMPARE(column(1), QStringList{"ÄRGER.md"});
    typeFilter("日本");
    QCOMPARE(column(1), QStringList{"日本語/メモ.txt"});
    typeFilter("nothing like it");
    QCOMPARE(column(1), QStringList{});

    QSignalSpy shown(window.get(), &vzA_ExtWindow::viewOrderShown);
    QTest::keyClick(filterEdit(), Qt::Key_Escape);
    QVERIFY(shown.count() == 1 || shown.wait());
    QCOMPARE(filterEdit()->text(), QString());
    QCOMPARE(rowCount(), 5);

    QVERIFY(activateMainWindow());
    table()->setFocus();
    QTest::keySequence(window.get(), QKeySequence::Find);
    QTRY_COMPARE(QApplication::focusWidget(), static_cast<QWidget*>(filterEdit()));
}

// Under a sort and a filter, rename, 置換 and 展開 reach the entries the
// rows show; with nothing selected, 展開 offers the rows shown, not all.
void ViewTest::commandsWorkOnWhatIsShown()
{
    QVERIFY(writeArchive("shown.vza", {{"c.txt", "c"}, {"a.txt", "a"}, {"skip.bin", "s"}, {"b.txt", "b"}}));
    QCOMPARE(lines(read("shown.vza")), QStringList{FileDialog});
    typeFilter(".txt");
    clickHeader(1);
    QCOMPARE(column(1), (QStringList{"a.txt", "b.txt", "c.txt"}));
    selectRows({0});
    QCOMPARE(lines(run(&vzA_ExtWindow::changeItem, {enterText("first.txt")})), QStringList{RenameDialog});
    QCOMPARE(column(0), (QStringList{"first.txt", "b.txt", "c.txt"}));

    table()->clearSelection();
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {press(QMessageBox::Yes), closeBox()})),
             (QStringList{AllRowsQuestion.arg(3), ExtractDoneBox}));
    QCOMPARE(readFile("first.txt"), QByteArray("a"));
    QCOMPARE(readFile("b.txt"), QByteArray("b"));
    QCOMPARE(readFile("c.txt"), QByteArray("c"));
    QVERIFY(!QFile::exists("skip.bin"));
}

void ViewTest::statusSumsSelection()
{
    QVERIFY(writeArchive("sum.vza", {{"a", QByteArray(1024, 'a')}, {"b", QByteArray(512, 'b')}, {"c", "c"}},
                         vza::FlagEncrypted | vza::FlagCompressed, "pw"));
    QCOMPARE(lines(read("sum.vza", {enterPassword("pw")})), (QStringList{FileDialog, PasswordDialog}));
    QCOMPARE(status(), "sum.vza　ファイル数: 3　合計サイズ: 1,537 バイト　暗号化・圧縮");
    selectRows({0, 1});
    QCOMPARE(status(), "sum.vza　ファイル数: 3　合計サイズ: 1,537 バイト　暗号化・圧縮　選択: 2 個 (1.5 KiB)");
    typeFilter("c");
    QCOMPARE(status(), "sum.vza　ファイル数: 3　合計サイズ: 1,537 バイト　暗号化・圧縮　表示: 1 個");
}

// Read as Latin-1, a Shift_JIS name shows its bytes as Latin-1 characters;
// a name the user typed stays as typed whatever the reading, and extraction
// still finds every entry by its bytes.
void ViewTest::encodingMenuKeepsTypedNames()
{
    QVERIFY(writeArchiveAsGiven("sjis.vza", {{"\x83\x65\x83\x58\x83\x67.txt", "t"}, {"\x95\x5c.csv", "h"}}));
    QCOMPARE(lines(read("sjis.vza")), QStringList{FileDialog});
    QCOMPARE(column(1), (QStringList{"テスト.txt", "表.csv"}));
    selectRows({1});
    QCOMPARE(lines(run(&vzA_ExtWindow::changeItem, {enterText("typed.csv")})), QStringList{RenameDialog});

    const auto choose = [this](const QString& text) {
        for (QAction* action : window->findChild<QMenu*>("encodingMenu")->actions())
            if (action->text() == text)
                action->trigger();
    };
    choose("Latin-1");
    // Their C1 control characters shown escaped.
    QCOMPARE(column(1), (QStringList{shownName(QString::fromLatin1("\x83\x65\x83\x58\x83\x67.txt")),
                                     shownName(QString::fromLatin1("\x95\\.csv"))}));
    QCOMPARE(column(0)[1], "typed.csv");
    selectRows({1});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {closeBox()})), QStringList{ExtractDoneBox});
    QCOMPARE(readFile("typed.csv"), QByteArray("h"));
    choose("自動");
    QCOMPARE(column(1), (QStringList{"テスト.txt", "表.csv"}));
    QCOMPARE(column(0), (QStringList{"テスト.txt", "typed.csv"}));
}

// A right-to-left override, a zero-width space and a blank braille pattern
// are shown as escapes in the table, its tooltips and the questions; the
// file written has the name itself.
void ViewTest::invisibleCharactersShown()
{
    const QString name = QString::fromUtf8("report\u202efdp.sh");
    const QString shown = QStringLiteral("report\\u202efdp.sh");
    QVERIFY(writeArchive("bidi.vza", {{name.toUtf8(), "new"}, {"a\u200bb\u2800.txt", "x"}}));
    QCOMPARE(lines(read("bidi.vza")), QStringList{FileDialog});
    QCOMPARE(column(1), (QStringList{shown, "a\\u200bb\\u2800.txt"}));
    QCOMPARE(column(0)[0], shown);
    QCOMPARE(table()->model()->index(0, 1).data(Qt::ToolTipRole).toString(), shown);
    QCOMPARE(table()->model()->index(0, 0).data(Qt::EditRole).toString(), name);

    QVERIFY(writeFile(name, "old"));
    selectRows({0});
    QCOMPARE(lines(run(&vzA_ExtWindow::extractFile, {press(QMessageBox::Yes), closeBox()})),
             (QStringList{overwriteQuestion(shown), ExtractDoneBox}));
    QCOMPARE(readFile(name), QByteArray("new"));
}

QTEST_MAIN(ViewTest)
#include "tst_gui_view.moc"
