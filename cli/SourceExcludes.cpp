#include "SourceExcludes.h"

#include <algorithm>

#include <fnmatch.h>

bool isExcluded(const QList<QByteArray> &globs, const QByteArray &relativePath)
{
    QByteArray path = relativePath;
    while (path.startsWith("./"))
        path.remove(0, 2);
    for (const QByteArray &glob : globs) {
        QByteArray pattern = glob;
        while (pattern.startsWith("./"))
            pattern.remove(0, 2);
        while (pattern.size() > 1 && pattern.endsWith('/'))
            pattern.chop(1);
        for (qsizetype end = path.indexOf('/'); end >= 0; end = path.indexOf('/', end + 1)) {
            if (::fnmatch(pattern.constData(), path.left(end).constData(), 0) == 0)
                return true;
        }
        if (::fnmatch(pattern.constData(), path.constData(), 0) == 0)
            return true;
    }
    return false;
}

void dropExcluded(const QList<QByteArray> &globs, std::vector<Source> *sources)
{
    if (globs.isEmpty())
        return;
    sources->erase(
        std::remove_if(sources->begin(), sources->end(),
                       [&](const Source &source) { return isExcluded(globs, source.relativePath); }),
        sources->end());
}
