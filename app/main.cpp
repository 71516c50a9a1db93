#include "Main.h"
#include "AppLocations.h"
#include "Application.h"
#include "Startup.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setApplicationNames();
    QGuiApplication::setDesktopFileName(QStringLiteral(ZABO_APP_ID));
    StartupEnvironment environment;
    environment.programDirectory = ProgramDirectory();
    environment.userDirectories = standardUserDirectories();
    environment.tempDirectory = QDir::tempPath();
    return runZabo(environment);
}
