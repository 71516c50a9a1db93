#pragma once

#include <QByteArray>
#include <QString>

QByteArray readAll(const QString &path);
bool writeAll(const QString &path, const QByteArray &bytes);

// A path whose parent is a regular file: nothing can ever be created there, not even by root.
QString unwritablePath(const QString &scratchDirectory, const QString &fileName);
