#include "StyleFileLock.h"

#include <QDeadlineTimer>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

bool directoryTakesNewFiles(const QString &path)
{
    const QByteArray directory = QFile::encodeName(QFileInfo(path).absolutePath());
    // the effective user decides, as it does for creating the lock file
    return ::faccessat(AT_FDCWD, directory.constData(), W_OK | X_OK, AT_EACCESS) == 0;
}

} // namespace

StyleFileLock::StyleFileLock(const QString &configPath)
    : m_configPath(configPath)
    , m_lockFilePath(configPath + QStringLiteral(".lock"))
    , m_lockFile(m_lockFilePath)
{
    m_lockFile.setStaleLockTime(StaleAfterMilliseconds);
}

StyleFileLock::~StyleFileLock()
{
    unlock();
}

void StyleFileLock::unlock()
{
    if (m_lockFile.isLocked())
        m_lockFile.unlock();
    m_lockedFile.reset();
}

StyleFileLock::Result StyleFileLock::lock(int waitMilliseconds)
{
    if (m_lockFile.tryLock(waitMilliseconds))
        return Result::Locked;
    const int error = errno; // from the attempt to create the lock file
    switch (m_lockFile.error()) {
    case QLockFile::LockFailedError:
        return Result::Busy;
    case QLockFile::PermissionError:
    case QLockFile::UnknownError:
        if (!directoryTakesNewFiles(m_configPath))
            return lockFileItself(waitMilliseconds);
        break;
    case QLockFile::NoError:
        break;
    }
    m_errorText = QString::fromLocal8Bit(std::strerror(error));
    return Result::Failed;
}

StyleFileLock::Result StyleFileLock::lockFileItself(int waitMilliseconds)
{
    // without blocking: a FIFO in the file's place must not stall us here
    m_lockedFile.reset(
        ::open(QFile::encodeName(m_configPath).constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (m_lockedFile.get() < 0 || ::fstat(m_lockedFile.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        // nothing here that another instance could be rewriting; reading it will say what it is
        m_lockedFile.reset();
        return Result::Locked;
    }
    const QDeadlineTimer deadline(waitMilliseconds);
    while (::flock(m_lockedFile.get(), LOCK_EX | LOCK_NB) != 0) {
        if (errno != EWOULDBLOCK && errno != EINTR) {
            m_errorText = QString::fromLocal8Bit(std::strerror(errno));
            return Result::Failed;
        }
        if (deadline.hasExpired())
            return Result::Busy;
        QThread::msleep(20);
    }
    return Result::Locked;
}
