#include "Descriptor.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

bool readWhole(int fd, QByteArray *bytes, int *error)
{
    bytes->clear();
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            *error = errno;
            return false;
        }
        if (got == 0)
            return true;
        bytes->append(buffer, got);
    }
}

bool writeWhole(int fd, const char *data, qsizetype size, int *error)
{
    qsizetype left = size;
    while (left > 0) {
        const ssize_t written = ::write(fd, data, size_t(left));
        if (written < 0 && errno == EINTR)
            continue;
        if (written <= 0) {
            *error = written < 0 ? errno : ENOSPC;
            return false;
        }
        data += written;
        left -= written;
    }
    return true;
}

bool readFileAt(int directoryFd, const QByteArray &path, QByteArray *bytes, int *error)
{
    Descriptor fd(::openat(directoryFd, path.constData(), O_RDONLY | O_CLOEXEC));
    if (fd.get() < 0) {
        *error = errno;
        return false;
    }
    return readWhole(fd.get(), bytes, error);
}
