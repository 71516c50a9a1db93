#include "JobScript.h"

#include "Descriptor.h"
#include "JobSources.h"
#include "OutputDirectory.h"

#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QRegularExpression>
#include <QSet>
#include <QStringDecoder>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const QString PatternSuffix = QStringLiteral("/*.*");
// Room for the formatter's rewrite of every copy to grow, beyond the copies themselves.
constexpr qint64 RewriteFactor = 1;
constexpr qint64 SpaceMargin = 4 * 1024 * 1024;

QString withTrailingSeparator(const QString &directory)
{
    return directory.endsWith(QLatin1Char('/')) ? directory : directory + QLatin1Char('/');
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

QString tr8(const char *text)
{
    return QString::fromUtf8(text);
}

QString joined(const QString &directory, const QString &relative)
{
    return relative.isEmpty() ? directory : directory + QLatin1Char('/') + relative;
}

// A subdirectory as a script may name it: relative, no empty, "." or ".." component.
bool isPlainRelativePath(const QString &path)
{
    if (path.isEmpty() || path.startsWith(QLatin1Char('/')))
        return false;
    const QStringList parts = path.split(QLatin1Char('/'));
    return std::none_of(parts.cbegin(), parts.cend(), [](const QString &part) {
        return part.isEmpty() || part == QLatin1String(".") || part == QLatin1String("..");
    });
}

} // namespace

QString jobScriptPath(const QString &programDirectory)
{
    return withTrailingSeparator(programDirectory) + QStringLiteral("cmd.bat");
}

QString outputDirectoryPath(const QString &programDirectory, const QDateTime &stamp)
{
    const QDate date = stamp.date();
    const QTime time = stamp.time();
    return withTrailingSeparator(programDirectory) +
           QString::asprintf("FormatFile%04d%02d%02d-%02d%02d%02d%03d", date.year(), date.month(), date.day(),
                             time.hour(), time.minute(), time.second(), time.msec());
}

bool isScriptSafeName(const QString &path)
{
    if (!QStringView(path).isValidUtf16())
        return false;
    for (const QChar c : path) {
        if (c == QLatin1Char('"') || c == QChar::ReplacementCharacter)
            return false;
        switch (c.category()) {
        case QChar::Other_Control:
        case QChar::Separator_Line:
        case QChar::Separator_Paragraph:
            return false;
        default:
            break;
        }
    }
    return true;
}

QString JobScript::targetOf(int sourceIndex) const
{
    return sourceIndex < targets.size() ? targets.at(sourceIndex) : QString();
}

QStringList jobScriptLines(const JobScript &script)
{
    const QString &root = script.outputDirectory;
    QStringList lines;
    lines.reserve(script.sources.size() + script.subdirectories.size() * 2 + 2);
    lines.append(QStringLiteral("mkdir ") + quoted(root));
    for (const QString &subdirectory : script.subdirectories)
        lines.append(QStringLiteral("mkdir ") + quoted(joined(root, subdirectory)));
    QStringList formatted = {QString()};
    for (int index = 0; index < script.sources.size(); ++index) {
        const QString target = script.targetOf(index);
        lines.append(QStringLiteral("copy ") + quoted(script.sources.at(index)) + QLatin1Char(' ') +
                     quoted(joined(root, target)));
        if (!target.isEmpty() && !formatted.contains(target))
            formatted.append(target);
    }
    // the top directory's line always, as the one-folder jobs have always written it
    for (const QString &directory : formatted)
        lines.append(quoted(script.formatterPath) + QLatin1Char(' ') +
                     quoted(joined(root, directory) + PatternSuffix) + QLatin1Char(' ') +
                     script.parameterText);
    return lines;
}

QByteArray buildJobScript(const JobScript &script)
{
    QByteArray bytes;
    for (const QString &line : jobScriptLines(script)) {
        bytes += line.toUtf8();
        bytes += '\n';
    }
    return bytes;
}

ParsedJobScript parseJobScript(const QByteArray &bytes)
{
    ParsedJobScript parsed;
    QStringDecoder decoder(QStringDecoder::Utf8, QStringDecoder::Flag::Stateless);
    const QString text = decoder.decode(bytes);
    if (decoder.hasError() || !text.endsWith(QLatin1Char('\n')))
        return parsed;

    // Quoted parts hold no double quote, so each line has exactly one reading; every part must be as safe
    // as the builder's callers make it.
    static const QRegularExpression mkdirLine(QStringLiteral(R"re(^mkdir "([^"]+)"$)re"));
    static const QRegularExpression copyLine(QStringLiteral(R"re(^copy "([^"]+)" "([^"]+)"$)re"));
    static const QRegularExpression formatterLine(
        QStringLiteral(R"re(^"([^"]+)" "([^"]+)/\*\.\*" ([^"]*)$)re"));

    const QStringList lines = text.left(text.size() - 1).split(QLatin1Char('\n'));
    const auto reject = [&](int index) {
        parsed.invalidLineNumber = index + 1;
        parsed.invalidLine = lines.at(index);
        return parsed;
    };
    if (lines.size() < 2)
        return reject(0);

    JobScript &script = parsed.script;
    // a directory named by a later line, as the subdirectory it is ("" for the top), or null if unknown
    QSet<QString> made;
    const auto directoryOf = [&](const QString &path) -> QString {
        if (path == script.outputDirectory)
            return QLatin1String("");
        const QString prefix = script.outputDirectory + QLatin1Char('/');
        if (!path.startsWith(prefix))
            return QString();
        const QString relative = path.mid(prefix.size());
        return made.contains(relative) ? relative : QString();
    };

    enum class Section { Directories, Copies, Formatter } section = Section::Directories;
    QSet<QString> formatted;
    for (int index = 0; index < lines.size(); ++index) {
        const QString &line = lines.at(index);
        if (index == 0) {
            const QRegularExpressionMatch match = mkdirLine.match(line);
            if (!match.hasMatch() || !isScriptSafeName(match.captured(1)))
                return reject(index);
            script.outputDirectory = match.captured(1);
            continue;
        }
        if (section == Section::Directories) {
            const QRegularExpressionMatch match = mkdirLine.match(line);
            if (match.hasMatch()) {
                const QString prefix = script.outputDirectory + QLatin1Char('/');
                const QString relative = match.captured(1).mid(prefix.size());
                const int slash = relative.lastIndexOf(QLatin1Char('/'));
                const QString parent = slash < 0 ? QString() : relative.left(slash);
                if (!match.captured(1).startsWith(prefix) || !isPlainRelativePath(relative) ||
                    !isScriptSafeName(relative) || made.contains(relative) ||
                    (!parent.isEmpty() && !made.contains(parent)))
                    return reject(index);
                made.insert(relative);
                script.subdirectories.append(relative);
                continue;
            }
            section = Section::Copies;
        }
        if (section == Section::Copies) {
            const QRegularExpressionMatch match = copyLine.match(line);
            if (match.hasMatch()) {
                const QString target = directoryOf(match.captured(2));
                if (target.isNull() || !isScriptSafeName(match.captured(1)))
                    return reject(index);
                script.sources.append(match.captured(1));
                script.targets.append(target);
                continue;
            }
            section = Section::Formatter;
        }
        const QRegularExpressionMatch match = formatterLine.match(line);
        if (!match.hasMatch() || !isScriptSafeName(match.captured(1)) || !isScriptSafeName(match.captured(3)))
            return reject(index);
        const QString directory = directoryOf(match.captured(2));
        if (directory.isNull() || formatted.contains(directory) ||
            (!formatted.isEmpty() &&
             (match.captured(1) != script.formatterPath || match.captured(3) != script.parameterText)))
            return reject(index);
        formatted.insert(directory);
        script.formatterPath = match.captured(1);
        script.parameterText = match.captured(3);
    }
    if (formatted.isEmpty())
        return reject(lines.size() - 1);
    // every directory that gets copies is formatted, the top one always
    if (!formatted.contains(QLatin1String("")))
        return reject(lines.size() - 1);
    for (const QString &target : script.targets) {
        if (!formatted.contains(target))
            return reject(lines.size() - 1);
    }
    parsed.valid = true;
    return parsed;
}

int JobScriptResult::filesFormatted() const
{
    const QSet<QString> notFormatted(incomplete.cbegin(), incomplete.cend());
    int count = 0;
    for (const FormatterProcessResult &run : formatter.runs) {
        if (run.outcome != FormatterProcessResult::Outcome::Finished ||
            (run.exitCode != 0 && run.exitCode != 2))
            continue;
        for (const QString &file : run.files)
            count += notFormatted.contains(file) ? 0 : 1;
    }
    return count;
}

qint64 JobScriptRunner::bytesNeeded(qint64 sourceBytes)
{
    return sourceBytes * (1 + RewriteFactor) + SpaceMargin;
}

JobScriptResult JobScriptRunner::run(const QByteArray &scriptBytes, const Progress &progress) const
{
    JobScriptResult result;
    const ParsedJobScript parsed = parseJobScript(scriptBytes);
    if (!parsed.valid) {
        result.stop = JobScriptResult::Stop::InvalidScript;
        result.problem =
            parsed.invalidLineNumber == 0
                ? tr8("批处理文件不是有效的 UTF-8 文本或不完整")
                : tr8("第 %1 行无法识别：%2").arg(parsed.invalidLineNumber).arg(parsed.invalidLine);
        return result;
    }
    const JobScript &script = parsed.script;
    result.outputDirectory = script.outputDirectory;
    result.copiesPlanned = script.sources.size();
    const auto report = [&](int done, int total) { return !progress || progress(done, total); };

    // Never reuse an existing directory: its old files would be mixed into this job's output.
    if (QFileInfo::exists(script.outputDirectory) || QFileInfo(script.outputDirectory).isSymLink()) {
        result.stop = JobScriptResult::Stop::DirectoryNotMade;
        result.problem = tr8("目录已存在");
        return result;
    }

    // Every source is opened here first: each later opening must find the same file.
    JobSources sources(m_sourcePrefix, m_sourceDirectoryFd);
    // A job that cannot fit never starts: the formatter does not notice when its own writes fail.
    qint64 sourceBytes = 0;
    for (const QString &source : script.sources)
        sourceBytes += sources.open(source).size;
    sources.closeFolder();
    const QString parent = QFileInfo(script.outputDirectory).absolutePath();
    const qint64 available = m_freeSpace ? m_freeSpace(parent) : freeBytesAt(parent);
    result.bytesNeeded = bytesNeeded(sourceBytes);
    result.bytesAvailable = available;
    if (available >= 0 && available < result.bytesNeeded) {
        result.stop = JobScriptResult::Stop::NoSpace;
        return result;
    }

    OutputDirectory directory;
    result.problem = directory.make(script.outputDirectory);
    if (!result.problem.isEmpty()) {
        result.stop = JobScriptResult::Stop::DirectoryNotMade;
        return result;
    }
    result.directoryMade = true;
    for (const QString &subdirectory : script.subdirectories)
        directory.makeSubdirectory(QFile::encodeName(subdirectory)); // a failure shows as failed copies

    // Until the copies are done, count each one twice: once copied and once formatted.
    const int copies = script.sources.size();
    QStringList relativeCopies;
    QHash<QString, QString> sourceOfCopy;
    QHash<QString, QSet<QByteArray>> copiesIn; // directory -> names copied into it
    for (int index = 0; index < copies; ++index) {
        const QString &source = script.sources.at(index);
        const QString target = script.targetOf(index);
        const QString name = QFileInfo(source).fileName();
        const QString relativeName = target.isEmpty() ? name : target + QLatin1Char('/') + name;
        const JobSources::Opened in = sources.open(source);
        const QString failure = in.failure.isEmpty()
                                    ? directory.copyIn(in.fd.get(), QFile::encodeName(relativeName))
                                    : in.failure;
        if (failure.isEmpty()) {
            result.copied.append(withTrailingSeparator(script.outputDirectory) + relativeName);
            relativeCopies.append(relativeName);
            sourceOfCopy.insert(relativeName, source);
            copiesIn[target].insert(QFile::encodeName(name));
        } else if (in.replaced) {
            result.replaced.append({source, failure});
        } else {
            result.copyFailures.append({source, failure});
        }
        if (!report(index + 1, 2 * copies)) {
            result.stop = JobScriptResult::Stop::Cancelled;
            return result;
        }
    }
    sources.closeFolder();

    result.filesToFormat = relativeCopies.size();
    if (!relativeCopies.isEmpty()) {
        result.formatterStarted = true;
        FormatterRequest request;
        request.formatterPath = script.formatterPath;
        request.files = relativeCopies;
        request.parameterText = script.parameterText;
        request.directoryDescriptor = directory.descriptor();
        result.formatter = FormatterRunner().run(request, [&](int filesDone, int filesTotal) {
            return report(copies + filesDone, copies + filesTotal);
        });
        if (result.formatter.cancelled)
            result.stop = JobScriptResult::Stop::Cancelled;
    }

    // A run that was stopped, crashed or failed may have left any of its files cut off, and a file the
    // runner could not make whole (a file system that ran full) is not to be used: put back intact
    // copies, so that every file is either formatted or as copied.
    const auto putBack = [&](const QString &file) {
        const JobSources::Opened in = sources.open(sourceOfCopy.value(file));
        const QString failure =
            in.failure.isEmpty() ? directory.restore(in.fd.get(), QFile::encodeName(file)) : in.failure;
        if (failure.isEmpty())
            result.restored.append(file);
        else
            result.restoreFailures.append({sourceOfCopy.value(file), failure});
    };
    for (const FormatterProcessResult &run : result.formatter.runs) {
        const bool clean = run.outcome == FormatterProcessResult::Outcome::Finished &&
                           (run.exitCode == 0 || run.exitCode == 2);
        if (run.outcome == FormatterProcessResult::Outcome::FileFailed)
            result.incomplete += run.files;
        if (!clean && run.started) {
            for (const QString &file : run.files)
                putBack(file);
        }
    }

    for (auto it = copiesIn.cbegin(); it != copiesIn.cend(); ++it)
        directory.RemoveNonSourceFiles(it.key(), it.value());
    return result;
}
