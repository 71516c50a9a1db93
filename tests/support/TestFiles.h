#pragma once

#include <QByteArray>
#include <QString>

QByteArray readAll(const QString &path);
bool writeAll(const QString &path, const QByteArray &bytes);

// A path whose parent is a regular file: nothing can ever be created there, not even by root.
QString unwritablePath(const QString &scratchDirectory, const QString &fileName);

// Drops this process's effective user to an unprivileged one until destroyed, so that permission
// bits bite as they do for a user; does nothing when not running as root. Paths the test needs must
// be reachable by others (see makeReachable).
class UnprivilegedScope
{
public:
    UnprivilegedScope();
    ~UnprivilegedScope();
    UnprivilegedScope(const UnprivilegedScope &) = delete;
    UnprivilegedScope &operator=(const UnprivilegedScope &) = delete;
    bool active() const { return m_active; }

private:
    bool m_active = false;
};

// Opens path and each of its parents below "/" for everyone to pass through (o+x, o+r on path itself).
bool makeReachable(const QString &path);
