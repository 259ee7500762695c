// SPDX-License-Identifier: MIT
// The extract commands of the main window: 展開 (to the output names, relative
// to the working folder) and フォルダへ展開 (below a chosen folder). The work
// runs in a vzA_ExtractionRun; this side shows its progress, asks before a
// file is replaced and reports the outcome.
#include "ext_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QLocale>
#include <QMessageBox>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTimer>

#include "entry_table_model.h"
#include "plain_labels.h"
#include "system_reason.h"

namespace {

// Work that ends sooner than this shows no progress dialog.
constexpr int ProgressDelayMs = 500;
constexpr int ProgressTickMs = 100;
// A summary lists at most this many entries by name.
constexpr std::size_t SummaryListLimit = 200;

QString lastExtractFolder()
{
    return QSettings(QStringLiteral("vza"), QStringLiteral("vza-extract"))
        .value(QStringLiteral("lastExtractFolder"))
        .toString();
}

void rememberExtractFolder(const QString& folder)
{
    QSettings(QStringLiteral("vza"), QStringLiteral("vza-extract"))
        .setValue(QStringLiteral("lastExtractFolder"), folder);
}

QString number(std::uint64_t value)
{
    return QLocale(QLocale::Japanese).toString(qulonglong(value));
}

}  // namespace

void vzA_ExtWindow::extractFile()
{
    if (isExtracting())
        return;
    vzA_ExtractionRun::Request request;
    // Nothing selected means the whole archive, as archive managers do.
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        request.rows.resize(std::size_t(model->rowCount()));
        for (int row = 0; row < model->rowCount(); ++row)
            request.rows[std::size_t(row)] = row;
    } else {
        request.rows.assign(rows.begin(), rows.end());
    }
    request.changedNames = model->changedOutputNames();
    request.encoding = model->nameEncoding();
    request.stopAtFirstFailure = true;
    extractionFolder.clear();
    startExtraction(std::move(request));
}

void vzA_ExtWindow::extractToFolder()
{
    if (isExtracting())
        return;
    QString start = lastExtractFolder();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = archivePath.isEmpty() ? QDir::currentPath() : QFileInfo(archivePath).absolutePath();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("展開先フォルダ"), start);
    if (folder.isEmpty())
        return;
    rememberExtractFolder(folder);

    vzA_ExtractionRun::Request request;
    const QList<int> rows = selectedRows();
    if (rows.isEmpty()) {
        request.rows.resize(std::size_t(model->rowCount()));
        for (int row = 0; row < model->rowCount(); ++row)
            request.rows[std::size_t(row)] = row;
    } else {
        request.rows.assign(rows.begin(), rows.end());
    }
    request.changedNames = model->changedOutputNames();
    request.encoding = model->nameEncoding();
    request.destination = QFile::encodeName(folder).toStdString();
    request.stopAtFirstFailure = false;
    extractionFolder = folder;
    startExtraction(std::move(request));
}

void vzA_ExtWindow::startExtraction(vzA_ExtractionRun::Request request)
{
    extracting = true;
    setCommandsEnabled(false);
    extraction = std::make_unique<vzA_ExtractionRun>(archive, std::move(request));
    connect(extraction.get(), &vzA_ExtractionRun::questionAsked, this, &vzA_ExtWindow::askOverwrite,
            Qt::QueuedConnection);
    connect(extraction.get(), &vzA_ExtractionRun::finished, this, &vzA_ExtWindow::finishExtraction,
            Qt::QueuedConnection);
    if (!progressTimer) {
        progressTimer = new QTimer(this);
        progressTimer->setInterval(ProgressTickMs);
        connect(progressTimer, &QTimer::timeout, this, &vzA_ExtWindow::showProgress);
    }
    extractionClock.start();
    progressTimer->start();
    extraction->start();
}

void vzA_ExtWindow::setCommandsEnabled(bool enabled)
{
    for (QAction* action : {readAction, changeAction, replaceAction, extractAction, extractToFolderAction})
        action->setEnabled(enabled);
}

// The progress dialog comes up only for work that lasts; the worker's
// counters are read here, so the worker never waits for the window.
void vzA_ExtWindow::showProgress()
{
    if (!extraction)
        return;
    if (!progressDialog) {
        // Not over a question that waits for its answer.
        if (extractionClock.elapsed() < ProgressDelayMs || askingOverwrite)
            return;
        progressDialog = new QProgressDialog(this);
        progressDialog->setObjectName(QStringLiteral("progressDialog"));
        progressDialog->setWindowTitle(tr("展開中"));
        progressDialog->setCancelButtonText(tr("キャンセル"));
        progressDialog->setWindowModality(Qt::WindowModal);
        progressDialog->setAutoClose(false);
        progressDialog->setAutoReset(false);
        progressDialog->setMinimumDuration(0);
        progressDialog->setRange(0, 1000);
        progressDialog->setMinimumWidth(360);
        showLabelsAsPlainText(progressDialog);  // its label shows entry names
        // The Cancel button, Escape and the close box all stop the run.
        const auto cancel = [this] {
            if (extraction)
                extraction->cancel();
        };
        connect(progressDialog, &QProgressDialog::canceled, this, cancel);
        connect(progressDialog, &QDialog::rejected, this, cancel);
        progressDialog->show();
    }
    const vzA_ExtractionRun::Progress p = extraction->progress();
    progressDialog->setLabelText(
        tr("展開中: %1\n%2 / %3 バイト")
            .arg(p.currentRow >= 0 ? rowName(p.currentRow) : QString(), number(p.bytesDone), number(p.bytesTotal)));
    // setValue() of a modal progress dialog runs the event loop, where the
    // run may end and put the dialog away: nothing of it is used after.
    const int value = p.bytesTotal ? int(p.bytesDone * 1000 / p.bytesTotal) : 0;
    QPointer<QProgressDialog> dialog = progressDialog;
    dialog->setValue(std::min(value, 999));
}

// Runs on the GUI thread while the worker waits for the answer.
void vzA_ExtWindow::askOverwrite()
{
    std::int32_t row = -1;
    std::string path;
    if (!extraction || !extraction->pendingQuestion(row, path))
        return;  // cancelled meanwhile
    QMessageBox box(QMessageBox::Question, tr("上書き確認"),
                    tr("%1 は既にあります。上書きしますか？").arg(QFile::decodeName(path.c_str())),
                    QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::Cancel, this);
    box.setObjectName(QStringLiteral("overwriteQuestion"));
    box.setDefaultButton(QMessageBox::No);
    box.setEscapeButton(QMessageBox::Cancel);
    showLabelsAsPlainText(&box);
    askingOverwrite = true;
    const int chosen = box.exec();
    askingOverwrite = false;
    if (!extraction)
        return;
    switch (chosen) {
    case QMessageBox::Yes: extraction->answer(vzA_ExtractionRun::Answer::Yes); break;
    case QMessageBox::YesToAll: extraction->answer(vzA_ExtractionRun::Answer::YesToAll); break;
    case QMessageBox::No: extraction->answer(vzA_ExtractionRun::Answer::No); break;
    default: extraction->answer(vzA_ExtractionRun::Answer::Cancel); break;
    }
}

void vzA_ExtWindow::finishExtraction()
{
    if (!extraction)
        return;  // already stopped, by closing the window
    extraction->join();
    const vzA_ExtractionRun::Outcome outcome = extraction->outcome();
    stopExtraction();
    // The commands stay disabled until the outcome has been seen.
    if (extractionFolder.isEmpty())
        reportExtraction(outcome);
    else
        summariseExtraction(outcome, extractionFolder);
    extracting = false;
    setCommandsEnabled(true);
}

// Ends the worker (cancelled unless it is done) and puts the dialog away.
void vzA_ExtWindow::stopExtraction()
{
    if (progressTimer)
        progressTimer->stop();
    // Possibly called from inside the dialog's own setValue(): let it return first.
    if (progressDialog) {
        progressDialog->hide();
        progressDialog->deleteLater();
        progressDialog = nullptr;
    }
    extraction.reset();
}

// 展開: one message, as before; a failure names the row and the reason.
void vzA_ExtWindow::reportExtraction(const vzA_ExtractionRun::Outcome& outcome)
{
    if (!outcome.opened || !outcome.failed.empty()) {
        QMessageBox box(QMessageBox::Warning, tr("展開失敗"), tr("アーカイブの展開に失敗しました。"), QMessageBox::Ok,
                        this);
        if (outcome.opened) {
            const vza::Extractor::Result& failure = outcome.failed.front();
            box.setInformativeText(tr("対象: %1\n原因: %2").arg(rowName(failure.index), problemText(failure)));
        } else {
            box.setInformativeText(tr("原因: %1").arg(systemReason(outcome.openError)));
        }
        showLabelsAsPlainText(&box);
        box.exec();
        return;
    }
    if (outcome.cancelled)
        return;  // the user stopped it and knows
    QMessageBox box(QMessageBox::Information, tr("展開成功"), tr("全てのファイルの展開に成功しました。"),
                    QMessageBox::Ok, this);
    if (!outcome.skipped.empty())
        box.setInformativeText(tr("上書きしなかったファイル: %1 個").arg(number(outcome.skipped.size())));
    box.exec();
}

// フォルダへ展開: one summary of everything, failures with their reasons.
void vzA_ExtWindow::summariseExtraction(const vzA_ExtractionRun::Outcome& outcome, const QString& folder)
{
    const bool trouble = !outcome.opened || !outcome.failed.empty();
    QMessageBox box(trouble ? QMessageBox::Warning : QMessageBox::Information, tr("展開結果"), QString(),
                    QMessageBox::Ok, this);
    box.setObjectName(QStringLiteral("extractSummary"));
    if (!outcome.opened) {
        box.setText(tr("展開先フォルダを使えません。"));
        box.setInformativeText(
            tr("展開先: %1\n原因: %2").arg(QDir::toNativeSeparators(folder), systemReason(outcome.openError)));
        showLabelsAsPlainText(&box);
        box.exec();
        return;
    }
    QString text = outcome.cancelled ? tr("展開を中止しました。") : tr("展開が終わりました。");
    text += QLatin1Char('\n') +
            tr("書き込み: %1 個、スキップ: %2 個、失敗: %3 個")
                .arg(number(outcome.written), number(outcome.skipped.size()), number(outcome.failed.size()));
    box.setText(text);
    box.setInformativeText(tr("展開先: %1").arg(QDir::toNativeSeparators(folder)));

    QStringList details;
    std::size_t listed = 0;
    for (const auto* results : {&outcome.failed, &outcome.skipped})
        for (const vza::Extractor::Result& result : *results)
            if (listed++ < SummaryListLimit)
                details << tr("%1: %2").arg(rowName(result.index), problemText(result));
    if (listed > SummaryListLimit)
        details << tr("ほか %1 個").arg(number(listed - SummaryListLimit));
    if (!details.isEmpty())
        box.setDetailedText(details.join(QLatin1Char('\n')));
    showLabelsAsPlainText(&box);
    box.exec();
}

QString vzA_ExtWindow::rowName(int row) const
{
    return model->dataName(row);
}

QString vzA_ExtWindow::problemText(const vza::Extractor::Result& result) const
{
    using Problem = vza::Extractor::Problem;
    const QString at = QFile::decodeName(result.at.c_str());
    const QString system = systemReason(result.systemError);
    switch (result.problem) {
    case Problem::None:
    case Problem::Cancelled: return tr("中止しました");
    case Problem::NoSuchEntry: return tr("エントリがありません");
    case Problem::UnsafeName: return tr("安全なファイル名になりません");
    case Problem::TooManyComponents: return tr("フォルダの階層が深すぎます");
    case Problem::NameTooLong: return tr("名前が長すぎます");
    case Problem::LinkOnTheWay: return tr("%1 はシンボリックリンクのため、その先へは書き込みません").arg(at);
    case Problem::NotAFolderOnTheWay: return tr("%1 はフォルダではありません").arg(at);
    case Problem::FolderMissing: return tr("フォルダ %1 がありません").arg(at);
    case Problem::FolderFailed: return tr("フォルダ %1 を作成できません (%2)").arg(at, system);
    case Problem::FolderInTheWay: return tr("同じ名前のフォルダがあります");
    case Problem::SpecialFileInTheWay: return tr("同じ名前の特殊ファイルがあるため置き換えません");
    case Problem::ArchiveInTheWay: return tr("読込中のアーカイブ自身には書き込みません");
    case Problem::Exists: return tr("既にあるため上書きしませんでした");
    case Problem::CannotCreate: return tr("ファイルを作成できません (%1)").arg(system);
    case Problem::ReadFailed:
        return tr("エントリを読み出せません (%1)").arg(failureReason(result.error, result.systemError));
    case Problem::CannotWrite: return tr("ファイルを書き込めません (%1)").arg(system);
    }
    return tr("失敗しました");
}

// Closing the window during an extraction stops it first, if the user agrees.
void vzA_ExtWindow::closeEvent(QCloseEvent* event)
{
    if (extraction) {
        const QMessageBox::StandardButton choice =
            QMessageBox::question(this, tr("展開中"), tr("展開を中止して終了しますか？"),
                                  QMessageBox::Yes | QMessageBox::No, QMessageBox::No);
        if (choice != QMessageBox::Yes && extraction) {
            event->ignore();
            return;
        }
        stopExtraction();
        extracting = false;
        setCommandsEnabled(true);
    }
    event->accept();
}
