#include "Application.h"

#include "Aboutme.h"
#include "Inputname.h"
#include "Main.h"
#include "PreviewSettings.h"
#include "QtPrompts.h"
#include "TerminationSignals.h"
#include "WindowIcon.h"
#include "WindowStyle.h"

#include <QApplication>
#include <QDir>
#include <QFile>
#include <QIcon>
#include <QLibraryInfo>
#include <QTranslator>

#include <exception>

PreviewWindow *PreviewForm = nullptr;

namespace {

PreviewWindowFactory &previewWindowFactory()
{
    static PreviewWindowFactory factory;
    return factory;
}

} // namespace

void setPreviewWindowFactory(PreviewWindowFactory factory)
{
    previewWindowFactory() = std::move(factory);
}

bool prepareApplication()
{
    useWindowLook();
    // drawn from the menu's SVG at build time, one directory per size
    QMap<int, QString> iconFiles;
    const QDir icons(QStringLiteral(":/icons"));
    for (const QString &size : icons.entryList(QDir::Dirs)) {
        const QString file = icons.filePath(size + QStringLiteral("/" ZABO_APP_ID ".png"));
        if (QFile::exists(file))
            iconFiles.insert(size.toInt(), file);
    }
    const QIcon icon = iconDecodedOnDemand(iconFiles);
    QApplication::setWindowIcon(icon);
    if (icon.isNull())
        return false;
    // the interface is Chinese whatever the locale says, so Qt's buttons and file dialog are too
    auto *translator = new QTranslator(qApp);
    if (!translator->load(QStringLiteral("qtbase_zh_CN"),
                          QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
        delete translator;
        return false;
    }
    return QCoreApplication::installTranslator(translator);
}

bool createWindows(const StartupEnvironment &environment)
{
    MainForm = new TMainForm;
    if (!MainForm->FormCreate(environment)) {
        destroyWindows();
        return false;
    }
    // a learnt style shows what it still changes in the code it was learnt from
    QObject::connect(MainForm, &TMainForm::inferredStyleApplied, MainForm, [](const QByteArray &firstSource) {
        PreviewWindow *preview = ensurePreviewForm();
        if (!preview || !preview->openSource(firstSource))
            return;
        preview->showComparison();
        MainForm->PreviewItemClick();
    });
    return true;
}

PreviewWindow *ensurePreviewForm()
{
    if (PreviewForm || !MainForm)
        return PreviewForm;
    QString whyNot = QString::fromUtf8("无法打开预览：这个程序没有预览窗口。");
    const PreviewWindowFactory &factory = previewWindowFactory();
    PreviewForm =
        factory ? factory(MainForm->formatterPath(), MainForm->prompts(), MainForm, whyNot) : nullptr;
    if (!PreviewForm) {
        MainForm->prompts().ShowMessage(whyNot);
        return nullptr;
    }
    PreviewForm->setSettingsPath(previewSettingsPath(MainForm->userConfigDirectory()));
    PreviewForm->shareShortcuts(MainForm->sharedMenuActions());
    PreviewForm->setParameterText(MainForm->parameterText());
    PreviewForm->setOptionNotes(MainForm->rowNoteLines());
    QObject::connect(MainForm, &TMainForm::parameterTextChanged, PreviewForm,
                     [](const QString &text) { PreviewForm->setParameterText(text); });
    QObject::connect(MainForm, &TMainForm::parameterTextChanged, PreviewForm,
                     [] { PreviewForm->setOptionNotes(MainForm->rowNoteLines()); });
    return PreviewForm;
}

TInputNameForm *ensureInputNameForm()
{
    if (!InputNameForm && MainForm)
        InputNameForm = new TInputNameForm(MainForm);
    return InputNameForm;
}

TAboutForm *ensureAboutForm()
{
    if (!AboutForm && MainForm)
        AboutForm = new TAboutForm(MainForm);
    return AboutForm;
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
    bool terminated = false;
    QObject::connect(&termination, &TerminationSignals::received, qApp, [&terminated] {
        terminated = true;
        // before the main loop runs (a start-up message is shown) quit() does nothing: close the message
        if (QWidget *modal = QApplication::activeModalWidget())
            modal->close();
        QCoreApplication::quit();
    });
    if (!createWindows(environment))
        return FailedStartStatus;
    if (terminated) {
        destroyWindows();
        return 0;
    }
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
