#include "AppLocations.h"

#include "Startup.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileInfo>
#include <QStandardPaths>
#include <QTemporaryFile>

namespace {

QString withTrailingSeparator(const QString &directory)
{
    return directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/');
}

// Creating a file is the only answer that holds for root, read-only mounts and ACLs alike.
bool canCreateFileIn(const QString &directory)
{
    if (!QFileInfo(directory).isDir())
        return false;
    QTemporaryFile probe(withTrailingSeparator(directory) + QStringLiteral(".zabo-probe-XXXXXX"));
    return probe.open();
}

bool isOneOf(const QString &directory, const QStringList &candidates)
{
    const QString canonical = QFileInfo(directory).canonicalFilePath();
    if (canonical.isEmpty())
        return false;
    for (const QString &candidate : candidates) {
        if (QFileInfo(candidate).canonicalFilePath() == canonical)
            return true;
    }
    return false;
}

} // namespace

void setApplicationNames()
{
    QCoreApplication::setApplicationName(QStringLiteral("zabo"));
    QCoreApplication::setOrganizationName(QString());
    QCoreApplication::setOrganizationDomain(QString());
}

UserDirectories standardUserDirectories()
{
    return {QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)};
}

QStringList installDirectories()
{
#ifdef ZABO_INSTALL_DIRECTORIES
    return QString::fromUtf8(ZABO_INSTALL_DIRECTORIES).split(QLatin1Char(':'), Qt::SkipEmptyParts);
#else
    return {};
#endif
}

AppLocations locateAppFiles(const QString &programDirectory, const UserDirectories &user,
                            const QStringList &installedIn)
{
    AppLocations locations;
    const QString besideProgram = configPathIn(withTrailingSeparator(programDirectory));
    const QFileInfo config(besideProgram);
    if (!isOneOf(programDirectory, installedIn) &&
        ((config.exists() && !config.isDir()) || canCreateFileIn(programDirectory))) {
        locations.mode = AppLocations::Mode::Portable;
        locations.configPath = besideProgram;
        locations.outputDirectory = withTrailingSeparator(programDirectory);
        return locations;
    }
    locations.mode = AppLocations::Mode::Installed;
    // without a home there is nowhere to create the file; the store reports that as it always has
    if (!user.configDirectory.isEmpty())
        locations.configPath = configPathIn(withTrailingSeparator(user.configDirectory));
    if (!user.documentsDirectory.isEmpty())
        locations.outputDirectory = withTrailingSeparator(user.documentsDirectory) + QStringLiteral("Zabo/");
    else if (!user.configDirectory.isEmpty())
        locations.outputDirectory = withTrailingSeparator(user.configDirectory);
    return locations;
}

bool makeConfigDirectory(const AppLocations &locations)
{
    return prepareConfigDirectory(locations.configPath).ok;
}
