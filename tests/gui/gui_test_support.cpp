#include "gui_test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QInputDialog>
#include <QLabel>
#include <QLineEdit>
#include <QMenu>
#include <QMenuBar>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

#include "archive/archive_writer.h"
#include "archive/data_buffer.h"
#include "archive/format.h"
#include "codec/blowfish.h"
#include "ext_window.h"
#include "password_dialog.h"
#include "replace_dialog.h"

namespace guitest {

bool writeArchive(const QString &path, const std::vector<Entry> &entries, std::uint32_t flags,
                  const QByteArray &password)
{
    if (flags & vza::FlagEncrypted)
        vza::setKey(reinterpret_cast<const std::uint8_t *>(password.constData()),
                    std::size_t(password.size()));
    vza::ArchiveWriter writer;
    if (!writer.begin(QFile::encodeName(path).toStdString()))
        return false;
    for (const Entry &entry : entries) {
        vza::DataBuffer buffer;
        buffer.assign(entry.data.constData(), std::size_t(entry.data.size()));
        buffer.info.name = entry.name.toStdString();  // exact bytes, backslashes kept
        if (!vza::prepareStored(buffer, flags) || !writer.add(buffer))
            return false;
    }
    return writer.finish(flags);
}

bool writeFile(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

QByteArray readFile(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return QByteArray();
    QByteArray bytes = file.readAll();
    return bytes.isNull() ? QByteArray("") : bytes;
}

QStringList lines(const QList<Seen> &seen)
{
    QStringList result;
    for (const Seen &s : seen)
        result << s.line;
    return result;
}

namespace {

QLineEdit *buddyOf(QWidget *dialog, const QString &labelText)
{
    for (QLabel *label : dialog->findChildren<QLabel *>())
        if (label->text() == labelText)
            return qobject_cast<QLineEdit *>(label->buddy());
    return nullptr;
}

QPushButton *buttonIn(QWidget *parent, const QString &text)
{
    for (QPushButton *button : parent->findChildren<QPushButton *>())
        if (button->text() == text)
            return button;
    return nullptr;
}

Seen describe(QWidget *widget)
{
    QString kind = QStringLiteral("other");
    QString text;
    QString value;
    if (auto *box = qobject_cast<QMessageBox *>(widget)) {
        kind = box->icon() == QMessageBox::Warning       ? QStringLiteral("warning")
               : box->icon() == QMessageBox::Information ? QStringLiteral("information")
                                                         : QStringLiteral("box");
        if (box->standardButtons() != QMessageBox::Ok)
            kind += QStringLiteral("+buttons");
        text = box->text();
        value = box->informativeText();
    } else if (auto *files = qobject_cast<QFileDialog *>(widget)) {
        kind = QStringLiteral("file");
        text = files->nameFilters().join(QStringLiteral(";;"));
        value = files->directory().absolutePath();
    } else if (qobject_cast<vzA_PasswordDialog *>(widget)) {
        kind = QStringLiteral("password");
        value = widget->findChild<QLineEdit *>()->text();
    } else if (qobject_cast<vzA_ReplaceDialog *>(widget)) {
        kind = QStringLiteral("replace");
        value = buddyOf(widget, QStringLiteral("検索文字列"))->text() + QLatin1Char('|')
                + buddyOf(widget, QStringLiteral("置換文字列"))->text();
    } else if (auto *input = qobject_cast<QInputDialog *>(widget)) {
        kind = QStringLiteral("input");
        text = input->labelText();
        value = input->textValue();
    }
    return {kind + QLatin1Char('|') + widget->windowTitle() + QLatin1Char('|') + text, value};
}

}  // namespace

ModalScript::ModalScript(std::vector<Step> steps)
    : steps_(std::move(steps))
{
    connect(&timer_, &QTimer::timeout, this, &ModalScript::poll);
    timer_.start(5);
}

QList<Seen> ModalScript::result() const
{
    QList<Seen> all = seen_;
    for (std::size_t i = 0; i < steps_.size(); ++i)
        all.append({QStringLiteral("never shown"), QString()});
    return all;
}

void ModalScript::poll()
{
    QWidget *widget = QApplication::activeModalWidget();
    if (!widget || widget == handled_)
        return;  // nothing up yet, or the last one is still closing
    handled_ = widget;
    seen_.append(describe(widget));
    if (steps_.empty()) {
        widget->close();
        return;
    }
    const Step step = steps_.front();
    steps_.erase(steps_.begin());
    step(widget);
}

ModalScript::Step chooseFile(const QString &path)
{
    return [path](QWidget *widget) {
        auto *dialog = qobject_cast<QFileDialog *>(widget);
        if (!dialog)
            return widget->close(), void();
        dialog->findChild<QLineEdit *>(QStringLiteral("fileNameEdit"))
            ->setText(QDir::current().absoluteFilePath(path));
        QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
    };
}

ModalScript::Step cancel()
{
    return [](QWidget *widget) { widget->close(); };
}

ModalScript::Step closeBox()
{
    return [](QWidget *widget) {
        auto *box = qobject_cast<QMessageBox *>(widget);
        if (box && box->button(QMessageBox::Ok))
            box->button(QMessageBox::Ok)->click();
        else
            widget->close();
    };
}

ModalScript::Step enterPassword(const QString &password)
{
    return [password](QWidget *widget) {
        if (!qobject_cast<vzA_PasswordDialog *>(widget))
            return widget->close(), void();
        widget->findChild<QLineEdit *>()->setText(password);
        buttonIn(widget, QStringLiteral("OK"))->click();
    };
}

ModalScript::Step enterText(const QString &text)
{
    return [text](QWidget *widget) {
        auto *input = qobject_cast<QInputDialog *>(widget);
        if (!input)
            return widget->close(), void();
        input->setTextValue(text);
        input->accept();
    };
}

ModalScript::Step enterReplace(const QString &search, const QString &replacement)
{
    return [search, replacement](QWidget *widget) {
        if (!qobject_cast<vzA_ReplaceDialog *>(widget))
            return widget->close(), void();
        buddyOf(widget, QStringLiteral("検索文字列"))->setText(search);
        buddyOf(widget, QStringLiteral("置換文字列"))->setText(replacement);
        buttonIn(widget, QStringLiteral("置換"))->click();
    };
}

// The fixture.

namespace {

QtMessageHandler qtTestHandler = nullptr;

// The offscreen platform warns on every dialog that it cannot pass size
// hints on; that says nothing about the program.
void dropOffscreenNoise(QtMsgType type, const QMessageLogContext &context, const QString &message)
{
    if (!message.contains(QLatin1String("propagateSizeHints")) && qtTestHandler)
        qtTestHandler(type, context, message);
}

}  // namespace

void GuiFixture::init()
{
    static const bool filtered = (qtTestHandler = qInstallMessageHandler(dropOffscreenNoise), true);
    Q_UNUSED(filtered);
    // Qt's own file dialog, whatever the desktop, so that it can be filled in.
    QApplication::setAttribute(Qt::AA_DontUseNativeDialogs);
    // Extraction writes relative paths: give every test its own folder.
    dir = std::make_unique<QTemporaryDir>();
    QVERIFY(dir->isValid());
    // Settings the program keeps (the last folder) start empty every test.
    settingsDir = std::make_unique<QTemporaryDir>();
    QVERIFY(settingsDir->isValid());
    QSettings::setPath(QSettings::NativeFormat, QSettings::UserScope, settingsDir->path());
    QVERIFY(QDir::setCurrent(dir->path()));
    window = std::make_unique<vzA_ExtWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->adjustColumnWidths();
}

void GuiFixture::cleanup()
{
    window.reset();
    QDir::setCurrent(QDir::tempPath());
    dir.reset();
    settingsDir.reset();
}

QTableView *GuiFixture::table() const
{
    return window->findChild<QTableView *>(QStringLiteral("entryTable"));
}

int GuiFixture::rowCount() const
{
    return table()->model()->rowCount();
}

QPushButton *GuiFixture::button(const QString &text) const
{
    return buttonIn(window.get(), text);
}

QAction *GuiFixture::action(const QString &text) const
{
    for (QAction *menu : window->menuBar()->actions())
        for (QAction *action : menu->menu()->actions())
            if (action->text() == text)
                return action;
    return nullptr;
}

QStringList GuiFixture::column(int column) const
{
    QStringList texts;
    const QAbstractItemModel *model = table()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

void GuiFixture::selectRows(const QList<int> &rows)
{
    QTableView *t = table();
    t->clearSelection();
    for (int row : rows)
        t->selectionModel()->select(t->model()->index(row, 0),
                                    QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QList<int> GuiFixture::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex &index : table()->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QList<Seen> GuiFixture::run(void (vzA_ExtWindow::*slot)(),
                            std::initializer_list<ModalScript::Step> steps)
{
    ModalScript script(steps);
    (window.get()->*slot)();
    return script.result();
}

QList<Seen> GuiFixture::read(const QString &path, std::vector<ModalScript::Step> more)
{
    std::vector<ModalScript::Step> steps{chooseFile(path)};
    steps.insert(steps.end(), more.begin(), more.end());
    ModalScript script(steps);
    window->readArchive();
    return script.result();
}

}  // namespace guitest
