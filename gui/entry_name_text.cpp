// SPDX-License-Identifier: MIT
#include "entry_name_text.h"

#include <QByteArray>

std::string localBytes(const QString& text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), qstrnlen(bytes.constData(), bytes.size()));
}
