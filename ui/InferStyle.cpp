#include "InferStyle.h"
#include "ui_InferStyle.h"

#include "AtomicFile.h"
#include "CellTable.h"
#include "IndentProfile.h"
#include "JobPrompts.h"
#include "WindowStyle.h"

#include <QDir>

#include <cstring>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

QString shown(const QByteArray &path)
{
    return QDir::toNativeSeparators(QFile::decodeName(path));
}

QString problemText(const InputProblem &problem)
{
    const QString path = shown(problem.path);
    switch (problem.kind) {
    case InputProblem::Kind::Missing:
    case InputProblem::Kind::Unreadable:
        return text("无法读取：%1（%2）").arg(path, QString::fromLocal8Bit(std::strerror(problem.error)));
    case InputProblem::Kind::NotRegularFile:
        return text("已跳过：%1（不是普通文件）").arg(path);
    case InputProblem::Kind::TooLarge:
        return text("已跳过：%1（文件过大）").arg(path);
    case InputProblem::Kind::UnreadableDirectory:
        return text("无法读取目录：%1").arg(path);
    case InputProblem::Kind::NoSourceFiles:
        return text("目录中没有 .c .h .cpp .hpp 文件：%1").arg(path);
    }
    return path;
}

// What stopped the formatter runs of a search.
QString scoreFailureText(const StyleScore &failure)
{
    using Outcome = StyleScore::Outcome;
    switch (failure.outcome) {
    case Outcome::FailedToStart:
        return text("indent 无法启动：%1").arg(failure.errorString);
    case Outcome::FormatterFailed:
        if (failure.exitCode < 0)
            return text("indent 异常终止。\n%1").arg(QString::fromLocal8Bit(failure.messages));
        return text("indent 格式化失败（退出码 %1）：\n%2")
            .arg(failure.exitCode)
            .arg(QString::fromLocal8Bit(failure.messages));
    case Outcome::TimedOut:
        return text("indent 运行超时。\n%1").arg(QString::fromLocal8Bit(failure.messages));
    case Outcome::OutOfSpace:
        return text("磁盘空间不足：临时目录已满，无法确认 indent 的输出完整，没有给出建议。");
    case Outcome::ScratchFailed:
        return text("临时文件读写失败：%1")
            .arg(failure.errorString.isEmpty() ? QString::fromLocal8Bit(std::strerror(failure.error))
                                               : failure.errorString);
    case Outcome::Scored:
    case Outcome::Cancelled:
        break;
    }
    return text("推断失败。");
}

QString failureText(const InferenceOutcome &outcome)
{
    if (!outcome.setupError.isEmpty())
        return text("临时目录无法使用：%1").arg(outcome.setupError);
    if (outcome.input.files.isEmpty())
        return text("没有可以推断的源文件。");
    return scoreFailureText(outcome.result.failure);
}

} // namespace

TInferStyleForm::TInferStyleForm(const QString &formatterPath, JobPrompts &prompts, QWidget *parent)
    : QDialog(parent)
    , ui(std::make_unique<Ui::TInferStyleForm>())
    , m_prompts(prompts)
    , m_formatterPath(formatterPath)
{
    ui->setupUi(this);
    applyWindowStyle(this);
    setWindowModality(Qt::WindowModal);

    connect(ui->AddFilesButton, &QPushButton::clicked, this, &TInferStyleForm::AddFilesButtonClick);
    connect(ui->AddDirectoryButton, &QPushButton::clicked, this, &TInferStyleForm::AddDirectoryButtonClick);
    connect(ui->ClearButton, &QPushButton::clicked, this, &TInferStyleForm::ClearButtonClick);
    connect(ui->StartButton, &QPushButton::clicked, this, &TInferStyleForm::StartButtonClick);
    connect(ui->CancelSearchButton, &QPushButton::clicked, this, &TInferStyleForm::CancelSearchButtonClick);
    connect(ui->ApplyButton, &QPushButton::clicked, this, &TInferStyleForm::ApplyButtonClick);
    connect(ui->SaveProfileButton, &QPushButton::clicked, this, &TInferStyleForm::SaveProfileButtonClick);
    connect(ui->CloseButton, &QPushButton::clicked, this, &TInferStyleForm::CloseButtonClick);
    connect(&m_task, &InferenceTask::progressed, this, &TInferStyleForm::showProgress);
    connect(&m_task, &InferenceTask::finished, this, &TInferStyleForm::searchFinished);
}

TInferStyleForm::~TInferStyleForm() = default;

void TInferStyleForm::setWorkingSelection(const CheckStates &checks)
{
    m_working = checks;
}

void TInferStyleForm::setScratchBase(const QString &directory)
{
    m_scratchBase = directory;
}

void TInferStyleForm::addSources(const QStringList &paths)
{
    for (const QString &path : paths) {
        if (m_sources.contains(path))
            continue;
        m_sources.append(path);
        ui->SourceList->addItem(QDir::toNativeSeparators(path));
    }
}

void TInferStyleForm::AddFilesButtonClick()
{
    const JobPrompts::OpenFilesAnswer answer =
        m_prompts.openFiles({text("选择风格一致的源文件"),
                             {text("支持文件类型 (*.c *.h *.cpp *.hpp)"), text("所有文件 (*)")},
                             QString(),
                             false});
    addSources(answer.files);
}

void TInferStyleForm::AddDirectoryButtonClick()
{
    const QString directory = m_prompts.chooseDirectory(text("请选择风格一致的代码目录"));
    if (!directory.isEmpty())
        addSources({directory});
}

void TInferStyleForm::ClearButtonClick()
{
    m_sources.clear();
    ui->SourceList->clear();
}

void TInferStyleForm::StartButtonClick()
{
    if (isSearching())
        return;
    if (m_sources.isEmpty()) {
        ui->ReportMemo->setParameterText(text("请先添加文件或目录。"));
        return;
    }
    InferenceRequest request;
    for (const QString &source : m_sources)
        request.paths.append(QFile::encodeName(source));
    request.recursive = ui->RecursiveCheck->isChecked();
    request.start = m_working;
    request.setup.formatterPath = m_formatterPath;
    request.setup.scratchBase = m_scratchBase;
    request.wholeProfile = true;
    m_outcome.reset();
    ui->ApplyButton->setEnabled(false);
    ui->SaveProfileButton->setEnabled(false);
    ui->ReportMemo->setParameterText({});
    ui->ProgressLabel->setText(text("正在读取源文件…"));
    setSearching(m_task.start(request));
}

void TInferStyleForm::CancelSearchButtonClick()
{
    if (!isSearching())
        return;
    m_task.cancel();
    ui->CancelSearchButton->setEnabled(false);
    ui->ProgressLabel->setText(text("正在取消…"));
}

void TInferStyleForm::ApplyButtonClick()
{
    if (!m_outcome || isSearching())
        return;
    emit styleApplied(m_outcome->result.selection, m_outcome->input.files.first().path);
    accept();
}

const ProfileSearchResult *TInferStyleForm::foundProfile() const
{
    if (!m_outcome || !m_outcome->wholeProfile ||
        m_outcome->wholeProfile->outcome != SearchResult::Outcome::Found)
        return nullptr;
    return &*m_outcome->wholeProfile;
}

void TInferStyleForm::SaveProfileButtonClick()
{
    const ProfileSearchResult *whole = foundProfile();
    if (!whole || isSearching())
        return;
    // beside the code it was learnt from, where indent and zabo-format --style file look for it
    const QFileInfo first(m_sources.value(0));
    const QString directory = first.isDir() ? first.absoluteFilePath() : first.absolutePath();
    const QString path = m_prompts.saveFile({text("保存 indent 配置"),
                                             {text("indent配置 (.indent.pro *.pro)"), text("所有文件 (*)")},
                                             QDir(directory).filePath(QStringLiteral(".indent.pro"))});
    if (path.isEmpty())
        return;
    const QString shownPath = QDir::toNativeSeparators(path);
    const QString name = wholeProfileName(whole->score.changedLines);
    if (!writeFileAtomically(path, indentProfileText(name, whole->parameterText))) {
        m_prompts.ShowMessage(text("indent配置保存失败，无法写入：%1").arg(shownPath));
        return;
    }
    ui->ProgressLabel->setText(text("indent配置已保存：%1").arg(shownPath));
}

void TInferStyleForm::CloseButtonClick()
{
    close();
}

void TInferStyleForm::reject()
{
    // a search outlives no dialog: no formatter keeps running, no scratch copy stays behind
    m_task.cancel();
    m_task.wait();
    setSearching(false);
    QDialog::reject();
}

void TInferStyleForm::setSearching(bool searching)
{
    m_searching = searching;
    ui->ProgressBar->setVisible(searching);
    ui->CancelSearchButton->setEnabled(searching);
    const QWidgetList choices{ui->StartButton, ui->AddFilesButton, ui->AddDirectoryButton, ui->ClearButton,
                              ui->RecursiveCheck};
    if (searching)
        ui->SaveProfileButton->setEnabled(false);
    for (QWidget *control : choices)
        control->setEnabled(!searching);
}

void TInferStyleForm::showProgress(const SearchProgress &progress)
{
    ui->ProgressLabel->setText((progress.wholeProfile ? text("整套配置 · ") : QString()) +
                               text("第 %1 轮 · 目前最少改动 %2 行 · indent 已运行 %3 次")
                                   .arg(progress.rounds)
                                   .arg(progress.bestChangedLines)
                                   .arg(progress.indentRuns));
}

void TInferStyleForm::searchFinished(const InferenceOutcome &outcome)
{
    setSearching(false);
    switch (outcome.result.outcome) {
    case SearchResult::Outcome::Found:
        m_outcome = outcome;
        ui->ProgressLabel->setText(text("完成"));
        break;
    case SearchResult::Outcome::Cancelled:
        ui->ProgressLabel->setText(text("已取消，当前选择保持不变。"));
        break;
    case SearchResult::Outcome::Failed:
        ui->ProgressLabel->setText(text("未能推断"));
        break;
    }
    ui->ReportMemo->setParameterText(reportOf(outcome));
    ui->ApplyButton->setEnabled(m_outcome.has_value());
    ui->SaveProfileButton->setEnabled(foundProfile() != nullptr);
}

QString TInferStyleForm::reportOf(const InferenceOutcome &outcome) const
{
    QStringList lines;
    for (const InputProblem &problem : outcome.input.problems)
        lines.append(problemText(problem));
    for (const QByteArray &path : outcome.screening.unparsable)
        lines.append(
            outcome.screening.keptAll
                ? text("indent 无法完整解析：%1（没有可完整解析的文件，仍用于推断）").arg(shown(path))
                : text("indent 无法完整解析：%1（未用于推断）").arg(shown(path)));
    if (outcome.result.outcome == SearchResult::Outcome::Cancelled)
        return lines.join(QLatin1Char('\n'));
    if (outcome.result.outcome == SearchResult::Outcome::Failed) {
        lines.append(failureText(outcome));
        return lines.join(QLatin1Char('\n'));
    }

    const SearchResult &result = outcome.result;
    lines.prepend(text("建议的参数：%1").arg(ParameterTextFor(result.selection).trimmed()));
    QString score = text("改动 %1 行").arg(result.score.changedLines);
    const ScoredStyle *best = nullptr;
    for (const ScoredStyle &style : result.builtIns) {
        if (style.score.scored() && (!best || style.score.changedLines < best->score.changedLines))
            best = &style;
    }
    if (best)
        score += text("（%1：%2 行）").arg(styleDisplayName(best->name)).arg(best->score.changedLines);
    if (result.start && result.start->score.scored())
        score += text("；当前选择：%1 行").arg(result.start->score.changedLines);
    lines.insert(1, score);

    QStringList kinds;
    for (int kind = 0; kind < ResidualChanges::KindCount; ++kind) {
        const int count = outcome.residual.lines[kind];
        if (count == 0)
            continue;
        const auto which = ResidualChanges::Kind(kind);
        const QString rows = residualKindRows(which);
        kinds.append(
            rows.isEmpty()
                ? text("%1 %2 行").arg(residualKindName(which)).arg(count)
                : text("%1 %2 行（相关参数：%3）").arg(residualKindName(which)).arg(count).arg(rows));
    }
    lines.insert(2, kinds.isEmpty() ? text("剩余改动：无，所选代码已完全符合这一风格。")
                                    : text("剩余改动：\n  ") + kinds.join(QStringLiteral("\n  ")));
    const int files = int(outcome.input.files.size());
    QString basis =
        outcome.input.sampled
            ? text("依据 %1 个文件（共 %2 个，按字节与按文件抽样）").arg(files).arg(outcome.input.filesFound)
            : text("依据 %1 个文件").arg(files);
    basis += text("；%1 轮，indent 运行 %2 次，用时 %3 秒")
                 .arg(result.rounds)
                 .arg(result.indentRuns)
                 .arg(double(outcome.elapsedMilliseconds) / 1000.0, 0, 'f', 1);
    lines.insert(3, basis);
    const QString whole = wholeProfileReport(outcome);
    if (!whole.isEmpty())
        lines.insert(4, whole);
    lines.insert(
        whole.isEmpty() ? 4 : 5,
        text("“应用”后参数替换当前选择，保存前不会写入任何风格；预览窗口显示第一个文件的剩余改动。"));
    return lines.join(QLatin1Char('\n'));
}

QString TInferStyleForm::wholeProfileReport(const InferenceOutcome &outcome) const
{
    if (!outcome.wholeProfile)
        return {};
    const ProfileSearchResult &whole = *outcome.wholeProfile;
    if (whole.outcome != SearchResult::Outcome::Found)
        return text("整套 indent 配置未能推断：%1").arg(scoreFailureText(whole.failure));
    return text("整套 indent 配置（任意选项与数值，用于仓库的 .indent.pro）：%1\n"
                "  改动 %2 行（勾选行的结果：%3 行）；indent 运行 %4 次，其中 %5 "
                "次用于确认没有更好的一两项改动。"
                "风格只能保存勾选行；整套配置可“另存为 .indent.pro”。")
        .arg(whole.parameterText)
        .arg(whole.score.changedLines)
        .arg(outcome.result.score.changedLines)
        .arg(whole.indentRuns)
        .arg(whole.proofIndentRuns);
}

QString TInferStyleForm::reportText() const
{
    return ui->ReportMemo->parameterText();
}

QString TInferStyleForm::progressText() const
{
    return ui->ProgressLabel->text();
}
