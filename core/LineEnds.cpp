#include "LineEnds.h"

LineEnds lineEndsOf(const QByteArray &text)
{
    bool lf = false;
    bool crLf = false;
    for (qsizetype at = text.indexOf('\n'); at >= 0; at = text.indexOf('\n', at + 1)) {
        if (at > 0 && text.at(at - 1) == '\r')
            crLf = true;
        else
            lf = true;
        if (lf && crLf)
            return LineEnds::Mixed;
    }
    return crLf ? LineEnds::CrLf : lf ? LineEnds::Lf : LineEnds::None;
}

QByteArray withLineFeeds(const QByteArray &text)
{
    QByteArray result = text;
    return result.replace("\r\n", "\n");
}

QByteArray withCrLf(const QByteArray &text)
{
    QByteArray result;
    result.reserve(text.size() + text.count('\n'));
    qsizetype from = 0;
    for (qsizetype at = text.indexOf('\n'); at >= 0; at = text.indexOf('\n', from)) {
        result.append(text.constData() + from, at - from);
        result.append("\r\n", 2);
        from = at + 1;
    }
    result.append(text.constData() + from, text.size() - from);
    return result;
}
