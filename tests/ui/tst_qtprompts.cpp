#include "HangLimit.h"
#include "QtPrompts.h"
#include "TestFiles.h"

#include <QAbstractButton>
#include <QApplication>
#include <QDialog>
#include <QFileDialog>
#include <QMessageBox>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>

// The boxes the real prompts put up, answered by a timer as a person would.
class TestQtPrompts : public QObject
{
    Q_OBJECT

private slots:
    void boxesOpenAboveTheWindowThatAsked();
    void saveDialogListsHiddenFilesAndReturnsTheChoice();
    void aFolderNoProgramCanShowIsReported();
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
    bool selectable = false;
    bool titleFits = false;
    const auto answer = [&](QMessageBox::StandardButton button) {
        QTimer::singleShot(0, this, [&, button] {
            auto *box = qobject_cast<QMessageBox *>(QApplication::activeModalWidget());
            QVERIFY(box);
            parentSeen = box->parentWidget();
            stayedOnTop = box->windowFlags().testFlag(Qt::WindowStaysOnTopHint);
            // a path in a message can be selected and copied
            selectable = box->textInteractionFlags().testFlag(Qt::TextSelectableByMouse);
            // a short message still leaves the title bar room for the whole title
            QFont bold = box->font();
            bold.setBold(true);
            titleFits = box->width() > QFontMetrics(bold).horizontalAdvance(box->windowTitle()) + 100;
            box->button(button)->click();
        });
    };

    answer(QMessageBox::Ok);
    prompts.ShowMessage(QStringLiteral("refused"));
    QCOMPARE(parentSeen, &onTop);
    QVERIFY(stayedOnTop);
    QVERIFY(selectable);
    QVERIFY(titleFits);

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

void TestQtPrompts::saveDialogListsHiddenFilesAndReturnsTheChoice()
{
    QTemporaryDir directory;
    QVERIFY(directory.isValid());
    const QString path = directory.filePath(QStringLiteral(".indent.pro"));
    QtPrompts prompts;
    bool listsHidden = false;
    bool saves = false;
    QTimer::singleShot(0, this, [&] {
        auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
        QVERIFY(dialog);
        listsHidden = dialog->filter().testFlag(QDir::Hidden);
        saves = dialog->acceptMode() == QFileDialog::AcceptSave;
        dialog->selectFile(path);
        static_cast<QDialog *>(dialog)->accept(); // as the save button does
    });
    QCOMPARE(prompts.saveFile({QStringLiteral("export"), {QStringLiteral("all (*)")}, path}), path);
    QVERIFY(listsHidden && saves);

    QTimer::singleShot(0, this, [] {
        if (auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget()))
            dialog->reject();
    });
    QCOMPARE(prompts.saveFile({QStringLiteral("export"), {}, path}), QString());
}

void TestQtPrompts::aFolderNoProgramCanShowIsReported()
{
    // xdg-open with nothing behind it to show a folder ends with status 3
    QTemporaryDir bin;
    QVERIFY(writeAll(bin.filePath(QStringLiteral("xdg-open")), "#!/bin/sh\nexit 3\n"));
    QVERIFY(QFile::setPermissions(bin.filePath(QStringLiteral("xdg-open")),
                                  QFile::ReadOwner | QFile::WriteOwner | QFile::ExeOwner));
    const QByteArray path = qgetenv("PATH");
    qputenv("PATH", QFile::encodeName(bin.path()));
    QStringList failures;
    {
        QtPrompts prompts;
        prompts.openFolder(bin.path(), [&](const QString &reason) { failures.append(reason); });
        QVERIFY(failures.isEmpty()); // it never waits for the shell
        QCOMPARE(QApplication::overrideCursor() ? QApplication::overrideCursor()->shape() : Qt::ArrowCursor,
                 Qt::BusyCursor); // but shows that it is asking
        QTRY_COMPARE_WITH_TIMEOUT(failures, QStringList{QString::fromUtf8("没有找到可以打开目录的程序")},
                                  HangMilliseconds);
        QVERIFY(!QApplication::overrideCursor());
    }
    qputenv("PATH", path);
}

QTEST_MAIN(TestQtPrompts)
#include "tst_qtprompts.moc"
