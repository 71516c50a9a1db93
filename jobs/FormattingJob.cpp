#include "FormattingJob.h"

#include "JobPrompts.h"
#include "JobScript.h"
#include "SourceFiles.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QSet>

#include <algorithm>

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

const char *const DirectoryNotice = "注意！本功能目前仅整理当前目录下可识别代码文件，不整理子目录";
const char *const DirectoryPrompt = "请选择基线目录";
const char *const TreePrompt = "请选择要整理的目录树（含子目录）";
const char *const FileDialogTitle = "请选择待格式化的程序源文件[可多选]";
const char *const AllTypesWarning =
    "选择全部类型文件时，如选择文件中存在二进制数据文件，将会导致转换失败、文件损坏和程序崩溃！"
    "确认要继续操作吗？";
const char *const ScriptCreateFailed = "批处理文件创建失败！";
const char *const Completed = "代码风格整理完成！稍后自动打开整理代码目录";

const char *const UnsafeProgramDirectory =
    "程序所在目录的路径含有双引号、换行等控制字符或无效编码，无法进行代码风格整理：\n%1";
const char *const UnsafeFormatterPath =
    "格式化程序 indent 的路径含有双引号、换行等控制字符或无效编码，无法进行代码风格整理：\n%1";
const char *const UnsafeChosenDirectory =
    "所选目录的路径含有双引号、换行等控制字符或无效编码，无法整理：\n%1";
const char *const UnreadableChosenDirectory = "无法读取所选目录：\n%1";
const char *const NoSourceInDirectory =
    "所选目录中没有找到可识别的代码文件（.c、.h、.cpp、.hpp），未进行整理。";
const char *const NoUsableFile = "所选文件都无法处理，未进行整理。";
const char *const ScriptWriteFailed = "批处理文件写入失败！";
const char *const ScriptChanged = "批处理文件在运行前被改动，已停止，其中的命令一条也没有执行。";
const char *const ProgressLabel = "正在整理代码风格……";

const char *const UnsafeNamesSection =
    "以下文件的名称含有双引号、换行等控制字符或无效编码，无法安全处理，已跳过：";
const char *const DuplicateNamesSection = "以下文件与先选的文件同名，复制时会互相覆盖，已跳过：";
const char *const CopyFailuresSection = "以下文件复制失败：";
const char *const SkippedEntriesSection = "以下条目名称像代码文件，但不是普通文件，已跳过：";
const char *const UnreadableDirectoriesSection = "以下子目录无法读取，已跳过：";
const char *const FormatFailuresSection = "以下文件整理失败（%1）：";
const char *const WarningsSection = "以下文件未能被 indent 完整解析（退出状态 2），已整理，请检查结果：";
const char *const FormatterOutputSection = "indent 的输出：";
const char *const OutputDirectoryLine = "整理代码目录：%1";
const char *const OpenFolderFailed = "无法自动打开整理代码目录（%1），整理结果在：\n%2";
const char *const NoSpaceMessage =
    "磁盘空间不足，未进行整理：本次整理约需 %1 MB，目标位置只剩 %2 MB 可用。\n%3";
const char *const IncompleteSection =
    "整理过程中磁盘已满，indent 未能完整写入以下文件（能恢复的已恢复为未整理的副本）：";
const char *const RestoreFailuresSection = "以下文件可能不完整，且无法恢复为原始副本，请勿使用：";

constexpr int ListedNamesLimit = 20;
constexpr int FormatterOutputLimit = 2000;

// Control characters would break the message's own lines; show them as escapes.
QString visible(const QString &name)
{
    QString shown;
    for (const QChar c : name) {
        if (c.category() == QChar::Other_Control || c.category() == QChar::Separator_Line ||
            c.category() == QChar::Separator_Paragraph)
            shown += QString::asprintf("\\u%04X", c.unicode());
        else
            shown += c;
    }
    return shown;
}

QString nameList(const QStringList &names)
{
    QStringList shown;
    for (int index = 0; index < names.size() && index < ListedNamesLimit; ++index)
        shown.append(QStringLiteral("  ") + visible(names.at(index)));
    if (names.size() > ListedNamesLimit)
        shown.append(text("  ……共 %1 个").arg(names.size()));
    return shown.join(QLatin1Char('\n'));
}

QString section(const QString &title, const QStringList &names)
{
    return title + QLatin1Char('\n') + nameList(names);
}

QString megabytes(qint64 bytes)
{
    return QString::number(double(std::max<qint64>(bytes, 0)) / (1024.0 * 1024.0), 'f', 1);
}

QString fileNameOf(const QString &path)
{
    return QFileInfo(path).fileName();
}

QStringList fileNamesOf(const QStringList &paths)
{
    QStringList names;
    for (const QString &path : paths)
        names.append(fileNameOf(path));
    return names;
}

bool isFailure(const FormatterProcessResult &run)
{
    using Outcome = FormatterProcessResult::Outcome;
    return run.outcome == Outcome::FailedToStart || run.outcome == Outcome::Crashed ||
           (run.outcome == Outcome::Finished && run.exitCode != 0 && run.exitCode != 2);
}

QString failureOf(const FormatterProcessResult &run)
{
    switch (run.outcome) {
    case FormatterProcessResult::Outcome::FailedToStart:
        return text("indent 无法启动：%1").arg(run.errorString);
    case FormatterProcessResult::Outcome::Crashed:
        return text("indent 异常终止");
    default:
        return text("indent 退出状态 %1").arg(run.exitCode);
    }
}

} // namespace

FormattingJob::FormattingJob(Context context, JobPrompts &prompts)
    : m_context(std::move(context))
    , m_prompts(prompts)
{}

QString FormattingJob::sourceFilesFilter()
{
    return text("支持文件类型 (*.c *.h *.cpp *.hpp)");
}

QString FormattingJob::allFilesFilter()
{
    return text("所有文件 (*)");
}

void FormattingJob::IndentDirItemClick()
{
    const QDateTime stamp = m_clock();
    if (!fixedPathsAreSafe())
        return;
    if (!m_prompts.askInformationOkCancel(text(DirectoryNotice)))
        return;
    const QString directory = m_prompts.chooseDirectory(text(DirectoryPrompt));
    if (directory.isEmpty())
        return;
    if (!chosenDirectoryIsSafe(directory))
        return;
    bool readable = false;
    const QStringList sources = scanSourceDirectory(directory, &readable);
    if (!QFileInfo(directory).isDir() || !readable) {
        m_prompts.ShowMessage(text(UnreadableChosenDirectory).arg(visible(directory)));
        return;
    }
    runJob(stamp, selectSources(sources), JobKind::Directory);
}

void FormattingJob::IndentFileItemClick()
{
    const QDateTime stamp = m_clock();
    if (!fixedPathsAreSafe())
        return;
    const JobPrompts::OpenFilesAnswer answer = m_prompts.openFiles(
        {text(FileDialogTitle), {sourceFilesFilter(), allFilesFilter()}, m_context.programDirectory});
    if (answer.files.isEmpty())
        return;
    if (answer.selectedFilter == allFilesFilter() && !m_prompts.askWarningYesNo(text(AllTypesWarning)))
        return;
    runJob(stamp, selectSources(answer.files), JobKind::Files);
}

void FormattingJob::IndentTreeItemClick()
{
    const QDateTime stamp = m_clock();
    if (!fixedPathsAreSafe())
        return;
    const QString directory = m_prompts.chooseDirectory(text(TreePrompt));
    if (directory.isEmpty() || !chosenDirectoryIsSafe(directory))
        return;
    const SourceTree tree = scanSourceTree(directory);
    if (!QFileInfo(directory).isDir() || !tree.rootReadable) {
        m_prompts.ShowMessage(text(UnreadableChosenDirectory).arg(visible(directory)));
        return;
    }
    const QString root = directory.endsWith(QLatin1Char('/')) ? directory.chopped(1) : directory;
    const auto fullPath = [&](const QByteArray &relative) {
        return root + QLatin1Char('/') + QFile::decodeName(relative);
    };
    QStringList candidates;
    QStringList targets;
    QStringList undecodable;
    for (const QByteArray &relative : tree.files) {
        // a name the file system's encoding cannot carry back would not reach the file again
        if (QFile::encodeName(QFile::decodeName(relative)) != relative) {
            undecodable.append(fullPath(relative));
            continue;
        }
        const QString name = QFile::decodeName(relative);
        candidates.append(fullPath(relative));
        targets.append(name.contains(QLatin1Char('/')) ? name.section(QLatin1Char('/'), 0, -2) : QString());
    }
    Selection selection = selectSources(candidates, targets);
    selection.unsafe += undecodable;
    for (const QByteArray &relative : tree.skipped)
        selection.skipped.append(fullPath(relative));
    for (const QByteArray &relative : tree.unreadableDirectories)
        selection.unreadable.append(fullPath(relative));
    runJob(stamp, selection, JobKind::Tree);
}

bool FormattingJob::chosenDirectoryIsSafe(const QString &directory)
{
    if (isScriptSafeName(directory))
        return true;
    m_prompts.ShowMessage(text(UnsafeChosenDirectory).arg(visible(directory)));
    return false;
}

bool FormattingJob::fixedPathsAreSafe()
{
    if (!isScriptSafeName(m_context.programDirectory)) {
        m_prompts.ShowMessage(text(UnsafeProgramDirectory).arg(visible(m_context.programDirectory)));
        return false;
    }
    if (!isScriptSafeName(m_context.formatterPath)) {
        m_prompts.ShowMessage(text(UnsafeFormatterPath).arg(visible(m_context.formatterPath)));
        return false;
    }
    return true;
}

FormattingJob::Selection FormattingJob::selectSources(const QStringList &candidates,
                                                      const QStringList &targets)
{
    Selection selection;
    QSet<QString> names; // target + '/' + name: one name per output directory
    for (int index = 0; index < candidates.size(); ++index) {
        const QString &path = candidates.at(index);
        const QString target = targets.value(index);
        if (!isScriptSafeName(path)) {
            selection.unsafe.append(path);
            continue;
        }
        const QString key = target + QLatin1Char('/') + fileNameOf(path);
        if (names.contains(key)) {
            selection.duplicates.append(path);
            continue;
        }
        names.insert(key);
        selection.sources.append(path);
        selection.targets.append(target);
    }
    return selection;
}

void FormattingJob::runJob(const QDateTime &stamp, const Selection &selection, JobKind kind)
{
    if (selection.sources.isEmpty()) {
        QStringList parts = {text(kind == JobKind::Files ? NoUsableFile : NoSourceInDirectory)};
        if (!selection.unsafe.isEmpty())
            parts.append(section(text(UnsafeNamesSection), selection.unsafe));
        m_prompts.ShowMessage(parts.join(QStringLiteral("\n\n")));
        return;
    }

    JobScript script;
    script.outputDirectory = outputDirectoryPath(m_context.programDirectory, stamp);
    script.sources = selection.sources;
    script.targets = selection.targets;
    // every directory that gets a copy, each after its parent
    QStringList subdirectories;
    for (const QString &target : selection.targets) {
        for (QString directory = target; !directory.isEmpty();
             directory = directory.contains(QLatin1Char('/')) ? directory.section(QLatin1Char('/'), 0, -2)
                                                              : QString()) {
            if (!subdirectories.contains(directory))
                subdirectories.append(directory);
        }
    }
    std::stable_sort(subdirectories.begin(), subdirectories.end(), [](const QString &a, const QString &b) {
        return a.count(QLatin1Char('/')) < b.count(QLatin1Char('/'));
    });
    script.subdirectories = subdirectories;
    script.formatterPath = m_context.formatterPath;
    script.parameterText = m_context.parameterText ? m_context.parameterText() : QString();

    // an installed program's output folder is made by its first job
    if (!QDir().mkpath(m_context.programDirectory)) {
        m_prompts.ShowMessage(text(ScriptCreateFailed));
        return;
    }
    const QString scriptPath = jobScriptPath(m_context.programDirectory);
    if (QFileInfo::exists(scriptPath) || QFileInfo(scriptPath).isSymLink())
        QFile::remove(scriptPath);
    QFile file(scriptPath);
    // NewOnly: a leftover that could not be deleted, or a link planted there, is never written through.
    if (!file.open(QIODevice::WriteOnly | QIODevice::NewOnly)) {
        m_prompts.ShowMessage(text(ScriptCreateFailed));
        return;
    }
    QByteArray bytes;
    bool written = true;
    for (const QString &line : jobScriptLines(script)) {
        const QByteArray lineBytes = line.toUtf8() + '\n';
        written = file.write(lineBytes) == lineBytes.size() && written;
        bytes += lineBytes;
    }
    written = file.flush() && written;
    file.close();
    if (!written) {
        QFile::remove(scriptPath);
        m_prompts.ShowMessage(text(ScriptWriteFailed));
        return;
    }

    // What runs is what the script file says; it has to be what was just written.
    QFile readBack(scriptPath);
    if (!readBack.open(QIODevice::ReadOnly) || readBack.readAll() != bytes) {
        readBack.close();
        QFile::remove(scriptPath);
        m_prompts.ShowMessage(text(ScriptChanged));
        return;
    }
    readBack.close();

    JobScriptResult result;
    {
        const std::unique_ptr<JobProgress> progress =
            m_prompts.beginProgress(text(ProgressLabel), 2 * script.sources.size());
        result = JobScriptRunner().run(
            bytes, [&](int done, int total) { return progress->setProgress(done, total); });
    }
    QFile::remove(scriptPath);
    reportOutcome(selection, result);
}

void FormattingJob::reportOutcome(const Selection &selection, const JobScriptResult &result)
{
    using Stop = JobScriptResult::Stop;
    QStringList failedFiles;
    QStringList failures;
    for (const FormatterProcessResult &run : result.formatter.runs) {
        if (!isFailure(run))
            continue;
        failedFiles += run.files;
        if (!failures.contains(failureOf(run)))
            failures.append(failureOf(run));
    }
    const QStringList warnedFiles = result.formatter.filesWithWarnings();

    const bool clean = result.stop == Stop::Completed && result.copyFailures.isEmpty() &&
                       failedFiles.isEmpty() && warnedFiles.isEmpty() && result.incomplete.isEmpty() &&
                       result.restoreFailures.isEmpty() && selection.unsafe.isEmpty() &&
                       selection.duplicates.isEmpty() && selection.skipped.isEmpty() &&
                       selection.unreadable.isEmpty();
    if (clean) {
        m_prompts.ShowMessage(text(Completed));
        // the shell may answer when this job is long gone; the prompts that run it are not
        JobPrompts &prompts = m_prompts;
        const QString shown = visible(result.outputDirectory);
        m_prompts.openFolder(result.outputDirectory, [&prompts, shown](const QString &reason) {
            prompts.ShowMessage(text(OpenFolderFailed).arg(reason, shown));
        });
        return;
    }

    QStringList parts;
    switch (result.stop) {
    case Stop::InvalidScript:
        parts.append(text("批处理文件内容无效，其中的命令一条也没有执行：\n%1").arg(visible(result.problem)));
        break;
    case Stop::NoSpace:
        parts.append(text(NoSpaceMessage)
                         .arg(megabytes(result.bytesNeeded), megabytes(result.bytesAvailable),
                              QFileInfo(result.outputDirectory).absolutePath()));
        break;
    case Stop::DirectoryNotMade:
        parts.append(
            text("无法创建整理代码目录（%1），未进行整理：\n%2").arg(result.problem, result.outputDirectory));
        break;
    case Stop::Cancelled:
        parts.append(text("已取消代码风格整理。"));
        break;
    case Stop::Completed:
        parts.append(result.copyFailures.isEmpty() && failedFiles.isEmpty() && result.incomplete.isEmpty() &&
                             result.restoreFailures.isEmpty()
                         ? text("代码风格整理已完成，但有以下情况需要注意。")
                         : text("代码风格整理未能全部完成。"));
        break;
    }

    if (!selection.unsafe.isEmpty())
        parts.append(section(text(UnsafeNamesSection), selection.unsafe));
    if (!selection.duplicates.isEmpty())
        parts.append(section(text(DuplicateNamesSection), selection.duplicates));
    if (!selection.skipped.isEmpty())
        parts.append(section(text(SkippedEntriesSection), selection.skipped));
    if (!selection.unreadable.isEmpty())
        parts.append(section(text(UnreadableDirectoriesSection), selection.unreadable));
    if (!result.copyFailures.isEmpty()) {
        QStringList lines;
        for (const CopyFailure &failure : result.copyFailures)
            lines.append(failure.source + text("：") + failure.reason);
        parts.append(section(text(CopyFailuresSection), lines));
    }
    if (!failedFiles.isEmpty())
        parts.append(
            section(text(FormatFailuresSection).arg(failures.join(text("；"))), fileNamesOf(failedFiles)));
    if (!warnedFiles.isEmpty())
        parts.append(section(text(WarningsSection), fileNamesOf(warnedFiles)));
    if (!result.incomplete.isEmpty())
        parts.append(section(text(IncompleteSection), result.incomplete));
    if (!result.restoreFailures.isEmpty()) {
        QStringList lines;
        for (const CopyFailure &failure : result.restoreFailures)
            lines.append(visible(failure.source) + text("：") + failure.reason);
        parts.append(section(text(RestoreFailuresSection), lines));
    }
    if (!failedFiles.isEmpty() || !warnedFiles.isEmpty()) {
        QString output = result.formatter.standardErrorText().trimmed();
        if (output.size() > FormatterOutputLimit)
            output = output.left(FormatterOutputLimit) + text("……");
        if (!output.isEmpty()) {
            // Parallel batches repeat the same complaint about the command line once each.
            QStringList lines;
            for (const QString &line : output.split(QLatin1Char('\n'))) {
                if (!lines.contains(visible(line)))
                    lines.append(visible(line));
            }
            parts.append(text(FormatterOutputSection) + QLatin1Char('\n') + lines.join(QLatin1Char('\n')));
        }
    }
    if (result.stop == Stop::Cancelled) {
        parts.append(result.formatterStarted
                         ? text("已复制 %1/%2 个文件，已整理 %3/%4 个文件，其余文件保留为未整理的副本。")
                               .arg(result.copied.size())
                               .arg(result.copiesPlanned)
                               .arg(result.filesFormatted())
                               .arg(result.filesToFormat)
                         : text("已复制 %1/%2 个文件，尚未开始整理。")
                               .arg(result.copied.size())
                               .arg(result.copiesPlanned));
    }
    if (result.directoryMade)
        parts.append(text(OutputDirectoryLine).arg(result.outputDirectory));
    m_prompts.ShowMessage(parts.join(QStringLiteral("\n\n")));
}
