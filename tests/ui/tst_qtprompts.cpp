#include "QtPrompts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QMessageBox>
#include <QTest>
#include <QTimer>

// The boxes the real prompts put up, answered by a timer as a person would.
class TestQtPrompts : public QObject
{
    Q_OBJECT

private slots:
    void boxesOpenAboveTheWindowThatAsked();
};

void TestQtPrompts::boxesOpenAboveTheWindowThatAsked()
{
    QWidget main;
    main.show();
    QtPrompts prompts(&main);
    QDialog onTop(&main, Qt::Dialog | Qt::WindowStaysOnTopHint);
    onTop.show();
    onTop.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&onTop));

    QWidget *parentSeen = nullptr;
    bool stayedOnTop = false;
    const auto answer = [&](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, this, [&, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            parentSeen = box->parentWidget();
            stayedOnTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            box->button(button)->click();
        });
    };

    answer(QMessageBox::Ok);
    prompts.ShowMessage(QStringLiteral("refused"));
    QCOMPARE(parentSeen, &onTop);
    QVERIFY(stayedOnTop);

    // focus goes back to the dialog once the box is gone, as a window manager gives it back
    onTop.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&onTop));
    answer(QMessageBox::No);
    QVERIFY(!prompts.askWarningYesNo(QStringLiteral("overwrite?")));
    QCOMPARE(parentSeen, &onTop);

    // with the dialog gone, the main window asks
    onTop.hide();
    main.activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(&main));
    answer(QMessageBox::Cancel);
    QVERIFY(!prompts.askInformationOkCancel(QStringLiteral("go on?")));
    QCOMPARE(parentSeen, &main);
    QVERIFY(!stayedOnTop);
}

QTEST_MAIN(TestQtPrompts)
#include "tst_qtprompts.moc"
