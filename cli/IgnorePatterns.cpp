#include "IgnorePatterns.h"

#include <vector>

#include <fnmatch.h>
#include <locale.h>

namespace {

// Names are bytes, whatever the locale: in a UTF-8 locale fnmatch lets no '*' match a byte that is
// no valid character, so it runs in the C locale, byte for byte.
class ByteLocale
{
public:
    ByteLocale()
        : m_previous(bytes() ? ::uselocale(bytes()) : locale_t(nullptr))
    {}
    ~ByteLocale()
    {
        if (m_previous)
            ::uselocale(m_previous);
    }
    ByteLocale(const ByteLocale &) = delete;
    ByteLocale &operator=(const ByteLocale &) = delete;

private:
    // made once: a run asks for thousands of paths
    static locale_t bytes()
    {
        static const locale_t made = ::newlocale(LC_ALL_MASK, "C", locale_t(nullptr));
        return made;
    }

    locale_t m_previous;
};

const QByteArray AnyDirectories = "**";

bool matchesName(const QByteArray &glob, const QByteArray &name)
{
    return ::fnmatch(glob.constData(), name.constData(), 0) == 0;
}

// Whether segments match names, "**" standing for any number of names, and at the end for at least one
// (everything inside a directory, not the directory itself). Each pair of positions is tried once, so
// a pattern of many "**" costs segments times names steps, never more.
class SegmentMatch
{
public:
    SegmentMatch(const QList<QByteArray> &segments, const QList<QByteArray> &names)
        : m_segments(segments)
        , m_names(names)
        , m_tried(std::size_t((segments.size() + 1) * (names.size() + 1)), Untried)
    {}

    bool from(qsizetype segment, qsizetype name)
    {
        char &tried = m_tried[std::size_t(segment * (m_names.size() + 1) + name)];
        if (tried == Untried)
            tried = compute(segment, name) ? Matched : Failed;
        return tried == Matched;
    }

private:
    enum : char { Untried, Matched, Failed };

    bool compute(qsizetype segment, qsizetype name)
    {
        if (segment == m_segments.size())
            return name == m_names.size();
        if (m_segments.at(segment) == AnyDirectories) {
            if (segment + 1 == m_segments.size())
                return name < m_names.size();
            // none of the names, or one more
            return from(segment + 1, name) || (name < m_names.size() && from(segment, name + 1));
        }
        return name < m_names.size() && matchesName(m_segments.at(segment), m_names.at(name)) &&
               from(segment + 1, name + 1);
    }

    const QList<QByteArray> &m_segments;
    const QList<QByteArray> &m_names;
    std::vector<char> m_tried;
};

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
    // "a/**/**/b" is "a/**/b"
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
                                 ? SegmentMatch(pattern->segments, names).from(0, 0)
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
