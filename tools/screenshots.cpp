// Starts Zabo's windows in a scratch program directory, calls up the style name dialog, the donation
// window and the preview as the menu and the save button do, and saves a picture of each window.
// Usage: zabo_screenshots <scratch program directory> <output directory>
#include "Aboutme.h"
#include "Application.h"
#include "Inputname.h"
#include "Main.h"
#include "Preview.h"
#include "PrivateDirectory.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPushButton>
#include <QTabWidget>
#include <QTableView>
#include <QTextStream>
#include <QTimer>

namespace {

void settle()
{
    for (int round = 0; round < 10; ++round)
        QCoreApplication::processEvents();
}

bool save(QWidget *window, const QDir &output, const QString &name)
{
    settle();
    const QString path = output.filePath(name);
    if (window->grab().save(path, "PNG"))
        return true;
    QTextStream(stderr) << "cannot write " << path << '\n';
    return false;
}

// Runs the event loop until the preview shows the result of the latest selection with its diffs.
bool waitForPreview()
{
    QEventLoop loop;
    QObject::connect(&PreviewForm->runner(), &PreviewRunner::diffsReady, &loop, [&loop] { loop.exit(0); });
    QTimer::singleShot(30000, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 0;
}

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    prepareApplication();
    if (argc != 3) {
        QTextStream(stderr) << "usage: zabo_screenshots <scratch program directory> <output directory>\n";
        return 2;
    }
    StartupEnvironment environment;
    environment.programDirectory = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    environment.tempDirectory = QFile::decodeName(privateTemporaryRoot());
    const QDir output(QString::fromLocal8Bit(argv[2]));
    if (!createWindows(environment))
        return 1;

    MainForm->show();
    bool saved = save(MainForm, output, QStringLiteral("main.png"));
    MainForm->findChild<QPushButton *>(QStringLiteral("SaveCfgButton"))->click();
    saved = save(InputNameForm, output, QStringLiteral("inputname.png")) && saved;
    InputNameForm->hide();
    MainForm->AboutItemClick();
    saved = save(AboutForm, output, QStringLiteral("about.png")) && saved;
    AboutForm->hide();

    // the search field and a topic in the menu bar's corner
    auto *search = MainForm->findChild<QLineEdit *>(QStringLiteral("SearchEdit"));
    search->setText(QStringLiteral("-bap"));
    saved = save(MainForm, output, QStringLiteral("search.png")) && saved;
    search->clear();
    MainForm->findChild<QComboBox *>(QStringLiteral("TopicBox"))->setCurrentIndex(1);
    saved = save(MainForm, output, QStringLiteral("topic.png")) && saved;
    MainForm->findChild<QComboBox *>(QStringLiteral("TopicBox"))->setCurrentIndex(0);

    // the recommended style with "-psl" (row 77) ticked: function names move to lines of their own
    ensurePreviewForm()->resize(1100, 720);
    MainForm->PreviewItemClick();
    saved = waitForPreview() && saved;
    MainForm->StyleGridSelectCell(0, 77);
    saved = waitForPreview() && saved;
    PreviewForm->findChild<QTabWidget *>(QStringLiteral("ViewTabs"))->setCurrentIndex(1);
    saved = save(PreviewForm, output, QStringLiteral("preview.png")) && saved;
    PreviewForm->findChild<QTabWidget *>(QStringLiteral("ViewTabs"))->setCurrentIndex(2);
    saved = save(PreviewForm, output, QStringLiteral("preview-changes.png")) && saved;
    destroyWindows();
    return saved ? 0 : 1;
}
