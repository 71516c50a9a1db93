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

// Whether a new file can be created in directory (tried, then removed).
bool canCreateFileIn(const QString &directory);
