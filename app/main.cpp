#include "Main.h"
#include "Application.h"
#include "Startup.h"

#include <QApplication>
#include <QDir>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    StartupEnvironment environment;
    environment.programDirectory = ProgramDirectory();
    environment.tempDirectory = QDir::tempPath();
    return runZabo(environment);
}
