#include "IgnorePatterns.h"

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

const QByteArray AnyDirectories = "**";

bool matchesName(const QByteArray &glob, const QByteArray &name)
{
    return ::fnmatch(glob.constData(), name.constData(), 0) == 0;
}

// Segments from segment on against names from name on; "**" stands for any number of names, and at
// the end for at least one (everything inside a directory, not the directory itself).
bool matchesFrom(const QList<QByteArray> &segments, qsizetype segment, const QList<QByteArray> &names,
                 qsizetype name)
{
    if (segment == segments.size())
        return name == names.size();
    if (segments.at(segment) == AnyDirectories) {
        if (segment + 1 == segments.size())
            return name < names.size();
        for (qsizetype skipped = name; skipped <= names.size(); ++skipped) {
            if (matchesFrom(segments, segment + 1, names, skipped))
                return true;
        }
        return false;
    }
    return name < names.size() && matchesName(segments.at(segment), names.at(name)) &&
           matchesFrom(segments, segment + 1, names, name + 1);
}

} // namespace

QList<QByteArray> pathNames(const QByteArray &path)
{
    QList<QByteArray> names;
    for (const QByteArray &name : path.split('/')) {
        if (!name.isEmpty() && name != ".")
            names.append(name);
    }
    return names;
}

IgnorePatterns IgnorePatterns::fromFile(const QByteArray &text)
{
    IgnorePatterns patterns;
    for (QByteArray line : text.split('\n')) {
        if (line.endsWith('\r'))
            line.chop(1);
        if (!line.startsWith('#'))
            patterns.add(line);
    }
    return patterns;
}

IgnorePatterns IgnorePatterns::fromGlobs(const QList<QByteArray> &globs)
{
    IgnorePatterns patterns;
    for (const QByteArray &glob : globs)
        patterns.add(glob);
    return patterns;
}

void IgnorePatterns::add(QByteArray line)
{
    while (line.endsWith(' ') && !line.endsWith("\\ "))
        line.chop(1);
    Pattern pattern;
    pattern.negated = line.startsWith('!');
    if (pattern.negated)
        line.remove(0, 1);
    pattern.directoryOnly = line.endsWith('/');
    while (line.endsWith('/'))
        line.chop(1);
    pattern.anchored = line.contains('/');
    pattern.segments = pattern.anchored ? pathNames(line) : QList<QByteArray>{line};
    // "a/**/**/b" is "a/**/b", which matches as much in far fewer steps
    for (qsizetype at = 1; at < pattern.segments.size();) {
        if (pattern.segments.at(at) == AnyDirectories && pattern.segments.at(at - 1) == AnyDirectories)
            pattern.segments.removeAt(at);
        else
            ++at;
    }
    if (!line.isEmpty() && !pattern.segments.isEmpty())
        m_patterns.append(pattern);
}

IgnorePatterns::Verdict IgnorePatterns::verdict(const QByteArray &path, bool isDirectory) const
{
    const ByteLocale bytes;
    const QList<QByteArray> names = pathNames(path);
    if (names.isEmpty())
        return Verdict::Unmatched;
    for (auto pattern = m_patterns.crbegin(); pattern != m_patterns.crend(); ++pattern) {
        if (pattern->directoryOnly && !isDirectory)
            continue;
        const bool matches = pattern->anchored
                                 ? matchesFrom(pattern->segments, 0, names, 0)
                                 : matchesName(pattern->segments.constFirst(), names.constLast());
        if (matches)
            return pattern->negated ? Verdict::Included : Verdict::Excluded;
    }
    return Verdict::Unmatched;
}

bool IgnorePatterns::excludes(const QByteArray &path) const
{
    if (m_patterns.isEmpty())
        return false;
    const QList<QByteArray> names = pathNames(path);
    QByteArray leading;
    for (qsizetype index = 0; index < names.size(); ++index) {
        leading += (index ? "/" : "") + names.at(index);
        if (verdict(leading, index + 1 < names.size()) == Verdict::Excluded)
            return true;
    }
    return false;
}
