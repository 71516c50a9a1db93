#include "TestFiles.h"

#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QTemporaryFile>

#include <unistd.h>

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
