#include "Main.h"
#include "AppLocations.h"
#include "Application.h"
#include "CommandLine.h"
#include "PreviewModule.h"
#include "PrivateDirectory.h"
#include "Startup.h"

#include <QApplication>
#include <QFile>

int main(int argc, char *argv[])
{
    if (const std::optional<int> status = answerInformationRequest(argc, argv))
        return *status;
    // Qt settles its runtime directory while the application object is built
    ensurePrivateRuntimeDirectory();
    QApplication app(argc, argv);
    if (const std::optional<int> status = refuseUnknownArguments())
        return *status;
    setApplicationNames();
    QGuiApplication::setDesktopFileName(QStringLiteral(ZABO_APP_ID));
    if (!prepareApplication())
        qWarning("zabo: the icon or Qt's Chinese texts (qtbase_zh_CN.qm) were not found; Qt's own buttons "
                 "stay in English");
    setPreviewWindowFactory(
        previewModuleFactory(previewModuleCandidates(QCoreApplication::applicationDirPath())));
    StartupEnvironment environment;
    environment.programDirectory = ProgramDirectory();
    environment.userDirectories = standardUserDirectories();
    environment.tempDirectory = QFile::decodeName(privateTemporaryRoot());
    return runZabo(environment);
}
