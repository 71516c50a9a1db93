#pragma once

#include <QByteArray>
#include <QList>

// Patterns that leave files out, read as git reads a .gitignore: a pattern without '/' (a trailing one
// aside) matches a file or directory name at any depth; one with '/' matches from the directory the
// patterns belong to; '*' and '?' never match '/', while "**" between slashes matches any number of
// directories; a trailing '/' matches only directories; a leading '!' takes back what an earlier
// pattern left out. Names are compared byte for byte, whatever the locale.
class IgnorePatterns
{
public:
    enum class Verdict { Unmatched, Excluded, Included };

    // The lines of an ignore file: blank lines and lines beginning with '#' say nothing, trailing
    // blanks are dropped unless escaped with '\', and "\#" or "\!" begin a pattern with that character.
    static IgnorePatterns fromFile(const QByteArray &text);
    // --exclude's globs, each read as one line of an ignore file, except that '#' begins no comment.
    static IgnorePatterns fromGlobs(const QList<QByteArray> &globs);

    bool isEmpty() const { return m_patterns.isEmpty(); }
    // What the last pattern that matches says of path, given relative to the patterns' directory.
    Verdict verdict(const QByteArray &path, bool isDirectory) const;
    // Whether path is left out: it, or one of its leading directories, which nothing below can take
    // back (git does not look into an ignored directory either).
    bool excludes(const QByteArray &path) const;

private:
    struct Pattern
    {
        QList<QByteArray> segments; // one segment alone matches the last name of a path
        bool anchored = false;
        bool negated = false;
        bool directoryOnly = false;
    };
    void add(QByteArray line);

    QList<Pattern> m_patterns;
};

// A path's names, without empty ones and ".": "./a//b/" is {"a", "b"}.
QList<QByteArray> pathNames(const QByteArray &path);
