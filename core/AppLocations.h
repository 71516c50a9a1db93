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
// The name a person knows the program by, as the desktop menu and the main window's caption show it;
// the title of every dialog.
QString programDisplayName();
UserDirectories standardUserDirectories();

// The trees programs are installed into: ~/.local, /usr, /opt and the prefix this build was configured
// for. A program there is installed even when it can write beside itself: root can write into /usr,
// and `cmake --install --prefix ~/.local` leaves a bin directory its user can write; neither start may
// litter the program's directory or leave a Zabocfg.dat that later users or runs would share.
QStringList installTrees();

// Installed when programDirectory lies in one of installTrees; otherwise portable when it already holds
// a Zabocfg.dat or a file can be created in it, installed when not. Installed means
// <configDirectory>/Zabocfg.dat and <documentsDirectory>/Zabo/.
AppLocations locateAppFiles(const QString &programDirectory, const UserDirectories &user,
                            const QStringList &trees = installTrees());

// Creates the directory the configuration file lives in, as an installed first start needs (see
// prepareConfigDirectory, which also says why not). False when that is impossible.
bool makeConfigDirectory(const AppLocations &locations);
