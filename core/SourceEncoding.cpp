#include "SourceEncoding.h"

#include <QStringDecoder>
#include <QUtf8StringView>

namespace {

constexpr char Utf8ByteOrderMark[] = "\xef\xbb\xbf";

// The whole text: a decoder would keep a sequence cut off at the end as pending, not as an error.
bool isValidUtf8(const QByteArray &bytes)
{
    return QUtf8StringView(bytes).isValidUtf8();
}

// Nearly any run of high bytes is valid GB18030 ("Müller" decodes to an ideograph and an "l"), so
// valid is not enough: Chinese text is mostly characters of GB2312's rows, both bytes 0xA1 or above,
// where a Latin-1 letter is followed by an ASCII one.
bool looksLikeGb18030(const QByteArray &bytes)
{
    QStringDecoder decoder("GB18030");
    if (!decoder.isValid())
        return false;
    const QString text = decoder.decode(bytes);
    if (decoder.hasError())
        return false;
    qsizetype chinese = 0;
    qsizetype other = 0;
    for (qsizetype i = 0; i < bytes.size(); ++i) {
        const auto lead = static_cast<unsigned char>(bytes.at(i));
        if (lead < 0x80)
            continue;
        const auto trail = i + 1 < bytes.size() ? static_cast<unsigned char>(bytes.at(i + 1)) : 0;
        if (lead >= 0xa1 && lead <= 0xf7 && trail >= 0xa1 && trail <= 0xfe)
            ++chinese;
        else
            ++other;
        i += trail >= 0x30 && trail <= 0x39 ? 3 : 1; // four bytes where the second is a digit
    }
    return chinese > 0 && chinese >= 4 * other;
}

} // namespace

SourceEncoding detectSourceEncoding(const QByteArray &bytes)
{
    if (bytes.startsWith(Utf8ByteOrderMark))
        return SourceEncoding::Utf8Bom;
    if (isValidUtf8(bytes))
        return SourceEncoding::Utf8;
    return looksLikeGb18030(bytes) ? SourceEncoding::Gb18030 : SourceEncoding::Latin1;
}

QString decodeSource(const QByteArray &bytes, SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::Utf8:
    case SourceEncoding::Utf8Bom:
        return QString::fromUtf8(bytes.startsWith(Utf8ByteOrderMark) ? bytes.mid(3) : bytes);
    case SourceEncoding::Gb18030: {
        QStringDecoder decoder("GB18030");
        if (decoder.isValid())
            return decoder.decode(bytes);
        break;
    }
    case SourceEncoding::Latin1:
        break;
    }
    return QString::fromLatin1(bytes);
}

QString sourceEncodingName(SourceEncoding encoding)
{
    switch (encoding) {
    case SourceEncoding::Utf8:
        return QStringLiteral("UTF-8");
    case SourceEncoding::Utf8Bom:
        return QStringLiteral("UTF-8 (BOM)");
    case SourceEncoding::Gb18030:
        return QStringLiteral("GB18030");
    case SourceEncoding::Latin1:
        return QStringLiteral("Latin-1");
    }
    return QString();
}
