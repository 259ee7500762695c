// SPDX-License-Identifier: MIT
#include "system_reason.h"

#include <QCoreApplication>

#include <cerrno>
#include <cstring>

namespace {

const char* japaneseReason(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return QT_TRANSLATE_NOOP("vzA_SystemReason", "アクセスが拒否されました");
    case ENOSPC: return QT_TRANSLATE_NOOP("vzA_SystemReason", "ディスクの空き容量が足りません");
    case EDQUOT: return QT_TRANSLATE_NOOP("vzA_SystemReason", "ディスク使用量の上限を超えました");
    case EROFS: return QT_TRANSLATE_NOOP("vzA_SystemReason", "読み取り専用のファイルシステムです");
    case ENAMETOOLONG: return QT_TRANSLATE_NOOP("vzA_SystemReason", "名前が長すぎます");
    case EEXIST: return QT_TRANSLATE_NOOP("vzA_SystemReason", "同じ名前のものが既にあります");
    case EISDIR: return QT_TRANSLATE_NOOP("vzA_SystemReason", "フォルダです");
    case ENOTDIR: return QT_TRANSLATE_NOOP("vzA_SystemReason", "フォルダではありません");
    case ELOOP: return QT_TRANSLATE_NOOP("vzA_SystemReason", "シンボリックリンクをたどれません");
    case EIO: return QT_TRANSLATE_NOOP("vzA_SystemReason", "入出力エラー");
    case EMFILE:
    case ENFILE: return QT_TRANSLATE_NOOP("vzA_SystemReason", "開いているファイルが多すぎます");
    case ENOENT: return QT_TRANSLATE_NOOP("vzA_SystemReason", "ファイルまたはフォルダがありません");
    case EFBIG: return QT_TRANSLATE_NOOP("vzA_SystemReason", "ファイルが大きすぎます");
    case EBUSY:
    case ETXTBSY: return QT_TRANSLATE_NOOP("vzA_SystemReason", "使用中です");
    case ENOMEM: return QT_TRANSLATE_NOOP("vzA_SystemReason", "メモリが足りません");
    default: return nullptr;
    }
}

// The library's reasons, which it gives in English for the command line.
const char* archiveReason(vza::ArchiveError error)
{
    using E = vza::ArchiveError;
    switch (error) {
    case E::None: return nullptr;
    case E::CannotOpenArchive: return QT_TRANSLATE_NOOP("vzA_SystemReason", "アーカイブを開けません");
    case E::NotAnArchive: return QT_TRANSLATE_NOOP("vzA_SystemReason", "VZA形式ではありません");
    case E::EmptyPassword: return QT_TRANSLATE_NOOP("vzA_SystemReason", "パスワードが必要です");
    case E::WrongPassword: return QT_TRANSLATE_NOOP("vzA_SystemReason", "パスワードが違うか、ヘッダが壊れています");
    case E::DamagedIndex: return QT_TRANSLATE_NOOP("vzA_SystemReason", "インデックスが壊れています");
    case E::NoSuchEntry: return QT_TRANSLATE_NOOP("vzA_SystemReason", "エントリがありません");
    case E::EntryTruncated: return QT_TRANSLATE_NOOP("vzA_SystemReason", "データが途中で切れています");
    case E::EntryCorrupt: return QT_TRANSLATE_NOOP("vzA_SystemReason", "データが壊れています");
    case E::EntryTooLarge: return QT_TRANSLATE_NOOP("vzA_SystemReason", "データが記録された大きさを超えています");
    case E::EntrySizeMismatch: return QT_TRANSLATE_NOOP("vzA_SystemReason", "データが記録された大きさに足りません");
    case E::UnsafeName: return QT_TRANSLATE_NOOP("vzA_SystemReason", "安全なファイル名になりません");
    case E::CannotReadInput: return QT_TRANSLATE_NOOP("vzA_SystemReason", "ファイルを読み込めません");
    case E::InputChanged: return QT_TRANSLATE_NOOP("vzA_SystemReason", "読込中にファイルが変わりました");
    case E::CannotWriteOutput: return QT_TRANSLATE_NOOP("vzA_SystemReason", "ファイルを書き込めません");
    case E::ArchiveTooLarge: return QT_TRANSLATE_NOOP("vzA_SystemReason", "アーカイブが大きすぎます");
    case E::CompressionFailed: return QT_TRANSLATE_NOOP("vzA_SystemReason", "圧縮に失敗しました");
    }
    return nullptr;
}

}  // namespace

QString systemReason(int error)
{
    if (error == 0)
        return QString();
    if (const char* text = japaneseReason(error))
        return QCoreApplication::translate("vzA_SystemReason", text);
    // Rarer causes keep the system's own words rather than none.
    return QString::fromLocal8Bit(std::strerror(error));
}

QString archiveErrorReason(vza::ArchiveError error)
{
    const char* text = archiveReason(error);
    return text ? QCoreApplication::translate("vzA_SystemReason", text) : QString();
}

QString failureReason(vza::ArchiveError error, int systemError)
{
    QString reason = archiveErrorReason(error);
    if (systemError != 0)
        reason += (reason.isEmpty() ? QString() : QStringLiteral(": ")) + systemReason(systemError);
    return reason;
}
