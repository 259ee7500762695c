// SPDX-License-Identifier: MIT
#include "gui_test_support.h"

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QDirIterator>
#include <QFile>
#include <QFileDialog>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTest>

#include "ext_window.h"
#include "vza/archive/read/archive.h"

namespace guitest {

QStringList filesBelow(const QString& root)
{
    const QDir base(QDir(root).absolutePath());
    QStringList files;
    QDirIterator it(base.path(), QDir::Files | QDir::Hidden | QDir::System, QDirIterator::Subdirectories);
    while (it.hasNext())
        files << base.relativeFilePath(it.next());
    files.sort();
    return files;
}

bool damageEntry(const QString& path, int index)
{
    vza::Archive archive;
    if (!archive.open(QFile::encodeName(path).toStdString(), std::string()))
        return false;
    QFile file(path);
    return file.open(QIODevice::ReadWrite) && file.seek(qint64(archive.archiveIndex().entryOffset(index))) &&
           file.write(QByteArray(qsizetype(archive.entry(index)->storedSize), '\xff')) > 0;
}

ModalScript::Step press(int standardButton)
{
    return [standardButton](QWidget* widget) {
        auto* box = qobject_cast<QMessageBox*>(widget);
        QAbstractButton* button = box ? box->button(QMessageBox::StandardButton(standardButton)) : nullptr;
        if (button)
            button->click();
        else
            widget->close();
    };
}

ModalScript::Step chooseFolder(const QString& path)
{
    return [path](QWidget* widget) {
        auto* dialog = qobject_cast<QFileDialog*>(widget);
        if (!dialog)
            return widget->close(), void();
        dialog->setDirectory(QDir::current().absoluteFilePath(path));
        dialog->findChild<QLineEdit*>(QStringLiteral("fileNameEdit"))->clear();
        QMetaObject::invokeMethod(dialog, "accept");
    };
}

// The fixture.

void GuiFixture::init()
{
    dropOffscreenNoise();
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
    // 展開 writes to the working folder, as for a program started from a
    // terminal; the tests of the default 展開先 say otherwise.
    vzA_ExtWindow::setStartedFromTerminal(true);
    vzA_ExtWindow::setProgressDelay(500);
    window = std::make_unique<vzA_ExtWindow>();
    window->show();
    QVERIFY(QTest::qWaitForWindowExposed(window.get()));
    window->adjustColumnWidths();
}

void GuiFixture::cleanup()
{
    // A run a test held goes on, so that the window can join it.
    vzA_ExtractionRun::holdAfterFirstRow(false);
    vzA_ExtractionRun::releaseHeld();
    window.reset();
    QDir::setCurrent(QDir::tempPath());
    dir.reset();
    settingsDir.reset();
}

QTableView* GuiFixture::table() const
{
    return window->findChild<QTableView*>(QStringLiteral("entryTable"));
}

int GuiFixture::rowCount() const
{
    return table()->model()->rowCount();
}

QPushButton* GuiFixture::button(const QString& objectName) const
{
    return window->findChild<QPushButton*>(objectName);
}

QAction* GuiFixture::action(const QString& objectName) const
{
    return window->findChild<QAction*>(objectName);
}

QStringList GuiFixture::column(int column) const
{
    QStringList texts;
    const QAbstractItemModel* model = table()->model();
    for (int row = 0; row < model->rowCount(); ++row)
        texts << model->index(row, column).data().toString();
    return texts;
}

void GuiFixture::selectRows(const QList<int>& rows)
{
    QTableView* t = table();
    t->clearSelection();
    for (int row : rows)
        t->selectionModel()->select(t->model()->index(row, 0), QItemSelectionModel::Select | QItemSelectionModel::Rows);
}

QList<int> GuiFixture::selectedRows() const
{
    QList<int> rows;
    for (const QModelIndex& index : table()->selectionModel()->selectedRows())
        rows << index.row();
    std::sort(rows.begin(), rows.end());
    return rows;
}

QList<Seen> GuiFixture::run(void (vzA_ExtWindow::*slot)(), std::initializer_list<ModalScript::Step> steps)
{
    ModalScript script(steps);
    (window.get()->*slot)();
    waitForExtraction();
    return script.result();
}

bool GuiFixture::activateMainWindow()
{
    window->activateWindow();
    return QTest::qWaitFor([this] { return QApplication::activeWindow() == window.get(); });
}

void GuiFixture::waitForExtraction(int timeoutMs)
{
    QTRY_VERIFY2_WITH_TIMEOUT(!window->isExtracting(), "the extraction did not end", timeoutMs);
}

QList<Seen> GuiFixture::read(const QString& path, std::vector<ModalScript::Step> more)
{
    std::vector<ModalScript::Step> steps{chooseFile(path)};
    steps.insert(steps.end(), more.begin(), more.end());
    ModalScript script(steps);
    window->readArchive();
    return script.result();
}

}  // namespace guitest
