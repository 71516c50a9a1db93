#include "JobScript.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QRegularExpression>
#include <QStringDecoder>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cstring>
#include <thread>
#include <utility>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Below this many copies a job copies everything first, then formats: simple and quick enough.
constexpr int PipelineThreshold = 64;
constexpr int PipelineChunks = 4;
constexpr int PollMilliseconds = 5;

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

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

struct FileDescriptor
{
    explicit FileDescriptor(int descriptor)
        : fd(descriptor)
    {}
    ~FileDescriptor()
    {
        if (fd >= 0)
            ::close(fd);
    }
    FileDescriptor(const FileDescriptor &) = delete;
    FileDescriptor &operator=(const FileDescriptor &) = delete;
    int release() { return std::exchange(fd, -1); }
    int fd;
};

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
    // O_NONBLOCK: a pipe named like a source must not keep the job waiting for a writer.
    const FileDescriptor in(::open(QFile::encodeName(source).constData(), O_RDONLY | O_CLOEXEC | O_NONBLOCK));
    if (in.fd < 0)
        return errno == ENOENT ? tr8("文件不存在") : tr8("无法打开：") + systemError(errno);
    struct stat status;
    if (::fstat(in.fd, &status) != 0)
        return tr8("无法读取：") + systemError(errno);
    if (S_ISDIR(status.st_mode))
        return tr8("这是一个目录，不是文件");
    if (!S_ISREG(status.st_mode))
        return tr8("不是普通文件");

    const QByteArray target =
        QFile::encodeName(withTrailingSeparator(directory) + QFileInfo(source).fileName());
    const mode_t mode = (status.st_mode & 0777) | S_IRUSR | S_IWUSR;
    // O_EXCL: never write over an earlier copy or through a link planted in the directory.
    FileDescriptor out(::open(target.constData(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, mode));
    if (out.fd < 0)
        return errno == EEXIST ? tr8("整理代码目录中已有同名文件")
                               : tr8("无法创建副本：") + systemError(errno);

    const auto fail = [&](const char *what, int error) {
        ::unlink(target.constData());
        return tr8(what) + systemError(error);
    };
    char buffer[64 * 1024];
    for (;;) {
        const ssize_t got = ::read(in.fd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail("读取失败：", errno);
        if (got == 0)
            break;
        for (ssize_t written = 0; written < got;) {
            const ssize_t put = ::write(out.fd, buffer + written, size_t(got - written));
            if (put < 0 && errno == EINTR)
                continue;
            if (put < 0)
                return fail("写入副本失败：", errno);
            written += put;
        }
    }
    // The mode given to open passed through the umask; the copy belongs to the job and must be writable.
    if (::fchmod(out.fd, mode) != 0)
        return fail("无法将副本设为可写：", errno);
    if (::close(out.release()) != 0)
        return fail("写入副本失败：", errno);
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
    if (script.sources.size() < PipelineThreshold)
        copyThenFormat(script, result, report);
    else
        copyWhileFormatting(script, result, report);
    return result;
}

void JobScriptRunner::copyThenFormat(const JobScript &script, JobScriptResult &result, const Progress &report)
{
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
            return;
        }
    }

    const QStringList files = expandFormatterPattern(script.outputDirectory);
    result.filesToFormat = files.size();
    if (files.isEmpty())
        return;
    result.formatterStarted = true;
    result.formatter = FormatterRunner().run(
        {script.formatterPath, files, script.parameterText, 0},
        [&](int filesDone, int filesTotal) { return report(copies + filesDone, copies + filesTotal); });
    if (result.formatter.cancelled)
        result.stop = JobScriptResult::Stop::Cancelled;
}

void JobScriptRunner::copyWhileFormatting(const JobScript &script, JobScriptResult &result,
                                          const Progress &report)
{
    // Copying and formatting both wait mostly on the file system, so a second thread copies while the
    // formatter works through the copies made so far. The formatter sees exactly the copies, as it would
    // see them in the fresh directory after copying everything first.
    const int copies = script.sources.size();
    std::vector<QString> failures(static_cast<size_t>(copies));
    std::atomic<int> copiesMade{0};
    std::atomic<bool> stopCopying{false};
    std::thread copier([&] {
        for (int index = 0; index < copies && !stopCopying.load(); ++index) {
            failures[size_t(index)] = copyIntoDirectory(script.sources.at(index), script.outputDirectory);
            copiesMade.store(index + 1, std::memory_order_release);
        }
    });

    int collected = 0;
    QStringList pending;
    const auto collect = [&](int upTo) {
        for (; collected < upTo; ++collected) {
            const QString &source = script.sources.at(collected);
            if (failures[size_t(collected)].isEmpty()) {
                const QString copy =
                    withTrailingSeparator(script.outputDirectory) + QFileInfo(source).fileName();
                result.copied.append(copy);
                pending.append(copy);
            } else {
                result.copyFailures.append({source, failures[size_t(collected)]});
            }
        }
    };
    const auto cancel = [&] {
        stopCopying.store(true);
        copier.join();
        collect(copiesMade.load(std::memory_order_acquire));
        result.filesToFormat = result.copied.size();
        result.stop = JobScriptResult::Stop::Cancelled;
    };

    // At least two files a run, so that a run of one file never reads "-st" differently from the job.
    const int chunkSize = std::max(2, (copies + PipelineChunks - 1) / PipelineChunks);
    int filesFormatted = 0;
    for (;;) {
        const int made = copiesMade.load(std::memory_order_acquire);
        collect(made);
        const bool allMade = made == copies;
        if ((pending.size() >= chunkSize && copies - made >= 2) || (allMade && !pending.isEmpty())) {
            result.formatterStarted = true;
            const FormatterRunResult chunk = FormatterRunner().run(
                {script.formatterPath, pending, script.parameterText, 0}, [&](int filesDone, int) {
                    return report(copiesMade.load(std::memory_order_acquire) + filesFormatted + filesDone,
                                  2 * copies);
                });
            result.formatter.runs += chunk.runs;
            filesFormatted += pending.size();
            pending.clear();
            if (chunk.cancelled) {
                result.formatter.cancelled = true;
                cancel();
                return;
            }
            continue;
        }
        if (allMade)
            break;
        if (!report(made + filesFormatted, 2 * copies)) {
            cancel();
            return;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(PollMilliseconds));
    }
    copier.join();
    result.filesToFormat = result.copied.size();
}
