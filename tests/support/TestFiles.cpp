#include "TestFiles.h"

#include <QFileInfo>

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool writeAll(const QString &path, const QByteArray &bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly | QIODevice::Truncate) && file.write(bytes) == bytes.size();
}

QString unwritablePath(const QString &scratchDirectory, const QString &fileName)
{
    const QString blocker = scratchDirectory + QStringLiteral("/not-a-directory");
    writeAll(blocker, "plain file");
    return blocker + QLatin1Char('/') + fileName;
}

namespace {
constexpr uid_t NobodyId = 65534;
}

UnprivilegedScope::UnprivilegedScope()
{
    if (::geteuid() != 0)
        return;
    m_active = ::setegid(NobodyId) == 0 && ::seteuid(NobodyId) == 0;
}

UnprivilegedScope::~UnprivilegedScope()
{
    if (m_active) {
        if (::seteuid(0) != 0 || ::setegid(0) != 0)
            qFatal("could not return to the root user");
    }
}

bool makeReachable(const QString &path)
{
    QString current = QFileInfo(path).absoluteFilePath();
    bool ok = ::chmod(QFile::encodeName(current).constData(), 0755) == 0;
    for (current = QFileInfo(current).path(); current != QLatin1String("/");
         current = QFileInfo(current).path()) {
        struct stat status;
        const QByteArray name = QFile::encodeName(current);
        ok = ::stat(name.constData(), &status) == 0 && ok;
        if ((status.st_mode & S_IXOTH) == 0)
            ok = ::chmod(name.constData(), (status.st_mode & 07777) | S_IXOTH) == 0 && ok;
    }
    return ok;
}
