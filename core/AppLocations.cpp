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

// Both sides resolved, so that /bin on a merged-/usr system and a home reached through a link count.
QString resolvedPath(const QString &path)
{
    const QString canonical = QFileInfo(path).canonicalFilePath();
    return canonical.isEmpty() ? QDir::cleanPath(QDir(path).absolutePath()) : canonical;
}

bool liesInOneOf(const QString &directory, const QStringList &trees)
{
    const QString resolved = resolvedPath(directory);
    for (const QString &tree : trees) {
        if (tree.isEmpty())
            continue;
        const QString root = resolvedPath(tree);
        if (root == QLatin1String("/"))
            continue; // a prefix of / would make every copy an installed one
        if (resolved == root || resolved.startsWith(withTrailingSeparator(root)))
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

QString programDisplayName()
{
    return QString::fromUtf8("Zabo 代码风格格式化工具");
}

UserDirectories standardUserDirectories()
{
    return {QStandardPaths::writableLocation(QStandardPaths::AppConfigLocation),
            QStandardPaths::writableLocation(QStandardPaths::DocumentsLocation)};
}

QStringList installTrees()
{
    QStringList trees{QDir::homePath() + QStringLiteral("/.local"), QStringLiteral("/usr"),
                      QStringLiteral("/opt")};
#ifdef ZABO_INSTALL_PREFIX
    trees.append(QString::fromUtf8(ZABO_INSTALL_PREFIX));
#endif
    return trees;
}

AppLocations locateAppFiles(const QString &programDirectory, const UserDirectories &user,
                            const QStringList &trees)
{
    AppLocations locations;
    const QString besideProgram = configPathIn(withTrailingSeparator(programDirectory));
    const QFileInfo config(besideProgram);
    if (!liesInOneOf(programDirectory, trees) &&
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
