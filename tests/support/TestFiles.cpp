#include "TestFiles.h"

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
