// SPDX-License-Identifier: MIT
// Answering the modal dialogs a Qt program opens, as a user would, in
// tests and benchmarks that drive a real window off screen.
//
// Widgets are found by objectName: the password dialog is "passwordDialog"
// with "passwordEdit" and "passwordOkButton", the replace dialog
// "replaceDialog" with "searchEdit", "replaceEdit" and "replaceOkButton".
#pragma once

#include <QList>
#include <QObject>
#include <QPointer>
#include <QString>
#include <QStringList>

#include <functional>
#include <vector>

class QWidget;

namespace vza::test::qt {

// What a modal widget showed when a script step met it, as one line
// "kind|title|text": kind is file, input, warning, information, box (a
// message box of another kind; "+buttons" when it offers more than OK) or
// other. The program's own dialogs are "password" and "replace" alone, so
// that only the one test of the window's texts depends on their titles.
// value holds the fields' text as the dialog came up ("search|replace" for
// the replace dialog), the file dialog's folder, or a message box's detail
// (its informative text).
struct Seen {
    QString line;
    QString value;
};
QStringList lines(const QList<Seen>& seen);

// Answers modal widgets one by one: each new modal widget that appears
// gets the next step, once its event loop runs. Windows that are not modal
// (a progress dialog) are no business of the script. A modal widget that no step is left for is recorded
// and closed, so a wrong guess fails the test instead of hanging it; a step
// that no widget came for is recorded as "never shown".
class ModalScript : public QObject {
public:
    using Step = std::function<void(QWidget*)>;

    explicit ModalScript(std::vector<Step> steps);
    ~ModalScript() override;

    // What was seen, with the steps that found no widget at the end.
    QList<Seen> result() const;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

private:
    void poll();

    std::vector<Step> steps_;
    QList<Seen> seen_;
    QPointer<QWidget> handled_;
};

// Steps. Each one closes a widget it does not expect, so the test fails on
// the recorded lines instead of hanging.
ModalScript::Step chooseFile(const QString& path);  // relative to the working folder
ModalScript::Step cancel();                         // rejects whatever dialog is up
ModalScript::Step closeBox();                       // presses OK on a message box
ModalScript::Step enterPassword(const QString& password);
ModalScript::Step enterText(const QString& text);  // a QInputDialog
ModalScript::Step enterReplace(const QString& search, const QString& replacement);
// Click a push button (found by objectName; the OK of a dialog's button box
// for pressOk) as the user would: a disabled one does nothing, so the
// dialog is closed instead.
ModalScript::Step pressButton(const QString& objectName);
ModalScript::Step pressOk();

// Installs a message handler that drops the offscreen platform's warning,
// given for every dialog, that it cannot pass size hints on. Idempotent.
void dropOffscreenNoise();

}  // namespace vza::test::qt
