// SPDX-License-Identifier: MIT
// Building the main window and keeping its entry table.
#include "ext_window.h"

#include <QAction>
#include <QActionGroup>
#include <QApplication>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFileInfo>
#include <QFont>
#include <QFrame>
#include <QHBoxLayout>
#include <QHeaderView>
#include <QIcon>
#include <QKeyEvent>
#include <QKeySequence>
#include <QLabel>
#include <QLineEdit>
#include <QLocale>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QMimeData>
#include <QPushButton>
#include <QScrollBar>
#include <QSignalBlocker>
#include <QStatusBar>
#include <QTableView>
#include <QTemporaryDir>
#include <QUrl>
#include <QVBoxLayout>
#include <QWindow>

#include <utility>

#include "entry_table_model.h"
#include "entry_view.h"
#include "password_dialog.h"
#include "plain_labels.h"
#include "recent_archives.h"
#include "replace_dialog.h"
#include "view_order.h"
#include "vza/archive/format/format.h"

namespace {

constexpr int RowHeight = 20;
// Message labels get at least this width, so that a Japanese sentence is
// not broken before its last kana.
constexpr int MessageWidth = 380;
constexpr int FilterWidth = 160;

// The one local .vza file a drag carries, or an empty string.
QString droppedArchive(const QMimeData* mime)
{
    if (!mime || !mime->hasUrls() || mime->urls().size() != 1)
        return QString();
    const QUrl url = mime->urls().first();
    if (!url.isLocalFile())
        return QString();
    const QString path = url.toLocalFile();
    return path.endsWith(QLatin1String(".vza"), Qt::CaseInsensitive) ? path : QString();
}

}  // namespace

// Qt 6 reads every tr() literal as UTF-8, so the Japanese texts need no
// codec set up before the first tr() call.
// The icon lives in the GUI library, which the linker would otherwise leave
// out of the program with nothing referring to it.
static void initIcons()
{
    Q_INIT_RESOURCE(icons);
}

vzA_ExtWindow::vzA_ExtWindow()
{
    initIcons();
    auto* central = new QWidget;
    setCentralWidget(central);

    createActions();
    createTable(central);
    createLayout(central);
    createMenus();

    replaceDialog = new vzA_ReplaceDialog(this);
    passwordDialog = new vzA_PasswordDialog(this);

    statusLabel = new QLabel;
    statusLabel->setObjectName(QStringLiteral("statusLabel"));
    statusLabel->setTextFormat(Qt::PlainText);  // it shows the archive's file name
    statusBar()->addWidget(statusLabel, 1);

    setAcceptDrops(true);
    setWindowTitle(tr("VZ Archive Extract"));
    setWindowIcon(QIcon(QStringLiteral(":/icons/vza-extract.png")));
    resize(500, 500);
    // The size and place the window had when it was last closed.
    const QByteArray geometry = savedWindowGeometry();
    if (!geometry.isEmpty())
        restoreGeometry(geometry);
    resetDestination();
    updateCommands();
}

// The table lets go of the archive before it goes; widgets and dialogs go
// with the QMainWindow base.
vzA_ExtWindow::~vzA_ExtWindow()
{
    extraction.reset();   // cancels and joins: the worker is done with archive
    viewBuilder->stop();  // likewise the thread making the view order
    model->setArchive(nullptr);
}

// Every command is one QAction: the menu entry, the shortcut and the button
// of a command all trigger it, so they cannot disagree.
void vzA_ExtWindow::createActions()
{
    struct Command {
        QAction*& action;
        const char* objectName;
        QString text;
        QString keys;
        void (vzA_ExtWindow::*slot)();
    };
    const Command commands[] = {
        {quitAction, "quitAction", tr("終了"), tr("Ctrl+Q"), nullptr},
        {readAction, "readAction", tr("アーカイブ読込"), tr("Ctrl+O"), &vzA_ExtWindow::readArchive},
        {changeAction, "changeAction", tr("ファイル名変更"), tr("Ctrl+T"), &vzA_ExtWindow::changeItem},
        {replaceAction, "replaceAction", tr("ファイル名置換"), tr("Ctrl+R"), &vzA_ExtWindow::replaceItem},
        {extractAction, "extractAction", tr("ファイル展開"), tr("Ctrl+S"), &vzA_ExtWindow::extractFile},
        {extractToFolderAction, "extractToFolderAction", tr("フォルダへ展開…"), tr("Ctrl+E"),
         &vzA_ExtWindow::extractToFolder},
        {testAction, "testAction", tr("テスト"), QString(), &vzA_ExtWindow::testArchive},
        {aboutQtAction, "aboutQtAction", tr("Qtについて"), QString(), nullptr},
    };
    for (const Command& command : commands) {
        command.action = new QAction(command.text, this);
        command.action->setObjectName(QLatin1String(command.objectName));
        if (!command.keys.isEmpty())
            command.action->setShortcut(QKeySequence(command.keys));
        if (command.slot)
            connect(command.action, &QAction::triggered, this, command.slot);
    }
    connect(quitAction, &QAction::triggered, this, &QWidget::close);
    connect(aboutQtAction, &QAction::triggered, qApp, &QApplication::aboutQt);

    filterAction = new QAction(this);
    filterAction->setObjectName(QStringLiteral("filterAction"));
    filterAction->setShortcut(QKeySequence(QKeySequence::Find));
    addAction(filterAction);
    connect(filterAction, &QAction::triggered, this, [this] {
        filterEdit->setFocus(Qt::ShortcutFocusReason);
        filterEdit->selectAll();
    });

    // F10 opens the first menu, as on other desktops; from there the arrow
    // keys reach every entry, Qtについて included.
    menuKeyAction = new QAction(this);
    menuKeyAction->setObjectName(QStringLiteral("menuKeyAction"));
    menuKeyAction->setShortcut(QKeySequence(Qt::Key_F10));
    menuKeyAction->setShortcutContext(Qt::WindowShortcut);
    addAction(menuKeyAction);
    connect(menuKeyAction, &QAction::triggered, this, [this] {
        const QList<QAction*> menus = menuBar()->actions();
        if (!menus.isEmpty())
            menuBar()->setActiveAction(menus.first());
    });
}

void vzA_ExtWindow::createTable(QWidget* central)
{
    model = new vzA_EntryModel(this);
    model->setHeaderData(vzA_EntryModel::OutputColumn, Qt::Horizontal, tr("ファイル名"));
    model->setHeaderData(vzA_EntryModel::DataColumn, Qt::Horizontal, tr("データ名"));
    model->setHeaderData(vzA_EntryModel::SizeColumn, Qt::Horizontal, tr("サイズ"));
    model->setHeaderData(vzA_EntryModel::StoredSizeColumn, Qt::Horizontal, tr("格納サイズ"));
    viewBuilder = new vzA_ViewOrderBuilder(this);

    auto* view = new vzA_EntryView(central);
    connect(view, &vzA_EntryView::dragRequested, this, &vzA_ExtWindow::dragOut);
    table = view;
    table->setObjectName(QStringLiteral("entryTable"));
    table->setModel(model);
    table->setAlternatingRowColors(true);
    table->setFont(QFont("Times", 10, QFont::Normal, false));
    // The view sorts itself (a header click), never through the model's
    // sort(): the order is made off the GUI thread (requestViewOrder).
    table->setSortingEnabled(false);
    table->setSelectionBehavior(QAbstractItemView::SelectRows);
    table->setSelectionMode(QAbstractItemView::ExtendedSelection);
    table->setEditTriggers(QAbstractItemView::NoEditTriggers);
    // Tab leaves the table for the buttons instead of walking its cells
    // (which moved the selection, and so what 展開 writes).
    table->setTabKeyNavigation(false);
    // Qt 6 keeps rows at least as high as the header font needs with its
    // margins (22 px here), so allow 20. Every row is then 20 px without
    // being sized one by one.
    table->verticalHeader()->setMinimumSectionSize(RowHeight);
    table->verticalHeader()->setDefaultSectionSize(RowHeight);
    // A header click sorts by that column, a second one the other way, the
    // third brings back the archive's order.
    QHeaderView* header = table->horizontalHeader();
    header->setSectionsClickable(true);
    header->setSortIndicatorShown(true);
    header->setSortIndicatorClearable(true);
    header->setSortIndicator(-1, Qt::AscendingOrder);
    connect(header, &QHeaderView::sortIndicatorChanged, this, &vzA_ExtWindow::requestViewOrder);
    connect(table->selectionModel(), &QItemSelectionModel::selectionChanged, this, &vzA_ExtWindow::updateStatus);
    // Double-click or Enter opens the entry with the desktop's application.
    connect(table, &QAbstractItemView::activated, this, &vzA_ExtWindow::openEntry);
    // The free width depends on the row-number header, which widens as rows
    // are added, and on the scroll bar, which comes and goes after a fill:
    // share the width again whenever either changes.
    table->verticalHeader()->installEventFilter(this);
    table->verticalScrollBar()->installEventFilter(this);
}

void vzA_ExtWindow::createLayout(QWidget* central)
{
    auto* innerLayout = new QVBoxLayout;
    auto* outerLayout = new QVBoxLayout;
    frame = new QFrame;

    innerLayout->addWidget(table);
    innerLayout->setContentsMargins(0, 0, 0, 0);
    frame->setLayout(innerLayout);
    frame->setFrameStyle(QFrame::WinPanel | QFrame::Sunken);

    outerLayout->addWidget(frame);
    outerLayout->addLayout(createButtonRow());
    outerLayout->addLayout(createDestinationRow());
    outerLayout->setAlignment(Qt::AlignLeft);
    outerLayout->setContentsMargins(11, 11, 11, 11);
    outerLayout->setSpacing(6);
    central->setLayout(outerLayout);
}

// The buttons keep their own look; each one triggers its command's action
// and follows whether that action is enabled.
QHBoxLayout* vzA_ExtWindow::createButtonRow()
{
    struct Button {
        const char* objectName;
        QString label;
        QAction* action;
    };
    const Button buttons[] = {
        {"readButton", tr("読込"), readAction},
        {"changeButton", tr("変更"), changeAction},
        {"replaceButton", tr("置換"), replaceAction},
        {"extractButton", tr("展開"), extractAction},
    };

    auto* row = new QHBoxLayout;
    for (const Button& b : buttons) {
        auto* button = new QPushButton(b.label, this);
        button->setObjectName(QLatin1String(b.objectName));
        button->setFont(QFont("Times", 12, QFont::Bold, false));
        connect(button, &QPushButton::clicked, b.action, &QAction::trigger);
        connect(b.action, &QAction::enabledChanged, button, &QWidget::setEnabled);
        row->addWidget(button);
    }
    row->addStretch(1);

    // Narrows the rows to those whose names hold the text, as one types.
    filterEdit = new QLineEdit(this);
    filterEdit->setObjectName(QStringLiteral("filterEdit"));
    filterEdit->setPlaceholderText(tr("絞り込み (Ctrl+F)"));
    filterEdit->setClearButtonEnabled(true);
    filterEdit->setMaximumWidth(FilterWidth);
    filterEdit->installEventFilter(this);  // Escape clears it
    connect(filterEdit, &QLineEdit::textChanged, this, &vzA_ExtWindow::requestViewOrder);
    row->addWidget(filterEdit);
    return row;
}

void vzA_ExtWindow::createMenus()
{
    QMenu* applicationMenu = menuBar()->addMenu(tr("アプリケーション"));
    applicationMenu->addAction(quitAction);
    QMenu* extractMenu = menuBar()->addMenu(tr("展開"));
    extractMenu->addAction(readAction);
    // The archives read last; made afresh each time the menu opens.
    recentMenu = extractMenu->addMenu(tr("最近使ったファイル"));
    recentMenu->menuAction()->setObjectName(QStringLiteral("recentMenuAction"));
    connect(recentMenu, &QMenu::aboutToShow, this, &vzA_ExtWindow::fillRecentMenu);
    extractMenu->addAction(changeAction);
    extractMenu->addAction(replaceAction);
    extractMenu->addAction(extractAction);
    extractMenu->addAction(extractToFolderAction);
    extractMenu->addAction(testAction);
    // How the archive's names are read: decided per archive, or forced.
    QMenu* encodingMenu = menuBar()->addMenu(tr("文字コード"));
    encodingMenu->setObjectName(QStringLiteral("encodingMenu"));
    auto* encodings = new QActionGroup(this);
    const std::pair<QString, vza::NameEncodingChoice> choices[] = {
        {tr("自動"), vza::NameEncodingChoice::Auto},
        {tr("UTF-8"), vza::NameEncodingChoice::Utf8},
        {tr("Shift_JIS"), vza::NameEncodingChoice::Cp932},
        {tr("Latin-1"), vza::NameEncodingChoice::Latin1},
    };
    for (const auto& [text, choice] : choices) {
        QAction* action = encodingMenu->addAction(text);
        action->setCheckable(true);
        action->setChecked(choice == nameChoice);
        action->setData(int(choice));
        encodings->addAction(action);
        connect(action, &QAction::triggered, this, [this, choice = choice] { setNameEncodingChoice(choice); });
    }
    QMenu* versionMenu = menuBar()->addMenu(tr("バージョン"));
    versionMenu->addAction(aboutQtAction);
}

// The size columns are as wide as their longest text; the two name columns
// share the rest equally.
void vzA_ExtWindow::adjustColumnWidths()
{
    const QScrollBar* bar = table->verticalScrollBar();
    const int free = table->width() - table->verticalHeader()->width() - (bar->isVisible() ? bar->width() : 0);
    const QFontMetrics metrics(table->font());
    const int sizeWidth =
        std::max(metrics.horizontalAdvance(QStringLiteral("9999.9 MiB")),
                 table->horizontalHeader()->fontMetrics().horizontalAdvance(
                     model->headerData(vzA_EntryModel::StoredSizeColumn, Qt::Horizontal).toString())) +
        16;
    const int columnWidth = (free - 2 * sizeWidth) / 2 - 2;
    table->setColumnWidth(vzA_EntryModel::OutputColumn, columnWidth);
    table->setColumnWidth(vzA_EntryModel::DataColumn, columnWidth);
    table->setColumnWidth(vzA_EntryModel::SizeColumn, sizeWidth);
    table->setColumnWidth(vzA_EntryModel::StoredSizeColumn, sizeWidth);
}

// Row i shows entry i. The output name starts as the stored name made safe,
// so that a plain extract never writes outside the working folder.
void vzA_ExtWindow::fillTable()
{
    resetView();
    model->setArchive(&archive, nameChoice);
    setWindowTitle(archivePath.isEmpty()
                       ? tr("VZ Archive Extract")
                       : tr("VZ Archive Extract - %1").arg(shownName(QFileInfo(archivePath).fileName())));
    resetDestination();
    updateCommands();
    table->scrollToTop();
    // The keys work on the rows at once, not on the button that was pressed.
    table->setFocus(Qt::OtherFocusReason);
    // The table lays itself out only once control is back in the event
    // loop; do it now, so that the share of the width sees the vertical
    // header as wide as the new row numbers make it.
    table->doItemsLayout();
    adjustColumnWidths();

    totalSize = model->totalSize();
    updateStatus();
}

// The archive, its count, total and kind; what is shown when filtered; and
// what is selected.
void vzA_ExtWindow::updateStatus()
{
    if (archivePath.isEmpty()) {
        statusLabel->clear();
        return;
    }
    const QLocale locale(QLocale::Japanese);
    QString text = tr("%1　ファイル数: %2　合計サイズ: %3 バイト")
                       .arg(shownName(QFileInfo(archivePath).fileName()), locale.toString(archive.entryCount()),
                            locale.toString(qulonglong(totalSize)));
    const bool encrypted = (archive.flags() & vza::FlagEncrypted) != 0;
    const bool compressed = (archive.flags() & vza::FlagCompressed) != 0;
    if (encrypted || compressed)
        text += QStringLiteral("　") + (encrypted && compressed ? tr("暗号化・圧縮")
                                        : encrypted             ? tr("暗号化")
                                                                : tr("圧縮"));
    if (model->rowCount() != archive.entryCount())
        text += QStringLiteral("　") + tr("表示: %1 個").arg(locale.toString(model->rowCount()));
    std::size_t count = 0;
    std::uint64_t bytes = 0;
    for (const QItemSelectionRange& range : table->selectionModel()->selection())
        for (int row = range.top(); row <= range.bottom(); ++row, ++count)
            bytes += archive.entry(model->entryAt(row))->originalSize;
    if (count != 0)
        text += QStringLiteral("　") + tr("選択: %1 個 (%2)").arg(locale.toString(qulonglong(count)), humanSize(bytes));
    statusLabel->setText(text);
}

// Shows the rows the filter box and the sort column ask for. The order is
// made on a worker thread and swapped in whole when done.
void vzA_ExtWindow::requestViewOrder()
{
    vzA_ViewRequest request;
    request.column = table->horizontalHeader()->sortIndicatorSection();
    request.order = table->horizontalHeader()->sortIndicatorOrder();
    request.filter = filterEdit->text();
    if (request.isIdentity() || archivePath.isEmpty()) {
        viewBuilder->stop();
        if (!archivePath.isEmpty())
            showViewOrder({}, true);
        return;
    }
    viewBuilder->start(archive, model->nameEncoding(), model->changedOutputNames(), request,
                       [this](std::vector<std::int32_t> rows) { showViewOrder(std::move(rows), false); });
}

void vzA_ExtWindow::showViewOrder(std::vector<std::int32_t> rows, bool identity)
{
    model->setViewOrder(std::move(rows), identity);
    table->scrollToTop();
    updateStatus();
    emit viewOrderShown();
}

// Back to the archive's order with no filter, for a newly listed archive.
void vzA_ExtWindow::resetView()
{
    viewBuilder->stop();
    const QSignalBlocker headerQuiet(table->horizontalHeader());
    const QSignalBlocker filterQuiet(filterEdit);
    table->horizontalHeader()->setSortIndicator(-1, Qt::AscendingOrder);
    filterEdit->clear();
}

void vzA_ExtWindow::fillRecentMenu()
{
    recentMenu->clear();
    const QStringList paths = recentArchives();
    for (const QString& path : paths) {
        QAction* action = recentMenu->addAction(shownName(QDir::toNativeSeparators(path)));
        connect(action, &QAction::triggered, this, [this, path] { openArchive(path); });
    }
    recentMenu->setEnabled(!paths.isEmpty() && !extracting);
}

// Reads the listed archive's names again in another encoding; the output
// names the user typed stay as typed.
void vzA_ExtWindow::setNameEncodingChoice(vza::NameEncodingChoice choice)
{
    nameChoice = choice;
    viewBuilder->stop();
    model->setNameEncodingChoice(choice);
    requestViewOrder();
}

// Lists nothing: the state after a failed read.
void vzA_ExtWindow::forgetArchive()
{
    resetView();
    model->setArchive(nullptr);
    archivePath.clear();
    archive.reset();
    fillTable();
}

// The commands that work on a listed archive are there only when one is.
void vzA_ExtWindow::updateCommands()
{
    const bool idle = !isExtracting();
    const bool listed = idle && !archivePath.isEmpty();
    readAction->setEnabled(idle);
    changeAction->setEnabled(idle);
    replaceAction->setEnabled(idle);
    extractAction->setEnabled(listed);
    extractToFolderAction->setEnabled(listed);
    testAction->setEnabled(listed);
    if (destinationButton)
        destinationButton->setEnabled(idle);
}

int vzA_ExtWindow::showBox(QMessageBox& box)
{
    showLabelsAsPlainText(&box);
    for (const char* name : {"qt_msgbox_label", "qt_msgbox_informativelabel"})
        if (auto* label = box.findChild<QLabel*>(QLatin1String(name)))
            label->setMinimumWidth(MessageWidth);
    return box.exec();
}

void vzA_ExtWindow::warn(const QString& title, const QString& text, const QString& detail)
{
    QMessageBox box(QMessageBox::Warning, title, text, QMessageBox::Ok, this);
    if (!detail.isEmpty())
        box.setInformativeText(detail);
    showBox(box);
}

QList<int> vzA_ExtWindow::selectedRows() const
{
    // Whole rows are selected: read them range by range, in the order the
    // user selected them, never cell by cell.
    QList<int> rows;
    const QItemSelection selection = table->selectionModel()->selection();
    for (const QItemSelectionRange& range : selection)
        for (int row = range.top(); row <= range.bottom(); ++row)
            rows.append(row);
    return rows;
}

QList<int> vzA_ExtWindow::selectedEntries() const
{
    QList<int> entries = selectedRows();
    for (int& row : entries)
        row = model->entryAt(row);
    return entries;
}

void vzA_ExtWindow::resizeEvent(QResizeEvent*)
{
    adjustColumnWidths();
}

void vzA_ExtWindow::openArchiveWhenShown(const QString& path)
{
    runWhenShown([this, path] { openArchive(path); });
}

void vzA_ExtWindow::extractHereWhenShown(const QStringList& paths)
{
    runWhenShown([this, paths] { extractHere(paths); });
}

void vzA_ExtWindow::runWhenShown(std::function<void()> work)
{
    create();  // the native window, whose first exposure is waited for
    if (windowHandle()->isExposed()) {
        QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
        return;
    }
    onShown = std::move(work);
    windowHandle()->installEventFilter(this);
}

bool vzA_ExtWindow::eventFilter(QObject* watched, QEvent* event)
{
    const QEvent::Type type = event->type();
    if (watched == filterEdit && type == QEvent::KeyPress && static_cast<QKeyEvent*>(event)->key() == Qt::Key_Escape &&
        !filterEdit->text().isEmpty()) {
        filterEdit->clear();
        return true;
    }
    // The window is exposed only after the window manager has placed it.
    // The archive is read after this event has been handled, so that the
    // window is drawn behind the dialog.
    if (type == QEvent::Expose && watched == windowHandle()) {
        if (windowHandle()->isExposed() && onShown) {
            windowHandle()->removeEventFilter(this);
            QMetaObject::invokeMethod(this, std::exchange(onShown, nullptr), Qt::QueuedConnection);
        }
        return QMainWindow::eventFilter(watched, event);
    }
    if (type == QEvent::Show || type == QEvent::Hide || type == QEvent::Resize)
        adjustColumnWidths();
    return QMainWindow::eventFilter(watched, event);
}

void vzA_ExtWindow::dragEnterEvent(QDragEnterEvent* event)
{
    // No other archive while an extraction reads this one.
    if (!isExtracting() && !droppedArchive(event->mimeData()).isEmpty())
        event->acceptProposedAction();
}

void vzA_ExtWindow::dropEvent(QDropEvent* event)
{
    const QString path = droppedArchive(event->mimeData());
    if (path.isEmpty() || isExtracting())
        return;
    event->acceptProposedAction();
    // The drop ends before the archive is read, so that the dragging
    // program is not held while the password dialog waits.
    QMetaObject::invokeMethod(
        this, [this, path] { openArchive(path); }, Qt::QueuedConnection);
}
