// Building the main window and keeping its entry table.
#include "ext_window.h"

#include <QAction>
#include <QApplication>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QKeySequence>
#include <QMenu>
#include <QMenuBar>
#include <QPushButton>
#include <QScrollBar>
#include <QTableWidget>
#include <QVBoxLayout>

#include "archive/safe_name.h"
#include "entry_name_text.h"
#include "password_dialog.h"
#include "replace_dialog.h"

namespace {

constexpr int RowHeight = 20;

}  // namespace

// Qt 6 reads every tr() literal as UTF-8, so the Japanese texts need no
// codec set up before the first tr() call.
vzA_ExtWindow::vzA_ExtWindow()
{
    auto *central = new QWidget;
    setCentralWidget(central);

    createTable(central);
    createLayout(central);
    createMenus();

    replaceDialog = new vzA_ReplaceDialog(this);
    passwordDialog = new vzA_PasswordDialog(this);

    setWindowTitle(tr("VZ Archive Extract"));
    resize(500, 500);
}

// Widgets and dialogs go with the QMainWindow base; archive needs nothing.
vzA_ExtWindow::~vzA_ExtWindow() = default;

void vzA_ExtWindow::createTable(QWidget *central)
{
    table = new QTableWidget(0, 2, central);
    table->setAlternatingRowColors(true);
    table->setFont(QFont("Times", 10, QFont::Normal, false));
    table->setSortingEnabled(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    table->setHorizontalHeaderLabels({tr("ファイル名"), tr("データ名")});
    // Qt 6 keeps rows at least as high as the header font needs with its
    // margins (22 px here), so allow 20. New rows are then born at 20 px and
    // the height given to each new row leaves the header untouched.
    table->verticalHeader()->setMinimumSectionSize(RowHeight);
    table->verticalHeader()->setDefaultSectionSize(RowHeight);
}

void vzA_ExtWindow::createLayout(QWidget *central)
{
    auto *innerLayout = new QVBoxLayout;
    auto *outerLayout = new QVBoxLayout;
    frame = new QFrame;

    innerLayout->addWidget(table);
    innerLayout->setContentsMargins(0, 0, 0, 0);
    frame->setLayout(innerLayout);
    frame->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);

    outerLayout->addWidget(frame);
    outerLayout->addLayout(createButtonRow());
    outerLayout->setAlignment(Qt::AlignLeft);
    outerLayout->setContentsMargins(11, 11, 11, 11);
    outerLayout->setSpacing(6);
    central->setLayout(outerLayout);
}

QHBoxLayout *vzA_ExtWindow::createButtonRow()
{
    struct Command {
        QString label;
        void (vzA_ExtWindow::*slot)();
    };
    const Command commands[] = {
        {tr("読込"), &vzA_ExtWindow::readArchive},
        {tr("変更"), &vzA_ExtWindow::changeItem},
        {tr("置換"), &vzA_ExtWindow::replaceItem},
        {tr("展開"), &vzA_ExtWindow::extractFile},
    };

    auto *row = new QHBoxLayout;
    for (const Command &command : commands) {
        auto *button = new QPushButton(command.label, this);
        button->setFont(QFont("Times", 12, QFont::Bold, false));
        connect(button, &QPushButton::clicked, this, command.slot);
        row->addWidget(button);
    }
    row->addStretch(1);
    return row;
}

void vzA_ExtWindow::createMenus()
{
    auto *quitAction = new QAction(tr("終了"), this);
    auto *readAction = new QAction(tr("アーカイブ読込"), this);
    auto *changeAction = new QAction(tr("ファイル名変更"), this);
    auto *replaceAction = new QAction(tr("ファイル名置換"), this);
    auto *extractAction = new QAction(tr("ファイル展開"), this);
    auto *aboutQtAction = new QAction(tr("Qtについて"), this);

    quitAction->setShortcut(QKeySequence(tr("Ctrl+Q")));
    readAction->setShortcut(QKeySequence(tr("Ctrl+O")));
    changeAction->setShortcut(QKeySequence(tr("Ctrl+T")));
    replaceAction->setShortcut(QKeySequence(tr("Ctrl+R")));
    extractAction->setShortcut(QKeySequence(tr("Ctrl+S")));

    connect(quitAction, &QAction::triggered, this, &QWidget::close);
    connect(readAction, &QAction::triggered, this, &vzA_ExtWindow::readArchive);
    connect(changeAction, &QAction::triggered, this, &vzA_ExtWindow::changeItem);
    connect(replaceAction, &QAction::triggered, this, &vzA_ExtWindow::replaceItem);
    connect(extractAction, &QAction::triggered, this, &vzA_ExtWindow::extractFile);
    connect(aboutQtAction, &QAction::triggered, qApp, &QApplication::aboutQt);

    QMenu *applicationMenu = menuBar()->addMenu(tr("アプリケーション"));
    applicationMenu->addAction(quitAction);
    QMenu *extractMenu = menuBar()->addMenu(tr("展開"));
    extractMenu->addAction(readAction);
    extractMenu->addAction(changeAction);
    extractMenu->addAction(replaceAction);
    extractMenu->addAction(extractAction);
    QMenu *versionMenu = menuBar()->addMenu(tr("バージョン"));
    versionMenu->addAction(aboutQtAction);
}

void vzA_ExtWindow::setTableItem(int row, int column, const QString &text,
                                 const QByteArray &storedName)
{
    const int rowCount = table->rowCount();
    auto *item = new QTableWidgetItem(text);
    if (!storedName.isNull())
        item->setData(Qt::UserRole, storedName);
    if (row >= rowCount) {
        table->setRowCount(row + 1);
        for (int r = rowCount; r <= row; ++r)
            table->setRowHeight(r, RowHeight);
    }
    table->setItem(row, column, item);
    adjustColumnWidths();
}

void vzA_ExtWindow::adjustColumnWidths()
{
    const QScrollBar *bar = table->verticalScrollBar();
    const int free = table->width() - table->verticalHeader()->width()
                     - (bar->isVisible() ? bar->width() : 0);
    const int columnWidth = free / 2 - 2;
    table->setColumnWidth(0, columnWidth);
    table->setColumnWidth(1, columnWidth);
}

// Row i shows entry i. The output name starts as the stored name made safe,
// so that a plain extract never writes outside the working folder; the
// data-name cell shows the stored name and keeps its exact bytes, the key
// by which the extract command finds the entry whatever its text.
void vzA_ExtWindow::fillTable()
{
    for (int i = 0; i < archive.entryCount(); ++i) {
        const std::string name = archive.entryName(i);
        setTableItem(i, 0, entryNameText(vza::safeOutputName(name)));
        setTableItem(i, 1, entryNameText(name), QByteArray(name.data(), qsizetype(name.size())));
    }
    // The table lays itself out only once control is back in the event
    // loop; do it now, so that the last share of the width sees the
    // vertical header as wide as the new row numbers make it.
    table->doItemsLayout();
    adjustColumnWidths();
}

void vzA_ExtWindow::resizeEvent(QResizeEvent *)
{
    adjustColumnWidths();
}
