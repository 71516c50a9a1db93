#pragma once

#include <QString>
#include <QStringList>

// The four source extensions, in the order a directory job copies them.
const QStringList &sourceExtensions();

// The text from the last '.' to the end, the dot included; empty without a dot.
QString extensionOf(const QString &fileName);

// Exact and case-sensitive: "MAIN.C", "a.c~" and "x.hpp.bak" are not sources.
bool hasSourceExtension(const QString &fileName);
