#include "entry_name_text.h"

#include <QByteArray>
#include <QStringDecoder>

namespace {

// Decodes bytes completely or not at all: a decoder that met an invalid or
// incomplete sequence gives a null string.
QString decodeStrictly(QStringDecoder &&decoder, const QByteArray &bytes)
{
    if (!decoder.isValid())
        return QString();
    QString text = decoder.decode(bytes);
    return decoder.hasError() ? QString() : text;
}

}  // namespace

QString entryNameText(const std::string &bytes)
{
    const QByteArray name(bytes.c_str());  // up to the first zero byte
    bool ascii = true;
    for (char c : name)
        ascii = ascii && static_cast<unsigned char>(c) < 0x80;
    if (ascii)
        return QString::fromLatin1(name);

    // Archives made on Japanese Windows store names in Shift_JIS; newer
    // ones in UTF-8. A Shift_JIS name is almost never valid UTF-8, so
    // UTF-8 is tried first. Qt reaches Shift_JIS through ICU.
    using Flag = QStringConverter::Flag;
    QString text = decodeStrictly(QStringDecoder(QStringConverter::Utf8, Flag::Stateless | Flag::ConvertInitialBom), name);
    if (text.isNull())
        text = decodeStrictly(QStringDecoder("Shift_JIS", Flag::Stateless), name);
    if (text.isNull())
        text = QString::fromLatin1(name);
    return text;
}

std::string localBytes(const QString &text)
{
    const QByteArray bytes = text.toLocal8Bit();
    return std::string(bytes.constData(), qstrnlen(bytes.constData(), bytes.size()));
}
