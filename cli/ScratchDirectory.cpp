#include "ScratchDirectory.h"

#include "PrivateDirectory.h"

#include <QFile>

#include <linux/magic.h>
#include <sys/statfs.h>
#include <unistd.h>

const QByteArray ScratchPrefix = "zabo-format-";

QByteArray scratchBaseDirectory(const FormatSetup &setup, qint64 sourceBytes)
{
    if (!setup.scratchBase.isEmpty())
        return QFile::encodeName(setup.scratchBase);
    struct statfs fileSystem;
    if (::statfs("/dev/shm", &fileSystem) == 0 && fileSystem.f_type == TMPFS_MAGIC &&
        ::access("/dev/shm", W_OK | X_OK) == 0 &&
        qint64(fileSystem.f_bavail) * qint64(fileSystem.f_bsize) > 2 * sourceBytes + 16 * 1024 * 1024)
        return "/dev/shm";
    return temporaryDirectory();
}
