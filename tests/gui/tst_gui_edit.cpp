// SPDX-License-Identifier: MIT
// The rename and replace commands: they change output names only.
#include <QTableView>
#include <QTest>

#include "ext_window.h"
#include "gui_test_support.h"

using namespace guitest;

class EditTest : public GuiFixture {
    Q_OBJECT

private slots:
    void renameNeedsOneRow_data();
    void renameNeedsOneRow();
    void rename_data();
    void rename();
    void replace_data();
    void replace();
    void replaceRejectedChangesNothing();

private:
    // Lists an archive whose entries have the given names.
    void listNames(const QStringList& names);
};

void EditTest::listNames(const QStringList& names)
{
    std::vector<Entry> entries;
    for (const QString& name : names)
        entries.push_back({name.toUtf8(), "data"});
    QVERIFY(writeArchive("names.vza", entries));
    QCOMPARE(lines(read("names.vza")), QStringList{FileDialog});
    QCOMPARE(column(1), names);
}

void EditTest::renameNeedsOneRow_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::newRow("no row") << QList<int>{};
    QTest::newRow("two rows") << QList<int>{0, 2};
    QTest::newRow("all rows") << QList<int>{0, 1, 2};
}

void EditTest::renameNeedsOneRow()
{
    QFETCH(QList<int>, rows);
    listNames({"a", "b", "c"});
    selectRows(rows);
    QCOMPARE(lines(run(&vzA_ExtWindow::changeItem, {closeBox()})), QStringList{SelectOneRowBox});
    QCOMPARE(column(0), (QStringList{"a", "b", "c"}));
    QCOMPARE(selectedRows(), rows);
}

// Whatever is confirmed lands in the file-name cell as typed; the data
// name and the selection stay.
void EditTest::rename_data()
{
    QTest::addColumn<bool>("confirm");
    QTest::addColumn<QString>("typed");
    QTest::addColumn<QString>("expected");

    QTest::newRow("new name") << true << "out/new name.txt"
                              << "out/new name.txt";
    QTest::newRow("empty") << true << ""
                           << "";
    QTest::newRow("unsafe, used as typed") << true << "../up.txt"
                                           << "../up.txt";
    QTest::newRow("non-ASCII") << true << "名前.txt"
                               << "名前.txt";
    QTest::newRow("cancelled") << false << "ignored"
                               << "b.txt";
}

void EditTest::rename()
{
    QFETCH(bool, confirm);
    QFETCH(QString, typed);
    QFETCH(QString, expected);

    listNames({"a.txt", "b.txt", "c.txt"});
    selectRows({1});
    int width = 0;  // wide enough for a path, not Qt's 200 px
    const ModalScript::Step answer = confirm ? enterText(typed) : cancel();
    const QList<Seen> seen = run(&vzA_ExtWindow::changeItem, {[&](QWidget* dialog) {
        width = dialog->width();
        answer(dialog);
    }});
    QCOMPARE(lines(seen), QStringList{RenameDialog});
    QVERIFY2(width >= 440, qPrintable(QString::number(width)));
    QCOMPARE(seen[0].value, QStringLiteral("b.txt"));  // the dialog offers the current name
    QCOMPARE(column(0), (QStringList{"a.txt", expected, "c.txt"}));
    QCOMPARE(column(1), (QStringList{"a.txt", "b.txt", "c.txt"}));
    QCOMPARE(selectedRows(), QList<int>{1});
    // A name the column cuts short is there in full as the cell's tooltip.
    const QAbstractItemModel* model = table()->model();
    for (int column : {0, 1})
        QCOMPARE(model->index(1, column).data(Qt::ToolTipRole), model->index(1, column).data());
}

// Each case lists name, name + "2" and "other", selects the first two
// rows and runs one replace.
void EditTest::replace_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("search");
    QTest::addColumn<QString>("replacement");
    QTest::addColumn<QString>("expected");

    QTest::newRow("every occurrence") << "a.txt.txt"
                                      << "txt"
                                      << "dat"
                                      << "a.dat.dat";
    QTest::newRow("case-sensitive") << "a.txt"
                                    << "TXT"
                                    << "dat"
                                    << "a.txt";
    QTest::newRow("inserted text not searched again") << "aba"
                                                      << "a"
                                                      << "aa"
                                                      << "aabaa";
    QTest::newRow("empty search: prefix") << "data.bin"
                                          << ""
                                          << "new_"
                                          << "new_data.bin";
    QTest::newRow("both empty") << "data.bin"
                                << ""
                                << ""
                                << "data.bin";
    QTest::newRow("whole name removed") << "abc"
                                        << "abc"
                                        << ""
                                        << "";
    QTest::newRow("non-ASCII") << "日本語.txt"
                               << "日本"
                               << "英"
                               << "英語.txt";
}

void EditTest::replace()
{
    QFETCH(QString, name);
    QFETCH(QString, search);
    QFETCH(QString, replacement);
    QFETCH(QString, expected);

    const QStringList names{name, name + "2", "other"};
    listNames(names);
    selectRows({0, 1});
    QCOMPARE(lines(run(&vzA_ExtWindow::replaceItem, {enterReplace(search, replacement)})), QStringList{ReplaceDialog});
    // "2" is never part of a search string here, so row 1 is row 0 plus "2".
    QCOMPARE(column(0), (QStringList{expected, expected + "2", "other"}));
    QCOMPARE(column(1), names);
    QCOMPARE(selectedRows(), QList<int>{});

    // Nothing selected: the dialog still comes, nothing changes.
    QCOMPARE(lines(run(&vzA_ExtWindow::replaceItem, {enterReplace(search, replacement)})), QStringList{ReplaceDialog});
    QCOMPARE(column(0), (QStringList{expected, expected + "2", "other"}));
}

void EditTest::replaceRejectedChangesNothing()
{
    listNames({"a.txt", "b.txt"});
    selectRows({0, 1});
    QCOMPARE(lines(run(&vzA_ExtWindow::replaceItem, {cancel()})), QStringList{ReplaceDialog});
    QCOMPARE(column(0), (QStringList{"a.txt", "b.txt"}));
    QCOMPARE(selectedRows(), (QList<int>{0, 1}));

    // A prefix goes in once per selected row and run.
    QCOMPARE(lines(run(&vzA_ExtWindow::replaceItem, {enterReplace("", "x_")})), QStringList{ReplaceDialog});
    selectRows({1});
    QCOMPARE(lines(run(&vzA_ExtWindow::replaceItem, {enterReplace("", "x_")})), QStringList{ReplaceDialog});
    QCOMPARE(column(0), (QStringList{"x_a.txt", "x_x_b.txt"}));
}

QTEST_MAIN(EditTest)
#include "tst_gui_edit.moc"
