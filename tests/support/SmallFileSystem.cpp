#include "SmallFileSystem.h"

#include <QFile>

#include <cerrno>
#include <csignal>
#include <cstring>

#include <fcntl.h>
#include <sched.h>
#include <sys/mount.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

bool ownMountNamespace()
{
    static const bool own = [] {
        // private propagation, so that nothing mounted here shows outside
        return ::unshare(CLONE_NEWNS) == 0 &&
               ::mount(nullptr, "/", nullptr, MS_REC | MS_PRIVATE, nullptr) == 0;
    }();
    return own;
}

const char *hangingStep = "";

void reportHang(int)
{
    const char prefix[] = "FAIL: a step that must not block hung: ";
    (void)!::write(STDERR_FILENO, prefix, sizeof prefix - 1);
    (void)!::write(STDERR_FILENO, hangingStep, std::strlen(hangingStep));
    (void)!::write(STDERR_FILENO, "\n", 1);
    ::_exit(3);
}

} // namespace

SmallFileSystem::SmallFileSystem(const QString &mountPoint, qint64 bytes)
    : m_mountPoint(mountPoint)
{
    ownMountNamespace();
    const QByteArray options = "size=" + QByteArray::number(bytes);
    m_mounted = ::mount("tmpfs", QFile::encodeName(mountPoint).constData(), "tmpfs", MS_NOSUID | MS_NODEV,
                        options.constData()) == 0;
}

SmallFileSystem::~SmallFileSystem()
{
    if (m_mounted)
        ::umount2(QFile::encodeName(m_mountPoint).constData(), MNT_DETACH);
}

bool SmallFileSystem::hasPrivateMounts()
{
    return ownMountNamespace();
}

qint64 SmallFileSystem::freeBytes() const
{
    struct statvfs fileSystem;
    if (::statvfs(QFile::encodeName(m_mountPoint).constData(), &fileSystem) != 0)
        return -1;
    return qint64(fileSystem.f_bavail) * qint64(fileSystem.f_frsize);
}

qint64 SmallFileSystem::fill(const QString &path)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0600);
    if (fd < 0)
        return 0;
    static const char zeros[4096] = {};
    qint64 written = 0;
    for (;;) {
        const ssize_t done = ::write(fd, zeros, sizeof zeros);
        if (done <= 0)
            break;
        written += done;
    }
    // the last partial block too
    for (;;) {
        const ssize_t done = ::write(fd, zeros, 1);
        if (done <= 0)
            break;
        written += done;
    }
    ::close(fd);
    return written;
}

HangGuard::HangGuard(const char *what, unsigned seconds)
{
    hangingStep = what;
    std::signal(SIGALRM, reportHang);
    ::alarm(seconds);
}

HangGuard::~HangGuard()
{
    ::alarm(0);
    std::signal(SIGALRM, SIG_DFL);
}
