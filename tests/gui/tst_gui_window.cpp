// SPDX-License-Identifier: MIT
// The main window as built: its widgets, menus, shortcuts, the wiring of
// every command, the two dialogs, and column widths that follow resizes.
#include <QAction>
#include <QDialog>
#include <QFrame>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QSet>
#include <QTableView>
#include <QTest>

#include "ext_window.h"
#include "gui_test_support.h"
#include "password_dialog.h"
#include "replace_dialog.h"

using namespace guitest;

namespace {

// The label of a dialog's field.
QLabel* buddyLabel(QWidget* dialog)
{
    for (QLabel* label : dialog->findChildren<QLabel*>())
        if (label->buddy())
            return label;
    return nullptr;
}

bool isFont(const QFont& font, const QString& family, int pointSize, QFont::Weight weight)
{
    return font.family() == family && font.pointSize() == pointSize && font.weight() == weight && !font.italic();
}

}  // namespace

class WindowTest : public GuiFixture {
    Q_OBJECT

private slots:
    void builtWindow();
    void visibleTexts();
    void menusAndShortcuts();
    void commandWiring_data();
    void commandWiring();
    void buttonsTriggerTheirActions();
    void quitClosesWindow();
    void dialogsAsBuilt();
    void replaceDialogKeys();
    void columnsFillTheTable_data();
    void columnsFillTheTable();
};

void WindowTest::builtWindow()
{
    QCOMPARE(window->size(), QSize(500, 500));
    QVERIFY(!window->windowIcon().isNull());
    QVERIFY(!window->windowIcon().pixmap(QSize(64, 64)).isNull());

    QTableView* t = table();
    QVERIFY(t);
    QCOMPARE(t->model()->rowCount(), 0);
    QCOMPARE(t->model()->columnCount(), 4);  // the two names, then the two sizes
    QVERIFY(t->alternatingRowColors());
    QVERIFY(isFont(t->font(), QStringLiteral("Times"), 10, QFont::Normal));
    QVERIFY(!t->isSortingEnabled());
    QCOMPARE(t->selectionBehavior(), QAbstractItemView::SelectRows);
    QCOMPARE(t->selectionMode(), QAbstractItemView::ExtendedSelection);
    QCOMPARE(t->editTriggers(), QAbstractItemView::NoEditTriggers);

    // The table fills a sunken frame that sits 11 px in from the window's
    // central area, with the buttons below it at the left.
    auto* frame = qobject_cast<QFrame*>(t->parentWidget());
    QVERIFY(frame);
    QCOMPARE(frame->frameStyle(), int(QFrame::WinPanel | QFrame::Sunken));
    QCOMPARE(frame->contentsRect(), t->geometry());
    QCOMPARE(frame->pos(), QPoint(11, 11));

    const QStringList names{QStringLiteral("readButton"), QStringLiteral("changeButton"),
                            QStringLiteral("replaceButton"), QStringLiteral("extractButton")};
    int x = frame->x();
    for (const QString& name : names) {
        QPushButton* b = button(name);
        QVERIFY2(b, qPrintable(name));
        QVERIFY(isFont(b->font(), QStringLiteral("Times"), 12, QFont::Bold));
        QCOMPARE(b->parentWidget(), frame->parentWidget());
        QCOMPARE(b->y(), frame->geometry().bottom() + 1 + 6);
        QVERIFY2(b->x() >= x, qPrintable(name));  // left to right in this order
        x = b->geometry().right();
    }
    QCOMPARE(button(names[0])->x(), 11);
    QVERIFY(x < frame->geometry().right() - 50);  // the stretch keeps them at the left
}

// The one place that checks the Japanese texts the user sees; every other
// test finds widgets by objectName.
void WindowTest::visibleTexts()
{
    QCOMPARE(window->windowTitle(), QStringLiteral("VZ Archive Extract"));
    QCOMPARE(table()->model()->headerData(0, Qt::Horizontal), QVariant(QStringLiteral("ファイル名")));
    QCOMPARE(table()->model()->headerData(1, Qt::Horizontal), QVariant(QStringLiteral("データ名")));

    const QList<QPair<QString, QString>> buttons{
        {QStringLiteral("readButton"), QStringLiteral("読込")},
        {QStringLiteral("changeButton"), QStringLiteral("変更")},
        {QStringLiteral("replaceButton"), QStringLiteral("置換")},
        {QStringLiteral("extractButton"), QStringLiteral("展開")},
    };
    for (const auto& [name, text] : buttons)
        QCOMPARE(button(name)->text(), text);

    QStringList menus;
    for (QAction* menu : window->menuBar()->actions())
        menus << menu->text();
    QCOMPARE(menus, (QStringList{QStringLiteral("アプリケーション"), QStringLiteral("展開"),
                                 QStringLiteral("文字コード"), QStringLiteral("バージョン")}));
    const QList<QPair<QString, QString>> actions{
        {QStringLiteral("quitAction"), QStringLiteral("終了")},
        {QStringLiteral("readAction"), QStringLiteral("アーカイブ読込")},
        {QStringLiteral("changeAction"), QStringLiteral("ファイル名変更")},
        {QStringLiteral("replaceAction"), QStringLiteral("ファイル名置換")},
        {QStringLiteral("extractAction"), QStringLiteral("ファイル展開")},
        {QStringLiteral("extractToFolderAction"), QStringLiteral("フォルダへ展開…")},
        {QStringLiteral("aboutQtAction"), QStringLiteral("Qtについて")},
    };
    for (const auto& [name, text] : actions)
        QCOMPARE(action(name)->text(), text);

    auto* replace = window->findChild<QDialog*>(QStringLiteral("replaceDialog"));
    QCOMPARE(replace->windowTitle(), QStringLiteral("置換"));
    QStringList labels;
    for (QLabel* label : replace->findChildren<QLabel*>())
        labels << label->text();
    labels.sort();
    QStringList expectedLabels{QStringLiteral("検索文字列"), QStringLiteral("置換文字列"),
                               QStringLiteral("検索文字列を空にすることで、\n"
                                              "ファイル名の先頭に文字列を付加することができます。")};
    expectedLabels.sort();
    QCOMPARE(labels, expectedLabels);
    QStringList buttonTexts;
    for (QPushButton* b : replace->findChildren<QPushButton*>())
        buttonTexts << b->text();
    QCOMPARE(buttonTexts, (QStringList{QStringLiteral("置換"), QStringLiteral("キャンセル")}));

    auto* password = window->findChild<QDialog*>(QStringLiteral("passwordDialog"));
    QCOMPARE(password->windowTitle(), QStringLiteral("パスワード"));
    QCOMPARE(buddyLabel(password)->text(), QStringLiteral("パスワード"));
    buttonTexts.clear();
    for (QPushButton* b : password->findChildren<QPushButton*>())
        buttonTexts << b->text();
    QCOMPARE(buttonTexts, (QStringList{QStringLiteral("OK"), QStringLiteral("キャンセル")}));
}

void WindowTest::menusAndShortcuts()
{
    const QList<QStringList> expected{
        {QStringLiteral("quitAction")},
        {QStringLiteral("readAction"), QStringLiteral("recentMenuAction"), QStringLiteral("changeAction"),
         QStringLiteral("replaceAction"), QStringLiteral("extractAction"), QStringLiteral("extractToFolderAction"),
         QStringLiteral("testAction")},
        {QString(), QString(), QString(), QString()},  // 自動, UTF-8, Shift_JIS, Latin-1
        {QStringLiteral("aboutQtAction")},
    };
    const QList<QAction*> menus = window->menuBar()->actions();
    QCOMPARE(menus.size(), expected.size());
    for (int i = 0; i < menus.size(); ++i) {
        QStringList names;
        for (QAction* a : menus[i]->menu()->actions())
            names << a->objectName();
        QCOMPARE(names, expected[i]);
    }

    const QList<QPair<QString, QString>> shortcuts{
        {QStringLiteral("quitAction"), QStringLiteral("Ctrl+Q")},
        {QStringLiteral("readAction"), QStringLiteral("Ctrl+O")},
        {QStringLiteral("changeAction"), QStringLiteral("Ctrl+T")},
        {QStringLiteral("replaceAction"), QStringLiteral("Ctrl+R")},
        {QStringLiteral("extractAction"), QStringLiteral("Ctrl+S")},
        {QStringLiteral("extractToFolderAction"), QStringLiteral("Ctrl+E")},
        {QStringLiteral("aboutQtAction"), QString()},
    };
    for (const auto& [name, keys] : shortcuts)
        QCOMPARE(action(name)->shortcut(), QKeySequence(keys));
}

// Button, menu entry and shortcut of a command run the same slot: each
// brings up the first dialog or box of that command.
void WindowTest::commandWiring_data()
{
    QTest::addColumn<QString>("buttonName");
    QTest::addColumn<QString>("actionName");
    QTest::addColumn<QString>("expected");

    QTest::newRow("read") << "readButton"
                          << "readAction" << FileDialog;
    QTest::newRow("rename") << "changeButton"
                            << "changeAction" << SelectOneRowBox;
    QTest::newRow("replace") << "replaceButton"
                             << "replaceAction" << ReplaceDialog;
    // With an archive listed and nothing selected, both ask first.
    QTest::newRow("extract") << "extractButton"
                             << "extractAction" << AllRowsQuestion.arg(1);
    QTest::newRow("extract to a folder") << ""
                                         << "extractToFolderAction" << AllRowsQuestion.arg(1);
    QTest::newRow("about Qt") << ""
                              << "aboutQtAction"
                              << "box|About Qt";
}

void WindowTest::commandWiring()
{
    QFETCH(QString, buttonName);
    QFETCH(QString, actionName);
    QFETCH(QString, expected);

    QVERIFY(writeArchive("one.vza", {{"one.txt", "1"}}));
    QCOMPARE(lines(read("one.vza")), QStringList{FileDialog});
    QVERIFY(activateMainWindow());

    QAction* menuAction = action(actionName);
    QVERIFY(menuAction);
    QList<QPair<QString, std::function<void()>>> triggers{{"menu", [menuAction] { menuAction->trigger(); }}};
    if (!buttonName.isEmpty()) {
        QPushButton* b = button(buttonName);
        triggers.append({"button", [b] { QTest::mouseClick(b, Qt::LeftButton); }});
    }
    if (!menuAction->shortcut().isEmpty()) {
        const QKeySequence keys = menuAction->shortcut();
        triggers.append({"shortcut", [this, keys] {
                             // A dialog that just closed may still be the active window.
                             if (activateMainWindow())
                                 QTest::keySequence(window.get(), keys);
                         }});
    }

    for (const auto& [how, trigger] : triggers) {
        ModalScript script({cancel()});
        trigger();
        waitForExtraction();
        const QStringList seen = lines(script.result());
        QCOMPARE(seen.size(), 1);
        QVERIFY2(seen[0].startsWith(expected), qPrintable(how + ": " + seen[0]));
    }
}

// A button is its action's other face: clicking it triggers the action, and
// it is usable exactly when the action is.
void WindowTest::buttonsTriggerTheirActions()
{
    QVERIFY(writeArchive("one.vza", {{"one.txt", "1"}}));
    QCOMPARE(lines(read("one.vza")), QStringList{FileDialog});
    for (const char* name : {"read", "change", "replace", "extract"}) {
        auto* b = window->findChild<QPushButton*>(QLatin1String(name) + QLatin1String("Button"));
        auto* a = window->findChild<QAction*>(QLatin1String(name) + QLatin1String("Action"));
        QVERIFY2(a && b, name);
        QVERIFY(b->shortcut().isEmpty());  // the keys live on the action alone
        int triggered = 0;
        const auto counter = connect(a, &QAction::triggered, this, [&] { ++triggered; });
        ModalScript script({cancel()});
        QTest::mouseClick(b, Qt::LeftButton);
        QCOMPARE(triggered, 1);
        disconnect(counter);
        a->setEnabled(false);
        QVERIFY(!b->isEnabled());
        a->setEnabled(true);
        QVERIFY(b->isEnabled());
    }
}

void WindowTest::quitClosesWindow()
{
    QVERIFY(activateMainWindow());
    QTest::keySequence(window.get(), QKeySequence(QStringLiteral("Ctrl+Q")));
    QTRY_VERIFY(!window->isVisible());
}

void WindowTest::dialogsAsBuilt()
{
    auto* replace = window->findChild<vzA_ReplaceDialog*>(QStringLiteral("replaceDialog"));
    QVERIFY(replace && !replace->isVisible());
    auto* search = replace->findChild<QLineEdit*>(QStringLiteral("searchEdit"));
    auto* replacement = replace->findChild<QLineEdit*>(QStringLiteral("replaceEdit"));
    QVERIFY(search && replacement);
    QSet<QWidget*> buddies;
    for (QLabel* label : replace->findChildren<QLabel*>())
        if (label->buddy())
            buddies << label->buddy();
    QCOMPARE(buddies, (QSet<QWidget*>{search, replacement}));  // each field has its label
    auto* replaceOk = replace->findChild<QPushButton*>(QStringLiteral("replaceOkButton"));
    QVERIFY(replaceOk && replaceOk->isDefault());
    QCOMPARE(replace->searchText(), QString());
    QCOMPARE(replace->replaceText(), QString());

    auto* password = window->findChild<vzA_PasswordDialog*>(QStringLiteral("passwordDialog"));
    QVERIFY(password && !password->isVisible());
    auto* field = password->findChild<QLineEdit*>(QStringLiteral("passwordEdit"));
    QVERIFY(field);
    QCOMPARE(buddyLabel(password)->buddy(), field);
    QCOMPARE(field->echoMode(), QLineEdit::Password);
    QCOMPARE(password->password(), QString());
    QVERIFY(password->findChild<QPushButton*>(QStringLiteral("passwordOkButton")));
}

// Return accepts through the default button, Escape rejects; the fields
// keep their texts and the next showing starts in the search field.
void WindowTest::replaceDialogKeys()
{
    auto* dialog = window->findChild<vzA_ReplaceDialog*>(QStringLiteral("replaceDialog"));
    QWidget* focusAtStart = nullptr;
    QString typed;
    auto type = [&](int key) {
        return [&, key](QWidget* widget) {
            focusAtStart = widget->focusWidget();
            QTest::keyClicks(widget->focusWidget(), QStringLiteral("x"));
            QTest::keyClick(widget->focusWidget(), Qt::Key_Tab);
            QTest::keyClicks(widget->focusWidget(), QStringLiteral("y"));
            typed = dialog->searchText() + QLatin1Char('|') + dialog->replaceText();
            QTest::keyClick(widget->focusWidget(), Qt::Key(key));
        };
    };
    auto* searchField = dialog->findChild<QLineEdit*>(QStringLiteral("searchEdit"));

    QList<Seen> seen = run(&vzA_ExtWindow::replaceItem, {type(Qt::Key_Return)});
    QCOMPARE(lines(seen), QStringList{ReplaceDialog});
    QCOMPARE(dialog->result(), int(QDialog::Accepted));
    QCOMPARE(focusAtStart, searchField);
    QCOMPARE(typed, QStringLiteral("x|y"));

    seen = run(&vzA_ExtWindow::replaceItem, {type(Qt::Key_Escape)});
    QCOMPARE(seen.value(0).value, QStringLiteral("x|y"));  // kept from the first use
    QCOMPARE(dialog->result(), int(QDialog::Rejected));
    QCOMPARE(focusAtStart, searchField);
    QCOMPARE(dialog->searchText() + QLatin1Char('|') + dialog->replaceText(), typed);
}

// Whatever the window's width and whether the rows need a vertical scroll
// bar, the two columns share the table's width: both fully visible, no
// horizontal scroll bar, and little room left over.
void WindowTest::columnsFillTheTable_data()
{
    QTest::addColumn<int>("rows");
    QTest::addColumn<QList<int>>("widths");

    QTest::newRow("no scroll bar") << 3 << QList<int>{640, 501, 420};
    QTest::newRow("vertical scroll bar") << 200 << QList<int>{700, 555};
}

void WindowTest::columnsFillTheTable()
{
    QFETCH(int, rows);
    QFETCH(QList<int>, widths);

    std::vector<Entry> entries;
    for (int i = 0; i < rows; ++i)
        entries.push_back({QByteArray::number(i) + ".txt", "x"});
    QVERIFY(writeArchive(QStringLiteral("rows.vza"), entries));
    QCOMPARE(lines(read(QStringLiteral("rows.vza"))), QStringList{FileDialog});
    QCOMPARE(rowCount(), rows);

    QTableView* t = table();
    const QScrollBar* bar = t->verticalScrollBar();
    QTRY_COMPARE(bar->isVisible(), rows > 20);
    // What is wrong with the columns, or nothing.
    const auto columnProblem = [t]() -> QString {
        const int first = t->columnWidth(0);
        const int second = t->columnWidth(1);
        const int sizes = t->columnWidth(2) + t->columnWidth(3);
        const int room = t->viewport()->width();
        const QString widths = QStringLiteral(": %1 + %2 + %3 in %4").arg(first).arg(second).arg(sizes).arg(room);
        if (first + second + sizes > room)
            return QStringLiteral("columns overflow") + widths;
        if (first + second + sizes < room - 8)
            return QStringLiteral("room left over") + widths;
        if (qAbs(first - second) > 1)
            return QStringLiteral("unequal columns") + widths;
        if (t->horizontalScrollBar()->isVisible())
            return QStringLiteral("horizontal scroll bar shown") + widths;
        return QString();
    };
    // The table lays itself out once control is back in the event loop.
    QTRY_COMPARE(columnProblem(), QString());
    for (int width : widths) {
        window->resize(width, 400);
        QTRY_COMPARE(window->width(), width);
        QTRY_COMPARE(columnProblem(), QString());
        QCOMPARE(bar->isVisible(), rows > 20);
    }
}

QTEST_MAIN(WindowTest)
#include "tst_gui_window.moc"
