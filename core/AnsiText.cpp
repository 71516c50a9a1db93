#include "AnsiText.h"

#include <QStringDecoder>
#include <QStringEncoder>

namespace {
constexpr const char *CodePageName = "windows-936";
}

QByteArray toAnsi(const QString &text)
{
    QStringEncoder encoder(CodePageName);
    Q_ASSERT(encoder.isValid());
    return encoder.encode(text);
}

QString fromAnsi(const QByteArray &bytes)
{
    QStringDecoder decoder(CodePageName);
    Q_ASSERT(decoder.isValid());
    return decoder.decode(bytes);
}

QByteArray truncateAnsi(const QByteArray &bytes, int maxBytes)
{
    if (bytes.size() <= maxBytes)
        return bytes;
    int end = 0;
    while (end < bytes.size()) {
        const int width = static_cast<quint8>(bytes[end]) >= 0x81 ? 2 : 1; // GBK lead bytes are 0x81..0xFE
        if (end + width > maxBytes)
            break;
        end += width;
    }
    return bytes.left(end);
}
