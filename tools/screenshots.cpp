// Starts Zabo's windows in a scratch program directory, calls up the style name dialog, the donation
// window and the preview as the menu and the save button do, and saves a picture of each window.
// Usage: zabo_screenshots <scratch program directory> <output directory>
#include "Aboutme.h"
#include "Application.h"
#include "Inputname.h"
#include "Main.h"
#include "Preview.h"
#include "PrivateDirectory.h"
#include "RowExample.h"

#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QEventLoop>
#include <QFile>
#include <QLineEdit>
#include <QPainter>
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

// Asks for the first row's example as hovering it does and waits until it is shown.
bool showExample()
{
    auto *grid = MainForm->findChild<QTableView *>(QStringLiteral("StyleGrid"));
    const QRect cell = grid->visualRect(grid->model()->index(0, 1));
    MainForm->showRowExample(0, grid->viewport()->mapToGlobal(cell.bottomLeft()));
    auto *maker = MainForm->findChild<RowExampleMaker *>();
    if (!maker)
        return false;
    QEventLoop loop;
    QObject::connect(maker, &RowExampleMaker::ready, &loop, [&loop] { loop.exit(0); });
    QTimer::singleShot(30000, &loop, [&loop] { loop.exit(1); });
    return loop.exec() == 0;
}

// The window with the tooltip that stands beside it drawn over it, as the screen shows them.
bool saveWithTooltip(QWidget *window, const QDir &output, const QString &name)
{
    settle();
    QWidget *tip = nullptr;
    for (QWidget *widget : QApplication::topLevelWidgets()) {
        if (widget->inherits("QTipLabel") && widget->isVisible())
            tip = widget;
    }
    if (!tip) {
        QTextStream(stderr) << "no tooltip stands beside the window\n";
        return false;
    }
    const QRect frame = window->geometry();
    const QRect area = frame.united(tip->geometry());
    QPixmap picture(area.size());
    picture.fill(Qt::black);
    QPainter painter(&picture);
    painter.drawPixmap(frame.topLeft() - area.topLeft(), window->grab());
    painter.drawPixmap(tip->geometry().topLeft() - area.topLeft(), tip->grab());
    painter.end();
    const QString path = output.filePath(name);
    if (picture.save(path, "PNG"))
        return true;
    QTextStream(stderr) << "cannot write " << path << '\n';
    return false;
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

    // "-bad", unticked: its example under the recommended style, in the grid's tooltip
    saved = showExample() && saved;
    saved = saveWithTooltip(MainForm, output, QStringLiteral("example.png")) && saved;

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
