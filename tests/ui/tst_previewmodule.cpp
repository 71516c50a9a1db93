// The preview window as zabo gets it: from its module, loaded when the preview first opens, into the
// real main window; and what the window says when the module is missing or is not its own.
#include "Application.h"
#include "HangLimit.h"
#include "Main.h"
#include "Preview.h"
#include "PreviewModule.h"
#include "ZaboWindows.h"

#include <QAction>
#include <QDir>
#include <QFile>
#include <QLabel>
#include <QLibraryInfo>
#include <QTest>

#include <memory>

class TestPreviewModule : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void previewOpensFromTheModule();
    void aModuleThatCannotServeIsNamed_data();
    void aModuleThatCannotServeIsNamed();
    void theInstalledModuleIsFoundFromTheBinDirectory();
};

void TestPreviewModule::previewOpensFromTheModule()
{
    ZaboWindows windows;
    QVERIFY(windows.start());
    setPreviewWindowFactory(
        previewModuleFactory(previewModuleCandidates(QStringLiteral(ZABO_MODULE_BUILD_DIR))));
    windows.action("PreviewItem")->trigger();
    QVERIFY2(windows.prompts.messages.isEmpty(), qPrintable(windows.prompts.messages.join('\n')));
    QVERIFY(PreviewForm && PreviewForm->isVisible());
    // the module's own window, not the one this test links
    QCOMPARE(PreviewForm->metaObject()->className(), "TPreviewForm");
    QVERIFY(PreviewForm->metaObject() != &TPreviewForm::staticMetaObject);
    QVERIFY(PreviewForm->findChild<QWidget *>(QStringLiteral("ResultEditor"))->inherits("QsciScintilla"));
    // it formats the sample through the program's formatter
    auto *status = PreviewForm->findChild<QLabel *>(QStringLiteral("StatusLabel"));
    QTRY_VERIFY_WITH_TIMEOUT(status->text().contains(QString::fromUtf8("indent 用时")), HangMilliseconds);
}

void TestPreviewModule::aModuleThatCannotServeIsNamed_data()
{
    QTest::addColumn<QString>("module");
    QTest::addColumn<QString>("reason");
    QTest::newRow("missing") << QStringLiteral("/nonexistent/zabo-preview.so") << QString::fromUtf8("找不到");
    QTest::newRow("not a library") << QStringLiteral(ZABO_TEST_SOURCE) << QString::fromUtf8("无法载入");
    QTest::newRow("another library") << QLibraryInfo::path(QLibraryInfo::LibrariesPath) +
                                            QStringLiteral("/libQt6Core.so.6")
                                     << QString::fromUtf8("不属于这个版本");
}

void TestPreviewModule::aModuleThatCannotServeIsNamed()
{
    QFETCH(QString, module);
    QFETCH(QString, reason);
    ZaboWindows windows;
    QVERIFY(windows.start());
    setPreviewWindowFactory(previewModuleFactory({module}));
    for (int attempt = 0; attempt < 2; ++attempt) {
        windows.action("PreviewItem")->trigger();
        QCOMPARE(windows.prompts.messages.size(), attempt + 1);
        const QString message = windows.prompts.messages.last();
        QVERIFY2(message.contains(reason) && message.contains(QDir::toNativeSeparators(module)),
                 qPrintable(message));
        QVERIFY(!PreviewForm);
    }
    // the main window goes on as before
    QVERIFY(MainForm->isVisible());
    windows.clickCell(0, 0);
}

void TestPreviewModule::theInstalledModuleIsFoundFromTheBinDirectory()
{
    const QStringList candidates = previewModuleCandidates(QStringLiteral("/usr/bin"));
    QCOMPARE(candidates.value(0), QStringLiteral("/usr/bin/zabo-preview.so"));
    QCOMPARE(candidates.value(1), QStringLiteral("/usr/" ZABO_MODULE_DIR "/zabo-preview.so"));
}

QTEST_MAIN(TestPreviewModule)
#include "tst_previewmodule.moc"
