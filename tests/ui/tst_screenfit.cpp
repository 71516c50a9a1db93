// Every window on the screen it runs on, frame included. ctest runs this once per screen and scale of
// the laptops and desktops people use (the offscreen platform's screens and QT_SCALE_FACTOR).
#include "Aboutme.h"
#include "Application.h"
#include "ImportProfile.h"
#include "InferStyle.h"
#include "Inputname.h"
#include "Main.h"
#include "Preview.h"
#include "ScreenFit.h"
#include "ZaboWindows.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QLabel>
#include <QMenuBar>
#include <QPushButton>
#include <QScreen>
#include <QTableView>
#include <QTest>

class TestScreenFit : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void mainWindowFitsWithItsMenuBar();
    void previewBesideTheMainWindow();
    void smallerWindowsOnTheScreen();
    void aFrameLargerThanExpectedIsMovedBackOnScreen();

private:
    static QRect available() { return MainForm->screen()->availableGeometry(); }
    // Whether the whole of a control, or what of it a scroll area shows, lies within its window.
    static bool reachable(const QWidget *control)
    {
        const QRect inWindow(control->mapTo(control->window(), QPoint(0, 0)), control->size());
        return control->isVisible() && control->window()->rect().contains(inWindow);
    }
    static void verifyOnScreen(const QWidget *window)
    {
        QVERIFY2(available().contains(window->frameGeometry()),
                 qPrintable(QStringLiteral("%1 at %2,%3 %4x%5 outside %6x%7")
                                .arg(window->objectName())
                                .arg(window->frameGeometry().x())
                                .arg(window->frameGeometry().y())
                                .arg(window->frameGeometry().width())
                                .arg(window->frameGeometry().height())
                                .arg(available().width())
                                .arg(available().height())));
    }

    std::unique_ptr<ZaboWindows> m_windows;
};

void TestScreenFit::init()
{
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
    QVERIFY(QTest::qWaitForWindowExposed(MainForm));
}

void TestScreenFit::cleanup()
{
    m_windows.reset();
}

void TestScreenFit::mainWindowFitsWithItsMenuBar()
{
    verifyOnScreen(MainForm);
    const QSize designed(952, 551);
    const QSize room = available().size() - (MainForm->frameGeometry().size() - MainForm->geometry().size());
    // the program reserves room for a frame before the window manager has framed it
    if (room.width() >= designed.width() + 16 && room.height() >= designed.height() + 48)
        QCOMPARE(MainForm->size(), designed);
    else
        QVERIFY(MainForm->width() < designed.width() || MainForm->height() < designed.height());
    QCOMPARE(MainForm->minimumSize(), MainForm->maximumSize());
    const char *controls[] = {"MenuBar1",  "StyleGrid",     "StyleListBox", "TitleButton",
                              "ParamMemo", "SaveCfgButton", "DeleteButton"};
    for (const char *name : controls)
        QVERIFY2(reachable(MainForm->findChild<QWidget *>(QLatin1String(name))), name);
    // the grid scrolls to its last row
    auto *grid = MainForm->findChild<QTableView *>(QStringLiteral("StyleGrid"));
    grid->scrollToBottom();
    const QModelIndex last = grid->model()->index(grid->model()->rowCount() - 1, 0);
    QVERIFY(grid->viewport()->rect().intersects(grid->visualRect(last)));
}

void TestScreenFit::previewBesideTheMainWindow()
{
    QTest::keyClick(MainForm, Qt::Key_P, Qt::ControlModifier);
    QTRY_VERIFY(PreviewForm && PreviewForm->isVisible());
    QVERIFY(QTest::qWaitForWindowExposed(PreviewForm));
    verifyOnScreen(PreviewForm);
    verifyOnScreen(MainForm);
    QVERIFY(reachable(PreviewForm->findChild<QLabel *>(QStringLiteral("StatusLabel"))));
    // beside, not over the main window, wherever the screen has room for both
    if (available().width() >= MainForm->frameGeometry().width() + PreviewForm->frameGeometry().width())
        QVERIFY(!PreviewForm->frameGeometry().intersects(MainForm->frameGeometry()));
    // 80 columns of code wherever the screen is that wide
    auto *view = PreviewForm->findChild<QsciScintilla *>(QStringLiteral("ResultEditor"));
    int margins = 0;
    for (int margin = 0; margin < view->margins(); ++margin)
        margins += view->marginWidth(margin);
    const long columns =
        view->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH, QsciScintillaBase::STYLE_DEFAULT, "0") * 80;
    if (available().width() >= 900)
        QVERIFY(view->viewport()->width() - margins >= columns);
}

void TestScreenFit::smallerWindowsOnTheScreen()
{
    m_windows->action("AboutItem")->trigger();
    QTRY_VERIFY(AboutForm && AboutForm->isVisible());
    verifyOnScreen(AboutForm);
    QVERIFY(reachable(AboutForm->findChild<QPushButton *>(QStringLiteral("ExitButton"))) ||
            AboutForm->findChild<QWidget *>(QStringLiteral("ScreenFitArea")));

    m_windows->clickButton(MainForm, "SaveCfgButton");
    QTRY_VERIFY(InputNameForm && InputNameForm->isVisible());
    verifyOnScreen(InputNameForm);
    InputNameForm->hide();

    const char *dialogs[] = {"ImportProfileItem", "InferStyleItem"};
    for (const char *item : dialogs) {
        m_windows->action(item)->trigger();
        QWidget *dialog = QApplication::activeModalWidget();
        QTRY_VERIFY2((dialog = QApplication::activeModalWidget()), item);
        QVERIFY(QTest::qWaitForWindowExposed(dialog));
        verifyOnScreen(dialog);
        dialog->close();
        QTRY_VERIFY(!QApplication::activeModalWidget());
    }
}

// A window placed for a smaller frame than the window manager gives it (its frame would stick out at
// the bottom right) comes back within the screen once the frame is known.
void TestScreenFit::aFrameLargerThanExpectedIsMovedBackOnScreen()
{
    QWidget window;
    window.setObjectName(QStringLiteral("placed for no frame"));
    window.resize(300, 200);
    window.move(available().bottomRight() - QPoint(299, 199));
    keepWithinOnceFramed(&window);
    window.show();
    QVERIFY(QTest::qWaitForWindowExposed(&window));
    QTRY_VERIFY(window.frameGeometry() != window.geometry());
    QTRY_VERIFY(available().contains(window.frameGeometry()));
    verifyOnScreen(&window);
    QCOMPARE(window.size(), QSize(300, 200));
}

QTEST_MAIN(TestScreenFit)
#include "tst_screenfit.moc"
