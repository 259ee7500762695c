// SPDX-License-Identifier: MIT
#include "testkit/qt/modal_script.h"

#include <QApplication>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QEvent>
#include <QFileDialog>
#include <QInputDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>

namespace vza::test::qt {
namespace {

QString fieldText(QWidget* dialog, const char* name)
{
    auto* field = dialog->findChild<QLineEdit*>(QLatin1String(name));
    return field ? field->text() : QStringLiteral("<no %1>").arg(QLatin1String(name));
}

Seen describe(QWidget* widget)
{
    if (widget->objectName() == QLatin1String("passwordDialog"))
        return {QStringLiteral("password"), fieldText(widget, "passwordEdit")};
    if (widget->objectName() == QLatin1String("replaceDialog"))
        return {QStringLiteral("replace"),
                fieldText(widget, "searchEdit") + QLatin1Char('|') + fieldText(widget, "replaceEdit")};
    QString kind = QStringLiteral("other");
    QString text;
    QString value;
    if (auto* box = qobject_cast<QMessageBox*>(widget)) {
        kind = box->icon() == QMessageBox::Warning       ? QStringLiteral("warning")
               : box->icon() == QMessageBox::Information ? QStringLiteral("information")
                                                         : QStringLiteral("box");
        if (box->standardButtons() != QMessageBox::Ok)
            kind += QStringLiteral("+buttons");
        text = box->text();
        value = box->informativeText();
    } else if (auto* files = qobject_cast<QFileDialog*>(widget)) {
        kind = QStringLiteral("file");
        text = files->nameFilters().join(QStringLiteral(";;"));
        value = files->directory().absolutePath();
    } else if (auto* input = qobject_cast<QInputDialog*>(widget)) {
        kind = QStringLiteral("input");
        text = input->labelText();
        value = input->textValue();
    }
    return {kind + QLatin1Char('|') + widget->windowTitle() + QLatin1Char('|') + text, value};
}

// Runs answer on widget when it is the dialog named name, else closes it.
void ifNamed(QWidget* widget, const char* name, const std::function<void()>& answer)
{
    if (widget->objectName() == QLatin1String(name))
        answer();
    else
        widget->close();
}

void fill(QWidget* dialog, const char* field, const QString& text)
{
    if (auto* edit = dialog->findChild<QLineEdit*>(QLatin1String(field)))
        edit->setText(text);
}

// A button that is missing or disabled closes the dialog instead: a click
// on it would leave the dialog up, and the test waiting.
void click(QWidget* dialog, QAbstractButton* button)
{
    if (button && button->isEnabled())
        button->click();
    else
        dialog->close();
}

void press(QWidget* dialog, const char* button)
{
    click(dialog, dialog->findChild<QPushButton*>(QLatin1String(button)));
}

QtMessageHandler nextHandler = nullptr;

void dropSizeHintWarnings(QtMsgType type, const QMessageLogContext& context, const QString& message)
{
    if (!message.contains(QLatin1String("propagateSizeHints")) && nextHandler)
        nextHandler(type, context, message);
}

}  // namespace

QStringList lines(const QList<Seen>& seen)
{
    QStringList result;
    for (const Seen& s : seen)
        result << s.line;
    return result;
}

ModalScript::ModalScript(std::vector<Step> steps) : steps_(std::move(steps))
{
    qApp->installEventFilter(this);
    // A dialog that is up already.
    QMetaObject::invokeMethod(this, &ModalScript::poll, Qt::QueuedConnection);
}

ModalScript::~ModalScript()
{
    qApp->removeEventFilter(this);
}

// A modal window that shows gets its step once its own event loop runs
// (the call is queued), whenever that is: nothing here waits for a time.
bool ModalScript::eventFilter(QObject* watched, QEvent* event)
{
    if (!watched->isWidgetType())
        return false;
    auto* widget = static_cast<QWidget*>(watched);
    if (event->type() == QEvent::Show && widget->isWindow() && widget->windowModality() != Qt::NonModal)
        QMetaObject::invokeMethod(this, &ModalScript::poll, Qt::QueuedConnection);
    // A dialog kept and shown again (the password dialog) is a new showing.
    if (event->type() == QEvent::Hide && widget == handled_)
        handled_ = nullptr;
    return false;
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
    QWidget* widget = QApplication::activeModalWidget();
    if (!widget || widget == handled_ || !widget->isVisible())
        return;  // nothing up, or the last one is still closing
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

ModalScript::Step chooseFile(const QString& path)
{
    return [path](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        auto* name = dialog ? dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit")) : nullptr;
        if (!name)
            return widget->close(), void();
        name->setText(QDir::current().absoluteFilePath(path));
        QMetaObject::invokeMethod(dialog, "accept");  // as the Open button does
    };
}

ModalScript::Step cancel()
{
    return [](QWidget* widget) { widget->close(); };
}

ModalScript::Step closeBox()
{
    return [](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        if (box && box->button(QMessageBox::Ok))
            box->button(QMessageBox::Ok)->click();
        else
            widget->close();
    };
}

ModalScript::Step enterPassword(const QString& password)
{
    return [password](QWidget* widget) {
        ifNamed(widget, "passwordDialog", [&] {
            fill(widget, "passwordEdit", password);
            press(widget, "passwordOkButton");
        });
    };
}

ModalScript::Step enterText(const QString& text)
{
    return [text](QWidget* widget) {
        auto* input = qobject_cast<QInputDialog*>(widget);
        if (!input)
            return widget->close(), void();
        input->setTextValue(text);
        input->accept();
    };
}

ModalScript::Step enterReplace(const QString& search, const QString& replacement)
{
    return [search, replacement](QWidget* widget) {
        ifNamed(widget, "replaceDialog", [&] {
            fill(widget, "searchEdit", search);
            fill(widget, "replaceEdit", replacement);
            press(widget, "replaceOkButton");
        });
    };
}

ModalScript::Step pressButton(const QString& objectName)
{
    return [objectName](QWidget* widget) { click(widget, widget->findChild<QPushButton*>(objectName)); };
}

ModalScript::Step pressOk()
{
    return [](QWidget* widget) {
        auto* buttons = widget->findChild<QDialogButtonBox*>();
        click(widget, buttons ? buttons->button(QDialogButtonBox::Ok) : nullptr);
    };
}

void dropOffscreenNoise()
{
    static const bool installed = (nextHandler = qInstallMessageHandler(dropSizeHintWarnings), true);
    Q_UNUSED(installed);
}

}  // namespace vza::test::qt
