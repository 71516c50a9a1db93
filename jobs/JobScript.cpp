#include "JobScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

namespace {

const QString PatternSuffix = QStringLiteral("/*.*");

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

QStringList jobScriptLines(const JobScript &script)
{
    const QString directory = quoted(script.outputDirectory);
    QStringList lines;
    lines.reserve(script.sources.size() + 2);
    lines.append(QStringLiteral("mkdir ") + directory);
    for (const QString &source : script.sources)
        lines.append(QStringLiteral("copy ") + quoted(source) + QLatin1Char(' ') + directory);
    lines.append(quoted(script.formatterPath) + QLatin1Char(' ') +
                 quoted(script.outputDirectory + PatternSuffix) + QLatin1Char(' ') + script.parameterText);
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
    for (int index = 0; index < lines.size(); ++index) {
        const QString &line = lines.at(index);
        const bool first = index == 0;
        const bool last = index == lines.size() - 1;
        if (first) {
            const QRegularExpressionMatch match = mkdirLine.match(line);
            if (!match.hasMatch() || !isScriptSafeName(match.captured(1)))
                return reject(index);
            script.outputDirectory = match.captured(1);
        } else if (last) {
            const QRegularExpressionMatch match = formatterLine.match(line);
            if (!match.hasMatch() || match.captured(2) != script.outputDirectory ||
                !isScriptSafeName(match.captured(1)) || !isScriptSafeName(match.captured(3)))
                return reject(index);
            script.formatterPath = match.captured(1);
            script.parameterText = match.captured(3);
        } else {
            const QRegularExpressionMatch match = copyLine.match(line);
            if (!match.hasMatch() || match.captured(2) != script.outputDirectory ||
                !isScriptSafeName(match.captured(1)))
                return reject(index);
            script.sources.append(match.captured(1));
        }
    }
    parsed.valid = true;
    return parsed;
}

int JobScriptResult::filesFormatted() const
{
    int count = 0;
    for (const FormatterProcessResult &run : formatter.runs) {
        if (run.outcome == FormatterProcessResult::Outcome::Finished &&
            (run.exitCode == 0 || run.exitCode == 2))
            count += run.files.size();
    }
    return count;
}

QString JobScriptRunner::copyIntoDirectory(const QString &source, const QString &directory)
{
    const QFileInfo info(source);
    if (!info.exists())
        return tr8("文件不存在或无法访问");
    if (info.isDir())
        return tr8("这是一个目录，不是文件");
    // Only regular files: a pipe or device named like a source would block or never end.
    if (!info.isFile())
        return tr8("不是普通文件");
    const QString target = withTrailingSeparator(directory) + info.fileName();
    if (QFileInfo::exists(target) || QFileInfo(target).isSymLink())
        return tr8("整理代码目录中已有同名文件");
    QFile file(source);
    if (!file.copy(target))
        return tr8("复制失败：") + file.errorString();
    QFile copy(target);
    if (!copy.setPermissions(copy.permissions() | QFileDevice::ReadOwner | QFileDevice::WriteOwner))
        return tr8("无法将副本设为可写：") + copy.errorString();
    return {};
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
    if (!QDir().mkdir(script.outputDirectory)) {
        result.stop = JobScriptResult::Stop::DirectoryNotMade;
        result.problem = tr8("无法创建目录");
        return result;
    }
    result.directoryMade = true;

    // Until the copies are done, count each one twice: once copied and once formatted.
    const int copies = script.sources.size();
    for (int index = 0; index < copies; ++index) {
        const QString &source = script.sources.at(index);
        const QString failure = copyIntoDirectory(source, script.outputDirectory);
        if (failure.isEmpty())
            result.copied.append(withTrailingSeparator(script.outputDirectory) +
                                 QFileInfo(source).fileName());
        else
            result.copyFailures.append({source, failure});
        if (!report(index + 1, 2 * copies)) {
            result.stop = JobScriptResult::Stop::Cancelled;
            return result;
        }
    }

    const QStringList files = expandFormatterPattern(script.outputDirectory);
    result.filesToFormat = files.size();
    if (files.isEmpty())
        return result;

    result.formatterStarted = true;
    FormatterRequest request;
    request.formatterPath = script.formatterPath;
    request.files = files;
    request.parameterText = script.parameterText;
    result.formatter = FormatterRunner().run(request, [&](int filesDone, int filesTotal) {
        return report(copies + filesDone, copies + filesTotal);
    });
    if (result.formatter.cancelled)
        result.stop = JobScriptResult::Stop::Cancelled;
    return result;
}
