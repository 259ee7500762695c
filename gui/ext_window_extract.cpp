// SPDX-License-Identifier: MIT
// The extract commands of the main window: 展開 (to the output names below
// the 展開先) and フォルダへ展開 (below a folder chosen each time). The work
// runs in a vzA_ExtractionRun; this side shows its progress, asks before a
// file is replaced and reports the outcome.
#include "ext_window.h"

#include <QAction>
#include <QCloseEvent>
#include <QDesktopServices>
#include <QDialogButtonBox>
#include <QDir>
#include <QDrag>
#include <QEventLoop>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QFontMetrics>
#include <QInputDialog>
#include <QLocale>
#include <QMessageBox>
#include <QMimeData>
#include <QPointer>
#include <QProgressDialog>
#include <QPushButton>
#include <QSettings>
#include <QTableView>
#include <QTemporaryDir>
#include <QTimer>
#include <QUrl>

#include "entry_table_model.h"
#include "open_policy.h"
#include "plain_labels.h"
#include "recent_archives.h"
#include "system_reason.h"
#include "vza/archive/names/safe_name.h"

namespace {

// Work that ends sooner than this shows no progress dialog.
int progressDelayMs = 500;
constexpr int ProgressTickMs = 100;
constexpr int ProgressWidth = 420;
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

vzA_ExtWindow::DragStarter vzA_ExtWindow::dragStarter;

void vzA_ExtWindow::setProgressDelay(int milliseconds)
{
    progressDelayMs = milliseconds;
}

bool vzA_ExtWindow::rowsToExtract(std::vector<std::int32_t>& rows)
{
    const QList<int> selected = selectedEntries();
    if (!selected.isEmpty()) {
        rows.assign(selected.begin(), selected.end());
        return true;
    }
    // Nothing selected: every row, but only once the user agrees (a 置換
    // clears the selection, and 展開 then would write the whole archive).
    const int shown = model->rowCount();
    if (shown == 0) {
        QMessageBox box(QMessageBox::Information, tr("展開"), tr("展開するファイルがありません。"), QMessageBox::Ok,
                        this);
        showBox(box);
        return false;
    }
    QMessageBox box(QMessageBox::Question, tr("展開"),
                    tr("選択がありません。全て (%n 個) を展開しますか？", nullptr, shown),
                    QMessageBox::Yes | QMessageBox::No, this);
    box.setObjectName(QStringLiteral("extractAllQuestion"));
    box.setDefaultButton(QMessageBox::No);
    if (showBox(box) != QMessageBox::Yes)
        return false;
    rows.resize(std::size_t(shown));
    for (int row = 0; row < shown; ++row)
        rows[std::size_t(row)] = model->entryAt(row);
    return true;
}

void vzA_ExtWindow::extractFile()
{
    if (isExtracting() || archivePath.isEmpty())
        return;
    vzA_ExtractionRun::Request request;
    if (!rowsToExtract(request.rows) || !destinationForExtract(request.destination))
        return;
    request.changedNames = model->changedOutputNames();
    request.encoding = model->nameEncoding();
    request.stopAtFirstFailure = true;
    extractionFolder = destinationFolder.isEmpty() ? QDir::currentPath() : destinationFolder;
    afterRun = AfterRun::Report;
    startExtraction(std::move(request));
}

void vzA_ExtWindow::extractToFolder()
{
    if (isExtracting() || archivePath.isEmpty())
        return;
    vzA_ExtractionRun::Request request;
    if (!rowsToExtract(request.rows))
        return;
    QString start = lastExtractFolder();
    if (start.isEmpty() || !QFileInfo(start).isDir())
        start = QFileInfo(archivePath).absolutePath();
    const QString folder = QFileDialog::getExistingDirectory(this, tr("展開先フォルダ"), start);
    if (folder.isEmpty())
        return;
    rememberExtractFolder(folder);

    request.changedNames = model->changedOutputNames();
    request.encoding = model->nameEncoding();
    request.destination = QFile::encodeName(folder).toStdString();
    request.stopAtFirstFailure = false;
    extractionFolder = folder;
    afterRun = AfterRun::Summary;
    startExtraction(std::move(request));
}

void vzA_ExtWindow::startExtraction(vzA_ExtractionRun::Request request)
{
    extracting = true;
    updateCommands();
    extraction = std::make_unique<vzA_ExtractionRun>(archive, std::move(request));
    connect(extraction.get(), &vzA_ExtractionRun::questionAsked, this, &vzA_ExtWindow::askOverwrite,
            Qt::QueuedConnection);
    connect(extraction.get(), &vzA_ExtractionRun::finished, this, &vzA_ExtWindow::finishExtraction,
            Qt::QueuedConnection);
    extraction->start();
    startProgress();
}

// The progress dialog follows the run from now on, coming up after the
// delay (at once when it is 0).
void vzA_ExtWindow::startProgress()
{
    if (!progressTimer) {
        progressTimer = new QTimer(this);
        progressTimer->setInterval(ProgressTickMs);
        connect(progressTimer, &QTimer::timeout, this, &vzA_ExtWindow::showProgress);
    }
    extractionClock.start();
    progressTimer->start();
    if (progressDelayMs == 0)
        showProgress();
}

// The progress dialog comes up only for work that lasts; the worker's
// counters are read here, so the worker never waits for the window. The
// dialog is not modal: the commands are disabled meanwhile, and the window
// still takes Ctrl+Q and its close box, which ask before stopping the run.
void vzA_ExtWindow::showProgress()
{
    if (!extraction && !testRun)
        return;
    if (!progressDialog) {
        // Not over a question that waits for its answer.
        if (extractionClock.elapsed() < progressDelayMs || askingOverwrite)
            return;
        progressDialog = new QProgressDialog(this);
        progressDialog->setObjectName(QStringLiteral("progressDialog"));
        progressDialog->setWindowTitle(testRun ? tr("テスト中") : tr("展開中"));
        progressDialog->setCancelButtonText(tr("キャンセル"));
        progressDialog->setWindowModality(Qt::NonModal);
        progressDialog->setAutoClose(false);
        progressDialog->setAutoReset(false);
        progressDialog->setMinimumDuration(0);
        progressDialog->setRange(0, 1000);
        // A fixed width: long names are shortened in the middle instead of
        // pushing the dialog to the screen's edge.
        progressDialog->setFixedWidth(ProgressWidth);
        progressDialog->addAction(quitAction);
        showLabelsAsPlainText(progressDialog);  // its label shows entry names
        // The Cancel button, Escape and the close box all stop the run.
        const auto cancel = [this] {
            // Extract here stops altogether, even when this run's last
            // entries were done before the cancel reached them.
            hereCancelled = extractingHere;
            if (extraction)
                extraction->cancel();
            if (testRun)
                testRun->cancel();
        };
        connect(progressDialog, &QProgressDialog::canceled, this, cancel);
        connect(progressDialog, &QDialog::rejected, this, cancel);
        progressDialog->show();
    }
    std::int32_t current = -1;
    std::uint64_t done = 0, total = 0;
    if (extraction) {
        const vzA_ExtractionRun::Progress p = extraction->progress();
        current = p.currentRow;
        done = p.bytesDone;
        total = p.bytesTotal;
    } else {
        current = testRun->currentEntry();
        done = testRun->bytesDone();
        total = testRun->bytesTotal();
    }
    const QFontMetrics metrics(progressDialog->font());
    const QString name = metrics.elidedText(
        current >= 0 ? (testRun ? shownName(model->dataName(current)) : rowName(current)) : QString(), Qt::ElideMiddle,
        ProgressWidth - 60);
    progressDialog->setLabelText((testRun ? tr("テスト中: %1\n%2 / %3 バイト") : tr("展開中: %1\n%2 / %3 バイト"))
                                     .arg(name, number(done), number(total)));
    const int value = total ? int(done * 1000 / total) : 0;
    progressDialog->setValue(std::min(value, 999));
}

// Runs on the GUI thread while the worker waits for the answer.
void vzA_ExtWindow::askOverwrite()
{
    vzA_ExtractionRun::Question question;
    if (!extraction || !extraction->pendingQuestion(question))
        return;  // cancelled meanwhile
    askingOverwrite = true;
    std::string newName;
    const vzA_ExtractionRun::Answer answer = overwriteAnswer(question, newName);
    askingOverwrite = false;
    if (extraction)
        extraction->answer(answer, newName);
}

// The question, until it has an answer: 名前を変えて保存 asks for the new
// name, proposed free, and going back from there asks again.
vzA_ExtractionRun::Answer vzA_ExtWindow::overwriteAnswer(const vzA_ExtractionRun::Question& question,
                                                         std::string& newName)
{
    using Answer = vzA_ExtractionRun::Answer;
    const QString path = QFile::decodeName(question.path.c_str());
    // Both sizes, to tell which to keep; the file's only as shown (its
    // path is read again here, for the question alone).
    const QFileInfo existing(QDir(extractionFolder).filePath(path));
    const std::optional<vza::EntryView> entry = archive.entry(question.row);
    for (;;) {
        QMessageBox box(
            QMessageBox::Question, tr("上書き確認"), tr("%1 は既にあります。上書きしますか？").arg(shownName(path)),
            QMessageBox::Yes | QMessageBox::YesToAll | QMessageBox::No | QMessageBox::NoToAll | QMessageBox::Cancel,
            this);
        box.setObjectName(QStringLiteral("overwriteQuestion"));
        box.setInformativeText(tr("既にあるファイル: %1\n展開するファイル: %2")
                                   .arg(humanSize(std::uint64_t(std::max<qint64>(existing.size(), 0))),
                                        humanSize(entry ? entry->originalSize : 0)));
        // Between いいえ and キャンセル where the desktop orders buttons so.
        QPushButton* rename = box.addButton(tr("名前を変えて保存"), QMessageBox::ActionRole);
        rename->setObjectName(QStringLiteral("saveAsButton"));
        rename->setEnabled(!question.freeName.empty());
        box.setDefaultButton(QMessageBox::No);
        box.setEscapeButton(QMessageBox::Cancel);
        const int chosen = showBox(box);
        if (!extraction)
            return Answer::Cancel;
        if (box.clickedButton() == rename) {
            QString name;
            const bool named = askNewName(QFile::decodeName(question.freeName.c_str()), name);
            if (!extraction)
                return Answer::Cancel;
            if (!named)
                continue;
            newName = QFile::encodeName(name).toStdString();
            return Answer::Rename;
        }
        switch (chosen) {
        case QMessageBox::Yes: return Answer::Yes;
        case QMessageBox::YesToAll: return Answer::YesToAll;
        case QMessageBox::No: return Answer::No;
        case QMessageBox::NoToAll: return Answer::NoToAll;
        default: return Answer::Cancel;
        }
    }
}

// The name to save under, in the existing file's folder; it may be edited.
// OK only while it can be a file's name there as it is (not empty, "." or
// "..", no '/', not too long): nothing is taken out of what the user sees.
// False when the user goes back.
bool vzA_ExtWindow::askNewName(const QString& proposed, QString& name)
{
    QInputDialog dialog(this, Qt::WindowFlags());
    dialog.setObjectName(QStringLiteral("saveAsDialog"));
    prepareNameDialog(dialog, tr("名前を変えて保存"), proposed);
    // Its buttons are made when first needed: now.
    dialog.setOkButtonText(dialog.okButtonText());
    auto* buttons = dialog.findChild<QDialogButtonBox*>();
    if (QPushButton* ok = buttons ? buttons->button(QDialogButtonBox::Ok) : nullptr) {
        const auto check = [ok](const QString& text) {
            ok->setEnabled(vza::safeLeafName(QFile::encodeName(text).toStdString()));
        };
        connect(&dialog, &QInputDialog::textValueChanged, ok, check);
        check(proposed);
    }
    if (dialog.exec() != QDialog::Accepted)
        return false;
    name = dialog.textValue();
    return true;
}

void vzA_ExtWindow::finishExtraction()
{
    if (!extraction)
        return;  // already stopped, by closing the window
    if (quitQuestion) {
        // The run ended while the user was asked whether to stop it and
        // quit: the question no longer applies. It goes, the program stays,
        // and the outcome is shown once the question's handler has returned.
        quitQuestion->reject();
        QMetaObject::invokeMethod(this, &vzA_ExtWindow::finishExtraction, Qt::QueuedConnection);
        return;
    }
    extraction->join();
    const vzA_ExtractionRun::Outcome outcome = extraction->outcome();
    stopExtraction();
    // The commands stay disabled until the outcome has been seen.
    if (afterRun == AfterRun::Summary)
        summariseExtraction(outcome, extractionFolder);
    else if (afterRun == AfterRun::Open && outcome.opened && outcome.failed.empty() && !outcome.cancelled)
        openExtracted(outcome);
    else if (afterRun == AfterRun::Drag && outcome.opened && outcome.failed.empty() && !outcome.cancelled) {
        if (draggedOk)
            *draggedOk = true;
    } else if (afterRun == AfterRun::Here)
        finishHereArchive(outcome);
    else
        reportExtraction(outcome, extractionFolder);
    extracting = false;
    updateCommands();
    emit extractionEnded();
    if (afterRun == AfterRun::Here)
        QMetaObject::invokeMethod(this, &vzA_ExtWindow::extractNextHere, Qt::QueuedConnection);
}

void vzA_ExtWindow::openEntry(const QModelIndex& index)
{
    if (isExtracting() || archivePath.isEmpty() || !index.isValid())
        return;
    const QString folder = newPrivateFolder();
    if (folder.isEmpty())
        return;
    const std::int32_t entry = model->entryAt(index.row());
    QString name =
        QFileInfo(model->outputName(entry).isEmpty() ? model->defaultName(entry) : model->outputName(entry)).fileName();
    if (name.isEmpty())
        name = QStringLiteral("entry");
    vzA_ExtractionRun::Request request;
    request.rows = {entry};
    request.changedNames.insert(entry, name);
    request.encoding = model->nameEncoding();
    request.destination = QFile::encodeName(folder).toStdString();
    extractionFolder = folder;
    afterRun = AfterRun::Open;
    startExtraction(std::move(request));
}

// A new folder for entries opened or dragged out: one private folder (0700,
// as mkdtemp makes it) for the program's life, one folder in it each time,
// so that names never meet. Empty, after saying why, when it cannot be made.
QString vzA_ExtWindow::newPrivateFolder()
{
    if (!openFolder)
        openFolder = std::make_unique<QTemporaryDir>(QDir::tempPath() + QStringLiteral("/vza-extract-XXXXXX"));
    const QString folder = openFolder->filePath(QString::number(++opened));
    if (!openFolder->isValid() || !QDir().mkdir(folder) ||
        !QFile::setPermissions(folder, QFileDevice::ReadOwner | QFileDevice::WriteOwner | QFileDevice::ExeOwner)) {
        warn(tr("展開失敗"), tr("アーカイブの展開に失敗しました。"),
             tr("原因: %1").arg(tr("一時フォルダを作成できません")));
        return QString();
    }
    return folder;
}

void vzA_ExtWindow::setDragStarter(DragStarter starter)
{
    dragStarter = std::move(starter);
}

// The selected rows are extracted first, with progress, into a folder of
// their own that stays until the program ends; then the drag offers what
// is in it, to be copied.
void vzA_ExtWindow::dragOut()
{
    const QList<int> entries = selectedEntries();
    if (isExtracting() || archivePath.isEmpty() || entries.isEmpty())
        return;
    const QString folder = newPrivateFolder();
    if (folder.isEmpty())
        return;
    vzA_ExtractionRun::Request request;
    request.rows.assign(entries.begin(), entries.end());
    request.changedNames = model->changedOutputNames();
    request.encoding = model->nameEncoding();
    request.destination = QFile::encodeName(folder).toStdString();
    extractionFolder = folder;
    afterRun = AfterRun::Drag;
    bool written = false;
    QEventLoop done;
    const auto ended = connect(this, &vzA_ExtWindow::extractionEnded, &done, &QEventLoop::quit);
    startExtraction(std::move(request));
    draggedOk = &written;
    done.exec();
    draggedOk = nullptr;
    disconnect(ended);
    if (!written)
        return;
    QList<QUrl> urls;
    for (const QString& name : QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot))
        urls << QUrl::fromLocalFile(QDir(folder).filePath(name));
    auto* mime = new QMimeData;
    mime->setUrls(urls);
    if (dragStarter) {
        dragStarter(table, mime);
        return;
    }
    auto* drag = new QDrag(table);
    drag->setMimeData(mime);
    drag->exec(Qt::CopyAction, Qt::CopyAction);
}

// The file is read-only; what could run is shown in its folder instead.
void vzA_ExtWindow::openExtracted(const vzA_ExtractionRun::Outcome&)
{
    const QStringList files = QDir(extractionFolder).entryList(QDir::Files | QDir::Hidden);
    if (files.size() != 1)
        return;
    const QString path = QDir(extractionFolder).filePath(files.first());
    QFile::setPermissions(path, QFileDevice::ReadOwner);
    QFile file(path);
    const QByteArray head = file.open(QIODevice::ReadOnly) ? file.read(4096) : QByteArray();
    QDesktopServices::openUrl(QUrl::fromLocalFile(mayRunWhenOpened(files.first(), head) ? extractionFolder : path));
}

void vzA_ExtWindow::testArchive()
{
    if (isExtracting() || archivePath.isEmpty())
        return;
    extracting = true;
    updateCommands();
    testRun = std::make_unique<vzA_TestRun>(archive, model->nameEncoding());
    connect(testRun.get(), &vzA_TestRun::finished, this, &vzA_ExtWindow::finishTest, Qt::QueuedConnection);
    testRun->start();
    startProgress();
}

// One summary, in the words of what reading can vouch for: entries checked,
// stored entries read whole with nothing to check them by, and failures.
void vzA_ExtWindow::finishTest()
{
    if (!testRun)
        return;
    testRun->join();
    const vzA_TestRun::Outcome outcome = testRun->outcome();
    stopExtraction();
    if (!outcome.cancelled) {
        const vza::CheckTally& tally = outcome.tally;
        const bool failed = tally.failed != 0;
        QMessageBox box(failed ? QMessageBox::Warning : QMessageBox::Information, tr("テスト結果"),
                        failed ? tr("テストで問題が見つかりました。") : tr("テストが終わりました。"), QMessageBox::Ok,
                        this);
        box.setObjectName(QStringLiteral("testSummary"));
        QStringList lines;
        if (failed)
            lines << tr("%1 個中 %2 個が失敗しました").arg(number(tally.total()), number(tally.failed));
        if (tally.checked != 0)
            lines << tr("%1 個のファイルに問題はありません").arg(number(tally.checked));
        if (tally.unchecked != 0)
            lines << tr("格納のみの %1 個は、この形式では検査できません").arg(number(tally.unchecked));
        box.setInformativeText(lines.join(QLatin1Char('\n')));
        QStringList details;
        for (const vzA_TestRun::Failure& failure : outcome.failed) {
            if (std::size_t(details.size()) >= SummaryListLimit) {
                details << tr("ほか %1 個").arg(number(outcome.failed.size() - SummaryListLimit));
                break;
            }
            const QString reason = failure.error != vza::ArchiveError::None
                                       ? failureReason(failure.error, failure.systemError)
                                       : tr("展開できない名前です (%1)").arg(verdictText(failure.verdict));
            details << tr("%1: %2").arg(shownName(model->dataName(failure.entry)), reason);
        }
        if (!details.isEmpty())
            box.setDetailedText(details.join(QLatin1Char('\n')));
        showBox(box);
    }
    extracting = false;
    updateCommands();
    emit extractionEnded();
}

QString vzA_ExtWindow::verdictText(vza::NameVerdict verdict) const
{
    switch (verdict) {
    case vza::NameVerdict::Writable: break;
    case vza::NameVerdict::Empty: return tr("名前が空です");
    case vza::NameVerdict::HoldsNul: return tr("名前にゼロバイトがあります");
    case vza::NameVerdict::NothingSafe: return tr("安全なファイル名になりません");
    case vza::NameVerdict::TooManyComponents: return tr("フォルダの階層が深すぎます");
    case vza::NameVerdict::ComponentTooLong: return tr("名前が長すぎます");
    }
    return QString();
}

// Ends the worker (cancelled unless it is done) and puts the dialog away.
void vzA_ExtWindow::stopExtraction()
{
    if (progressTimer)
        progressTimer->stop();
    if (progressDialog) {
        progressDialog->hide();
        progressDialog->deleteLater();
        progressDialog = nullptr;
    }
    extraction.reset();
    testRun.reset();
}

// 展開: one message; a failure names the row and the reason, a success the
// folder, with a button that opens it.
void vzA_ExtWindow::reportExtraction(const vzA_ExtractionRun::Outcome& outcome, const QString& folder)
{
    const QString where = tr("展開先: %1").arg(QDir::toNativeSeparators(folder));
    if (!outcome.opened || !outcome.failed.empty()) {
        if (outcome.opened) {
            const vza::Extractor::Result& failure = outcome.failed.front();
            warn(tr("展開失敗"), tr("アーカイブの展開に失敗しました。"),
                 tr("対象: %1\n原因: %2").arg(rowName(failure.index), problemText(failure)));
        } else {
            warn(tr("展開失敗"), tr("アーカイブの展開に失敗しました。"),
                 where + QLatin1Char('\n') + tr("原因: %1").arg(systemReason(outcome.openError)));
        }
        return;
    }
    if (outcome.cancelled)
        return;  // the user stopped it and knows
    // Files kept at the user's word are no failure, but then not every file
    // was written: the summary says so instead of claiming success.
    const bool all = outcome.skipped.empty();
    QMessageBox box(QMessageBox::Information, all ? tr("展開成功") : tr("展開結果"),
                    all ? tr("全てのファイルの展開に成功しました。") : tr("展開が終わりました。"), QMessageBox::Ok,
                    this);
    box.setObjectName(QStringLiteral("extractSummary"));
    QString detail = where;
    if (!all)
        detail =
            tr("上書きしなかったファイル: %n 個", nullptr, int(outcome.skipped.size())) + QLatin1Char('\n') + detail;
    box.setInformativeText(detail);
    offerFolders(box, {folder});
}

// The folders open in the desktop's file manager.
void vzA_ExtWindow::offerFolders(QMessageBox& box, const QStringList& folders)
{
    QPushButton* open = nullptr;
    if (!folders.isEmpty()) {
        open = box.addButton(tr("フォルダを開く"), QMessageBox::ActionRole);
        open->setObjectName(QStringLiteral("openFolderButton"));
    }
    box.setDefaultButton(QMessageBox::Ok);
    // Escape and the close box still close it, as OK does.
    box.setEscapeButton(QMessageBox::Ok);
    showBox(box);
    if (open && box.clickedButton() == open)
        for (const QString& folder : folders)
            QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
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
        showBox(box);
        return;
    }
    QString text = outcome.cancelled ? tr("展開を中止しました。") : tr("展開が終わりました。");
    text += QLatin1Char('\n') + countsText(outcome.written, outcome.skipped.size(), outcome.failed.size());
    box.setText(text);
    box.setInformativeText(tr("展開先: %1").arg(QDir::toNativeSeparators(folder)));

    const QStringList details = problemLines(outcome);
    if (!details.isEmpty())
        box.setDetailedText(details.join(QLatin1Char('\n')));
    offerFolders(box, {folder});
}

QString vzA_ExtWindow::countsText(std::size_t written, std::size_t skipped, std::size_t failed) const
{
    return tr("書き込み: %1 個、スキップ: %2 個、失敗: %3 個").arg(number(written), number(skipped), number(failed));
}

QStringList vzA_ExtWindow::problemLines(const vzA_ExtractionRun::Outcome& outcome) const
{
    QStringList lines;
    std::size_t listed = 0;
    for (const auto* results : {&outcome.failed, &outcome.skipped})
        for (const vza::Extractor::Result& result : *results)
            if (listed++ < SummaryListLimit)
                lines << tr("%1: %2").arg(rowName(result.index), problemText(result));
    if (listed > SummaryListLimit)
        lines << tr("ほか %1 個").arg(number(listed - SummaryListLimit));
    return lines;
}

// The name an entry is written under, as the messages show it.
QString vzA_ExtWindow::rowName(int entry) const
{
    QString name = model->outputName(entry);
    if (name.isEmpty())
        name = model->defaultName(entry);
    if (name.isEmpty())
        name = model->dataName(entry);
    return shownName(name);
}

QString vzA_ExtWindow::problemText(const vza::Extractor::Result& result) const
{
    using Problem = vza::Extractor::Problem;
    const QString at = shownName(QFile::decodeName(result.at.c_str()));
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
    case Problem::TooManyFolders: return tr("作成するフォルダが多すぎるため、何も書き込みませんでした");
    case Problem::Exists: return tr("既にあるため上書きしませんでした");
    case Problem::CannotCreate: return tr("ファイルを作成できません (%1)").arg(system);
    case Problem::ReadFailed:
        return tr("エントリを読み出せません (%1)").arg(failureReason(result.error, result.systemError));
    case Problem::CannotWrite: return tr("ファイルを書き込めません (%1)").arg(system);
    }
    return tr("失敗しました");
}

// Closing the window during an extraction stops it first, if the user
// agrees; only はい quits. When the run ends while the question is up, the
// question goes and the program stays (finishExtraction).
void vzA_ExtWindow::closeEvent(QCloseEvent* event)
{
    // A test writes nothing: it simply stops.
    if (testRun) {
        stopExtraction();
        extracting = false;
    }
    if (extraction) {
        QMessageBox box(QMessageBox::Question, tr("展開中"), tr("展開を中止して終了しますか？"),
                        QMessageBox::Yes | QMessageBox::No, this);
        box.setObjectName(QStringLiteral("quitQuestion"));
        box.setDefaultButton(QMessageBox::No);
        quitQuestion = &box;
        const int choice = showBox(box);
        quitQuestion = nullptr;
        if (choice != QMessageBox::Yes || !extraction) {
            event->ignore();
            return;
        }
        stopExtraction();
        extracting = false;
        updateCommands();
    }
    saveWindowGeometry(saveGeometry());
    event->accept();
}
