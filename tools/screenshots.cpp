// Starts Zabo's windows in a scratch program directory, calls up the style name dialog, the donation
// window and the preview as the menu and the save button do, and saves a picture of each window; with
// "screen", pictures of the whole screen instead: the main window alone, then with the preview, where
// the program placed them. indent's time in the preview's status line is shown as a fixed figure, so that the
// same build always draws the same pictures. Usage: zabo_screenshots <scratch program directory> <output
// directory> [screen]
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
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPushButton>
#include <QRegularExpression>
#include <QScreen>
#include <QTabWidget>
#include <QTableView>
#include <QTextStream>
#include <QTimer>

namespace {

// The screen in its own pixels; a logical size times the scale may overshoot by one (911 × 1.5).
QSize screenPixels(const QScreen *screen)
{
    const qreal scale = screen->devicePixelRatio();
    return {int(screen->geometry().width() * scale), int(screen->geometry().height() * scale)};
}

void settle()
{
    for (int round = 0; round < 10; ++round)
        QCoreApplication::processEvents();
}

// indent's time differs from run to run: the pictures show a fixed one
void fixTiming()
{
    auto *status = PreviewForm->findChild<QLabel *>(QStringLiteral("StatusLabel"));
    static const QRegularExpression time(QString::fromUtf8("用时 [\\d.]+ 毫秒"));
    status->setText(status->text().replace(time, QString::fromUtf8("用时 12 毫秒")));
}

bool saveImage(const QImage &image, const QDir &output, const QString &name)
{
    const QString path = output.filePath(name);
    if (image.save(path, "PNG"))
        return true;
    QTextStream(stderr) << "cannot write " << path << '\n';
    return false;
}

bool save(QWidget *window, const QDir &output, const QString &name)
{
    settle();
    if (window == PreviewForm)
        fixTiming();
    return saveImage(window->grab().toImage(), output, name);
}

// The screen as a person sees it: the windows where the program put them, on a plain desktop.
QImage screenPicture(const QList<QWidget *> &windows)
{
    settle();
    if (PreviewForm)
        fixTiming();
    const QScreen *screen = MainForm->screen();
    const qreal scale = screen->devicePixelRatio();
    QImage picture(screenPixels(screen), QImage::Format_RGB32);
    picture.setDevicePixelRatio(
        scale); // the windows draw in the program's pixels, the picture has the screen's
    picture.fill(QColor(0x3b, 0x4a, 0x52));
    QPainter painter(&picture);
    for (QWidget *window : windows)
        painter.drawPixmap(window->geometry().topLeft() - screen->geometry().topLeft(), window->grab());
    return picture;
}

QString screenName(const QString &suffix)
{
    const QScreen *screen = MainForm->screen();
    const QSize pixels = screenPixels(screen);
    return QStringLiteral("screen-%1x%2-%3%4.png")
        .arg(pixels.width())
        .arg(pixels.height())
        .arg(qRound(screen->devicePixelRatio() * 100))
        .arg(suffix);
}

// Runs the event loop until the preview shows the result of the latest selection with its diffs.
bool waitForPreview()
{
    QEventLoop loop;
    QObject::connect(&previewForm()->runner(), &PreviewRunner::diffsReady, &loop, [&loop] { loop.exit(0); });
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
    const bool wholeScreen = argc == 4 && QByteArray(argv[3]) == "screen";
    if (argc != 3 && !wholeScreen) {
        QTextStream(stderr)
            << "usage: zabo_screenshots <scratch program directory> <output directory> [screen]\n";
        return 2;
    }
    setPreviewWindowFactory(makePreviewForm);
    StartupEnvironment environment;
    environment.programDirectory = QDir(QString::fromLocal8Bit(argv[1])).absolutePath() + QLatin1Char('/');
    environment.tempDirectory = QFile::decodeName(privateTemporaryRoot());
    const QDir output(QString::fromLocal8Bit(argv[2]));
    // a missing program directory would stop the start at a message box nobody answers
    for (const QString &directory : {environment.programDirectory, output.absolutePath()}) {
        if (!QDir().mkpath(directory)) {
            QTextStream(stderr) << "cannot make " << directory << '\n';
            return 1;
        }
    }
    if (!createWindows(environment))
        return 1;

    MainForm->show();
    if (wholeScreen) {
        // the main window alone, then with the preview where it first opens, after the toggle below
        bool shown = saveImage(screenPicture({MainForm}), output, screenName(QString()));
        MainForm->PreviewItemClick();
        shown = waitForPreview() && shown;
        MainForm->StyleGridSelectCell(0, 77);
        shown = waitForPreview() && shown;
        shown = saveImage(screenPicture({MainForm, PreviewForm}), output,
                          screenName(QStringLiteral("-preview"))) &&
                shown;
        destroyWindows();
        return shown ? 0 : 1;
    }
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
    MainForm->PreviewItemClick();
    PreviewForm->resize(1100, 720); // a size for the pictures, wherever the program placed it
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
