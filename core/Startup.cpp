#include "Startup.h"

#include <QCoreApplication>
#include <QFileInfo>

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
