#pragma once

#include "Descriptor.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QPair>
#include <QString>
#include <QStringList>

#include <memory>

// The four source extensions, in the order a directory job copies them.
const QStringList &sourceExtensions();

// The text from the last '.' to the end, the dot included; empty without a dot.
QString extensionOf(const QString &fileName);

// Exact and case-sensitive: "MAIN.C", "a.c~" and "x.hpp.bak" are not sources.
bool hasSourceExtension(const QString &fileName);

// What makes a source look like C++, which indent, a formatter of C, lays out oddly (templates and lambdas
// come out as "std::vector < T >>"): its extension (".cpp", ".hpp", ".cc", ".cxx", ".hh", ".hxx"), else
// the first C++ construct found in it ("template <", "namespace", "std::", a lambda, ...); empty when it
// looks like C. Only the first CppScanBytes are read.
constexpr qsizetype CppScanBytes = 256 * 1024;
QString cppSign(const QString &fileName, const QByteArray &source);

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
    // The root as the scan opened it, and the device and inode of every directory it entered, by the
    // path relative to the root ("" for the root): what ScannedDirectories opens again.
    std::shared_ptr<const Descriptor> root;
    QHash<QByteArray, QPair<quint64, quint64>> directories;
};

// Descends from root through every directory except hidden ones (".git", ".cache"); hidden files are
// taken like others. Links to directories are never followed, and a directory met twice (a bind mount
// of an ancestor) is entered once, so no loop can hold the scan. With recursive false only the entries
// directly inside root are looked at.
SourceTree scanSourceTree(const QByteArray &nativeRoot, bool recursive = true);
SourceTree scanSourceTree(const QString &root, bool recursive = true);

// The directories of a scanned tree opened again after the scan, the way fts and rm work: from the root
// descriptor the scan held, one name at a time with O_NOFOLLOW, each checked to be the very directory
// the scan entered. A directory swapped for a link or for another directory since the scan is never
// entered, so nothing outside the tree is reached through a name inside it. The last directory opened
// stays open for the next file in it.
class ScannedDirectories
{
public:
    explicit ScannedDirectories(const SourceTree &tree);

    // The open directory that holds file (a path of SourceTree::files) and the file's name in it; -1
    // with error set when it cannot be reached: ELOOP or ENOTDIR when a link or a file took the place
    // of a directory, ESTALE when another directory did, or what openat said.
    int directoryOf(const QByteArray &file, QByteArray *name, int *error);

private:
    const SourceTree &m_tree;
    QByteArray m_openPath;
    Descriptor m_open;
};
