#pragma once

#include <QByteArray>

#include <unistd.h>

// An owned file descriptor, closed on every way out.
class Descriptor
{
public:
    explicit Descriptor(int fd = -1)
        : m_fd(fd)
    {}
    ~Descriptor() { reset(); }
    Descriptor(const Descriptor &) = delete;
    Descriptor &operator=(const Descriptor &) = delete;
    Descriptor(Descriptor &&other) noexcept
        : m_fd(other.release())
    {}
    Descriptor &operator=(Descriptor &&other) noexcept
    {
        reset(other.release());
        return *this;
    }
    int get() const { return m_fd; }
    int release()
    {
        const int fd = m_fd;
        m_fd = -1;
        return fd;
    }
    void reset(int fd = -1)
    {
        if (m_fd >= 0)
            ::close(m_fd);
        m_fd = fd;
    }

private:
    int m_fd;
};

// Reads everything left in fd; false with errno in error on a failure.
bool readWhole(int fd, QByteArray *bytes, int *error);
// Writes all of bytes; a write that makes no progress counts as a full file system (ENOSPC).
bool writeWhole(int fd, const char *data, qsizetype size, int *error);
inline bool writeWhole(int fd, const QByteArray &bytes, int *error)
{
    return writeWhole(fd, bytes.constData(), bytes.size(), error);
}
// Reads the whole file at path below directoryFd.
bool readFileAt(int directoryFd, const QByteArray &path, QByteArray *bytes, int *error);

// What reading a file that a person, a profile or a repository named gave.
struct RegularFileRead
{
    enum class Status { Read, NotRegular, TooLarge, Failed };
    Status status = Status::Failed;
    QByteArray bytes; // the whole file when Read
    int error = 0;    // errno when Failed
};

// Reads the file at path (links followed) only when it is a regular file of at most limit bytes. It is
// opened without blocking, so a FIFO or a device named in its place is refused at once instead of
// hanging, and never more than limit + 1 bytes are read, whatever its reported size.
RegularFileRead readRegularFile(const QByteArray &path, qint64 limit);
// The same for a file already opened (without blocking) by its caller, such as one found through a
// directory descriptor.
RegularFileRead readRegularDescriptor(int fd, qint64 limit);
