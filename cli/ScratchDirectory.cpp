#include "ScratchDirectory.h"

#include <QDir>
#include <QFile>
#include <QList>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/statfs.h>
#include <unistd.h>

QByteArray scratchBaseDirectory(const FormatSetup &setup, qint64 sourceBytes)
{
    if (!setup.scratchBase.isEmpty())
        return QFile::encodeName(setup.scratchBase);
    struct statfs fileSystem;
    if (::statfs("/dev/shm", &fileSystem) == 0 && fileSystem.f_type == TMPFS_MAGIC &&
        ::access("/dev/shm", W_OK | X_OK) == 0 &&
        qint64(fileSystem.f_bavail) * qint64(fileSystem.f_bsize) > 2 * sourceBytes + 16 * 1024 * 1024)
        return "/dev/shm";
    return QFile::encodeName(QDir::tempPath());
}

bool ScratchDirectory::create(const QByteArray &base, int *error)
{
    QByteArray pattern = base + "/zabo-format-XXXXXX";
    if (!::mkdtemp(pattern.data())) {
        *error = errno;
        return false;
    }
    m_path = pattern;
    m_fd.reset(::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (m_fd.get() < 0) {
        *error = errno;
        ::rmdir(m_path.constData());
        m_path.clear();
        return false;
    }
    return true;
}

ScratchDirectory::~ScratchDirectory()
{
    if (m_path.isEmpty())
        return;
    if (DIR *dir = ::fdopendir(::dup(m_fd.get()))) {
        QList<QByteArray> names;
        while (const dirent *entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.append(entry->d_name);
        }
        ::closedir(dir);
        for (const QByteArray &name : names)
            ::unlinkat(m_fd.get(), name.constData(), 0);
    }
    m_fd.reset();
    ::rmdir(m_path.constData());
}
