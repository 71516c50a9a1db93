#pragma once

#include <QByteArray>
#include <QString>

// Writes bytes to a new file beside path and renames it over path only when every byte is on disk; a
// failure at any point leaves the old file as it was.
bool writeFileAtomically(const QString &path, const QByteArray &bytes);
