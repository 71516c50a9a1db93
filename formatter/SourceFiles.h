#pragma once

#include <QByteArray>
#include <QList>
#include <QString>
#include <QStringList>

// The four source extensions, in the order a directory job copies them.
const QStringList &sourceExtensions();

// The text from the last '.' to the end, the dot included; empty without a dot.
QString extensionOf(const QString &fileName);

// Exact and case-sensitive: "MAIN.C", "a.c~" and "x.hpp.bak" are not sources.
bool hasSourceExtension(const QString &fileName);

// The entries directly inside directory (no recursion) whose extension is exactly a source extension:
// every ".c" entry, then ".h", ".cpp", ".hpp", each group sorted by name. Entries of every kind, hidden
// ones and subdirectories included, as full paths. readable, when given, tells whether the directory
// could be listed at all.
QStringList scanSourceDirectory(const QString &directory, bool *readable = nullptr);

// What a recursive scan of a source tree found. Names are bytes exactly as the file system holds them
// (QFile::decodeName cannot carry every one back), relative to the root and joined with '/', so that an
// output can mirror the tree.
struct SourceTree
{
    bool rootReadable = false;
    // Regular files (or links to them) whose extension is exactly a source extension. In each
    // directory: every ".c", then ".h", ".cpp", ".hpp", each group in byte order; then the
    // subdirectories in byte order, each with everything below it.
    QList<QByteArray> files;
    // Entries named like sources that are no regular file: dangling links, pipes, devices, sockets.
    QList<QByteArray> skipped;
    // Subdirectories that could not be opened or listed.
    QList<QByteArray> unreadableDirectories;
};

// Descends from root through every directory except hidden ones (".git", ".cache"); hidden files are
// taken like others. Links to directories are never followed, and a directory met twice (a bind mount
// of an ancestor) is entered once, so no loop can hold the scan. With recursive false only the entries
// directly inside root are looked at.
SourceTree scanSourceTree(const QByteArray &nativeRoot, bool recursive = true);
SourceTree scanSourceTree(const QString &root, bool recursive = true);
