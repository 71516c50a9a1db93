#include "Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

ConfigDirectoryCheck failure(const QString &path, const QString &reason)
{
    ConfigDirectoryCheck check;
    check.failedPath = QDir::toNativeSeparators(path);
    check.reason = reason;
    return check;
}

// Makes each missing directory of path in turn, so that a failure names the one that failed.
ConfigDirectoryCheck makeDirectories(const QString &path)
{
    const QStringList parts = QDir::cleanPath(path).split(QLatin1Char('/'), Qt::SkipEmptyParts);
    QString current;
    for (const QString &part : parts) {
        current += QLatin1Char('/') + part;
        const QByteArray native = QFile::encodeName(current);
        struct stat status;
        if (::stat(native.constData(), &status) == 0) {
            if (!S_ISDIR(status.st_mode))
                return failure(current, QString::fromUtf8("这不是一个目录，无法在其中创建配置目录。"));
            continue;
        }
        if (errno != ENOENT || (::mkdir(native.constData(), 0700) != 0 && errno != EEXIST))
            return failure(current, QString::fromUtf8("无法创建此目录：%1").arg(systemError(errno)));
    }
    ConfigDirectoryCheck made;
    made.ok = true;
    return made;
}

} // namespace

ConfigDirectoryCheck prepareConfigDirectory(const QString &configPath)
{
    if (configPath.isEmpty())
        return failure(QString(), QString::fromUtf8("找不到用户的配置目录（未设置 HOME？）。"));
    const QString directory = QFileInfo(configPath).absolutePath();
    ConfigDirectoryCheck check = makeDirectories(directory);
    if (!check.ok)
        return check;

    const QByteArray native = QFile::encodeName(directory);
    struct stat link;
    struct stat target;
    if (::lstat(native.constData(), &link) != 0 || ::stat(native.constData(), &target) != 0)
        return failure(directory, QString::fromUtf8("无法读取此目录：%1").arg(systemError(errno)));
    check.configPath = configPath;
    if (S_ISLNK(link.st_mode)) {
        if (target.st_uid != ::geteuid())
            return failure(directory, QString::fromUtf8("这是指向其他用户目录的链接，Zabo 不会使用它。"));
        check.configPath =
            QFileInfo(directory).canonicalFilePath() + QLatin1Char('/') + QFileInfo(configPath).fileName();
    }
    // an existing file is read even where no new one can be made; the store says what it finds
    if (!QFileInfo::exists(check.configPath) &&
        ::faccessat(AT_FDCWD, native.constData(), W_OK | X_OK, AT_EACCESS) != 0)
        return failure(directory,
                       QString::fromUtf8("无法在此目录中创建配置文件：%1").arg(systemError(errno)));
    return check;
}

QString ProgramDirectory()
{
    return programDirectoryOf(QCoreApplication::applicationFilePath());
}

QString programDirectoryOf(const QString &executablePath)
{
    QString directory = QFileInfo(executablePath).absolutePath();
    if (!directory.endsWith(QLatin1Char('/')))
        directory += QLatin1Char('/');
    return directory;
}

QString configPathIn(const QString &programDirectory)
{
    return programDirectory + QStringLiteral("Zabocfg.dat");
}

quint32 programVersionValue()
{
#if defined(ZABO_VERSION_MAJOR) && defined(ZABO_VERSION_MINOR)
    return (quint32(ZABO_VERSION_MAJOR) << 16) | quint32(ZABO_VERSION_MINOR);
#else
    return 0xFFFFFFFFu;
#endif
}

QString versionSuffix(quint32 versionValue)
{
    return QStringLiteral(" V%1.%2").arg(versionValue >> 16).arg(versionValue & 0xFFFFu);
}
