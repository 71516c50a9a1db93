// Starts Zabo's windows in a scratch program directory, calls up the style name dialog and the donation
// window as the menu and the save button do, and saves a picture of each window.
// Usage: zabo_screenshots <scratch program directory> <output directory>
#include "Aboutme.h"
#include "Application.h"
#include "Inputname.h"
#include "Main.h"

#include <QApplication>
#include <QDir>
#include <QPushButton>
#include <QTableView>
#include <QTextStream>

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

} // namespace

int main(int argc, char *argv[])
{
    QApplication app(argc, argv);
    if (argc != 3) {
        QTextStream(stderr) << "usage: zabo_screenshots <scratch program directory> <output directory>\n";
        return 2;
    }
    StartupEnvironment environment;
    environment.programDirectory = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    environment.tempDirectory = QDir::tempPath();
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
    destroyWindows();
    return saved ? 0 : 1;
}
