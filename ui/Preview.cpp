#include "Preview.h"
#include "ui_Preview.h"

#include "ChangeMarking.h"
#include "DiffBlocks.h"
#include "FormatterRun.h"
#include "JobPrompts.h"
#include "LineDiff.h"
#include "PreviewMessages.h"
#include "PreviewViews.h"
#include "ScreenFit.h"
#include "SideBySideView.h"
#include "SourceFiles.h"
#include "WindowPlacement.h"
#include "WindowStyle.h"

#include <Qsci/qscilexer.h>
#include <Qsci/qsciscintilla.h>

#include <QAction>
#include <QCloseEvent>
#include <QDir>
#include <QDragEnterEvent>
#include <QDropEvent>
#include <QFile>
#include <QFileInfo>
#include <QMimeData>
#include <QMouseEvent>
#include <QRegularExpression>
#include <QTextBlock>
#include <QUrl>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

using namespace PreviewViews;

const QColor OutdatedPaper(0xe4, 0xe4, 0xe4);
constexpr int BusyNoticeMilliseconds = 150;
// What the window asks for beside the main window: two code views of 80 columns side by side; where
// the screen has less room, no less than one view of CodeColumns.
const QSize PreferredSize(900, 700);
constexpr int CodeColumns = 80;
constexpr SourceEncoding ShownEncodings[] = {SourceEncoding::Utf8, SourceEncoding::Utf8Bom,
                                             SourceEncoding::Gb18030, SourceEncoding::Latin1};

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

QString sourceProblemText(const PreviewSourceFile &file)
{
    switch (file.problem) {
    case PreviewSourceFile::Problem::NotRegular:
        return text("不是普通文件（是管道、设备或目录），预览不读取它。");
    case PreviewSourceFile::Problem::TooLarge:
        return text("文件超过 %1 MB，预览只打开不超过 %1 MB 的文件。")
            .arg(PreviewSourceFile::MaximumBytes / (1024 * 1024));
    case PreviewSourceFile::Problem::Failed:
    case PreviewSourceFile::Problem::None:
        break;
    }
    return file.error;
}

const char *const MixedLineEndsNotice = "注意：此文件的行尾混用了 CRLF 和 LF，indent "
                                        "会把行尾的“\\r”留在下一行行首，结果按 indent 的输出原样显示。";

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

PreviewWindow *makePreviewForm(const QString &formatterPath, JobPrompts &prompts, QWidget *parent, QString &)
{
    return new TPreviewForm(formatterPath, prompts, parent);
}

TPreviewForm *previewForm()
{
    return dynamic_cast<TPreviewForm *>(PreviewForm);
}

TPreviewForm::TPreviewForm(const QString &formatterPath, JobPrompts &prompts, QWidget *parent)
    : PreviewWindow(parent)
    , ui(std::make_unique<Ui::TPreviewForm>())
    , m_prompts(prompts)
    , m_runner(formatterPath)
{
    ui->setupUi(this);
    setWindowFlags(Qt::Window);
    applyWindowStyle(this);
    m_preferredSize = PreferredSize;
    setupCodeView(ui->ResultEditor);
    setupCodeView(ui->SourceEditor);
    setupCodeView(ui->CompareEditor);
    setupCodeView(ui->ChangesEditor, true);
    // one document, with its markers, behind both views of the result; only the side-by-side view
    // shows the filler rows that line it up with the source
    ui->CompareEditor->setDocument(ui->ResultEditor->document());
    m_sideBySide = new SideBySideView(ui->SourceEditor, ui->CompareEditor, this);
    m_marks = new ChangeMarking({ui->SourceEditor}, {ui->ResultEditor, ui->CompareEditor}, this);
    m_listing = new LineDecorations({{ui->ChangesEditor}}, this);
    ui->ResultEditor->setAnnotationDisplay(QsciScintilla::AnnotationHidden);
    ui->MessagesSplitter->setStretchFactor(0, 5);
    ui->MessagesSplitter->setStretchFactor(1, 1);
    ui->MessagesMemo->setAcceptDrops(false);
    ui->MessagesMemo->viewport()->setAcceptDrops(false);
    ui->MessagesMemo->viewport()->installEventFilter(this);
    for (const SourceEncoding encoding : ShownEncodings)
        ui->EncodingBox->addItem(sourceEncodingName(encoding), int(encoding));

    m_busyNotice.setSingleShot(true);
    m_busyNotice.setInterval(BusyNoticeMilliseconds);
    connect(&m_busyNotice, &QTimer::timeout, this, &TPreviewForm::showStatus);
    connect(ui->OpenFileButton, &QPushButton::clicked, this, &TPreviewForm::OpenFileButtonClick);
    connect(ui->SampleButton, &QPushButton::clicked, this, &TPreviewForm::SampleButtonClick);
    connect(ui->EncodingBox, &QComboBox::activated, this, &TPreviewForm::EncodingBoxChange);
    connect(&m_runner, &PreviewRunner::finished, this, &TPreviewForm::runnerFinished);
    connect(&m_runner, &PreviewRunner::diffsReady, this, &TPreviewForm::showDiffs);
    // the changes view is built when it is looked at: a big file's changes cost time to lay out
    connect(ui->ViewTabs, &QTabWidget::currentChanged, this, [this] {
        if (ui->ViewTabs->currentWidget() == ui->ChangesPage)
            showChanges();
    });
    setupShortcuts();

    SampleButtonClick();
}

TPreviewForm::~TPreviewForm()
{
    if (isVisible())
        saveSettings();
}

void TPreviewForm::setupShortcuts()
{
    const auto add = [this](const QString &name, const QKeySequence &keys) {
        auto *action = new QAction(name, this);
        action->setObjectName(name);
        action->setShortcut(keys);
        addAction(action);
        return action;
    };
    connect(add(QStringLiteral("OpenFileItem"), QKeySequence(Qt::CTRL | Qt::Key_O)), &QAction::triggered,
            this, &TPreviewForm::OpenFileButtonClick);
    connect(add(QStringLiteral("CloseItem"), QKeySequence(Qt::Key_Escape)), &QAction::triggered, this,
            &QWidget::close);
    connect(add(QStringLiteral("NextChangeItem"), QKeySequence(Qt::Key_F7)), &QAction::triggered, this,
            &TPreviewForm::NextChangeItemClick);
    connect(add(QStringLiteral("PreviousChangeItem"), QKeySequence(Qt::SHIFT | Qt::Key_F7)),
            &QAction::triggered, this, &TPreviewForm::PreviousChangeItemClick);
    ui->OpenFileButton->setToolTip(text("打开要预览的文件（Ctrl+O）"));
    ui->ViewTabs->setToolTip(text("F7：下一处改动 · Shift+F7：上一处改动 · Esc：关闭窗口"));
}

void TPreviewForm::shareShortcuts(const QList<QAction *> &actions)
{
    addActions(actions);
}

void TPreviewForm::setSettingsPath(const QString &path)
{
    m_settingsPath = path;
    const PreviewSettingsRead read = loadPreviewSettings(path);
    m_settingsError =
        read.error.isEmpty() ? QString() : text("窗口设置无法读取（%1）：%2").arg(path, read.error);
    const PreviewSettings &settings = read.settings;
    // the size is kept; the place is beside the main window again, which starts centred every time
    if (!settings.geometry.isEmpty() && restoreGeometry(settings.geometry))
        m_preferredSize = size();
    if (!settings.compareSplitter.isEmpty())
        ui->CompareSplitter->restoreState(settings.compareSplitter);
    if (!settings.messagesSplitter.isEmpty())
        ui->MessagesSplitter->restoreState(settings.messagesSplitter);
    if (auto *page = ui->ViewTabs->findChild<QWidget *>(settings.view);
        page && ui->ViewTabs->indexOf(page) >= 0)
        ui->ViewTabs->setCurrentWidget(page);
}

PreviewSettings TPreviewForm::currentSettings() const
{
    PreviewSettings settings;
    settings.geometry = saveGeometry();
    settings.compareSplitter = ui->CompareSplitter->saveState();
    settings.messagesSplitter = ui->MessagesSplitter->saveState();
    settings.view = ui->ViewTabs->currentWidget()->objectName();
    return settings;
}

void TPreviewForm::saveSettings()
{
    if (m_settingsPath.isEmpty())
        return;
    const QString error = savePreviewSettings(m_settingsPath, currentSettings());
    m_settingsError = error.isEmpty() ? QString() : text("窗口设置无法保存：%1").arg(error);
    if (!error.isEmpty())
        qWarning("%s", qPrintable(m_settingsError)); // at exit no window is left to say it
}

void TPreviewForm::placeBesideMainWindow()
{
    QWidget *mainWindow = parentWidget() ? parentWidget()->window() : nullptr;
    if (!mainWindow)
        return;
    const QRect available = availableArea(mainWindow);
    if (available.isEmpty())
        return;
    const QMargins frame = expectedFrame(this);
    setMinimumSize(minimumSize().boundedTo(available.size().shrunkBy(frame)));
    const QRect mainFrame = mainWindow->geometry().marginsAdded(expectedFrame(mainWindow));
    const PairPlacement placed = besideWindow(mainFrame, available, m_preferredSize.grownBy(frame),
                                              codeWidth() + frame.left() + frame.right());
    if (placed.first.topLeft() != mainFrame.topLeft())
        mainWindow->move(placed.first.topLeft());
    setGeometry(placed.second.marginsRemoved(frame));
}

int TPreviewForm::codeWidth() const
{
    QsciScintilla *view = ui->ResultEditor;
    const auto columns =
        view->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH, QsciScintillaBase::STYLE_DEFAULT, "0") *
        CodeColumns;
    int margins = 0;
    for (int margin = 0; margin < view->margins(); ++margin)
        margins += view->marginWidth(margin);
    // the window around the view: its frame, the scroll bar, the tabs and the layouts
    return width() - view->viewport()->width() + margins + int(columns);
}

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

void TPreviewForm::EncodingBoxChange()
{
    const auto chosen = static_cast<SourceEncoding>(ui->EncodingBox->currentData().toInt());
    if (chosen == m_encoding)
        return;
    m_encoding = chosen;
    redisplay();
}

void TPreviewForm::NextChangeItemClick()
{
    goToChange(1);
}

void TPreviewForm::PreviousChangeItemClick()
{
    goToChange(-1);
}

void TPreviewForm::goToChange(int direction)
{
    QWidget *page = ui->ViewTabs->currentWidget();
    if (page == ui->ComparePage) {
        m_sideBySide->goToChange(direction);
        return;
    }
    QsciScintilla *editor = page == ui->ChangesPage ? ui->ChangesEditor : ui->ResultEditor;
    const QVector<int> &rows = page == ui->ChangesPage ? m_hunkRows : m_resultChangeRows;
    int line = 0;
    int index = 0;
    editor->getCursorPosition(&line, &index);
    const int next = changeAfter(rows, line, direction);
    if (next < 0)
        return;
    const int row = rows.at(next);
    editor->setCursorPosition(row, 0);
    editor->setFirstVisibleLine(std::max(0, row - SideBySideView::ContextRows));
}

bool TPreviewForm::openSource(const QByteArray &localPath)
{
    const QString shownPath = QFile::decodeName(localPath);
    const PreviewSourceFile file = readPreviewSource(localPath);
    if (!file.ok) {
        m_prompts.ShowMessage(text("无法读取文件“%1”：%2").arg(shownPath, sourceProblemText(file)));
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

void TPreviewForm::showComparison()
{
    ui->ViewTabs->setCurrentWidget(ui->ComparePage);
}

void TPreviewForm::showEvent(QShowEvent *event)
{
    if (!m_placed) {
        placeBesideMainWindow();
        m_placed = true;
    }
    QWidget::showEvent(event);
    if (m_pending)
        requestPreview();
}

void TPreviewForm::hideEvent(QHideEvent *event)
{
    QWidget::hideEvent(event);
    saveSettings();
    // nobody looks: no formatter keeps running for a hidden window, the next showing starts afresh
    if (m_running) {
        m_runner.cancel();
        m_running = false;
        m_busyNotice.stop();
        m_pending = true;
    }
}

void TPreviewForm::closeEvent(QCloseEvent *event)
{
    // closing only hides it: the main window shows it again as it was
    event->accept();
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
    m_encoding = detectSourceEncoding(bytes);
    const QString sign = cppSign(displayName, bytes);
    m_cppNotice = sign.isEmpty() ? QString() : cppNotice(sign) + QLatin1Char('\n');
    ui->EncodingBox->setCurrentIndex(ui->EncodingBox->findData(int(m_encoding)));
    ui->SourceLabel->setText(text("源代码：%1（只读取，不会被修改）").arg(displayName));
    const QString fileName = QFileInfo(displayName).fileName();
    ui->SourceHeader->setText(text("源代码：%1").arg(fileName));
    ui->ResultHeader->setText(text("结果：%1").arg(fileName));
    ui->SourceHeader->setToolTip(displayName);
    ui->ResultHeader->setToolTip(displayName);
    setWindowTitle(text("样式预览 - %1").arg(displayName));
    m_sideBySide->clear();
    setViewText(ui->SourceEditor, bytes, m_encoding);
    ui->SourceEditor->setFirstVisibleLine(0);
    // nothing of the previous source may pass for a result of this one
    m_lastGood.reset();
    ui->ResultEditor->setText(QString());
    m_marks->clear();
    m_changes = PreviewResult();
    m_changesShown = false;
    m_resultChangeRows.clear();
    if (ui->ViewTabs->currentWidget() == ui->ChangesPage)
        showChanges();
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
    m_comparedId = m_runner.format(request);
    m_comparedParameterText = request.comparePrevious ? m_lastGood->result.request.parameterText : QString();
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
    ui->MessagesMemo->setPlainText(
        m_cppNotice + (result.mixedLineEnds ? text(MixedLineEndsNotice) + QLatin1Char('\n') : QString()) +
        QString::fromLocal8Bit(result.messages));
    const int tabSize = tabSizeOf(formatterOptions(result.request.parameterText));
    if (tabSize != m_tabSize) {
        m_tabSize = tabSize;
        // told to every view: the compare view shares the result's document, which holds the size,
        // yet lays its lines out again only when told itself
        for (QsciScintilla *editor :
             {ui->ResultEditor, ui->SourceEditor, ui->CompareEditor, ui->ChangesEditor})
            editor->setTabWidth(tabSize);
    }
    // the fillers belong to the texts shown until now; the new ones come with the diffs
    m_sideBySide->clear();
    const int compareLine = ui->CompareEditor->firstVisibleLine();
    setViewText(ui->ResultEditor, result.formatted, m_encoding);
    ui->CompareEditor->setFirstVisibleLine(compareLine);
    m_marks->clear();
    m_resultChangeRows.clear();
    // the runner drops results of requests that a newer one replaced, so this is the current source's
    m_lastGood = GoodResult{result, m_sourceGeneration};
    m_status = statusText(result, text("…"));
}

void TPreviewForm::showDiffs(const PreviewResult &result)
{
    const BulkMarking bulk({ui->SourceEditor, ui->ResultEditor, ui->CompareEditor});
    m_sideBySide->setDiff(result.sourceDiff);
    // after the fillers, which move the lines in view
    m_marks->mark(result.sourceDiff);
    m_resultChangeRows.clear();
    for (const DiffBlock &block : diffBlocks(result.sourceDiff))
        m_resultChangeRows.append(block.newStart);
    m_changes = result;
    m_changesShown = false;
    if (ui->ViewTabs->currentWidget() == ui->ChangesPage)
        showChanges();
    m_status = statusText(result, countsText(diffCounts(result.sourceDiff)));
    const QString diffProblem = lineDiffProblem();
    if (!diffProblem.isEmpty())
        m_status += text(" · 无法载入 libgit2（%1），改动按整个文件替换计").arg(diffProblem);
    showStatus();
}

QString TPreviewForm::statusText(const PreviewResult &result, const QString &changedLines) const
{
    QString status = text("选项 %1 个 · 与源代码相比：%2 · indent 用时 %3 毫秒")
                         .arg(result.optionCount)
                         .arg(changedLines)
                         .arg(double(result.elapsedNanoseconds) / 1e6, 0, 'f', 1);
    const LineEnds ends = lineEndsOf(result.request.source);
    if (ends == LineEnds::CrLf || ends == LineEnds::Mixed)
        status += text(" · ") + lineEndsText(ends);
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
    m_hunkRows.clear();
    if (!result.request.comparePrevious) {
        ui->ChangesLabel->setText(
            text("尚无上一次的结果：在主窗口切换一个选项后，这里显示这次切换改动的行。"));
        editor->clearMarginText();
        setViewText(editor, QByteArray(), m_encoding);
        return;
    }
    const QString previousParameterText = result.id == m_comparedId ? m_comparedParameterText : QString();
    const QString summary =
        toggleSummary(previousParameterText, result.request.parameterText, diffCounts(result.previousDiff));
    m_hunkRows = showHunks(editor, *m_listing, result.previousDiff, result.request.previousResult,
                           result.formatted, m_encoding);
    ui->ChangesLabel->setText(m_hunkRows.isEmpty()
                                  ? summary + text("。这次切换没有改动任何行。")
                                  : summary + text("（红色：切换前的行，绿色：切换后的行）"));
}

void TPreviewForm::redisplay()
{
    const int sourceLine = ui->SourceEditor->firstVisibleLine();
    setViewText(ui->SourceEditor, m_source, m_encoding);
    ui->SourceEditor->setFirstVisibleLine(sourceLine);
    if (m_lastGood && m_lastGood->sourceGeneration == m_sourceGeneration) {
        const PreviewResult good = m_lastGood->result;
        const QString status = m_status;
        showResult(good);
        if (m_changes.id == good.id)
            showDiffs(m_changes);
        else
            m_status = status;
    }
    showStatus();
}
void TPreviewForm::showFailure(const PreviewResult &result)
{
    QString messages = failureText(result, m_runner.timeLimit());
    if (!result.messages.isEmpty())
        messages += QLatin1Char('\n') + QString::fromLocal8Bit(result.messages);
    ui->MessagesMemo->setPlainText(m_cppNotice + messages);
    ui->OutdatedBanner->setText(
        m_lastGood
            ? text(
                  "结果已过期：indent 没能用当前选项格式化（见下方消息），下面灰色显示的是上一次成功的结果。")
            : text("indent 没能用当前选项格式化（见下方消息），还没有可显示的结果。"));
    ui->OutdatedBanner->show();
    setOutdated(true);
    m_status = result.outcome == PreviewResult::Outcome::TimedOut
                   ? text("选项 %1 个 · 超时").arg(result.optionCount)
                   : text("选项 %1 个 · 格式化失败").arg(result.optionCount);
}

void TPreviewForm::showStatus()
{
    QString status =
        m_running ? (m_status.isEmpty() ? text("正在格式化…") : m_status + text(" · 正在更新…")) : m_status;
    if (!m_settingsError.isEmpty())
        status += (status.isEmpty() ? QString() : text(" · ")) + m_settingsError;
    ui->StatusLabel->setText(status);
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

void TPreviewForm::setOptionNotes(const QStringList &lines)
{
    ui->NotesMemo->setPlainText(lines.join(QLatin1Char('\n')));
}
