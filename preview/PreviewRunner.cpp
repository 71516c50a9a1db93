#include "PreviewRunner.h"

#include "Descriptor.h"
#include "FormatterRun.h"
#include "LineEnds.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QThread>

#include <malloc.h>

#include <cctype>
#include <cstring>
#include <mutex>
#include <thread>
#include <utility>

namespace {

const QString StandInName = QStringLiteral("preview");
const QString SampleResource = QStringLiteral(":/preview/sample.c");
// A killed formatter is gone within moments; this bounds the wait for a process stuck in the kernel.
constexpr int ReapMilliseconds = 5000;

// A diff of two 20,000-line texts allocates and frees some megabytes. With glibc's defaults those
// blocks are mapped afresh and handed back to the kernel on every run, and faulting them in again
// took more than half of each diff's time. Blocks up to 16 MB stay in the heap, and up to 16 MB of
// free heap is kept for the next run.
void keepDiffMemory()
{
    static std::once_flag kept;
    std::call_once(kept, [] {
        constexpr int Kept = 16 * 1024 * 1024;
        mallopt(M_MMAP_THRESHOLD, Kept);
        mallopt(M_TRIM_THRESHOLD, Kept);
    });
}

// Texts this small (some 2,500 lines) are diffed in about a millisecond.
constexpr qsizetype QuickDiffBytes = 64 * 1024;

bool diffsAreQuick(const PreviewResult &result)
{
    return result.request.source.size() <= QuickDiffBytes && result.formatted.size() <= QuickDiffBytes &&
           result.request.previousResult.size() <= QuickDiffBytes;
}

void fillSourceDiff(PreviewResult &result)
{
    result.sourceDiff = diffLines(result.request.source, result.formatted);
}

void fillPreviousDiff(PreviewResult &result)
{
    if (result.request.comparePrevious)
        result.previousDiff = diffLines(result.request.previousResult, result.formatted);
}

void fillDiffs(PreviewResult &result)
{
    fillSourceDiff(result);
    fillPreviousDiff(result);
}

bool usableCopyName(const QString &name)
{
    return !name.isEmpty() && name != QLatin1String(".") && name != QLatin1String("..") &&
           !name.contains(QLatin1Char('/')) && !name.contains(QChar::Null);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

bool PreviewResult::hasOutput() const
{
    return outcome == Outcome::Finished && (exitCode == 0 || exitCode == 2);
}

PreviewRunner::PreviewRunner(const QString &formatterPath, QObject *parent)
    : QObject(parent)
    , m_formatterPath(formatterPath)
{
    keepDiffMemory();
    m_timeLimit.setSingleShot(true);
    m_timeLimit.setInterval(DefaultTimeLimitMilliseconds);
    connect(&m_timeLimit, &QTimer::timeout, this, &PreviewRunner::timeLimitReached);
}

PreviewRunner::~PreviewRunner()
{
    cancel();
    if (m_diffThread)
        m_diffThread->wait(); // deleted as a child
}

void PreviewRunner::setTimeLimit(int milliseconds)
{
    m_timeLimit.setInterval(milliseconds);
}

quint64 PreviewRunner::format(const PreviewRequest &request)
{
    disposeProcess(true);
    m_diffAwaited = 0;
    const quint64 id = ++m_lastId;
    m_current = PreviewResult();
    m_current.id = id;
    m_current.request = request;
    m_current.optionCount = int(formatterOptions(request.parameterText).size());
    startRun(id);
    return id;
}

void PreviewRunner::cancel()
{
    disposeProcess(true);
    m_current = PreviewResult(); // a failure waiting to be reported is dropped too
    m_diffAwaited = 0;
}

bool PreviewRunner::isRunning() const
{
    return m_process && m_process->state() != QProcess::NotRunning;
}

qint64 PreviewRunner::processId() const
{
    return isRunning() ? m_process->processId() : 0;
}

QString PreviewRunner::scratchDirectory() const
{
    return m_scratch ? m_scratch->path() : QString();
}

void PreviewRunner::startRun(quint64 id)
{
    PreviewResult failure = m_current;
    failure.outcome = PreviewResult::Outcome::ScratchFailed;
    const auto reportLater = [this](const PreviewResult &result) {
        // deferred, so that a result never arrives from within format()
        QTimer::singleShot(0, this, [this, result] { report(result); });
    };
    if (!m_scratch)
        m_scratch = std::make_unique<PrivateDirectory>(privateTemporaryRoot(), ScratchPrefix::Preview);
    if (!m_scratch->isValid()) {
        failure.errorString = m_scratch->errorString();
        m_scratch.reset(); // the next run tries again
        reportLater(failure);
        return;
    }

    const QString name = usableCopyName(m_current.request.fileName) ? m_current.request.fileName
                                                                    : StandInName + QStringLiteral(".c");
    const QString copyPath = m_scratch->filePath(name);
    if (!m_copyPath.isEmpty() && m_copyPath != copyPath)
        QFile::remove(m_copyPath);
    m_copyPath = copyPath;
    const QByteArray &source = m_current.request.source;
    const LineEnds lineEnds = lineEndsOf(source);
    m_current.mixedLineEnds = failure.mixedLineEnds = lineEnds == LineEnds::Mixed;
    QFile copy(copyPath);
    const QByteArray input = lineEnds == LineEnds::CrLf ? withLineFeeds(source) : source;
    if (!copy.open(QIODevice::WriteOnly | QIODevice::Truncate) || copy.write(input) != input.size() ||
        !copy.flush()) {
        failure.errorString = copy.errorString();
        reportLater(failure);
        return;
    }
    copy.close();

    const QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    const FormatterInvocation invocation =
        formatterInvocation(m_current.request.parameterText,
                            findFormatterProfile(formatterOptions(m_current.request.parameterText),
                                                 environment, QDir::currentPath()));
    if (!invocation.usable()) {
        failure.outcome = PreviewResult::Outcome::FailedToStart;
        failure.errorString = invocation.profile.problem();
        reportLater(failure);
        return;
    }
    m_crLf = lineEnds == LineEnds::CrLf;
    m_process = new QProcess(this);
    m_process->setProgram(m_formatterPath);
    m_process->setArguments(formatterArguments({name}, standardOutputOptions(invocation.options)));
    m_process->setProcessEnvironment(formatterEnvironment(environment));
    m_process->setWorkingDirectory(m_scratch->path());
    m_process->setStandardInputFile(QProcess::nullDevice());
    connect(m_process, &QProcess::finished, this, &PreviewRunner::processFinished);
    connect(m_process, &QProcess::errorOccurred, this, [this, id](QProcess::ProcessError error) {
        // a crash also ends in finished(); only a failed start ends here
        if (error == QProcess::FailedToStart && id == m_current.id)
            processFailedToStart();
    });
    m_clock.start();
    m_process->start();
    if (m_process)
        m_timeLimit.start();
}

void PreviewRunner::processFinished()
{
    PreviewResult result = m_current;
    result.elapsedNanoseconds = m_clock.nsecsElapsed();
    result.messages = m_process->readAllStandardError();
    if (m_process->exitStatus() == QProcess::CrashExit) {
        result.outcome = PreviewResult::Outcome::Crashed;
        result.errorString = m_process->errorString();
    } else {
        result.outcome = PreviewResult::Outcome::Finished;
        result.exitCode = m_process->exitCode();
        const QByteArray text = m_process->readAllStandardOutput();
        if (result.hasOutput())
            result.formatted = m_crLf ? withCrLf(text) : text;
    }
    disposeProcess(false);
    // a handler of finished() may have asked for a newer result already
    if (!report(result) || !result.hasOutput() || result.id != m_lastId)
        return;
    if (diffsAreQuick(result)) {
        // a thread would cost more than the diffs, and the window would paint the text before its
        // markers came
        fillDiffs(result);
        emit diffsReady(result);
        return;
    }
    m_diffAwaited = result.id;
    m_diffQueued = result;
    startDiff();
}

void PreviewRunner::startDiff()
{
    if (m_diffThread || !m_diffQueued)
        return;
    m_diffing = *std::exchange(m_diffQueued, std::nullopt);
    if (m_diffing.id != m_diffAwaited)
        return;
    m_diffThread = QThread::create([result = &m_diffing] {
        // the two diffs are independent: on two cores they take the time of the longer one
        std::thread previous;
        if (result->request.comparePrevious)
            previous = std::thread([result] { fillPreviousDiff(*result); });
        fillSourceDiff(*result);
        if (previous.joinable())
            previous.join();
    });
    m_diffThread->setParent(this); // a finished one waiting for deleteLater goes with the runner
    connect(m_diffThread, &QThread::finished, this, &PreviewRunner::diffFinished);
    m_diffThread->start();
}

void PreviewRunner::diffFinished()
{
    m_diffThread->wait();
    m_diffThread->deleteLater();
    m_diffThread = nullptr;
    const PreviewResult result = std::exchange(m_diffing, PreviewResult());
    if (result.id == m_diffAwaited) {
        m_diffAwaited = 0;
        emit diffsReady(result);
    }
    startDiff();
}

void PreviewRunner::processFailedToStart()
{
    PreviewResult result = m_current;
    result.outcome = PreviewResult::Outcome::FailedToStart;
    result.errorString = m_process->errorString();
    disposeProcess(false);
    QTimer::singleShot(0, this, [this, result] { report(result); });
}

void PreviewRunner::timeLimitReached()
{
    if (!m_process)
        return;
    PreviewResult result = m_current;
    result.elapsedNanoseconds = m_clock.nsecsElapsed();
    result.outcome = PreviewResult::Outcome::TimedOut;
    result.messages = m_process->readAllStandardError();
    disposeProcess(true);
    report(result);
}

bool PreviewRunner::report(const PreviewResult &result)
{
    // only the latest request's result, and only once
    if (result.id == 0 || result.id != m_current.id || m_process)
        return false;
    m_current.id = 0;
    emit finished(result);
    return true;
}

void PreviewRunner::disposeProcess(bool kill)
{
    m_timeLimit.stop();
    QProcess *process = std::exchange(m_process, nullptr);
    if (!process)
        return;
    disconnect(process, nullptr, this, nullptr);
    if (kill && process->state() != QProcess::NotRunning) {
        process->kill();
        process->waitForFinished(ReapMilliseconds);
    }
    // it may be the sender of the signal being handled
    process->deleteLater();
}

QByteArray previewSample()
{
    QFile sample(SampleResource);
    return sample.open(QIODevice::ReadOnly) ? sample.readAll() : QByteArray();
}

QString previewSampleName()
{
    return QStringLiteral("sample.c");
}

PreviewSourceFile readPreviewSource(const QByteArray &localPath)
{
    PreviewSourceFile file;
    RegularFileRead read = readRegularFile(localPath, PreviewSourceFile::MaximumBytes);
    switch (read.status) {
    case RegularFileRead::Status::Read:
        file.ok = true;
        file.text = std::move(read.bytes);
        break;
    case RegularFileRead::Status::NotRegular:
        file.problem = PreviewSourceFile::Problem::NotRegular;
        break;
    case RegularFileRead::Status::TooLarge:
        file.problem = PreviewSourceFile::Problem::TooLarge;
        break;
    case RegularFileRead::Status::Failed:
        file.problem = PreviewSourceFile::Problem::Failed;
        file.error = systemError(read.error);
        break;
    }
    return file;
}

QString previewCopyName(const QByteArray &localPath)
{
    const QByteArray base = localPath.mid(localPath.lastIndexOf('/') + 1);
    const QString name = QFile::decodeName(base);
    if (usableCopyName(name) && QFile::encodeName(name) == base)
        return name;
    const qsizetype dot = base.lastIndexOf('.');
    const QByteArray suffix = dot > 0 ? base.mid(dot) : QByteArray();
    bool plain = !suffix.isEmpty();
    for (const char c : suffix)
        plain = plain && (std::isalnum(static_cast<unsigned char>(c)) || c == '.');
    return StandInName + (plain ? QString::fromLatin1(suffix) : QStringLiteral(".c"));
}
