#include "WindowPlacement.h"

#include <QTest>

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void besideTheFirstWindow_data();
    void besideTheFirstWindow();
    void everyWindowOnEveryScreen_data();
    void everyWindowOnEveryScreen();
};

namespace {

// the main window's client area, and the least it shrinks to
const QSize MainClient(952, 551);
const QSize MainSmallest(344, 230);
// the preview's preferred client size and the width of one view of 80 columns of code
const QSize PreviewClient(900, 700);
constexpr int PreviewCodeWidth = 720;
// windows of a fixed size that are centred on the main window: the donation window, the style name
// dialog, the import and the inference dialogs
const QSize FixedClients[] = {{736, 471}, {288, 83}, {560, 400}, {640, 520}};

bool within(const QRect &inner, const QRect &outer)
{
    return outer.contains(inner);
}

} // namespace

void TestWindowPlacement::besideTheFirstWindow_data()
{
    QTest::addColumn<QRect>("first");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("movedFirst");
    QTest::addColumn<QRect>("placed");
    // the second window asks for 900 × 700 and needs 480 wide for its content; a 1920 × 1050 desktop
    // below a 30-pixel panel
    const QRect desktop(0, 30, 1920, 1050);
    const QRect first(100, 100, 800, 640);
    QTest::newRow("room on the right") << first << desktop << first << QRect(900, 100, 900, 700);
    QTest::newRow("room only on the left")
        << QRect(1000, 100, 800, 640) << desktop << QRect(1000, 100, 800, 640) << QRect(100, 100, 900, 700);
    QTest::newRow("some room on the right")
        << QRect(560, 100, 800, 640) << desktop << QRect(560, 100, 800, 640) << QRect(1360, 100, 560, 700);
    QTest::newRow("some room on the left")
        << QRect(700, 100, 800, 640) << desktop << QRect(700, 100, 800, 640) << QRect(0, 100, 700, 700);
    QTest::newRow("centred: the first moves aside")
        << QRect(476, 100, 968, 591) << desktop << QRect(52, 100, 968, 591) << QRect(1020, 100, 900, 700);
    QTest::newRow("too narrow for both: least overlap")
        << QRect(40, 30, 1600, 900) << QRect(0, 30, 1680, 900) << QRect(0, 30, 1600, 900)
        << QRect(1200, 30, 480, 700);
    QTest::newRow("kept on the screen vertically")
        << QRect(100, 700, 800, 640) << desktop << QRect(100, 440, 800, 640) << QRect(900, 380, 900, 700);
    QTest::newRow("a small screen") << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600)
                                    << QRect(320, 0, 480, 600);
}

void TestWindowPlacement::besideTheFirstWindow()
{
    QFETCH(QRect, first);
    QFETCH(QRect, available);
    QFETCH(QRect, movedFirst);
    QFETCH(QRect, placed);
    const PairPlacement placement = besideWindow(first, available, QSize(900, 700), 480);
    QCOMPARE(placement.first, movedFirst);
    QCOMPARE(placement.second, placed);
}

void TestWindowPlacement::everyWindowOnEveryScreen_data()
{
    QTest::addColumn<QSize>("screen");
    QTest::addColumn<qreal>("scale");
    QTest::addColumn<bool>("mainFits");
    QTest::addColumn<bool>("sideBySide");
    // a 32-pixel panel at the bottom and a 30-pixel title bar with 4-pixel borders, in pixels of the
    // device: at a larger scale each takes fewer of the program's pixels
    const struct
    {
        QSize screen;
        qreal scale;
        bool mainFits;
        bool sideBySide;
    } screens[] = {
        {{1920, 1080}, 1, true, true},    {{1920, 1080}, 1.25, true, false}, {{1920, 1080}, 1.5, true, false},
        {{1920, 1080}, 2, false, false},  {{1366, 768}, 1, true, false},     {{1366, 768}, 1.25, true, false},
        {{1366, 768}, 1.5, false, false}, {{1024, 768}, 1, true, false},     {{1024, 768}, 2, false, false},
    };
    for (const auto &row : screens) {
        QTest::addRow("%dx%d at %g", row.screen.width(), row.screen.height(), row.scale)
            << row.screen << row.scale << row.mainFits << row.sideBySide;
    }
}

void TestWindowPlacement::everyWindowOnEveryScreen()
{
    QFETCH(QSize, screen);
    QFETCH(qreal, scale);
    QFETCH(bool, mainFits);
    QFETCH(bool, sideBySide);
    const auto logical = [scale](int pixels) { return int(pixels / scale); };
    const QRect available(0, 0, logical(screen.width()), logical(screen.height() - 32));
    const QMargins frame(logical(4), logical(30), logical(4), logical(4));

    const QSize client = fittedClientSize(MainClient, MainSmallest, frame, available);
    QCOMPARE(client == MainClient, mainFits);
    const QRect mainFrame = centredOn(client.grownBy(frame), available, available);
    QVERIFY(within(mainFrame, available));

    const PairPlacement pair =
        besideWindow(mainFrame, available, PreviewClient.grownBy(frame), PreviewCodeWidth + 8);
    QVERIFY2(within(pair.first, available), qPrintable(QStringLiteral("main window moved off the screen")));
    QVERIFY2(within(pair.second, available), qPrintable(QStringLiteral("preview off the screen")));
    QCOMPARE(pair.first.size(), mainFrame.size());
    // beside, not over the grid, wherever the screen is wide enough for both
    if (available.width() >= mainFrame.width() + PreviewCodeWidth + 8)
        QVERIFY(!pair.first.intersects(pair.second));
    // code of 80 columns wherever the screen is that wide
    QVERIFY(pair.second.width() >= std::min(PreviewCodeWidth + 8, available.width()));
    QCOMPARE(pair.second.width() == PreviewClient.width() + 8 && !pair.first.intersects(pair.second),
             sideBySide);

    for (const QSize &fixed : FixedClients) {
        const QSize fitted = fittedClientSize(fixed, QSize(), frame, available);
        QVERIFY(within(centredOn(fitted.grownBy(frame), pair.first, available), available));
    }
}

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
