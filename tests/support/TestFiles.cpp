#include "TestFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>

#include <sys/stat.h>
#include <unistd.h>

QByteArray readAll(const QString &path)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly))
        return {};
    return file.readAll();
}

bool isolateFromIndentSettings(const QString &scratchDirectory)
{
    const QString home = scratchDirectory + QStringLiteral("/home");
    if (!QDir().mkpath(home))
        return false;
    qputenv("HOME", QFile::encodeName(home));
    qunsetenv("INDENT_PROFILE");
    qunsetenv("SIMPLE_BACKUP_SUFFIX");
    qunsetenv("VERSION_CONTROL");
    return true;
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

bool changeAttribute(const QString &path, const char *change)
{
    QProcess chattr;
    chattr.start(QStringLiteral("chattr"), {QString::fromLatin1(change), path});
    return chattr.waitForFinished() && chattr.exitStatus() == QProcess::NormalExit && chattr.exitCode() == 0;
}

} // namespace

ReadOnlyDirectory::ReadOnlyDirectory(const QString &path)
    : m_path(path)
    , m_permissions(QFile::permissions(path))
{
    if (geteuid() == 0)
        m_immutable = changeAttribute(m_path, "+i");
    else
        QFile::setPermissions(m_path, QFileDevice::ReadOwner | QFileDevice::ExeOwner |
                                          QFileDevice::ReadGroup | QFileDevice::ExeGroup |
                                          QFileDevice::ReadOther | QFileDevice::ExeOther);
}

ReadOnlyDirectory::~ReadOnlyDirectory()
{
    // the scratch directory around it can only be removed once the attribute is gone
    if (m_immutable)
        changeAttribute(m_path, "-i");
    QFile::setPermissions(m_path, m_permissions);
}

bool ReadOnlyDirectory::isReadOnly() const
{
    return !canCreateFileIn(m_path);
}

bool canCreateFileIn(const QString &directory)
{
    QTemporaryFile probe(directory + QStringLiteral("/probe-XXXXXX"));
    return probe.open();
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
