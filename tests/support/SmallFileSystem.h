#pragma once

#include <QByteArray>
#include <QString>

// A tmpfs of a few hundred kilobytes mounted for one test, to run a file system full for real. The
// first one moves this test process into a mount namespace of its own (unshare -m), so that its mounts
// are seen only by it and the children it starts; where that is not allowed, the mount is made where
// the process is. Needs root (tests run as root here and in CI); isMounted() says whether it worked.
class SmallFileSystem
{
public:
    // Mounts over mountPoint, an existing directory.
    SmallFileSystem(const QString &mountPoint, qint64 bytes);
    ~SmallFileSystem();
    SmallFileSystem(const SmallFileSystem &) = delete;
    SmallFileSystem &operator=(const SmallFileSystem &) = delete;

    bool isMounted() const { return m_mounted; }
    QString path() const { return m_mountPoint; }
    qint64 freeBytes() const;

    // Writes a file of zeros at path until the file system is full; returns the bytes written.
    static qint64 fill(const QString &path);
    // Whether this process has a mount namespace of its own, so that a mount over a shared place
    // (/dev/shm) is seen by no other process on the machine.
    static bool hasPrivateMounts();

private:
    QString m_mountPoint;
    bool m_mounted = false;
};

// Ends this test process with a message when a step that must not block has not finished within
// seconds: a FIFO opened for reading hangs forever otherwise, and CI with it.
class HangGuard
{
public:
    HangGuard(const char *what, unsigned seconds = 30);
    ~HangGuard();
    HangGuard(const HangGuard &) = delete;
    HangGuard &operator=(const HangGuard &) = delete;
};
