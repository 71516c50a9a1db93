#include "Main.h"
#include "AppLocations.h"
#include "Application.h"
#include "PrivateDirectory.h"
#include "Startup.h"

#include <QApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    setApplicationNames();
    QGuiApplication::setDesktopFileName(QStringLiteral(ZABO_APP_ID));
    StartupEnvironment environment;
    environment.programDirectory = ProgramDirectory();
    environment.userDirectories = standardUserDirectories();
    environment.tempDirectory = QFile::decodeName(privateTemporaryRoot());
    return runZabo(environment);
}
