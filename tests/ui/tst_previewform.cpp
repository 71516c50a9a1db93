#include "Application.h"
#include "ChildProcesses.h"
#include "FormatterRun.h"
#include "Main.h"
#include "Preview.h"
#include "TestFiles.h"
#include "ZaboWindows.h"

#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QApplication>
#include <QDir>
#include <QFileInfo>
#include <QLabel>
#include <QMimeData>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QRegularExpression>
#include <QTabBar>
#include <QTabWidget>
#include <QTest>
#include <QTextCursor>
#include <QUrl>

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
    void theSideBySideResultUsesTheStylesTabSize();

private:
    // What a job makes of source with the parameter text the main window shows now.
    QString expected(const QByteArray &source) const;
    void openPreview();

    std::unique_ptr<ZaboWindows> m_windows;
    QTemporaryDir m_files;
};

void TestPreviewForm::init()
{
    qunsetenv("FAKE_INDENT_MODE");
    m_windows = std::make_unique<ZaboWindows>();
    QVERIFY(m_windows->start());
    QVERIFY(PreviewForm);
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
    const QString directory = m_files.filePath(QStringLiteral("expected"));
    QDir().mkpath(directory);
    const QString file = directory + QStringLiteral("/expected.c");
    writeAll(file, source);
    FormatterRequest request;
    request.formatterPath = MainForm->formatterPath();
    request.files = {file};
    request.parameterText = m_windows->paramMemo()->parameterText();
    FormatterRunner().run(request);
    return QString::fromUtf8(readAll(file));
}

void TestPreviewForm::openPreview()
{
    QTest::keyClick(MainForm, Qt::Key_P, Qt::ControlModifier);
    QTRY_VERIFY(PreviewForm->isVisible());
    QTRY_COMPARE(resultText(), expected(previewSample()));
}

void TestPreviewForm::ctrlPOpensThePreviewOfTheSample()
{
    // hidden, it runs nothing
    m_windows->clickCell(ProcedureNameStartsLine, 0);
    QVERIFY(!PreviewForm->runner().isRunning());

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
    QTRY_COMPARE(resultText(), expected(previewSample()));
    QVERIFY(resultText() != before);

    // "本次改动" names the lines that toggle changed, against the result before it
    child<QTabWidget>("ViewTabs")->setCurrentIndex(2);
    QTRY_VERIFY(child<QLabel>("ChangesLabel")->text().contains(text("改动了")));
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
    QTRY_COMPARE(resultText(), expected(previewSample()));
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
    QTRY_COMPARE(resultText(), expected(previewSample()));
    QTRY_VERIFY(!PreviewForm->runner().isRunning());
    QCOMPARE(childProcessCount(), 0);
    QVERIFY(child<QLabel>("OutdatedBanner")->isHidden());
}

void TestPreviewForm::formatterFailuresAreShownAsFailures_data()
{
    QTest::addColumn<QByteArray>("mode");
    QTest::addColumn<QString>("message");
    QTest::newRow("crash") << QByteArray("crash") << text("indent 异常终止");
    QTest::newRow("hang") << QByteArray("hang") << text("秒没有完成，已被终止");
    QTest::newRow("status 4") << QByteArray("exit:4") << text("indent 以状态 4 结束");
}

void TestPreviewForm::formatterFailuresAreShownAsFailures()
{
    QFETCH(QByteArray, mode);
    QFETCH(QString, message);
    m_windows.reset(); // a window of its own, over the fake formatter

    qputenv("FAKE_INDENT_MODE", mode);
    ScriptedPrompts prompts;
    PreviewForm = new TPreviewForm(QStringLiteral(FAKE_INDENT_PATH), prompts);
    const std::unique_ptr<TPreviewForm> form(PreviewForm);
    form->runner().setTimeLimit(300);
    form->setParameterText(QStringLiteral("-kr "));
    form->show();
    auto *banner = child<QLabel>("OutdatedBanner");
    QTRY_VERIFY(banner->isVisible());
    QVERIFY(banner->text().contains(text("还没有可显示的结果")));
    QVERIFY2(child<QPlainTextEdit>("MessagesMemo")->toPlainText().contains(message),
             qPrintable(child<QPlainTextEdit>("MessagesMemo")->toPlainText()));
    QVERIFY(editor("ResultEditor")->property("outdated").toBool());
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
    QTRY_VERIFY(marked(source, 1) > 0 && marked(result, 0) > 0);

    // and they scroll together
    PreviewForm->resize(800, 400);
    QApplication::processEvents();
    source->setFirstVisibleLine(100);
    QTRY_VERIFY(result->firstVisibleLine() > 50);
    result->setFirstVisibleLine(0);
    QTRY_COMPARE(source->firstVisibleLine(), 0);
}

void TestPreviewForm::failureMarksTheResultOutdated()
{
    openPreview();
    const QString good = resultText();
    m_windows->clickCell(TabSizeFour, 0);
    QVERIFY(m_windows->paramMemo()->parameterText().endsWith(QLatin1String("-T ")));
    auto *banner = child<QLabel>("OutdatedBanner");
    QTRY_VERIFY(banner->isVisible());
    QVERIFY(banner->text().contains(text("结果已过期")));
    QVERIFY(child<QPlainTextEdit>("MessagesMemo")->toPlainText().contains(QLatin1String("missing argument")));
    QCOMPARE(resultText(), good); // the last good result, shown as outdated
    QVERIFY(editor("ResultEditor")->property("outdated").toBool());
    QVERIFY(child<QLabel>("StatusLabel")->text().contains(text("失败")));

    // another source that fails too: nothing of the first one's result passes for its own
    m_windows->clickButton(PreviewForm, "SampleButton");
    QTRY_VERIFY(banner->text().contains(text("还没有可显示的结果")));
    QVERIFY(resultText().isEmpty());

    m_windows->clickCell(TabSizeFour, 0);
    QTRY_VERIFY(banner->isHidden());
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
    QTRY_COMPARE(resultText(), expected(TabbedSource));
    QVERIFY(child<QLabel>("SourceLabel")->text().contains(path));
    QVERIFY(stateOf(QFile::encodeName(path)) == before);

    // the dialog cancelled: the file stays; the sample button brings the sample back
    m_windows->clickButton(PreviewForm, "OpenFileButton");
    QTest::qWait(50);
    QCOMPARE(resultText(), expected(TabbedSource));
    m_windows->clickButton(PreviewForm, "SampleButton");
    QTRY_COMPARE(resultText(), expected(previewSample()));
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

    QTRY_COMPARE(resultText(), expected(TabbedSource));
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
    QCOMPARE(m_windows->prompts.messages.size(), 2);
    QVERIFY(m_windows->prompts.messages.first().startsWith(text("无法读取文件")));
    // the sample stays
    QCOMPARE(resultText(), expected(previewSample()));
}

void TestPreviewForm::messagesLeadToTheSourceLine()
{
    openPreview();
    const QString path = m_files.filePath(QStringLiteral("open.c"));
    QVERIFY(writeAll(path, "int broken(int x)\n{\n  if (x > 0) {\n    x = x / 2;\n"));
    QVERIFY(PreviewForm->openSource(QFile::encodeName(path)));
    QTRY_COMPARE(resultText(), expected(readAll(path)));
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
    QTRY_COMPARE(editor("ResultEditor")->tabWidth(), tabWidth);
    QCOMPARE(editor("SourceEditor")->tabWidth(), tabWidth);
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
    QTRY_COMPARE(resultText(), expected(previewSample()));
    QVERIFY(resultText().contains(QLatin1String("\tint kind;")));

    auto *tabs = child<QTabWidget>("ViewTabs");
    QTest::mouseClick(tabs->tabBar(), Qt::LeftButton, Qt::NoModifier, tabs->tabBar()->tabRect(1).center());
    QCOMPARE(tabs->currentWidget()->objectName(), QStringLiteral("ComparePage"));
    QApplication::processEvents();
    QCOMPARE(drawnColumn(editor("CompareEditor"), QStringLiteral("int kind;")), 4);
    QCOMPARE(drawnColumn(editor("ResultEditor"), QStringLiteral("int kind;")), 4);
    QCOMPARE(drawnColumn(editor("SourceEditor"), QStringLiteral("int kind;")), 4);
}

QTEST_MAIN(TestPreviewForm)
#include "tst_previewform.moc"
