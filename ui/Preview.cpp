#include "Preview.h"
#include "ui_Preview.h"

#include "FormatterRun.h"
#include "JobPrompts.h"
#include "LineDiff.h"
#include "WindowStyle.h"

#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciscintilla.h>

#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QUrl>

TPreviewForm *PreviewForm = nullptr;

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

enum Marker { AddedLine = 0, RemovedLine = 1, HunkHeader = 2, AddedMargin = 3, RemovedMargin = 4 };
constexpr int NumberMargin = 0;
constexpr int MarkerMargin = 1;
const QColor AddedColour(0xd7, 0xf5, 0xd7);
const QColor RemovedColour(0xfa, 0xd8, 0xd8);
const QColor HeaderColour(0xdd, 0xe6, 0xf0);
const QColor OutdatedPaper(0xe4, 0xe4, 0xe4);
constexpr int BusyNoticeMilliseconds = 150;

void setupEditor(QsciScintilla *editor, bool numbersAsText = false)
{
    editor->setUtf8(true);
    editor->setReadOnly(true);
    auto *lexer = new QsciLexerCPP(editor);
    lexer->setFont(QFont(QStringLiteral("Consolas"), 10));
    lexer->setDefaultFont(QFont(QStringLiteral("Consolas"), 10));
    editor->setLexer(lexer);
    editor->setTabWidth(8); // as indent itself counts a tab
    if (numbersAsText)      // old and new line numbers, set line by line
        editor->setMarginType(NumberMargin, QsciScintilla::TextMarginRightJustified);
    else
        editor->setMarginLineNumbers(NumberMargin, true);
    editor->setMarginWidth(NumberMargin,
                           numbersAsText ? QStringLiteral("000000 000000 ") : QStringLiteral("000000"));
    editor->setMarginType(MarkerMargin, QsciScintilla::SymbolMargin);
    editor->setMarginWidth(MarkerMargin, 6);
    editor->setMarginMarkerMask(MarkerMargin, (1 << AddedMargin) | (1 << RemovedMargin));
    editor->setMarginMarkerMask(NumberMargin, 0);
    editor->markerDefine(QsciScintilla::Background, AddedLine);
    editor->setMarkerBackgroundColor(AddedColour, AddedLine);
    editor->markerDefine(QsciScintilla::Background, RemovedLine);
    editor->setMarkerBackgroundColor(RemovedColour, RemovedLine);
    editor->markerDefine(QsciScintilla::Background, HunkHeader);
    editor->setMarkerBackgroundColor(HeaderColour, HunkHeader);
    editor->markerDefine(QsciScintilla::FullRectangle, AddedMargin);
    editor->setMarkerBackgroundColor(QColor(0x2e, 0xa0, 0x43), AddedMargin);
    editor->markerDefine(QsciScintilla::FullRectangle, RemovedMargin);
    editor->setMarkerBackgroundColor(QColor(0xcf, 0x22, 0x2e), RemovedMargin);
    // drops go to the window, which opens the file instead of pasting a URL
    editor->setAcceptDrops(false);
    editor->viewport()->setAcceptDrops(false);
}

// Replaces the editor's text and keeps the part of it the user was looking at in view.
void setEditorText(QsciScintilla *editor, const QByteArray &bytes)
{
    const int firstLine = editor->firstVisibleLine();
    editor->setText(QString::fromUtf8(bytes));
    editor->markerDeleteAll();
    editor->setFirstVisibleLine(firstLine);
}

void markLine(QsciScintilla *editor, int line, Marker background, Marker margin)
{
    editor->SendScintilla(QsciScintillaBase::SCI_MARKERADDSET, static_cast<unsigned long>(line),
                          static_cast<long>((1 << background) | (1 << margin)));
}

// The tab size indent formats with, so that the views line up what it aligned: the last "-tsN" that
// is not a bare "-T"'s type name, else indent's default of 8.
int tabSizeOf(const QStringList &options)
{
    int size = 8;
    for (int i = 0; i < options.size(); ++i) {
        const QString &option = options.at(i);
        if (option == QLatin1String("-T")) {
            ++i;
            continue;
        }
        bool number = false;
        const int value = option.startsWith(QLatin1String("-ts")) ? option.mid(3).toInt(&number) : 0;
        if (number && value > 0)
            size = value;
    }
    return size;
}

// As splitLines counts them: a last line without a line feed is a line too.
int lineCount(const QByteArray &text)
{
    return int(text.count('\n')) + (text.isEmpty() || text.endsWith('\n') ? 0 : 1);
}

QString failureText(const PreviewResult &result, int timeLimitMilliseconds)
{
    using Outcome = PreviewResult::Outcome;
    switch (result.outcome) {
    case Outcome::Finished:
        return text("indent 以状态 %1 结束，没有格式化。").arg(result.exitCode);
    case Outcome::Crashed:
        return text("indent 异常终止：%1").arg(result.errorString);
    case Outcome::FailedToStart:
        return text("indent 无法启动：%1").arg(result.errorString);
    case Outcome::TimedOut:
        return text("indent 超过 %1 秒没有完成，已被终止。").arg(timeLimitMilliseconds / 1000.0);
    case Outcome::ScratchFailed:
        return text("无法写入或读回预览用的临时副本：%1").arg(result.errorString);
    }
    return QString();
}

} // namespace

TPreviewForm::TPreviewForm(const QString &formatterPath, JobPrompts &prompts, QWidget *parent)
    : QWidget(parent)
    , ui(std::make_unique<Ui::TPreviewForm>())
    , m_prompts(prompts)
    , m_runner(formatterPath)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window);
    applyWindowStyle(this);
    setupEditor(ui->ResultEditor);
    setupEditor(ui->SourceEditor);
    setupEditor(ui->CompareEditor);
    setupEditor(ui->ChangesEditor, true);
    // one document, with its markers, behind both views of the result
    ui->CompareEditor->setDocument(ui->ResultEditor->document());
    ui->MessagesSplitter->setStretchFactor(0, 5);
    ui->MessagesSplitter->setStretchFactor(1, 1);
    ui->MessagesMemo->setAcceptDrops(false);
    ui->MessagesMemo->viewport()->setAcceptDrops(false);
    ui->MessagesMemo->viewport()->installEventFilter(this);

    m_busyNotice.setSingleShot(true);
    m_busyNotice.setInterval(BusyNoticeMilliseconds);
    connect(&m_busyNotice, &QTimer::timeout, this, &TPreviewForm::showStatus);
    connect(ui->OpenFileButton, &QPushButton::clicked, this, &TPreviewForm::OpenFileButtonClick);
    connect(ui->SampleButton, &QPushButton::clicked, this, &TPreviewForm::SampleButtonClick);
    connect(&m_runner, &PreviewRunner::finished, this, &TPreviewForm::runnerFinished);
    connect(&m_runner, &PreviewRunner::diffsReady, this, &TPreviewForm::showDiffs);
    // the changes view is built when it is looked at: a big file's changes cost time to lay out
    connect(ui->ViewTabs, &QTabWidget::currentChanged, this, [this] {
        if (ui->ViewTabs->currentWidget() == ui->ChangesPage)
            showChanges();
    });
    // Scintilla reports every scroll, by bar, wheel, keyboard or call, as an update of its view
    connect(ui->SourceEditor, &QsciScintillaBase::SCN_UPDATEUI, this, [this](int updated) {
        if (updated & QsciScintillaBase::SC_UPDATE_V_SCROLL)
            syncScroll(ui->SourceEditor, ui->CompareEditor, m_sourceToResult);
    });
    connect(ui->CompareEditor, &QsciScintillaBase::SCN_UPDATEUI, this, [this](int updated) {
        if (updated & QsciScintillaBase::SC_UPDATE_V_SCROLL)
            syncScroll(ui->CompareEditor, ui->SourceEditor, m_resultToSource);
    });

    SampleButtonClick();
}

TPreviewForm::~TPreviewForm() = default;

void TPreviewForm::setParameterText(const QString &text)
{
    if (text == m_parameterText)
        return; // a redraw that rebuilt the same text
    m_parameterText = text;
    requestPreview();
}

void TPreviewForm::OpenFileButtonClick()
{
    JobPrompts::OpenFilesRequest request;
    request.title = text("打开要预览的文件");
    request.filters = {text("C/C++ 源文件 (*.c *.h *.cpp *.hpp)"), text("所有文件 (*)")};
    request.initialDirectory = m_lastDirectory.isEmpty() ? QDir::homePath() : m_lastDirectory;
    const JobPrompts::OpenFilesAnswer answer = m_prompts.openFiles(request);
    if (answer.files.isEmpty())
        return;
    openSource(QFile::encodeName(answer.files.first()));
}

void TPreviewForm::SampleButtonClick()
{
    setSource(previewSample(), text("示例代码"), previewSampleName());
}

bool TPreviewForm::openSource(const QByteArray &localPath)
{
    const QString shownPath = QFile::decodeName(localPath);
    const PreviewSourceFile file = readPreviewSource(localPath);
    if (!file.ok) {
        m_prompts.ShowMessage(text("无法读取文件“%1”：%2").arg(shownPath, file.error));
        return false;
    }
    m_lastDirectory = QFile::decodeName(localPath.left(localPath.lastIndexOf('/') + 1));
    setSource(file.text, shownPath, previewCopyName(localPath));
    return true;
}

bool TPreviewForm::eventFilter(QObject *watched, QEvent *event)
{
    if (watched == ui->MessagesMemo->viewport() && event->type() == QEvent::MouseButtonDblClick) {
        const QPoint position = static_cast<QMouseEvent *>(event)->position().toPoint();
        showSourceLine(ui->MessagesMemo->cursorForPosition(position).block().text());
        return true;
    }
    return QWidget::eventFilter(watched, event);
}

void TPreviewForm::showSourceLine(const QString &message)
{
    // indent names the place as "file:line:"; the copy's name is the source's own
    static const QRegularExpression place(QStringLiteral(":(\\d+):"));
    const QRegularExpressionMatch match = place.match(message);
    const int line = match.hasMatch() ? match.captured(1).toInt() - 1 : -1;
    if (line < 0 || line >= ui->SourceEditor->lines())
        return;
    ui->ViewTabs->setCurrentWidget(ui->ComparePage);
    ui->SourceEditor->setCursorPosition(line, 0);
    ui->SourceEditor->setSelection(line, 0, line, ui->SourceEditor->text(line).length());
    ui->SourceEditor->ensureLineVisible(line);
    ui->SourceEditor->setFocus();
}

void TPreviewForm::showEvent(QShowEvent *event)
{
    QWidget::showEvent(event);
    if (m_pending)
        requestPreview();
}

void TPreviewForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    // nobody looks: no formatter keeps running for a hidden window, the next showing starts afresh
    if (m_running) {
        m_runner.cancel();
        m_running = false;
        m_busyNotice.stop();
        m_pending = true;
    }
}

void TPreviewForm::dragEnterEvent(QDragEnterEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (!urls.isEmpty() && urls.first().isLocalFile())
        event->acceptProposedAction();
}

void TPreviewForm::dropEvent(QDropEvent *event)
{
    const QList<QUrl> urls = event->mimeData()->urls();
    if (urls.isEmpty() || !urls.first().isLocalFile())
        return;
    // the encoded path keeps bytes that are not UTF-8, which toLocalFile() would replace
    openSource(QByteArray::fromPercentEncoding(urls.first().path(QUrl::FullyEncoded).toLatin1()));
    event->acceptProposedAction();
}

void TPreviewForm::setSource(const QByteArray &bytes, const QString &displayName, const QString &copyName)
{
    m_source = bytes;
    m_sourceName = displayName;
    m_copyName = copyName;
    ++m_sourceGeneration;
    ui->SourceLabel->setText(text("源代码：%1（只读取，不会被修改）").arg(displayName));
    setWindowTitle(text("样式预览 - %1").arg(displayName));
    ui->SourceEditor->setText(QString::fromUtf8(bytes));
    ui->SourceEditor->markerDeleteAll();
    // nothing of the previous source may pass for a result of this one
    m_lastGood.reset();
    ui->ResultEditor->setText(QString());
    ui->ResultEditor->markerDeleteAll();
    m_changes = PreviewResult();
    m_changesShown = false;
    if (ui->ViewTabs->currentWidget() == ui->ChangesPage)
        showChanges();
    m_sourceToResult.clear();
    m_resultToSource.clear();
    m_status.clear();
    requestPreview();
}

void TPreviewForm::requestPreview()
{
    if (!isVisible()) {
        m_pending = true;
        return;
    }
    m_pending = false;
    PreviewRequest request;
    request.source = m_source;
    request.fileName = m_copyName;
    request.parameterText = m_parameterText;
    if (m_lastGood && m_lastGood->sourceGeneration == m_sourceGeneration) {
        request.previousResult = m_lastGood->result.formatted;
        request.comparePrevious = true;
    }
    m_runner.format(request);
    m_running = true;
    // a run that ends at once is never announced: the repaint would cost more than it tells
    m_busyNotice.start();
}

void TPreviewForm::runnerFinished(const PreviewResult &result)
{
    m_running = false;
    m_busyNotice.stop();
    if (result.hasOutput())
        showResult(result);
    else
        showFailure(result);
    showStatus();
}

void TPreviewForm::showResult(const PreviewResult &result)
{
    setOutdated(false);
    ui->OutdatedBanner->hide();
    ui->MessagesMemo->setPlainText(QString::fromLocal8Bit(result.messages));
    const int tabSize = tabSizeOf(formatterOptions(result.request.parameterText));
    if (tabSize != m_tabSize) {
        m_tabSize = tabSize;
        // told to every view: the compare view shares the result's document, which holds the size,
        // yet lays its lines out again only when told itself
        for (QsciScintilla *editor :
             {ui->ResultEditor, ui->SourceEditor, ui->CompareEditor, ui->ChangesEditor})
            editor->setTabWidth(tabSize);
    }
    const int compareLine = ui->CompareEditor->firstVisibleLine();
    setEditorText(ui->ResultEditor, result.formatted);
    ui->CompareEditor->setFirstVisibleLine(compareLine);
    ui->SourceEditor->markerDeleteAll();
    m_sourceToResult.clear();
    m_resultToSource.clear();
    // the runner drops results of requests that a newer one replaced, so this is the current source's
    m_lastGood = GoodResult{result, m_sourceGeneration};
    m_status = statusText(result, text("…"));
}

void TPreviewForm::showDiffs(const PreviewResult &result)
{
    ui->SourceEditor->markerDeleteAll();
    m_sourceToResult.fill(0, lineCount(result.request.source));
    m_resultToSource.fill(0, lineCount(result.formatted));
    int oldLines = 0;
    int newLines = 0;
    for (const DiffLine &line : result.sourceDiff) {
        switch (line.kind) {
        case DiffLine::Kind::Common:
            oldLines = line.oldLine;
            newLines = line.newLine;
            m_sourceToResult[oldLines - 1] = newLines - 1;
            m_resultToSource[newLines - 1] = oldLines - 1;
            break;
        case DiffLine::Kind::Removed:
            m_sourceToResult[line.oldLine - 1] = newLines;
            markLine(ui->SourceEditor, line.oldLine - 1, RemovedLine, RemovedMargin);
            break;
        case DiffLine::Kind::Added:
            m_resultToSource[line.newLine - 1] = oldLines;
            markLine(ui->ResultEditor, line.newLine - 1, AddedLine, AddedMargin);
            break;
        }
    }
    syncScroll(ui->SourceEditor, ui->CompareEditor, m_sourceToResult);
    m_changes = result;
    m_changesShown = false;
    if (ui->ViewTabs->currentWidget() == ui->ChangesPage)
        showChanges();
    m_status = statusText(result, QString::number(changedLineCount(result.sourceDiff)));
    showStatus();
}

QString TPreviewForm::statusText(const PreviewResult &result, const QString &changedLines) const
{
    QString status = text("选项 %1 个 · 与源代码相比改动 %2 行 · indent 用时 %3 毫秒")
                         .arg(result.optionCount)
                         .arg(changedLines)
                         .arg(double(result.elapsedNanoseconds) / 1e6, 0, 'f', 1);
    if (result.exitCode == 2)
        status += text(" · indent 报告了源代码中的问题，见下方消息");
    return status;
}

void TPreviewForm::showChanges()
{
    if (m_changesShown)
        return;
    m_changesShown = true;
    const PreviewResult &result = m_changes;
    QsciScintilla *editor = ui->ChangesEditor;
    editor->clearMarginText();
    if (!result.request.comparePrevious) {
        ui->ChangesLabel->setText(
            text("尚无上一次的结果：在主窗口切换一个选项后，这里显示这次切换改动的行。"));
        setEditorText(editor, QByteArray());
        return;
    }
    const QVector<DiffHunk> hunks = groupHunks(result.previousDiff);
    const int changed = changedLineCount(result.previousDiff);
    if (hunks.isEmpty()) {
        ui->ChangesLabel->setText(text("这次切换没有改动任何行。"));
        setEditorText(editor, QByteArray());
        return;
    }
    ui->ChangesLabel->setText(
        text("这次切换改动了 %1 行（红色：切换前的行，绿色：切换后的行）。").arg(changed));

    const QVector<QByteArray> before = splitLines(result.request.previousResult);
    const QVector<QByteArray> after = splitLines(result.formatted);
    QByteArray shown;
    struct Mark
    {
        Marker background;
        Marker margin;
        QString number;
    };
    QVector<Mark> marks;
    for (const DiffHunk &hunk : hunks) {
        shown += QStringLiteral("@@ -%1,%2 +%3,%4 @@\n")
                     .arg(hunk.oldStart)
                     .arg(hunk.oldCount)
                     .arg(hunk.newStart)
                     .arg(hunk.newCount)
                     .toLatin1();
        marks.append({HunkHeader, HunkHeader, QString()});
        for (const DiffLine &line : hunk.lines) {
            QByteArray lineText = line.kind == DiffLine::Kind::Removed ? before.at(line.oldLine - 1)
                                                                       : after.at(line.newLine - 1);
            if (!lineText.endsWith('\n'))
                lineText += '\n';
            shown += lineText;
            const QString oldNumber = line.oldLine ? QString::number(line.oldLine) : QString();
            const QString newNumber = line.newLine ? QString::number(line.newLine) : QString();
            const QString number = QStringLiteral("%1 %2 ").arg(oldNumber, 6).arg(newNumber, 6);
            switch (line.kind) {
            case DiffLine::Kind::Common:
                marks.append({HunkHeader, HunkHeader, number});
                break;
            case DiffLine::Kind::Removed:
                marks.append({RemovedLine, RemovedMargin, number});
                break;
            case DiffLine::Kind::Added:
                marks.append({AddedLine, AddedMargin, number});
                break;
            }
        }
    }
    editor->setText(QString::fromUtf8(shown));
    editor->markerDeleteAll();
    for (int line = 0; line < marks.size(); ++line) {
        const Mark &mark = marks.at(line);
        editor->setMarginText(line, mark.number, QsciScintillaBase::STYLE_LINENUMBER);
        if (mark.number.isEmpty() || mark.background != HunkHeader)
            markLine(editor, line, mark.background, mark.margin);
    }
}

void TPreviewForm::showFailure(const PreviewResult &result)
{
    QString messages = failureText(result, m_runner.timeLimit());
    if (!result.messages.isEmpty())
        messages += QLatin1Char('\n') + QString::fromLocal8Bit(result.messages);
    ui->MessagesMemo->setPlainText(messages);
    ui->OutdatedBanner->setText(
        m_lastGood
            ? text(
                  "结果已过期：indent 没能用当前选项格式化（见下方消息），下面灰色显示的是上一次成功的结果。")
            : text("indent 没能用当前选项格式化（见下方消息），还没有可显示的结果。"));
    ui->OutdatedBanner->show();
    setOutdated(true);
    m_status = text("选项 %1 个 · 格式化失败").arg(result.optionCount);
}

void TPreviewForm::showStatus()
{
    ui->StatusLabel->setText(
        m_running ? (m_status.isEmpty() ? text("正在格式化…") : m_status + text(" · 正在更新…")) : m_status);
}

void TPreviewForm::setOutdated(bool outdated)
{
    if (outdated == m_outdated)
        return; // restyling every view costs time on a big file
    m_outdated = outdated;
    for (QsciScintilla *editor : {ui->ResultEditor, ui->SourceEditor, ui->CompareEditor, ui->ChangesEditor}) {
        QsciLexer *lexer = editor->lexer();
        lexer->setPaper(outdated ? OutdatedPaper : QColor(Qt::white));
        lexer->setDefaultPaper(outdated ? OutdatedPaper : QColor(Qt::white));
        editor->setProperty("outdated", outdated);
    }
}

void TPreviewForm::syncScroll(QsciScintilla *from, QsciScintilla *to, const QVector<int> &lineMap)
{
    if (m_syncing || lineMap.isEmpty())
        return;
    m_syncing = true;
    const int line = std::clamp(from->firstVisibleLine(), 0, int(lineMap.size()) - 1);
    to->setFirstVisibleLine(lineMap.at(line));
    m_syncing = false;
}

void TPreviewForm::setOptionNotes(const QStringList &lines)
{
    ui->NotesMemo->setPlainText(lines.join(QLatin1Char('\n')));
}
