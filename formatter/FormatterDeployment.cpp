#include "FormatterDeployment.h"

#include "Descriptor.h"
#include "PrivateDirectory.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <memory>
#include <mutex>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char *const ImageResource = ":/formatter/indent";
const char *const FormatterFileName = "indent";

FormatterDeployment failure(const QString &error)
{
    FormatterDeployment result;
    result.error = error;
    return result;
}

// The deployed formatters stay for the life of the process, as their paths are handed out.
void keepForTheProcess(std::unique_ptr<PrivateDirectory> directory)
{
    static std::mutex guard;
    static std::vector<std::unique_ptr<PrivateDirectory>> kept;
    const std::lock_guard<std::mutex> lock(guard);
    kept.push_back(std::move(directory));
}

} // namespace

QByteArray FormatterImage()
{
    QFile image(QString::fromLatin1(ImageResource));
    if (!image.open(QIODevice::ReadOnly))
        return {};
    return image.readAll();
}

FormatterDeployment DeployFormatter(const QString &tempDirectory)
{
    const QByteArray image = FormatterImage();
    if (image.isEmpty())
        return failure(QStringLiteral("the embedded formatter image is missing"));
    if (!tempDirectory.startsWith(QLatin1Char('/')))
        return failure(QStringLiteral("no usable temporary directory (\"%1\")").arg(tempDirectory));

    auto directory =
        std::make_unique<PrivateDirectory>(QFile::encodeName(tempDirectory), ScratchPrefix::Formatter);
    if (!directory->isValid())
        return failure(directory->errorString());
    // a fresh private directory: nobody else can have put anything at the name
    Descriptor file(::openat(directory->fd(), FormatterFileName,
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0700));
    int error = file.get() < 0 ? errno : 0;
    if (error == 0 && !writeWhole(file.get(), image, &error))
        error = error ? error : EIO;
    // the umask may have taken bits away; the owner must be able to run it
    if (error == 0 && (::fchmod(file.get(), 0700) != 0 || ::close(file.release()) != 0))
        error = errno;
    if (error != 0)
        return failure(QStringLiteral("cannot write the formatter into %1: %2")
                           .arg(directory->path(), QString::fromLocal8Bit(std::strerror(error))));

    FormatterDeployment result;
    result.ok = true;
    result.formatterPath = directory->filePath(QString::fromLatin1(FormatterFileName));
    keepForTheProcess(std::move(directory));
    return result;
}
