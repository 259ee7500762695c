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

QString failureReason(vza::ArchiveError error, int systemError)
{
    QString reason = QString::fromUtf8(vza::errorText(error));
    if (systemError != 0)
        reason += QStringLiteral(": ") + systemReason(systemError);
    return reason;
}
