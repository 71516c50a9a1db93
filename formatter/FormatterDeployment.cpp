#include "FormatterDeployment.h"

#include "Descriptor.h"

#include <QFile>
#include <QRandomGenerator>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const ImageResource = ":/formatter/indent";
const char *const FormatterFileName = "indent";

QString systemError(const QString &what, const QString &path, int error)
{
    return QStringLiteral("%1 %2: %3").arg(what, path, QString::fromLocal8Bit(std::strerror(error)));
}

FormatterDeployment failure(const QString &error)
{
    FormatterDeployment result;
    result.error = error;
    return result;
}

} // namespace

QByteArray FormatterImage()
{
    QFile image(QString::fromLatin1(ImageResource));
    if (!image.open(QIODevice::ReadOnly))
        return {};
    return image.readAll();
}

QString formatterDirectory(const QString &tempDirectory)
{
    QString base = tempDirectory;
    while (base.size() > 1 && base.endsWith(QLatin1Char('/')))
        base.chop(1);
    return base + QStringLiteral("/zabo-") + QString::number(::geteuid());
}

FormatterDeployment DeployFormatter(const QString &tempDirectory)
{
    const QByteArray image = FormatterImage();
    if (image.isEmpty())
        return failure(QStringLiteral("the embedded formatter image is missing"));

    const QString directory = formatterDirectory(tempDirectory);
    const QByteArray encodedDirectory = QFile::encodeName(directory);
    const uid_t user = ::geteuid();

    if (::mkdir(encodedDirectory.constData(), 0700) != 0 && errno != EEXIST)
        return failure(systemError(QStringLiteral("cannot create"), directory, errno));

    struct stat linkStatus;
    if (::lstat(encodedDirectory.constData(), &linkStatus) != 0)
        return failure(systemError(QStringLiteral("cannot examine"), directory, errno));
    if (S_ISLNK(linkStatus.st_mode))
        return failure(QStringLiteral("refusing %1: it is a symbolic link").arg(directory));
    if (!S_ISDIR(linkStatus.st_mode))
        return failure(QStringLiteral("refusing %1: it is not a directory").arg(directory));
    if (linkStatus.st_uid != user)
        return failure(
            QStringLiteral("refusing %1: it belongs to user %2").arg(directory).arg(linkStatus.st_uid));

    // From here on everything goes through this descriptor, so a directory swapped in meanwhile is
    // never used.
    Descriptor directoryFd(
        ::open(encodedDirectory.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (directoryFd.get() < 0)
        return failure(systemError(QStringLiteral("cannot open"), directory, errno));
    struct stat openedStatus;
    if (::fstat(directoryFd.get(), &openedStatus) != 0)
        return failure(systemError(QStringLiteral("cannot examine"), directory, errno));
    if (openedStatus.st_dev != linkStatus.st_dev || openedStatus.st_ino != linkStatus.st_ino ||
        !S_ISDIR(openedStatus.st_mode) || openedStatus.st_uid != user)
        return failure(QStringLiteral("refusing %1: it changed while being checked").arg(directory));
    if ((openedStatus.st_mode & 07777) != 0700 && ::fchmod(directoryFd.get(), 0700) != 0)
        return failure(systemError(QStringLiteral("cannot make private"), directory, errno));

    QByteArray temporaryName;
    int fileFd = -1;
    for (int attempt = 0; attempt < 100 && fileFd < 0; ++attempt) {
        temporaryName =
            QByteArrayLiteral(".indent-") + QByteArray::number(QRandomGenerator::global()->generate(), 16);
        fileFd = ::openat(directoryFd.get(), temporaryName.constData(),
                          O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700);
        if (fileFd < 0 && errno != EEXIST)
            break;
    }
    if (fileFd < 0)
        return failure(systemError(QStringLiteral("cannot create a file in"), directory, errno));
    Descriptor file(fileFd);

    const auto discardTemporary = [&] { ::unlinkat(directoryFd.get(), temporaryName.constData(), 0); };
    int error = 0;
    if (!writeWhole(file.get(), image, &error)) {
        discardTemporary();
        return failure(systemError(QStringLiteral("cannot write the formatter into"), directory, error));
    }
    // The umask may have taken bits away; the owner must be able to run it.
    if (::fchmod(file.get(), 0700) != 0 || ::fsync(file.get()) != 0) {
        error = errno;
        discardTemporary();
        return failure(systemError(QStringLiteral("cannot finish the formatter in"), directory, error));
    }
    if (::close(file.release()) != 0) {
        error = errno;
        discardTemporary();
        return failure(systemError(QStringLiteral("cannot finish the formatter in"), directory, error));
    }
    // rename replaces whatever sits at the name, a planted link included, and never follows it.
    if (::renameat(directoryFd.get(), temporaryName.constData(), directoryFd.get(), FormatterFileName) != 0) {
        error = errno;
        discardTemporary();
        return failure(systemError(QStringLiteral("cannot put the formatter in place in"), directory, error));
    }

    FormatterDeployment result;
    result.ok = true;
    result.formatterPath = directory + QLatin1Char('/') + QLatin1String(FormatterFileName);
    return result;
}
