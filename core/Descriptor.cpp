#include "Descriptor.h"

#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
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

RegularFileRead readRegularFile(const QByteArray &path, qint64 limit)
{
    const Descriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    if (fd.get() < 0) {
        RegularFileRead result;
        result.error = errno;
        return result;
    }
    return readRegularDescriptor(fd.get(), limit);
}

RegularFileRead readRegularDescriptor(int fd, qint64 limit)
{
    RegularFileRead result;
    struct stat status;
    if (::fstat(fd, &status) != 0) {
        result.error = errno;
        return result;
    }
    if (!S_ISREG(status.st_mode)) {
        result.status = RegularFileRead::Status::NotRegular;
        return result;
    }
    if (status.st_size > limit) {
        result.status = RegularFileRead::Status::TooLarge;
        return result;
    }
    // the size said may be wrong (a file still growing): read one byte past the limit to know
    result.bytes.reserve(qsizetype(status.st_size));
    char buffer[65536];
    for (;;) {
        const qint64 room = limit + 1 - result.bytes.size();
        const ssize_t got = ::read(fd, buffer, size_t(qMin<qint64>(room, qint64(sizeof buffer))));
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            result.error = errno;
            result.bytes.clear();
            return result;
        }
        if (got == 0)
            break;
        result.bytes.append(buffer, got);
        if (result.bytes.size() > limit) {
            result.bytes.clear();
            result.status = RegularFileRead::Status::TooLarge;
            return result;
        }
    }
    result.status = RegularFileRead::Status::Read;
    return result;
}
