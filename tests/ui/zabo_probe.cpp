// The program as app/main.cpp runs it, in directories a test names, with scripted answers; it opens the
// preview when asked and says "ready" once it is up (with the preview's scratch directory made), so
// that a test can signal it. With "prompts" it answers with Qt's own dialogs instead and says "shown"
// once one is open. Usage: zabo_probe PROGRAM_DIR CONFIG_DIR DOCUMENTS_DIR TEMP_DIR [preview|prompts]
#include "AppLocations.h"
#include "Application.h"
#include "Main.h"
#include "Preview.h"
#include "ScriptedPrompts.h"

#include <QApplication>
#include <QTimer>

#include <cstdio>

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc < 5)
        return 2;
    setApplicationNames();
    setPreviewWindowFactory(makePreviewForm);
    StartupEnvironment environment;
    environment.programDirectory = QString::fromLocal8Bit(argv[1]) + QLatin1Char('/');
    environment.userDirectories = {QString::fromLocal8Bit(argv[2]), QString::fromLocal8Bit(argv[3])};
    environment.tempDirectory = QString::fromLocal8Bit(argv[4]);
    ScriptedPrompts prompts;
    const bool preview = argc > 5 && qstrcmp(argv[5], "preview") == 0;
    const bool qtPrompts = argc > 5 && qstrcmp(argv[5], "prompts") == 0;
    if (!qtPrompts)
        environment.prompts = &prompts;

    QTimer ready;
    ready.setInterval(10);
    QObject::connect(&ready, &QTimer::timeout, [&] {
        if (qtPrompts && QApplication::activeModalWidget()) {
            ready.stop();
            std::printf("shown\n");
            std::fflush(stdout);
            return;
        }
        if (!MainForm || !MainForm->isVisible())
            return;
        if (preview && (!PreviewForm || !PreviewForm->isVisible()))
            MainForm->PreviewItemClick();
        if (preview && previewForm()->runner().scratchDirectory().isEmpty())
            return;
        ready.stop();
        std::printf("ready %s\n", preview ? qPrintable(previewForm()->runner().scratchDirectory()) : "");
        std::fflush(stdout);
    });
    ready.start();
    return runZabo(environment);
}
