#include "CellTable.h"
#include "ChildProcesses.h"
#include "HangLimit.h"
#include "InferStyle.h"
#include "Main.h"
#include "Preview.h"
#include "TestFiles.h"
#include "ZaboWindows.h"

#include <QAction>
#include <QCheckBox>
#include <QLabel>
#include <QMenu>
#include <QProcess>
#include <QPushButton>
#include <QTabWidget>
#include <QTest>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QByteArray fixture(const char *name)
{
    return readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + QLatin1String(name));
}

// A search on an untidy file runs long enough to be cancelled; a file already in a style ends at once.
constexpr int SearchMilliseconds = 300000;

} // namespace

// "从代码推断风格…" on the real windows: the dialog, its worker, its report, and the working selection it
// replaces when applied.
class TestInferStyle : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase() { qputenv("INDENT_PROFILE", "/dev/null"); }

    void init()
    {
        m_windows = std::make_unique<ZaboWindows>();
        QVERIFY(m_windows->start());
        m_files = std::make_unique<QTemporaryDir>();
        m_scratch = std::make_unique<QTemporaryDir>();
        QVERIFY(m_files->isValid() && m_scratch->isValid());
    }

    void cleanup()
    {
        m_windows.reset();
        QCOMPARE(childProcessCount(), 0);
    }

    void theEntryComesAfterTheToolsMenusOwnEntries()
    {
        auto *tools = MainForm->findChild<QMenu *>(QStringLiteral("ToolsMenu"));
        QVERIFY(tools);
        QStringList entries;
        for (const QAction *action : tools->actions())
            entries.append(action->objectName());
        QCOMPARE(entries, (QStringList{"IndentTreeItem", "ImportProfileItem", "ExportProfileItem",
                                       "CopyCommandLineItem", "InferStyleItem"}));
        QCOMPARE(m_windows->action("InferStyleItem")->text(), text("从代码推断风格…"));
    }

    void applyReplacesTheSelectionAsAnImportDoesAndSavesNothing()
    {
        const QByteArray kr = formatted("-kr -nut");
        QVERIFY(writeAll(m_files->filePath("kr.c"), kr));
        const QByteArray storedBefore = m_windows->configBytes();
        const QString before = m_windows->paramMemo()->parameterText();

        TInferStyleForm *form = openDialog();
        QVERIFY(form);
        m_windows->prompts.queueFiles({m_files->filePath("kr.c")});
        m_windows->clickButton(form, "AddFilesButton");
        m_windows->clickButton(form, "StartButton");
        QVERIFY(form->isSearching());
        QTRY_VERIFY_WITH_TIMEOUT(button(form, "ApplyButton")->isEnabled(), SearchMilliseconds);
        const QString report = form->reportText();
        QVERIFY2(report.contains(text("改动 0 行（")), qPrintable(report));
        QVERIFY2(report.contains(text("；当前选择：")), qPrintable(report));
        QVERIFY2(report.contains(text("剩余改动：无")), qPrintable(report));
        // shown wrapped only at blanks, never after an option's hyphen; copied as it is
        const QString shown = form->findChild<QPlainTextEdit *>(QStringLiteral("ReportMemo"))->toPlainText();
        QVERIFY2(!shown.contains(QLatin1Char('-')), qPrintable(shown));
        QCOMPARE(ParameterMemo::exactText(shown), report);
        const QString proposal = report.section(QLatin1Char('\n'), 0, 0).section(text("："), 1);
        QVERIFY(!proposal.isEmpty());
        QCOMPARE(m_windows->paramMemo()->parameterText(), before);

        m_windows->clickButton(form, "ApplyButton");
        QVERIFY(!form->isVisible());
        QCOMPARE(m_windows->paramMemo()->parameterText().trimmed(), proposal);
        QCOMPARE(m_windows->checkedOptions().trimmed(), proposal);
        QCOMPARE(m_windows->configBytes(), storedBefore);
        // the preview shows the source it was learnt from side by side with its result
        QVERIFY(PreviewForm->isVisible());
        QVERIFY(PreviewForm->findChild<QLabel *>("SourceLabel")->text().contains("kr.c"));
        QCOMPARE(PreviewForm->findChild<QTabWidget *>("ViewTabs")->currentWidget()->objectName(),
                 QString("ComparePage"));
    }

    // eight columns, which no row holds: the report sets the whole profile beside the rows, and saves it
    // as a .indent.pro beside the code, where indent reads it, while "应用" still takes only rows
    void theWholeProfileIsReportedBesideTheRowsAndSavedAsAProfile()
    {
        QVERIFY(writeAll(m_files->filePath("eight.c"), formatted("-kr -i8 -nut")));
        TInferStyleForm *form = openDialog();
        QVERIFY(form);
        m_windows->prompts.queueDirectory(m_files->path());
        m_windows->clickButton(form, "AddDirectoryButton");
        QVERIFY(!button(form, "SaveProfileButton")->isEnabled());
        m_windows->clickButton(form, "StartButton");
        QTRY_VERIFY_WITH_TIMEOUT(button(form, "ApplyButton")->isEnabled(), SearchMilliseconds);
        QVERIFY(button(form, "SaveProfileButton")->isEnabled());
        const QString report = form->reportText();
        const QString whole =
            report.section(text("整套 indent 配置（任意选项与数值，用于仓库的 .indent.pro）："), 1);
        QVERIFY2(!whole.isEmpty(), qPrintable(report));
        const QString options = whole.section(QLatin1Char('\n'), 0, 0);
        QVERIFY2(options.split(QLatin1Char(' ')).contains(QStringLiteral("-i8")), qPrintable(report));
        QVERIFY2(whole.contains(text("改动 0 行（勾选行的结果：")), qPrintable(report));

        const QString saved = m_files->filePath(".indent.pro");
        m_windows->prompts.queueSaveFile(saved);
        m_windows->clickButton(form, "SaveProfileButton");
        QCOMPARE(m_windows->prompts.saveRequests.last().initialPath, saved);
        const QString profile = QString::fromUtf8(readAll(saved));
        QVERIFY2(profile.startsWith(text("/* Zabo 风格：从代码推断（全部选项），改动 0 行 */\n")),
                 qPrintable(profile));
        QCOMPARE(
            profile.section(QLatin1Char('\n'), 1).split(QLatin1Char('\n'), Qt::SkipEmptyParts).join(u' '),
            options);
        QVERIFY(form->progressText().contains(saved));
        QVERIFY(m_windows->prompts.messages.isEmpty());

        // a place that cannot be written is said so, and nothing is lost
        m_windows->prompts.queueSaveFile(m_files->filePath("missing/.indent.pro"));
        m_windows->clickButton(form, "SaveProfileButton");
        QCOMPARE(m_windows->prompts.messages.size(), 1);
        QVERIFY(m_windows->prompts.messages.first().startsWith(text("indent配置保存失败，无法写入：")));
    }

    void aFileIndentCannotParseIsNamedInTheReportAndLeftOut()
    {
        QVERIFY(writeAll(m_files->filePath("kr.c"), formatted("-kr -nut")));
        QVERIFY(writeAll(m_files->filePath("else_else.c"), fixture("else_else.c")));
        TInferStyleForm *form = openDialog();
        QVERIFY(form);
        m_windows->prompts.queueDirectory(m_files->path());
        m_windows->clickButton(form, "AddDirectoryButton");
        m_windows->clickButton(form, "StartButton");
        QTRY_VERIFY_WITH_TIMEOUT(button(form, "ApplyButton")->isEnabled(), SearchMilliseconds);
        const QString report = form->reportText();
        QVERIFY2(report.contains(text("indent 无法完整解析：") + m_files->filePath("else_else.c") +
                                 text("（未用于推断）")),
                 qPrintable(report));
        QVERIFY2(report.contains(text("改动 0 行（")), qPrintable(report));
        QVERIFY2(report.contains(text("依据 1 个文件")), qPrintable(report));
    }

    void cancellingMidSearchKeepsTheSelectionAndLeavesNothingBehind()
    {
        QVERIFY(writeAll(m_files->filePath("untidy.c"), fixture("options_sample.c")));
        const QString before = m_windows->paramMemo()->parameterText();
        TInferStyleForm *form = openDialog();
        form->addSources({m_files->path()});
        m_windows->clickButton(form, "StartButton");
        QTRY_VERIFY_WITH_TIMEOUT(form->progressText().startsWith(text("第 ")), SearchMilliseconds);
        m_windows->clickButton(form, "CancelSearchButton");
        QTRY_VERIFY_WITH_TIMEOUT(!form->isSearching(), SearchMilliseconds);
        QCOMPARE(form->progressText(), text("已取消，当前选择保持不变。"));
        QVERIFY(!button(form, "ApplyButton")->isEnabled());
        QCOMPARE(childProcessCount(), 0);
        QCOMPARE(QDir(m_scratch->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
        QCOMPARE(m_windows->paramMemo()->parameterText(), before);
        QVERIFY(button(form, "StartButton")->isEnabled());
    }

    void closingTheDialogStopsTheSearch_data()
    {
        QTest::addColumn<bool>("byEscape");
        QTest::newRow("the close button") << false;
        QTest::newRow("Escape") << true;
    }

    void closingTheDialogStopsTheSearch()
    {
        QFETCH(bool, byEscape);
        QVERIFY(writeAll(m_files->filePath("untidy.c"), fixture("options_sample.c")));
        TInferStyleForm *form = openDialog();
        form->addSources({m_files->filePath("untidy.c")});
        m_windows->clickButton(form, "StartButton");
        QTRY_VERIFY_WITH_TIMEOUT(form->progressText().startsWith(text("第 ")), SearchMilliseconds);
        if (byEscape)
            QTest::keyClick(form, Qt::Key_Escape);
        else
            m_windows->clickButton(form, "CloseButton");
        QVERIFY(!form->isVisible());
        QVERIFY(!form->isSearching());
        QCOMPARE(childProcessCount(), 0);
        QCOMPARE(QDir(m_scratch->path()).entryList(QDir::AllEntries | QDir::Hidden | QDir::NoDotAndDotDot),
                 QStringList());
    }

    void whatKeepsASearchFromStartingIsShownInTheReport_data()
    {
        QTest::addColumn<bool>("withSources");
        QTest::addColumn<QString>("said");
        QTest::newRow("nothing chosen") << false << text("请先添加文件或目录。");
        QTest::newRow("a folder without sources") << true << text("目录中没有 .c .h .cpp .hpp 文件");
    }

    void whatKeepsASearchFromStartingIsShownInTheReport()
    {
        QFETCH(bool, withSources);
        QFETCH(QString, said);
        TInferStyleForm *form = openDialog();
        if (withSources) {
            QVERIFY(writeAll(m_files->filePath("notes.txt"), "no source\n"));
            m_windows->prompts.queueDirectory(m_files->path());
            m_windows->clickButton(form, "AddDirectoryButton");
        }
        m_windows->clickButton(form, "StartButton");
        QTRY_VERIFY_WITH_TIMEOUT(!form->isSearching(), SearchMilliseconds);
        QVERIFY2(form->reportText().contains(said), qPrintable(form->reportText()));
        if (withSources)
            QVERIFY(form->reportText().contains(text("没有可以推断的源文件。")));
        QVERIFY(!button(form, "ApplyButton")->isEnabled());
        QVERIFY(m_windows->prompts.messages.isEmpty());
    }

private:
    TInferStyleForm *openDialog()
    {
        m_windows->action("InferStyleItem")->trigger();
        auto *form = MainForm->findChild<TInferStyleForm *>();
        if (!form || !form->isVisible())
            return nullptr;
        form->setScratchBase(m_scratch->path());
        return form;
    }

    static QPushButton *button(QWidget *window, const char *name)
    {
        return window->findChild<QPushButton *>(QLatin1String(name));
    }

    // options_sample.c in a style, by the formatter the window deployed
    QByteArray formatted(const QString &parameterText) const
    {
        const QString copy = m_files->filePath("copy.c");
        if (!writeAll(copy, fixture("options_sample.c")))
            return {};
        QProcess indent;
        QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
        environment.insert("VERSION_CONTROL", "none");
        indent.setProcessEnvironment(environment);
        indent.start(MainForm->formatterPath(), QStringList{copy} + parameterText.split(' '));
        if (!indent.waitForFinished(HangMilliseconds) || indent.exitCode() != 0)
            return {};
        const QByteArray text = readAll(copy);
        QFile::remove(copy);
        return text;
    }

    std::unique_ptr<ZaboWindows> m_windows;
    std::unique_ptr<QTemporaryDir> m_files;
    std::unique_ptr<QTemporaryDir> m_scratch;
};

QTEST_MAIN(TestInferStyle)
#include "tst_inferstyle.moc"
