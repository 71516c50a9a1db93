#pragma once

#include <QString>
#include <QStringList>

// The per-user places an installed program keeps its files in.
struct UserDirectories
{
    QString configDirectory;    // QStandardPaths::AppConfigLocation, e.g. ~/.config/zabo
    QString documentsDirectory; // QStandardPaths::DocumentsLocation
};

// Where the configuration file and the jobs' files go. A portable copy (the build tree, a folder on a
// USB stick) keeps everything beside its executable; an installed one, whose directory it cannot
// write, keeps them in the user's own directories.
struct AppLocations
{
    enum class Mode { Portable, Installed };
    Mode mode = Mode::Portable;
    QString configPath;      // the Zabocfg.dat to load or create
    QString outputDirectory; // ends with '/': the job script and the FormatFile… directories go here
};

// The application's names, which make AppConfigLocation ~/.config/zabo. Called by each entry before
// anything asks QStandardPaths.
void setApplicationNames();
UserDirectories standardUserDirectories();

// The directories `cmake --install` and the .deb put the executables in. Root can write there, and a
// start as root must neither litter them nor leave a Zabocfg.dat that every later user would share.
QStringList installDirectories();

// Installed when programDirectory is one of installDirectories; otherwise portable when it already
// holds a Zabocfg.dat or a file can be created in it, installed when not. Installed means
// <configDirectory>/Zabocfg.dat and <documentsDirectory>/Zabo/.
AppLocations locateAppFiles(const QString &programDirectory, const UserDirectories &user,
                            const QStringList &installedIn = installDirectories());

// Creates the directory the configuration file lives in, as an installed first start needs (see
// prepareConfigDirectory, which also says why not). False when that is impossible.
bool makeConfigDirectory(const AppLocations &locations);
