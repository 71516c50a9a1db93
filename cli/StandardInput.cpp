#include "StandardInput.h"

#include "FormatReporter.h"

#include <QIODevice>

#include <cerrno>

#include <unistd.h>

namespace {
constexpr qint64 StandardInputLimit = 64 * 1024 * 1024;
}

namespace {

bool writeAll(QIODevice &out, const char *data, qint64 size)
{
    while (size > 0) {
        const qint64 done = out.write(data, size);
        if (done <= 0)
            return false;
        data += done;
        size -= done;
    }
    return true;
}

} // namespace

bool readStandardInput(int fd, const QByteArray &name, QByteArray *bytes,
                       const std::function<bool()> &stopped, Reporter &reporter)
{
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR) {
            if (stopped())
                return false;
            continue;
        }
        if (got < 0) {
            reporter.message(name + ": cannot read standard input: " + errnoText(errno));
            return false;
        }
        if (got == 0)
            return true;
        bytes->append(buffer, got);
        if (bytes->size() > StandardInputLimit) {
            reporter.message(name + ": more than " + QByteArray::number(StandardInputLimit >> 20) +
                             " MiB on standard input; format the file itself instead");
            return false;
        }
    }
}

bool giveBackStandardInput(int fd, const QByteArray &taken, QIODevice &out,
                           const std::function<bool()> &stopped)
{
    if (!writeAll(out, taken.constData(), taken.size()))
        return false;
    char buffer[65536];
    for (;;) {
        const ssize_t got = ::read(fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR && !stopped())
            continue;
        if (got <= 0)
            return got == 0;
        if (!writeAll(out, buffer, got))
            return false;
    }
}
