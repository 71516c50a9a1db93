#include "OutputCheck.h"

#include "Descriptor.h"

#include <QFile>
#include <QProcess>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstring>
#include <optional>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

qint64 availableBytes(const struct statvfs &fileSystem)
{
    return qint64(fileSystem.f_bavail) * qint64(fileSystem.f_frsize);
}

} // namespace

RunDirectory::RunDirectory(int directoryDescriptor)
    : m_directory(directoryDescriptor >= 0 ? directoryDescriptor : AT_FDCWD)
{}

bool RunDirectory::isOneDirectory() const
{
    return m_directory != AT_FDCWD;
}

bool RunDirectory::read(const QString &name, QByteArray *bytes, QString *why, int *error) const
{
    *error = 0;
    Descriptor fd(::openat(m_directory, QFile::encodeName(name).constData(),
                           O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status;
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0) {
        *error = errno;
        *why = systemError(*error);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *error = EINVAL;
        *why = QStringLiteral("not a regular file");
        return false;
    }
    if (!readWhole(fd.get(), bytes, error)) {
        *why = systemError(*error);
        return false;
    }
    return true;
}

bool RunDirectory::write(const QString &name, const QByteArray &bytes, QString *why, int *error) const
{
    *error = 0;
    Descriptor fd(::openat(m_directory, QFile::encodeName(name).constData(),
                           O_WRONLY | O_NOFOLLOW | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
    struct stat status;
    if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0) {
        *error = errno;
        *why = systemError(*error);
        return false;
    }
    if (!S_ISREG(status.st_mode)) {
        *error = EINVAL;
        *why = QStringLiteral("not a regular file");
        return false;
    }
    if (::ftruncate(fd.get(), 0) != 0 || !writeWhole(fd.get(), bytes, error) ||
        ::fstat(fd.get(), &status) != 0) {
        *error = *error ? *error : errno;
        *why = systemError(*error);
        return false;
    }
    if (status.st_size != bytes.size()) {
        *error = EIO;
        *why = QStringLiteral("%1 bytes written, %2 on disk").arg(bytes.size()).arg(status.st_size);
        return false;
    }
    if (::close(fd.release()) != 0) {
        *error = errno;
        *why = systemError(*error);
        return false;
    }
    return true;
}

qint64 RunDirectory::size(const QString &name) const
{
    struct stat status;
    if (::fstatat(m_directory, QFile::encodeName(name).constData(), &status, AT_SYMLINK_NOFOLLOW) != 0)
        return -1;
    return status.st_size;
}

qint64 RunDirectory::freeBytes(const QString &name) const
{
    struct statvfs fileSystem;
    if (m_directory != AT_FDCWD)
        return ::fstatvfs(m_directory, &fileSystem) == 0 ? availableBytes(fileSystem) : -1;
    return ::statvfs(QFile::encodeName(name).constData(), &fileSystem) == 0 ? availableBytes(fileSystem) : -1;
}

QByteArray RunFile::input() const
{
    return lineEnds == LineEnds::CrLf ? withLineFeeds(original) : original;
}

bool PipeFormatter::format(const QByteArray &input, QByteArray *text, QString *why) const
{
    QProcess process;
    process.setProgram(formatterPath);
    process.setArguments(options);
    process.setProcessEnvironment(environment);
    if (directoryDescriptor >= 0) {
        const int directory = directoryDescriptor;
        // runs in the child between fork and exec: only async-signal-safe calls
        process.setChildProcessModifier([directory] {
            if (::fchdir(directory) != 0)
                ::_exit(127);
        });
    }
    process.start();
    if (!process.waitForStarted(-1)) {
        *why = process.errorString();
        return false;
    }
    process.write(input);
    process.closeWriteChannel();
    if (!process.waitForFinished(
            timeLimitMilliseconds > 0 ? int(std::min<qint64>(timeLimitMilliseconds, INT_MAX)) : -1)) {
        process.kill();
        process.waitForFinished(-1);
        *why = QStringLiteral("indent ran longer than %1 s when formatting it again")
                   .arg(timeLimitMilliseconds / 1000.0);
        return false;
    }
    if (process.exitStatus() != QProcess::NormalExit) {
        *why = QStringLiteral("indent crashed when formatting it again");
        return false;
    }
    if (process.exitCode() != 0 && process.exitCode() != 2) {
        *why = QStringLiteral("indent failed with status %1 when formatting it again: %2")
                   .arg(process.exitCode())
                   .arg(QString::fromLocal8Bit(process.readAllStandardError()).trimmed());
        return false;
    }
    *text = process.readAllStandardOutput();
    return true;
}

QVector<RunFile> prepareBatch(const RunDirectory &directory, const QStringList &names,
                              OutputCheckReport &report)
{
    QVector<RunFile> files;
    files.reserve(names.size());
    for (const QString &name : names) {
        RunFile file;
        file.name = name;
        QString why;
        int error = 0;
        if (!directory.read(name, &file.original, &why, &error)) {
            report.failures.append({name, QStringLiteral("cannot be read: %1").arg(why), error, false});
            continue;
        }
        file.lineEnds = lineEndsOf(file.original);
        if (file.lineEnds == LineEnds::Mixed)
            report.mixedLineEnds.append(name);
        if (file.lineEnds == LineEnds::CrLf && !directory.write(name, file.input(), &why, &error)) {
            directory.write(name, file.original, &why, &error);
            report.failures.append({name, QStringLiteral("cannot be written: %1").arg(why), error, true});
            continue;
        }
        files.append(std::move(file));
    }
    return files;
}

namespace {

// Whether indent's text for file may have been cut short by a full file system.
bool isSuspect(const RunFile &file, qint64 size, bool lowRoom, qint64 cutGranularity)
{
    if (lowRoom || size < 0)
        return true;
    // a cut write stops at a block boundary; an empty result of a non-empty text is one too
    return !file.original.isEmpty() && size % cutGranularity == 0;
}

} // namespace

QStringList checkBatch(const RunDirectory &directory, const QVector<RunFile> &files,
                       const PipeFormatter &formatter, qint64 lowSpaceBytes, qint64 cutGranularity,
                       OutputCheckReport &report)
{
    QStringList failed;
    const auto fail = [&](const RunFile &file, const QString &why, int error) {
        report.failures.append({file.name, why, error, true});
        failed.append(file.name);
    };
    std::optional<qint64> sharedFree;
    for (const RunFile &file : files) {
        // per file where files named by full path may lie on different file systems
        if (!sharedFree || !directory.isOneDirectory())
            sharedFree = directory.freeBytes(file.name);
        const qint64 free = *sharedFree;
        const bool lowRoom = free >= 0 && free < lowSpaceBytes;
        const bool suspect = isSuspect(file, directory.size(file.name), lowRoom, cutGranularity);
        if (!suspect && file.lineEnds != LineEnds::CrLf)
            continue;
        QByteArray written;
        QString why;
        int error = 0;
        const bool readBack = directory.read(file.name, &written, &why, &error);
        QByteArray text = written;
        if (suspect) {
            report.checkedFiles.append(file.name);
            if (!formatter.format(file.input(), &text, &why)) {
                fail(file, why, 0);
                continue;
            }
        } else if (!readBack) {
            fail(file, QStringLiteral("cannot be read back: %1").arg(why), error);
            continue;
        }
        const QByteArray whole = file.lineEnds == LineEnds::CrLf ? withCrLf(text) : text;
        if (!(readBack && written == whole) && !directory.write(file.name, whole, &why, &error)) {
            fail(file, QStringLiteral("indent's text could not be written whole: %1").arg(why), error);
            continue;
        }
        if (suspect && written != text)
            report.repairedFiles.append(file.name);
        if (file.lineEnds == LineEnds::CrLf)
            report.crLfFiles.append(file.name);
    }
    return failed;
}

void restoreTwins(const RunDirectory &directory, const QVector<RunFile> &files)
{
    for (const RunFile &file : files) {
        QString why;
        int error = 0;
        if (file.lineEnds == LineEnds::CrLf)
            directory.write(file.name, file.original, &why, &error);
    }
}
