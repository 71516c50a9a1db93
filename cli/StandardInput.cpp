#include "StandardInput.h"

#include "FormatReporter.h"

#include <cerrno>

#include <unistd.h>

namespace {
constexpr qint64 StandardInputLimit = 64 * 1024 * 1024;
}

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
