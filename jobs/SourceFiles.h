#pragma once

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
