#pragma once

#include <QByteArray>
#include <QFileDevice>
#include <QString>

QByteArray readAll(const QString &path);
bool writeAll(const QString &path, const QByteArray &bytes);

// A path whose parent is a regular file: nothing can ever be created there, not even by root.
QString unwritablePath(const QString &scratchDirectory, const QString &fileName);

// Makes an existing directory read-only for this process while it lives, root included: permission
// bits for an ordinary user, the immutable attribute (chattr +i) for root, whom permission bits do not
// stop. isReadOnly() says whether that worked: root without CAP_LINUX_IMMUTABLE, or a file system
// without the attribute, leaves the directory writable.
class ReadOnlyDirectory
{
public:
    explicit ReadOnlyDirectory(const QString &path);
    ~ReadOnlyDirectory();
    ReadOnlyDirectory(const ReadOnlyDirectory &) = delete;
    ReadOnlyDirectory &operator=(const ReadOnlyDirectory &) = delete;

    bool isReadOnly() const;

private:
    QString m_path;
    QFileDevice::Permissions m_permissions;
    bool m_immutable = false;
};

// Keeps the indent profiles and backup settings of the person running the tests out of this process
// and its children: HOME becomes a fresh "home" below scratchDirectory, and INDENT_PROFILE,
// SIMPLE_BACKUP_SUFFIX and VERSION_CONTROL are unset. False when the home cannot be made.
bool isolateFromIndentSettings(const QString &scratchDirectory);

// Whether a new file can be created in directory (tried, then removed).
bool canCreateFileIn(const QString &directory);

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
