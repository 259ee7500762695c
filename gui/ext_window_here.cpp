// SPDX-License-Identifier: MIT
// "Extract here", as the file managers' menus start it: every entry of each
// archive named on the command line goes into a new folder beside that
// archive, one archive after the other in the one window, and one summary
// sums them all up. Reading, the 展開先 rule, the run, its progress and its
// questions are those of 読込 and 展開; only what comes after differs.
#include <QDir>
#include <QFileInfo>
#include <QMessageBox>

#include <numeric>
#include <set>

#include "entry_table_model.h"
#include "ext_window.h"
#include "plain_labels.h"
#include "system_reason.h"

void vzA_ExtWindow::extractHere(const QStringList& paths)
{
    if (isExtracting())
        return;
    hereQueue = paths;
    hereDone.clear();
    hereCancelled = false;
    extractingHere = true;
    updateCommands();
    extractNextHere();
}

// Reads the next archive and starts its run; an archive that cannot be
// read, or has no folder to go to, is noted and the next one follows.
void vzA_ExtWindow::extractNextHere()
{
    if (hereQueue.isEmpty()) {
        summariseHere();
        return;
    }
    const QString path = hereQueue.takeFirst();
    HereArchive here;
    here.name = shownName(QFileInfo(path).fileName());
    QString reason;
    const Loaded loaded = loadArchive(path, reason);
    vzA_ExtractionRun::Request request;
    if (loaded == Loaded::NoPassword) {
        here.problem = tr("パスワードが入力されませんでした");
    } else if (loaded != Loaded::Opened) {
        here.problem = reason;
    } else {
        // Beside the archive, whether or not a terminal started the program:
        // that is what the menu item says.
        resetDestination(true);
        if (!destinationForExtract(request.destination))
            here.problem = tr("展開先が選ばれませんでした");
    }
    hereDone.push_back(here);
    if (!here.problem.isEmpty()) {
        QMetaObject::invokeMethod(this, &vzA_ExtWindow::extractNextHere, Qt::QueuedConnection);
        return;
    }
    // Every entry in the archive's own order, as the engine names them; a
    // failing entry does not stop the others.
    request.rows.resize(std::size_t(archive.entryCount()));
    std::iota(request.rows.begin(), request.rows.end(), 0);
    request.encoding = model->nameEncoding();
    request.stopAtFirstFailure = false;
    extractionFolder = destinationFolder;
    afterRun = AfterRun::Here;
    startExtraction(std::move(request));
}

// Notes what came of the archive's run while its names are still listed.
// A cancel (the progress dialog's, or a question's キャンセル) ends the
// whole of it: the archives not yet begun are noted as stopped.
void vzA_ExtWindow::finishHereArchive(const vzA_ExtractionRun::Outcome& outcome)
{
    HereArchive& here = hereDone.back();
    if (!outcome.opened) {
        here.problem = tr("展開先フォルダを使えません (%1)").arg(systemReason(outcome.openError));
        return;
    }
    here.folder = extractionFolder;
    here.written = outcome.written;
    here.skipped = outcome.skipped.size();
    here.failed = outcome.failed.size();
    here.cancelled = outcome.cancelled || hereCancelled;
    here.details = problemLines(outcome);
    if (!here.cancelled)
        return;
    for (const QString& path : std::exchange(hereQueue, QStringList())) {
        HereArchive stopped;
        stopped.name = shownName(QFileInfo(path).fileName());
        stopped.problem = tr("中止しました");
        hereDone.push_back(stopped);
    }
}

// One summary for every archive: the counts, then each archive's folder or
// why it has none; the rows not written in the details, under their
// archive's name when there are several.
void vzA_ExtWindow::summariseHere()
{
    std::size_t written = 0, skipped = 0, failed = 0;
    bool trouble = false, cancelled = false;
    QStringList lines, details, folders;
    for (const HereArchive& here : hereDone) {
        written += here.written;
        skipped += here.skipped;
        failed += here.failed;
        trouble = trouble || !here.problem.isEmpty() || here.failed != 0;
        cancelled = cancelled || here.cancelled;
        if (!here.folder.isEmpty()) {
            lines << tr("展開先: %1").arg(QDir::toNativeSeparators(here.folder));
            folders << here.folder;
        } else {
            lines << tr("%1: 展開できません (%2)").arg(here.name, here.problem);
        }
        if (!here.details.isEmpty() && hereDone.size() > 1)
            details << here.name;
        details << here.details;
    }
    QMessageBox box(trouble ? QMessageBox::Warning : QMessageBox::Information, tr("展開結果"),
                    (cancelled ? tr("展開を中止しました。") : tr("展開が終わりました。")) + QLatin1Char('\n') +
                        countsText(written, skipped, failed),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("extractSummary"));
    box.setInformativeText(lines.join(QLatin1Char('\n')));
    if (!details.isEmpty())
        box.setDetailedText(details.join(QLatin1Char('\n')));
    // One folder opens itself; several open where they were made, once
    // for each place (a file manager's selection is usually one folder).
    if (folders.size() > 1) {
        std::set<QString> places;
        for (const QString& folder : folders)
            places.insert(QFileInfo(folder).absolutePath());
        folders = QStringList(places.begin(), places.end());
    }
    offerFolders(box, folders);
    extractingHere = false;
    updateCommands();
    emit extractHereFinished(!trouble && !cancelled);
}
