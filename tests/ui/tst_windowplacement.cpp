#include "WindowPlacement.h"

#include <QTest>

class TestWindowPlacement : public QObject
{
    Q_OBJECT

private slots:
    void besideTheFirstWindow_data();
    void besideTheFirstWindow();
};

void TestWindowPlacement::besideTheFirstWindow_data()
{
    QTest::addColumn<QRect>("first");
    QTest::addColumn<QRect>("available");
    QTest::addColumn<QRect>("placed");
    // the preview asks for 900 × 700 and takes no less than 480 wide; a 1920 × 1050 desktop below a
    // 30-pixel panel
    const QRect desktop(0, 30, 1920, 1050);
    QTest::newRow("room on the right") << QRect(100, 100, 800, 640) << desktop << QRect(900, 100, 900, 700);
    QTest::newRow("room only on the left")
        << QRect(1000, 100, 800, 640) << desktop << QRect(100, 100, 900, 700);
    QTest::newRow("some room on the right")
        << QRect(560, 100, 800, 640) << desktop << QRect(1360, 100, 560, 700);
    QTest::newRow("some room on the left") << QRect(700, 100, 800, 640) << desktop << QRect(0, 100, 700, 700);
    QTest::newRow("no room: as large as fits")
        << QRect(0, 30, 1600, 900) << QRect(0, 30, 1680, 900) << QRect(780, 30, 900, 700);
    QTest::newRow("kept on the screen vertically")
        << QRect(100, 700, 800, 640) << desktop << QRect(900, 380, 900, 700);
    QTest::newRow("a small screen") << QRect(0, 0, 800, 600) << QRect(0, 0, 800, 600)
                                    << QRect(0, 0, 800, 600);
}

void TestWindowPlacement::besideTheFirstWindow()
{
    QFETCH(QRect, first);
    QFETCH(QRect, available);
    QFETCH(QRect, placed);
    QCOMPARE(besideWindow(first, available, QSize(900, 700), QSize(480, 360)), placed);
}

QTEST_GUILESS_MAIN(TestWindowPlacement)
#include "tst_windowplacement.moc"
