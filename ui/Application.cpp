#include "Application.h"

#include "Aboutme.h"
#include "Inputname.h"
#include "Main.h"
#include "Preview.h"
#include "PreviewSettings.h"
#include "QtPrompts.h"
#include "TerminationSignals.h"

#include <QApplication>

#include <exception>

bool createWindows(const StartupEnvironment &environment)
{
    MainForm = new TMainForm;
    if (!MainForm->FormCreate(environment)) {
        destroyWindows();
        return false;
    }
    InputNameForm = new TInputNameForm(MainForm);
    AboutForm = new TAboutForm(MainForm);
    PreviewForm = new TPreviewForm(MainForm->formatterPath(), MainForm->prompts(), MainForm);
    PreviewForm->setSettingsPath(previewSettingsPath(MainForm->userConfigDirectory()));
    PreviewForm->shareShortcuts(MainForm->sharedMenuActions());
    PreviewForm->setParameterText(MainForm->parameterText());
    PreviewForm->setOptionNotes(MainForm->rowNoteLines());
    QObject::connect(MainForm, &TMainForm::parameterTextChanged, PreviewForm,
                     &TPreviewForm::setParameterText);
    QObject::connect(MainForm, &TMainForm::parameterTextChanged, PreviewForm,
                     [] { PreviewForm->setOptionNotes(MainForm->rowNoteLines()); });
    return true;
}

void destroyWindows()
{
    delete PreviewForm;
    PreviewForm = nullptr;
    delete AboutForm;
    AboutForm = nullptr;
    delete InputNameForm;
    InputNameForm = nullptr;
    delete MainForm;
    MainForm = nullptr;
}

int runZabo(const StartupEnvironment &environment)
{
    // SIGTERM, SIGINT and SIGHUP end the program as closing it does, so that the preview's scratch
    // directory is removed
    const TerminationSignals termination;
    QObject::connect(&termination, &TerminationSignals::received, qApp, [] { QCoreApplication::quit(); });
    if (!createWindows(environment))
        return 0;
    MainForm->show();
    int status = 0;
    try {
        status = QApplication::exec();
    } catch (const std::exception &error) {
        QtPrompts().ShowMessage(QString::fromLocal8Bit(error.what()));
    } catch (...) {
        QtPrompts().ShowMessage(QString());
    }
    destroyWindows();
    return status;
}
