#include "Application.h"
#include "ChildProcesses.h"
#include "DiffBlocks.h"
#include "FormatterRun.h"
#include "HangLimit.h"
#include "Main.h"
#include "OptionCatalogue.h"
#include "Preview.h"
#include "PreviewSettings.h"
#include "SideBySideView.h"
#include "SmallFileSystem.h"
#include "SourceEncoding.h"
#include "TestFiles.h"
#include "ZaboWindows.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QComboBox>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QProcess>
#include <QPushButton>
#include <QRegularExpression>
#include <QScrollBar>
#include <QSplitter>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QUrl>

#include <QHash>
#include <QImage>
#include <QTemporaryDir>

#include <cmath>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// Grid rows of the catalogue that the tests toggle.
constexpr int ProcedureNameStartsLine = 77; // "-psl": the recommended style has "-npsl", and this comes later
constexpr int TabSizeFour = 90;             // "-ts4": without it the recommended style ends with a bare "-T"

const QByteArray TabbedSource = "struct pair {\tint\tkey;\n\tconst char\t*value;\t/* aligned */\n};\n"
                                "int lookup(struct pair *p,int n,int key)\n{\n\tint i;\n"
                                "\tfor(i=0;i<n;i++)\n\t\tif(p[i].key==key) { return i; }\n\treturn -1;\n}\n";

QsciScintilla *editor(const char *name)
{
    return PreviewForm->findChild<QsciScintilla *>(QLatin1String(name));
}

QString resultText()
{
    return editor("ResultEditor")->text();
}

template<typename Widget>
Widget *child(const char *name)
{
    return PreviewForm->findChild<Widget *>(QLatin1String(name));
}

struct FileState
{
    QByteArray bytes;
    qint64 modified = 0;
    bool operator==(const FileState &other) const
    {
        return bytes == other.bytes && modified == other.modified;
    }
};

FileState stateOf(const QByteArray &path)
{
    struct stat status = {};
    ::stat(path.constData(), &status);
    FileState state;
    state.modified = qint64(status.st_mtim.tv_sec) * 1000000000 + status.st_mtim.tv_nsec;
    const PreviewSourceFile file = readPreviewSource(path);
    state.bytes = file.text;
    return state;
}

bool writeRaw(const QByteArray &path, const QByteArray &bytes)
{
    const int descriptor = ::open(path.constData(), O_CREAT | O_WRONLY | O_TRUNC, 0644);
    if (descriptor < 0)
        return false;
    const bool written =
        ::write(descriptor, bytes.constData(), size_t(bytes.size())) == ssize_t(bytes.size());
    return ::close(descriptor) == 0 && written;
}

QByteArray testData(const char *name)
{
    return readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + QLatin1String(name));
}

// Where a line of a view is on the screen: its display row, fillers counted, less the rows scrolled by.
int screenRow(QsciScintilla *view, int line)
{
    return int(view->SendScintilla(QsciScintillaBase::SCI_VISIBLEFROMDOCLINE,
                                   static_cast<unsigned long>(line))) -
           view->firstVisibleLine();
}

// What GNU diff, looking for the shortest edit, counts: lines it removes and adds.
DiffCounts systemDiffCounts(const QByteArray &before, const QByteArray &after)
{
    QTemporaryDir directory;
    writeAll(directory.filePath(QStringLiteral("before")), before);
    writeAll(directory.filePath(QStringLiteral("after")), after);
    QProcess diff;
    diff.start(QStringLiteral("diff"),
               {QStringLiteral("--minimal"), directory.filePath(QStringLiteral("before")),
                directory.filePath(QStringLiteral("after"))});
    diff.waitForFinished(-1);
    DiffCounts counts;
    for (const QByteArray &line : diff.readAllStandardOutput().split('\n')) {
        counts.removed += line.startsWith('<') ? 1 : 0;
        counts.added += line.startsWith('>') ? 1 : 0;
    }
    return counts;
}

double luminance(QColor colour)
{
    const auto channel = [](double value) {
        value /= 255.0;
        return value <= 0.03928 ? value / 12.92 : std::pow((value + 0.055) / 1.055, 2.4);
    };
    return 0.2126 * channel(colour.red()) + 0.7152 * channel(colour.green()) +
           0.0722 * channel(colour.blue());
}

double contrast(QColor a, QColor b)
{
    const double la = luminance(a);
    const double lb = luminance(b);
    return (std::max(la, lb) + 0.05) / (std::min(la, lb) + 0.05);
}

QStringList scratchDirectoriesIn(const QString &directory)
{
    return QDir(directory).entryList({QStringLiteral("zabo-preview-*")}, QDir::AllEntries | QDir::Hidden);
}

} // namespace

class TestPreviewForm : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void init();
    void cleanup();

    void ctrlPOpensThePreviewOfTheSample();
    void previewFollowsGridAndList();
    void burstOfTogglesEndsWithTheLastSelection();
    void formatterFailuresAreShownAsFailures_data();
    void formatterFailuresAreShownAsFailures();
    void switchingViews();
    void failureMarksTheResultOutdated();
    void openFileThroughTheDialog();
    void dropOfAFileWithANonUtf8Name();
    void unreadableFileIsRefused();
    void messagesLeadToTheSourceLine();
    void notesOfTheTickedRowsFollowTheGrid();
    void tabsAreAsWideAsIndentCountedThem_data();
    void tabsAreAsWideAsIndentCountedThem();
    void unchangedLinesSitSideBySide();
    void f7GoesFromChangeToChange();
    void countsSayWhatTheToggleDid();
    void gbkSourceIsShownDecodedAndFormattedFromItsBytes();
    void crlfLineEndsAreNamed();
    void geometrySplitterAndViewAreRemembered();
    void ownShortcutsAndTheMainWindowsWork();
    void sourceLabelIsReadable();
    void scratchDirectoryIsMadeWhenFirstNeeded();
    void theSideBySideResultUsesTheStylesTabSize();
    void cppInputIsNamed_data();
    void cppInputIsNamed();
    void sideBySideScrollsAsFarAsTheLongestLine();

private:
    // What a job makes of source with the parameter text the main window shows now.
    QString expected(const QByteArray &source) const;
    QByteArray expectedBytes(const QByteArray &source) const;
    void openPreview();

    std::unique_ptr<ZaboWindows> m_windows;
    QTemporaryDir m_files;
};

void TestPreviewForm::init()
{
    qunsetenv("FAKE_INDENT_MODE");
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
    QVERIFY(!PreviewForm); // built when first shown
    QVERIFY(ensurePreviewForm());
}

void TestPreviewForm::cleanup()
{
    qunsetenv("FAKE_INDENT_MODE");
    m_windows.reset();
    QVERIFY(!PreviewForm);
    QCOMPARE(childProcessCount(), 0);
}

QString TestPreviewForm::expected(const QByteArray &source) const
{
    return QString::fromUtf8(expectedBytes(source));
}

QByteArray TestPreviewForm::expectedBytes(const QByteArray &source) const
{
    const QString directory = m_files.filePath(QStringLiteral("expected"));
    QDir().mkpath(directory);
    const QString file = directory + QStringLiteral("/expected.c");
    writeAll(file, source);
    FormatterRequest request;
    request.formatterPath = MainForm->formatterPath();
    request.files = {file};
    request.parameterText = m_windows->paramMemo()->parameterText();
    FormatterRunner().run(request);
    return readAll(file);
}

void TestPreviewForm::openPreview()
{
    QTest::keyClick(MainForm, Qt::Key_P, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(PreviewForm->isVisible(), HangMilliseconds);
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(previewSample()), HangMilliseconds);
}

void TestPreviewForm::ctrlPOpensThePreviewOfTheSample()
{
    // hidden, it runs nothing
    m_windows->clickCell(ProcedureNameStartsLine, 0);
    QVERIFY(!previewForm()->runner().isRunning());

    openPreview();
    QCOMPARE(m_windows->action("PreviewItem")->text(), text("样式预览(Ctrl+P)"));
    QVERIFY(!PreviewForm->isModal());
    QVERIFY(!QApplication::activeModalWidget());
    QVERIFY(PreviewForm->minimumSize() != PreviewForm->maximumSize());
    QVERIFY(child<QLabel>("SourceLabel")->text().contains(text("示例代码")));
    QVERIFY(
        child<QLabel>("StatusLabel")
            ->text()
            .contains(
                text("选项 %1 个").arg(formatterOptions(m_windows->paramMemo()->parameterText()).size())));
    QVERIFY(child<QLabel>("OutdatedBanner")->isHidden());
    // tabs are as wide as indent counted them: the recommended "-ts4" follows a bare "-T", a type name
    QCOMPARE(editor("ResultEditor")->tabWidth(), 8);

    // the main window stays usable beside it, and Ctrl+P again just brings it back
    PreviewForm->hide();
    m_windows->action("PreviewItem")->trigger();
    QVERIFY(PreviewForm->isVisible());
}

void TestPreviewForm::notesOfTheTickedRowsFollowTheGrid()
{
    openPreview();
    auto *notes = child<QPlainTextEdit>("NotesMemo");
    // the recommended style ends "-T -ts4": the grid's tooltips and the preview say the same
    QVERIFY2(notes->toPlainText().contains(text("-ts4：作为 -T 的类型名")), qPrintable(notes->toPlainText()));
    m_windows->clickListEntry(0); // GNU: one preset, nothing to say
    QCOMPARE(notes->toPlainText(), QString());
}

void TestPreviewForm::previewFollowsGridAndList()
{
    openPreview();
    const QString before = resultText();
    m_windows->clickCell(ProcedureNameStartsLine, 0);
    QVERIFY(m_windows->paramMemo()->parameterText().contains(QLatin1String("-psl")));
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(previewSample()), HangMilliseconds);
    QVERIFY(resultText() != before);

    // "本次改动" names the lines that toggle changed, against the result before it
    child<QTabWidget>("ViewTabs")->setCurrentIndex(2);
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("ChangesLabel")->text().startsWith(text("切换 -psl：")),
                             HangMilliseconds);
    QsciScintilla *changes = editor("ChangesEditor");
    QVERIFY(changes->text().startsWith(QLatin1String("@@ -")));
    bool removed = false;
    bool added = false;
    for (int line = 0; line < changes->lines(); ++line) {
        removed = removed || (changes->markersAtLine(line) & (1 << 1));
        added = added || (changes->markersAtLine(line) & (1 << 0));
    }
    QVERIFY(removed && added);

    // a list click loads a style, and the preview follows it too
    m_windows->clickListEntry(1);
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(previewSample()), HangMilliseconds);
}

void TestPreviewForm::burstOfTogglesEndsWithTheLastSelection()
{
    openPreview();
    // 30 toggles as fast as the grid takes them, faster than indent runs: the last selection wins
    const int rows[] = {ProcedureNameStartsLine, 0, 23, 3};
    for (int toggle = 0; toggle < 30; ++toggle) {
        m_windows->clickCell(rows[toggle % 4], 0);
        QVERIFY(childProcessCount() <= 1);
    }
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(previewSample()), HangMilliseconds);
    QTRY_VERIFY_WITH_TIMEOUT(!previewForm()->runner().isRunning(), HangMilliseconds);
    QCOMPARE(childProcessCount(), 0);
    QVERIFY(child<QLabel>("OutdatedBanner")->isHidden());
}

void TestPreviewForm::formatterFailuresAreShownAsFailures_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QString>("message");
    QTest::addColumn<QString>("status");
    QTest::newRow("crash") << QByteArray("crash") << text("indent 异常终止") << text("格式化失败");
    QTest::newRow("hang") << QByteArray("hang") << text("秒没有完成，已被终止") << text("超时");
    QTest::newRow("status 4") << QByteArray("exit:4") << text("indent 以状态 4 结束") << text("格式化失败");
}

void TestPreviewForm::formatterFailuresAreShownAsFailures()
{
    QFETCH(QByteArray, mode);
    QFETCH(QString, message);
    QFETCH(QString, status);
    m_windows.reset(); // a window of its own, over the fake formatter

    qputenv("FAKE_INDENT_MODE", mode);
    ScriptedPrompts prompts;
    const auto form = std::make_unique<TPreviewForm>(QStringLiteral(FAKE_INDENT_PATH), prompts);
    PreviewForm = form.get();
    // short only where the formatter hangs for real; a loaded machine may start any other one slowly
    if (mode == "hang")
        form->runner().setTimeLimit(300);
    form->setParameterText(QStringLiteral("-kr "));
    form->show();
    auto *banner = child<QLabel>("OutdatedBanner");
    QTRY_VERIFY_WITH_TIMEOUT(banner->isVisible(), HangMilliseconds);
    QVERIFY(banner->text().contains(text("还没有可显示的结果")));
    QVERIFY2(child<QPlainTextEdit>("MessagesMemo")->toPlainText().contains(message),
             qPrintable(child<QPlainTextEdit>("MessagesMemo")->toPlainText()));
    QVERIFY(editor("ResultEditor")->property("outdated").toBool());
    QVERIFY2(child<QLabel>("StatusLabel")->text().endsWith(status),
             qPrintable(child<QLabel>("StatusLabel")->text()));
    QCOMPARE(childProcessCount(), 0);
    qunsetenv("FAKE_INDENT_MODE");
    PreviewForm = nullptr;
}

void TestPreviewForm::switchingViews()
{
    openPreview();
    auto *tabs = child<QTabWidget>("ViewTabs");
    const QStringList pages = {QStringLiteral("ResultPage"), QStringLiteral("ComparePage"),
                               QStringLiteral("ChangesPage")};
    const QStringList titles = {text("格式化结果"), text("对照"), text("本次改动")};
    for (int index : {1, 2, 0, 1}) {
        QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, Qt::NoModifier,
                          tabs->tabBar()->tabRect(index).center());
        QCOMPARE(tabs->currentWidget()->objectName(), pages.at(index));
        QCOMPARE(tabs->tabText(index), titles.at(index));
    }

    // side by side: the source and the result, changed lines marked on both sides
    QsciScintilla *source = editor("SourceEditor");
    QsciScintilla *result = editor("CompareEditor");
    QCOMPARE(source->text(), QString::fromUtf8(previewSample()));
    QCOMPARE(result->text(), resultText());
    // the markers follow the text once the diff, on its worker thread, is done
    const auto marked = [](QsciScintilla *view, int marker) {
        int count = 0;
        for (int line = 0; line < view->lines(); ++line)
            count += (view->markersAtLine(line) & (1 << marker)) ? 1 : 0;
        return count;
    };
    QTRY_VERIFY_WITH_TIMEOUT(marked(source, 1) > 0 && marked(result, 0) > 0, HangMilliseconds);

    // and they scroll together
    PreviewForm->resize(800, 400);
    QApplication::processEvents();
    source->setFirstVisibleLine(100);
    QTRY_VERIFY_WITH_TIMEOUT(result->firstVisibleLine() > 50, HangMilliseconds);
    result->setFirstVisibleLine(0);
    QTRY_COMPARE_WITH_TIMEOUT(source->firstVisibleLine(), 0, HangMilliseconds);
}

void TestPreviewForm::failureMarksTheResultOutdated()
{
    openPreview();
    const QString good = resultText();
    m_windows->clickCell(TabSizeFour, 0);
    QVERIFY(m_windows->paramMemo()->parameterText().endsWith(QLatin1String("-T ")));
    auto *banner = child<QLabel>("OutdatedBanner");
    QTRY_VERIFY_WITH_TIMEOUT(banner->isVisible(), HangMilliseconds);
    QVERIFY(banner->text().contains(text("结果已过期")));
    QVERIFY(child<QPlainTextEdit>("MessagesMemo")->toPlainText().contains(QLatin1String("missing argument")));
    QCOMPARE(resultText(), good); // the last good result, shown as outdated
    QVERIFY(editor("ResultEditor")->property("outdated").toBool());
    QVERIFY(child<QLabel>("StatusLabel")->text().contains(text("失败")));

    // another source that fails too: nothing of the first one's result passes for its own
    m_windows->clickButton(PreviewForm, "SampleButton");
    QTRY_VERIFY_WITH_TIMEOUT(banner->text().contains(text("还没有可显示的结果")), HangMilliseconds);
    QVERIFY(resultText().isEmpty());

    m_windows->clickCell(TabSizeFour, 0);
    QTRY_VERIFY_WITH_TIMEOUT(banner->isHidden(), HangMilliseconds);
    QVERIFY(!child<QLabel>("StatusLabel")->text().contains(text("失败")));
    QCOMPARE(resultText(), good);
    QVERIFY(!editor("ResultEditor")->property("outdated").toBool());
}

void TestPreviewForm::openFileThroughTheDialog()
{
    openPreview();
    const QString path = m_files.filePath(text("用户 文件.c"));
    QVERIFY(writeAll(path, TabbedSource));
    const FileState before = stateOf(QFile::encodeName(path));
    m_windows->prompts.queueFiles({path});
    m_windows->clickButton(PreviewForm, "OpenFileButton");
    QCOMPARE(m_windows->prompts.fileRequests.size(), 1);
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(TabbedSource), HangMilliseconds);
    QVERIFY(child<QLabel>("SourceLabel")->text().contains(path));
    QVERIFY(stateOf(QFile::encodeName(path)) == before);

    // the dialog cancelled: the file stays; the sample button brings the sample back
    m_windows->clickButton(PreviewForm, "OpenFileButton");
    QTest::qWait(50);
    QCOMPARE(resultText(), expected(TabbedSource));
    m_windows->clickButton(PreviewForm, "SampleButton");
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(previewSample()), HangMilliseconds);
    QVERIFY(stateOf(QFile::encodeName(path)) == before);
}

void TestPreviewForm::dropOfAFileWithANonUtf8Name()
{
    openPreview();
    const QByteArray path = QFile::encodeName(m_files.path()) + "/caf\xe9 -x.c";
    QVERIFY(writeRaw(path, TabbedSource));
    const FileState before = stateOf(path);

    QMimeData mime;
    mime.setUrls({QUrl::fromEncoded("file://" + path.toPercentEncoding("/"))});
    const QPoint centre = PreviewForm->rect().center();
    QDragEnterEvent enter(centre, Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(PreviewForm, &enter);
    QVERIFY(enter.isAccepted());
    QDropEvent drop(QPointF(centre), Qt::CopyAction, &mime, Qt::LeftButton, Qt::NoModifier);
    QApplication::sendEvent(PreviewForm, &drop);
    QVERIFY(drop.isAccepted());

    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(TabbedSource), HangMilliseconds);
    QVERIFY(child<QLabel>("SourceLabel")->text().contains(QLatin1String("caf")));
    QVERIFY(m_windows->prompts.messages.isEmpty());
    QVERIFY(stateOf(path) == before);
    ::unlink(path.constData());
}

void TestPreviewForm::unreadableFileIsRefused()
{
    openPreview();
    QVERIFY(!PreviewForm->openSource(QFile::encodeName(m_files.filePath(QStringLiteral("missing.c")))));
    QVERIFY(!PreviewForm->openSource(QFile::encodeName(m_files.path())));
    const QByteArray fifo = QFile::encodeName(m_files.filePath(QStringLiteral("fifo.c")));
    QCOMPARE(::mkfifo(fifo.constData(), 0644), 0);
    {
        const HangGuard guard("opening a FIFO in the preview");
        QVERIFY(!PreviewForm->openSource(fifo));
    }
    const QString large = m_files.filePath(QStringLiteral("large.c"));
    QVERIFY(writeAll(large, QByteArray()));
    QCOMPARE(::truncate(QFile::encodeName(large).constData(), PreviewSourceFile::MaximumBytes + 1), 0);
    QVERIFY(!PreviewForm->openSource(QFile::encodeName(large)));
    const QStringList &messages = m_windows->prompts.messages;
    QCOMPARE(messages.size(), 4);
    for (const QString &message : messages)
        QVERIFY(message.startsWith(text("无法读取文件")));
    QVERIFY2(messages.at(2).contains(text("不是普通文件")), qPrintable(messages.at(2)));
    QVERIFY2(messages.at(3).contains(text("超过 4 MB")), qPrintable(messages.at(3)));
    // the sample stays
    QCOMPARE(resultText(), expected(previewSample()));
}

void TestPreviewForm::messagesLeadToTheSourceLine()
{
    openPreview();
    const QString path = m_files.filePath(QStringLiteral("open.c"));
    QVERIFY(writeAll(path, "int broken(int x)\n{\n  if (x > 0) {\n    x = x / 2;\n"));
    QVERIFY(PreviewForm->openSource(QFile::encodeName(path)));
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(readAll(path)), HangMilliseconds);
    auto *messages = child<QPlainTextEdit>("MessagesMemo");
    QVERIFY2(messages->toPlainText().contains(QLatin1String("open.c:5:")),
             qPrintable(messages->toPlainText()));
    QVERIFY(child<QLabel>("StatusLabel")->text().contains(text("indent 报告了源代码中的问题")));
    QVERIFY(child<QLabel>("OutdatedBanner")->isHidden()); // formatted, with a warning

    QTextCursor start = messages->textCursor();
    start.movePosition(QTextCursor::Start);
    QTest::mouseDClick(messages->viewport(), Qt::LeftButton, Qt::NoModifier,
                       messages->cursorRect(start).center() + QPoint(4, 0));
    QCOMPARE(child<QTabWidget>("ViewTabs")->currentWidget()->objectName(), QStringLiteral("ComparePage"));
    int line = -1;
    int index = -1;
    editor("SourceEditor")->getCursorPosition(&line, &index);
    QCOMPARE(line, 4); // indent's line 5, at the end of the file
}

void TestPreviewForm::tabsAreAsWideAsIndentCountedThem_data()
{
    QTest::addColumn<QString>("parameterText");
    QTest::addColumn<int>("tabWidth");
    QTest::newRow("default") << QStringLiteral("-kr ") << 8;
    QTest::newRow("-ts2") << QStringLiteral("-kr -ts2 ") << 2;
    QTest::newRow("later wins") << QStringLiteral("-ts2 -ts4 ") << 4;
    QTest::newRow("type name") << QStringLiteral("-ts2 -T -ts4 ") << 2;
}

void TestPreviewForm::tabsAreAsWideAsIndentCountedThem()
{
    QFETCH(QString, parameterText);
    QFETCH(int, tabWidth);
    openPreview();
    PreviewForm->setParameterText(parameterText);
    QTRY_COMPARE_WITH_TIMEOUT(editor("ResultEditor")->tabWidth(), tabWidth, HangMilliseconds);
    QCOMPARE(editor("SourceEditor")->tabWidth(), tabWidth);
}

void TestPreviewForm::unchangedLinesSitSideBySide()
{
    openPreview();
    const QString path = m_files.filePath(QStringLiteral("two_become_five.c"));
    const QByteArray source = testData("two_become_five.c");
    QVERIFY(writeAll(path, source));
    QVERIFY(PreviewForm->openSource(QFile::encodeName(path)));
    const QByteArray formatted = expectedBytes(source);
    const QVector<DiffLine> diff = diffLines(source, formatted);
    const QVector<DiffBlock> blocks = diffBlocks(diff);
    QVERIFY(std::any_of(blocks.cbegin(), blocks.cend(),
                        [](const DiffBlock &block) { return block.oldCount == 2 && block.newCount == 5; }));

    child<QTabWidget>("ViewTabs")->setCurrentWidget(child<QWidget>("ComparePage"));
    PreviewForm->resize(700, 300); // fewer rows than the texts: they scroll
    QsciScintilla *sourceView = editor("SourceEditor");
    QsciScintilla *resultView = editor("CompareEditor");
    QTRY_COMPARE_WITH_TIMEOUT(resultView->text(), QString::fromUtf8(formatted), HangMilliseconds);
    QTRY_VERIFY_WITH_TIMEOUT(!sourceView->annotation(5).isEmpty(),
                             HangMilliseconds); // the filler under the two lines
    for (const int top : {0, 3, 6, 0}) {
        sourceView->setFirstVisibleLine(top);
        QApplication::processEvents();
        for (const DiffLine &line : diff) {
            if (line.kind == DiffLine::Kind::Common)
                QCOMPARE(screenRow(sourceView, line.oldLine - 1), screenRow(resultView, line.newLine - 1));
        }
    }
    // the filler shows nowhere but beside the source
    QCOMPARE(editor("ResultEditor")->annotationDisplay(), QsciScintilla::AnnotationHidden);

    // horizontally too, either way
    sourceView->horizontalScrollBar()->setValue(40);
    QCOMPARE(resultView->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET), 40L);
    resultView->horizontalScrollBar()->setValue(0);
    QCOMPARE(sourceView->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET), 0L);

    // each pane says what it shows
    QCOMPARE(child<QLabel>("SourceHeader")->text(), text("源代码：two_become_five.c"));
    QCOMPARE(child<QLabel>("ResultHeader")->text(), text("结果：two_become_five.c"));
}

void TestPreviewForm::f7GoesFromChangeToChange()
{
    openPreview();
    PreviewForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(PreviewForm));
    PreviewForm->resize(800, 400);
    child<QTabWidget>("ViewTabs")->setCurrentWidget(child<QWidget>("ComparePage"));
    QsciScintilla *sourceView = editor("SourceEditor");
    const QVector<DiffLine> diff = diffLines(previewSample(), expectedBytes(previewSample()));
    const QVector<int> rows = sideBySideLayout(diffBlocks(diff)).blockRows;
    QVERIFY(rows.size() > 4);
    // wait for the diff: the markers come with the fillers
    const auto marked = [sourceView] {
        for (int line = 0; line < sourceView->lines(); ++line) {
            if (sourceView->markersAtLine(line))
                return true;
        }
        return false;
    };
    QTRY_VERIFY_WITH_TIMEOUT(marked(), HangMilliseconds);
    sourceView->setFirstVisibleLine(0);
    QTest::keyClick(PreviewForm, Qt::Key_F7);
    QCOMPARE(sourceView->firstVisibleLine(), std::max(0, rows.at(0) - SideBySideView::ContextRows));
    QTest::keyClick(PreviewForm, Qt::Key_F7);
    QTest::keyClick(PreviewForm, Qt::Key_F7);
    const int third = sourceView->firstVisibleLine();
    QCOMPARE(third, std::max(0, rows.at(2) - SideBySideView::ContextRows));
    QTest::keyClick(PreviewForm, Qt::Key_F7, Qt::ShiftModifier);
    QCOMPARE(sourceView->firstVisibleLine(), std::max(0, rows.at(1) - SideBySideView::ContextRows));

    // in "本次改动" it goes from hunk to hunk
    m_windows->clickCell(ProcedureNameStartsLine, 0);
    child<QTabWidget>("ViewTabs")->setCurrentWidget(child<QWidget>("ChangesPage"));
    QsciScintilla *changes = editor("ChangesEditor");
    QTRY_VERIFY_WITH_TIMEOUT(changes->text().startsWith(QLatin1String("@@ -")), HangMilliseconds);
    changes->setCursorPosition(0, 0);
    QTest::keyClick(PreviewForm, Qt::Key_F7);
    int line = 0;
    int index = 0;
    changes->getCursorPosition(&line, &index);
    QVERIFY(line > 0);
    QVERIFY(changes->text(line).startsWith(QLatin1String("@@ -")));
    QTest::keyClick(PreviewForm, Qt::Key_F7, Qt::ShiftModifier);
    changes->getCursorPosition(&line, &index);
    QCOMPARE(line, 0);
}

void TestPreviewForm::countsSayWhatTheToggleDid()
{
    openPreview();
    const QByteArray before = expectedBytes(previewSample());
    const int bracesOnIfLine = catalogueRowOf("-br");
    QVERIFY(m_windows->isChecked(bracesOnIfLine));
    QTRY_VERIFY_WITH_TIMEOUT(child<QLabel>("StatusLabel")->text().contains(text("与源代码相比：")) &&
                                 !child<QLabel>("StatusLabel")->text().contains(text("…")),
                             HangMilliseconds);
    const DiffCounts fromSource = systemDiffCounts(previewSample(), before);
    QVERIFY2(child<QLabel>("StatusLabel")
                 ->text()
                 .contains(text("与源代码相比：%1 行 → %2 行").arg(fromSource.removed).arg(fromSource.added)),
             qPrintable(child<QLabel>("StatusLabel")->text()));

    m_windows->clickCell(bracesOnIfLine, 0);
    const QByteArray after = expectedBytes(previewSample());
    const DiffCounts toggled = systemDiffCounts(before, after);
    QVERIFY(toggled.removed > 0 && toggled.added > toggled.removed); // braces of their own lines
    child<QTabWidget>("ViewTabs")->setCurrentWidget(child<QWidget>("ChangesPage"));
    const QString summary = text("切换 -br：%1 行 → %2 行").arg(toggled.removed).arg(toggled.added);
    QTRY_VERIFY2(child<QLabel>("ChangesLabel")->text().startsWith(summary),
                 qPrintable(child<QLabel>("ChangesLabel")->text() + QLatin1String(" / ") + summary));
}

void TestPreviewForm::gbkSourceIsShownDecodedAndFormattedFromItsBytes()
{
    openPreview();
    const QByteArray path = QFile::encodeName(m_files.filePath(QStringLiteral("gbk_comments.c")));
    const QByteArray bytes = testData("gbk_comments.c");
    QVERIFY(writeRaw(path, bytes));
    const FileState before = stateOf(path);
    QVERIFY(PreviewForm->openSource(path));
    auto *encoding = child<QComboBox>("EncodingBox");
    QCOMPARE(encoding->currentText(), text("GB18030"));
    QVERIFY(editor("SourceEditor")->text().contains(text("/* 链表操作：插入与查找 */")));
    // indent got the bytes: its result, decoded the same way, is what the view shows
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), decodeSource(expectedBytes(bytes), SourceEncoding::Gb18030),
                              HangMilliseconds);
    QVERIFY(resultText().contains(text("/* 找到了 */")));

    // another encoding only changes what is shown
    encoding->setCurrentIndex(encoding->findText(text("Latin-1")));
    emit encoding->activated(encoding->currentIndex());
    QCOMPARE(previewForm()->shownEncoding(), SourceEncoding::Latin1);
    QVERIFY(!editor("SourceEditor")->text().contains(text("链表")));
    QCOMPARE(editor("SourceEditor")->text(), QString::fromLatin1(bytes));
    QCOMPARE(resultText(), QString::fromLatin1(expectedBytes(bytes)));
    QVERIFY(stateOf(path) == before);
}

void TestPreviewForm::crlfLineEndsAreNamed()
{
    openPreview();
    const QString path = m_files.filePath(QStringLiteral("crlf.c"));
    QVERIFY(writeAll(path, QByteArray(TabbedSource).replace("\n", "\r\n")));
    QVERIFY(PreviewForm->openSource(QFile::encodeName(path)));
    QTRY_VERIFY2(child<QLabel>("StatusLabel")->text().contains(text("CRLF 行尾")),
                 qPrintable(child<QLabel>("StatusLabel")->text()));
    m_windows->clickButton(PreviewForm, "SampleButton");
    QTRY_VERIFY_WITH_TIMEOUT(!child<QLabel>("StatusLabel")->text().contains(text("行尾")), HangMilliseconds);
    QVERIFY(child<QLabel>("StatusLabel")->text().contains(text("与源代码相比")));
}

void TestPreviewForm::geometrySplitterAndViewAreRemembered()
{
    openPreview();
    const QString settingsFile = previewSettingsPath(m_windows->userConfigDirectory());
    child<QTabWidget>("ViewTabs")->setCurrentWidget(child<QWidget>("ComparePage"));
    PreviewForm->setGeometry(40, 50, 640, 480);
    child<QSplitter>("CompareSplitter")->setSizes({200, 400});
    const QList<int> splitter = child<QSplitter>("CompareSplitter")->sizes();
    const QRect geometry = PreviewForm->geometry();
    QTest::keyClick(PreviewForm, Qt::Key_Escape); // closing saves
    QTRY_VERIFY_WITH_TIMEOUT(!PreviewForm->isVisible(), HangMilliseconds);
    const QByteArray saved = readAll(settingsFile);
    QVERIFY(!saved.isEmpty());
    QVERIFY(!readAll(m_windows->configPath()).contains("geometry")); // never in the style file

    // a later start in the same configuration directory
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(QDir().mkpath(m_windows->userConfigDirectory()));
    QVERIFY(writeAll(previewSettingsPath(m_windows->userConfigDirectory()), saved));
    QVERIFY(m_windows->start());
    openPreview();
    // the size comes back, beside the main window, which starts centred again, rather than over its grid
    QCOMPARE(PreviewForm->size(), geometry.size());
    QVERIFY(!PreviewForm->frameGeometry().intersects(MainForm->frameGeometry()));
    QCOMPARE(child<QTabWidget>("ViewTabs")->currentWidget()->objectName(), QStringLiteral("ComparePage"));
    QCOMPARE(child<QSplitter>("CompareSplitter")->sizes(), splitter);

    // a settings file that is no file is refused at once, and said
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(QDir().mkpath(m_windows->userConfigDirectory()));
    QVERIFY(::mkfifo(QFile::encodeName(previewSettingsPath(m_windows->userConfigDirectory())).constData(),
                     0600) == 0);
    QVERIFY(m_windows->start());
    openPreview();
    QVERIFY(child<QLabel>("StatusLabel")->text().contains(text("窗口设置无法读取")));
}

void TestPreviewForm::ownShortcutsAndTheMainWindowsWork()
{
    openPreview();
    PreviewForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(PreviewForm));
    // Ctrl+O asks for a file, here cancelled
    QTest::keyClick(PreviewForm, Qt::Key_O, Qt::ControlModifier);
    QCOMPARE(m_windows->prompts.fileRequests.size(), 1);
    // the main window's Ctrl+D, its directory job, here cancelled at its first question
    m_windows->prompts.queueOkCancel(false);
    QTest::keyClick(PreviewForm, Qt::Key_D, Qt::ControlModifier);
    QCOMPARE(m_windows->prompts.informationQuestions.size(), 1);
    // Esc closes it, and Ctrl+P brings it back
    QTest::keyClick(PreviewForm, Qt::Key_Escape);
    QVERIFY(!PreviewForm->isVisible());
    MainForm->activateWindow();
    QVERIFY(QTest::qWaitForWindowActive(MainForm));
    QTest::keyClick(MainForm, Qt::Key_P, Qt::ControlModifier);
    QTRY_VERIFY_WITH_TIMEOUT(PreviewForm->isVisible(), HangMilliseconds);
}

void TestPreviewForm::sourceLabelIsReadable()
{
    openPreview();
    auto *label = child<QLabel>("SourceLabel");
    const QImage image = label->grab().toImage();
    QHash<QRgb, int> counts;
    for (int y = 0; y < image.height(); ++y) {
        for (int x = 0; x < image.width(); ++x)
            ++counts[image.pixel(x, y)];
    }
    QRgb background = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() > counts.value(background))
            background = it.key();
    }
    double best = 0;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it)
        best = std::max(best, contrast(QColor(it.key()), QColor(background)));
    QVERIFY2(best >= 4.5, qPrintable(QString::number(best)));
}

void TestPreviewForm::scratchDirectoryIsMadeWhenFirstNeeded()
{
    QTemporaryDir temporary;
    const QByteArray previous = qgetenv("TMPDIR");
    const QByteArray previousRuntime = qgetenv("XDG_RUNTIME_DIR");
    qputenv("TMPDIR", QFile::encodeName(temporary.path()));
    qunsetenv("XDG_RUNTIME_DIR"); // else the directory goes there
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
    QCOMPARE(scratchDirectoriesIn(temporary.path()), QStringList());
    openPreview();
    QCOMPARE(scratchDirectoriesIn(temporary.path()).size(), 1);
    m_windows.reset();
    QCOMPARE(scratchDirectoriesIn(temporary.path()), QStringList());
    qputenv("TMPDIR", previous);
    qputenv("XDG_RUNTIME_DIR", previousRuntime);
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
}

// The column at which the first non-blank of the line holding text is drawn, in the editor's own layout.
int drawnColumn(QsciScintilla *view, const QString &text)
{
    int line = 0;
    while (line < view->lines() && !view->text(line).contains(text))
        ++line;
    if (line == view->lines())
        return -1;
    const QString lineText = view->text(line);
    const long start = view->SendScintilla(QsciScintillaBase::SCI_POSITIONFROMLINE, line);
    const long first = start + long(lineText.indexOf(QRegularExpression(QStringLiteral("\\S"))));
    const long x0 = view->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, start);
    const long x1 = view->SendScintilla(QsciScintillaBase::SCI_POINTXFROMPOSITION, 0UL, first);
    const double space = view->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH,
                                             QsciScintillaBase::STYLE_DEFAULT, "          ") /
                         10.0;
    return int(std::lround(double(x1 - x0) / space));
}

void TestPreviewForm::theSideBySideResultUsesTheStylesTabSize()
{
    openPreview();
    m_windows->clickListEntry(1);
    QCOMPARE(m_windows->listEntries().at(1), QStringLiteral("K&&R"));
    m_windows->clickCell(TabSizeFour, 0);
    QCOMPARE(m_windows->paramMemo()->parameterText(), QStringLiteral("-kr -ts4 "));
    QTRY_COMPARE_WITH_TIMEOUT(resultText(), expected(previewSample()), HangMilliseconds);
    QVERIFY(resultText().contains(QLatin1String("\tint kind;")));

    auto *tabs = child<QTabWidget>("ViewTabs");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, Qt::NoModifier, tabs->tabBar()->tabRect(1).center());
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("ComparePage"));
    QApplication::processEvents();
    QCOMPARE(drawnColumn(editor("CompareEditor"), QStringLiteral("int kind;")), 4);
    QCOMPARE(drawnColumn(editor("ResultEditor"), QStringLiteral("int kind;")), 4);
    QCOMPARE(drawnColumn(editor("SourceEditor"), QStringLiteral("int kind;")), 4);
}

void TestPreviewForm::cppInputIsNamed_data()
{
    QTest::addColumn<QString>("name");
    QTest::addColumn<QByteArray>("source");
    QTest::addColumn<QString>("notice"); // empty: none
    QTest::newRow("by extension") << "grid.cpp" << QByteArray("int main(void)\n{\nreturn 0;\n}\n")
                                  << "（.cpp）";
    QTest::newRow("by a template") << "grid.h" << QByteArray("template <typename T> T twice(T x);\n")
                                   << "（template <）";
    QTest::newRow("C") << "grid.c" << QByteArray(TabbedSource) << "";
}

void TestPreviewForm::cppInputIsNamed()
{
    QFETCH(QString, name);
    QFETCH(QByteArray, source);
    QFETCH(QString, notice);
    openPreview();
    auto *messages = child<QPlainTextEdit>("MessagesMemo");
    QVERIFY(!messages->toPlainText().contains(QLatin1String("C++"))); // the sample is C
    const QString path = m_files.filePath(name);
    QVERIFY(writeAll(path, source));
    m_windows->prompts.queueFiles({path});
    m_windows->clickButton(PreviewForm, "OpenFileButton");
    QTRY_VERIFY(child<QLabel>("SourceLabel")->text().contains(path));
    QTRY_COMPARE(resultText(), expected(source));
    if (notice.isEmpty())
        QVERIFY(!messages->toPlainText().contains(QLatin1String("C++")));
    else
        QVERIFY2(messages->toPlainText().contains(text("看起来是 C++") + notice),
                 qPrintable(messages->toPlainText()));
}

void TestPreviewForm::sideBySideScrollsAsFarAsTheLongestLine()
{
    openPreview();
    child<QTabWidget>("ViewTabs")->setCurrentWidget(child<QWidget>("ComparePage"));
    const QByteArray longLine = "int numbers[] = {" + QByteArray("1, ").repeated(60) + "1};\n";
    const QString path = m_files.filePath(QStringLiteral("wide.c"));
    QVERIFY(writeAll(path, "int a;\n" + longLine + "int b;\n"));
    m_windows->prompts.queueFiles({path});
    m_windows->clickButton(PreviewForm, "OpenFileButton");
    QsciScintilla *source = editor("SourceEditor");
    QTRY_COMPARE(source->text().toUtf8(), "int a;\n" + longLine + "int b;\n");
    QTRY_VERIFY(!editor("CompareEditor")->text().isEmpty());
    QTRY_VERIFY(source->horizontalScrollBar()->maximum() > 0);
    const long charWidth =
        source->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH, QsciScintillaBase::STYLE_DEFAULT, "0");
    // both panes scroll together, as far as the longer of their longest lines and no further
    const long widest = std::max(source->lineLength(1), editor("CompareEditor")->lineLength(1)) * charWidth;
    for (const char *name : {"SourceEditor", "CompareEditor"}) {
        const long range =
            editor(name)->horizontalScrollBar()->maximum() + editor(name)->horizontalScrollBar()->pageStep();
        QVERIFY2(range <= widest + 4 * charWidth + 200,
                 qPrintable(QString::number(range) + " > " + QString::number(widest)));
        QVERIFY2(range >= widest - 4 * charWidth,
                 qPrintable(QString::number(range) + " < " + QString::number(widest)));
    }
}

QTEST_MAIN(TestPreviewForm)
#include "tst_previewform.moc"
