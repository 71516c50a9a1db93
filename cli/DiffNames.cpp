#include "DiffNames.h"

#include "FormatSources.h"

#include <QList>

#include <climits>
#include <cstdlib>

namespace {

bool needsQuotes(const QByteArray &name)
{
    for (const char byte : name) {
        if (quint8(byte) < 0x20 || quint8(byte) == 0x7f || byte == '"' || byte == '\\')
            return true;
    }
    return name.endsWith(' ');
}

QByteArray quoted(const QByteArray &name)
{
    QByteArray text = "\"";
    for (const char byte : name) {
        switch (byte) {
        case '"':
            text += "\\\"";
            break;
        case '\\':
            text += "\\\\";
            break;
        case '\t':
            text += "\\t";
            break;
        case '\n':
            text += "\\n";
            break;
        case '\r':
            text += "\\r";
            break;
        default:
            if (quint8(byte) < 0x20 || quint8(byte) == 0x7f)
                text += '\\' + QByteArray::number(quint8(byte), 8).rightJustified(3, '0');
            else
                text += byte;
        }
    }
    return text + '"';
}

} // namespace

std::optional<QByteArray> patchPath(const QByteArray &path, const QByteArray &workingDirectory)
{
    const QList<QByteArray> parts = path.split('/');
    if (!path.startsWith('/') && !parts.contains("..")) {
        QList<QByteArray> kept;
        for (const QByteArray &part : parts) {
            if (!part.isEmpty() && part != ".")
                kept.append(part);
        }
        return kept.join('/');
    }
    // ".." after a link leads elsewhere than the text says: where the file really is decides
    char resolved[PATH_MAX];
    if (workingDirectory.isEmpty() || !::realpath(parentOf(path).constData(), resolved))
        return std::nullopt;
    const QByteArray real = joinedPath(QByteArray(resolved), baseNameOf(path));
    const QByteArray base = workingDirectory.endsWith('/') ? workingDirectory : workingDirectory + '/';
    if (!real.startsWith(base))
        return std::nullopt;
    return real.mid(base.size());
}

QByteArray diffHeaderName(const QByteArray &prefix, const QByteArray &path)
{
    const QByteArray name = prefix + path;
    if (needsQuotes(name))
        return quoted(name);
    return name.contains(' ') ? name + '\t' : name;
}
