#pragma once

#include <QByteArray>
#include <QString>

enum class InPlaceFallback { Never, WhenDirectoryIsReadOnly };

// Writes bytes to a new file beside path and renames it over path only when every byte is on disk; a
// failure at any point leaves the old file as it was. With WhenDirectoryIsReadOnly, an existing file
// whose directory cannot take the new file is rewritten in place instead (no longer atomic, but the
// only way to save beside a program in a read-only directory).
bool writeFileAtomically(const QString &path, const QByteArray &bytes,
                         InPlaceFallback fallback = InPlaceFallback::Never);
