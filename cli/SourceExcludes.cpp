#include "SourceExcludes.h"

#include <algorithm>

#include <fnmatch.h>
#include <locale.h>

namespace {

// Names are bytes, whatever the locale: in a UTF-8 locale fnmatch lets no '*' match a byte that is
// no valid character, so it runs in the C locale, byte for byte.
class ByteLocale
{
public:
    ByteLocale()
        : m_bytes(::newlocale(LC_ALL_MASK, "C", locale_t(nullptr)))
        , m_previous(m_bytes ? ::uselocale(m_bytes) : locale_t(nullptr))
    {}
    ~ByteLocale()
    {
        if (m_bytes) {
            ::uselocale(m_previous);
            ::freelocale(m_bytes);
        }
    }
    ByteLocale(const ByteLocale &) = delete;
    ByteLocale &operator=(const ByteLocale &) = delete;

private:
    locale_t m_bytes;
    locale_t m_previous;
};

} // namespace

bool isExcluded(const QList<QByteArray> &globs, const QByteArray &relativePath)
{
    const ByteLocale bytes;
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
