// SPDX-License-Identifier: MIT
// The 展開先: where 展開 writes. A program started from a terminal writes
// to its working folder, where the user typed the command; one started from
// the desktop (whose working folder is the home folder) writes to a new
// folder beside the archive, made when it is first used. The user may choose
// another folder at any time.
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QHBoxLayout>
#include <QLabel>
#include <QPushButton>
#include <QSettings>

#include "ext_window.h"
#include "vza/archive/extract/default_destination.h"

namespace {

// Decided once, at start; tests set it.
int startedFromTerminal = -1;

bool fromTerminal()
{
    if (startedFromTerminal < 0)
        startedFromTerminal = vza::startedFromTerminal() ? 1 : 0;
    return startedFromTerminal == 1;
}

}  // namespace

void vzA_ExtWindow::setStartedFromTerminal(bool terminal)
{
    startedFromTerminal = terminal ? 1 : 0;
}

QHBoxLayout* vzA_ExtWindow::createDestinationRow()
{
    auto* row = new QHBoxLayout;
    auto* caption = new QLabel(tr("展開先:"));
    destinationLabel = new QLabel;
    destinationLabel->setObjectName(QStringLiteral("destinationLabel"));
    destinationLabel->setTextFormat(Qt::PlainText);
    destinationLabel->setSizePolicy(QSizePolicy::Ignored, QSizePolicy::Preferred);
    destinationButton = new QPushButton(tr("参照…"), this);
    destinationButton->setObjectName(QStringLiteral("destinationButton"));
    connect(destinationButton, &QPushButton::clicked, this, &vzA_ExtWindow::chooseDestination);
    row->addWidget(caption);
    row->addWidget(destinationLabel, 1);
    row->addWidget(destinationButton);
    return row;
}

void vzA_ExtWindow::resetDestination()
{
    resetDestination(!fromTerminal());
}

void vzA_ExtWindow::resetDestination(bool besideArchive)
{
    destinationPending = false;
    destinationFolder.clear();
    if (besideArchive && !archivePath.isEmpty()) {
        // Named now, made on first use, so that listing an archive leaves
        // nothing behind.
        const std::string name = vza::destinationFolderName(QFile::encodeName(archivePath).toStdString());
        destinationFolder = QFileInfo(archivePath).absoluteDir().filePath(QFile::decodeName(name.c_str()));
        destinationPending = true;
    }
    showDestination();
}

void vzA_ExtWindow::showDestination()
{
    if (!destinationLabel)
        return;
    QString text = destinationFolder.isEmpty() ? QDir::currentPath() : destinationFolder;
    text = QDir::toNativeSeparators(text);
    destinationLabel->setToolTip(text);
    if (destinationPending)
        text = tr("%1 (新しいフォルダ)").arg(text);
    destinationLabel->setText(text);
}

void vzA_ExtWindow::chooseDestination()
{
    QString start = destinationFolder;
    if (destinationPending || start.isEmpty())
        start = archivePath.isEmpty() ? QDir::currentPath() : QFileInfo(archivePath).absolutePath();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("展開先フォルダ"), start);
    if (folder.isEmpty())
        return;
    destinationFolder = folder;
    destinationPending = false;
    showDestination();
}

// The folder for this 展開, made now when it is the default beside the
// archive; false when there is none (the user cancelled the folder dialog).
// An empty destination means the working folder, names used as given.
bool vzA_ExtWindow::destinationForExtract(std::string& destination)
{
    if (destinationPending) {
        std::string made;
        int error = 0;
        if (vza::makeDestinationBeside(QFile::encodeName(archivePath).toStdString(), made, error)) {
            destinationFolder = QDir::cleanPath(QFileInfo(QFile::decodeName(made.c_str())).absoluteFilePath());
            destinationPending = false;
        } else {
            // The archive's folder cannot be written (a CD, another user's
            // folder): the user says where instead.
            destinationPending = false;
            destinationFolder.clear();
            const QString folder = QFileDialog::getExistingDirectory(this, tr("展開先フォルダ"), QDir::homePath());
            if (folder.isEmpty()) {
                resetDestination();
                return false;
            }
            destinationFolder = folder;
        }
        showDestination();
    }
    destination = destinationFolder.isEmpty() ? std::string() : QFile::encodeName(destinationFolder).toStdString();
    return true;
}
