#include "FormatterRun.h"

#include "OutputCheck.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <memory>
#include <utility>

#include <unistd.h>

extern char **environ;

namespace {

const QString StandardOutputOption = QStringLiteral("-st");
const QString IgnoreProfileOption = QStringLiteral("-npro");

constexpr int BatchesPerProcess = 8;
// Short, so a finished batch's slot is refilled at once; progress is reported less often.
constexpr int PollMilliseconds = 2;
constexpr qint64 ProgressMilliseconds = 50;
// What exec itself needs beyond the strings: auxiliary vector, alignment, the program name copy.
constexpr qsizetype ArgumentMargin = 64 * 1024;

qsizetype argumentCost(const QString &argument)
{
    return QFile::encodeName(argument).size() + 1 + qsizetype(sizeof(char *));
}

QString fullPath(const QString &file)
{
    return QFileInfo(file).isAbsolute() ? file : QDir::current().absoluteFilePath(file);
}

} // namespace

QStringList formatterOptions(const QString &parameterText)
{
    QStringList options = parameterText.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    options.removeAll(StandardOutputOption);
    return options;
}

QStringList formatterArguments(const QStringList &files, const QStringList &options)
{
    QStringList arguments;
    arguments.reserve(files.size() + options.size());
    for (const QString &file : files)
        arguments.append(file.startsWith(QLatin1Char('-')) ? QStringLiteral("./") + file : file);
    return arguments + options;
}

QProcessEnvironment formatterEnvironment(const QProcessEnvironment &base)
{
    QProcessEnvironment environment = base;
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    environment.remove(QStringLiteral("INDENT_PROFILE"));
    return environment;
}

FormatterInvocation formatterInvocation(const QString &parameterText, const FormatterProfile &profile)
{
    FormatterInvocation invocation;
    invocation.styleOptions = formatterOptions(parameterText);
    invocation.profile = profile;
    invocation.options = QStringList{IgnoreProfileOption} + profile.options.options + invocation.styleOptions;
    return invocation;
}

QStringList standardOutputOptions(const QStringList &options)
{
    QStringList kept;
    for (qsizetype index = 0; index < options.size(); ++index) {
        const QString &option = options.at(index);
        if (takesNextWord(option) && index + 1 < options.size()) {
            kept << option << options.at(++index);
            continue;
        }
        const IndentWordRole role = indentWordRole(option);
        if (role != IndentWordRole::Verbose && role != IndentWordRole::StandardOutput)
            kept.append(option);
    }
    // first: after a bare "-T" at the end it would be taken as the type name
    return QStringList{StandardOutputOption} + kept;
}

QStringList expandFormatterPattern(const QString &directory)
{
    QStringList files;
    const QDir dir(directory);
    const QFileInfoList entries = dir.entryInfoList(
        QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo &entry : entries) {
        if (!entry.isDir())
            files.append(entry.absoluteFilePath());
    }
    return files;
}

qsizetype formatterArgumentBudget(const QString &formatterPath, const QStringList &options)
{
    long limit = ::sysconf(_SC_ARG_MAX);
    if (limit <= 0)
        limit = 128 * 1024; // the historical minimum every Linux grants
    // the variable formatterEnvironment adds
    qsizetype used = ArgumentMargin + argumentCost(formatterPath) + qsizetype(sizeof(char *)) * 2 +
                     argumentCost(QStringLiteral("VERSION_CONTROL=none"));
    for (const QString &option : options)
        used += argumentCost(option);
    for (char **variable = environ; variable && *variable; ++variable)
        used += qsizetype(std::strlen(*variable)) + 1 + qsizetype(sizeof(char *));
    return std::max<qsizetype>(qsizetype(limit) - used, 0);
}

QVector<QStringList> formatterBatches(const QStringList &files, int parallel, qsizetype argumentBudget)
{
    QVector<QStringList> batches;
    // Even shares of neighbouring files, so the processes finish together and mostly write to different
    // directories; the budget may split a share further.
    const qsizetype shares =
        std::min<qsizetype>(files.size(), qsizetype(std::max(parallel, 1)) * BatchesPerProcess);
    qsizetype next = 0;
    for (qsizetype share = 0; share < shares; ++share) {
        const qsizetype shareSize = files.size() / shares + (share < files.size() % shares ? 1 : 0);
        QStringList batch;
        qsizetype batchBytes = 0;
        for (const qsizetype end = next + shareSize; next < end; ++next) {
            const QString &file = files.at(next);
            const qsizetype cost = argumentCost(file);
            if (!batch.isEmpty() && batchBytes + cost > argumentBudget) {
                batches.append(batch);
                batch.clear();
                batchBytes = 0;
            }
            batch.append(file);
            batchBytes += cost;
        }
        batches.append(batch);
    }
    return batches;
}

bool FormatterRunResult::succeeded() const
{
    if (cancelled)
        return false;
    return std::all_of(runs.cbegin(), runs.cend(), [](const FormatterProcessResult &run) {
        return run.outcome == FormatterProcessResult::Outcome::Finished && run.exitCode == 0;
    });
}

QStringList FormatterRunResult::filesWithWarnings() const
{
    QStringList files;
    for (const FormatterProcessResult &run : runs) {
        if (run.outcome == FormatterProcessResult::Outcome::Finished && run.exitCode == 2)
            files += run.files;
    }
    return files;
}

QStringList FormatterRunResult::failedFiles() const
{
    QStringList files;
    for (const FormatterProcessResult &run : runs) {
        const bool finishedWell = run.outcome == FormatterProcessResult::Outcome::Finished &&
                                  (run.exitCode == 0 || run.exitCode == 2);
        if (!finishedWell)
            files += run.files;
    }
    return files;
}

QString FormatterRunResult::standardErrorText() const
{
    QString text;
    for (const FormatterProcessResult &run : runs)
        text += QString::fromLocal8Bit(run.standardError);
    return text;
}

namespace {

struct RunningBatch
{
    int index = 0;
    std::unique_ptr<QProcess> process;
    QElapsedTimer clock;
};

// Of files, the one process has open, as the kernel names its descriptors; empty when none.
QString openFileOf(const QProcess &process, const QStringList &files)
{
    const QString descriptors = QStringLiteral("/proc/%1/fd").arg(process.processId());
    const QFileInfoList entries = QDir(descriptors).entryInfoList(QDir::System | QDir::NoDotAndDotDot);
    for (const QFileInfo &entry : entries) {
        const QString target = entry.symLinkTarget();
        for (const QString &file : files) {
            if (target == file || target.endsWith(QLatin1Char('/') + file))
                return file;
        }
    }
    return QString();
}

void collect(QProcess &process, FormatterProcessResult &run)
{
    run.standardOutput += process.readAllStandardOutput();
    run.standardError += process.readAllStandardError();
}

bool endedWell(const FormatterProcessResult &run)
{
    return run.outcome == FormatterProcessResult::Outcome::Finished &&
           (run.exitCode == 0 || run.exitCode == 2);
}

// One FormatterRunner::run: starts batches as slots free up, checks each batch's files when it ends,
// and reports progress.
class BatchRun
{
public:
    BatchRun(const FormatterRequest &request, const FormatterRunner::Progress &progress);
    FormatterRunResult run();

private:
    void refuseAll();
    void fillSlots();
    // Reads a batch's files (and puts CRLF twins in place) once, before it starts.
    void prepare(int index);
    void startBatch(int index);
    void finish(RunningBatch &batch);
    bool keepGoing();
    void cancel();
    void stop(RunningBatch &batch, FormatterProcessResult::Outcome outcome);
    void timeOut(RunningBatch &batch);
    void takeFailures(int batchIndex);

    const FormatterRequest &m_request;
    const FormatterRunner::Progress &m_progress;
    FormatterRunResult m_result;
    FormatterInvocation m_invocation;
    QProcessEnvironment m_environment;
    RunDirectory m_directory;
    PipeFormatter m_pipe;
    int m_parallel = 1;
    QVector<QStringList> m_batches;
    QVector<QVector<RunFile>> m_prepared; // each batch's files, from before it starts until it is checked
    QVector<bool> m_isPrepared;
    OutputCheckReport m_report;
    QVector<FormatterProcessResult> m_fileFailures;
    std::vector<RunningBatch> m_running;
    int m_total = 0;
    int m_filesDone = 0;
    int m_nextBatch = 0;
    int m_reportedDone = -1;
    QElapsedTimer m_sinceReport;
};

BatchRun::BatchRun(const FormatterRequest &request, const FormatterRunner::Progress &progress)
    : m_request(request)
    , m_progress(progress)
    , m_environment(formatterEnvironment())
    , m_directory(request.directoryDescriptor)
{
    const QStringList styleOptions = formatterOptions(request.parameterText);
    m_invocation = formatterInvocation(
        request.parameterText, request.profile ? *request.profile : findFormatterProfile(styleOptions));
    m_result.profile = m_invocation.profile;
    m_pipe = PipeFormatter{request.formatterPath, standardOutputOptions(m_invocation.options), m_environment,
                           request.directoryDescriptor, request.timeLimitMilliseconds};

    QStringList files;
    files.reserve(request.files.size());
    for (const QString &file : request.files)
        files.append(request.directoryDescriptor >= 0 ? file : fullPath(file));
    m_total = int(files.size());
    m_parallel = request.maxParallel > 0 ? request.maxParallel : std::max(1, QThread::idealThreadCount());
    m_batches = formatterBatches(files, m_parallel,
                                 formatterArgumentBudget(request.formatterPath, m_invocation.options));
    m_prepared.resize(m_batches.size());
    m_isPrepared.resize(m_batches.size());
    m_result.runs.resize(m_batches.size());
    for (int i = 0; i < m_batches.size(); ++i)
        m_result.runs[i].files = m_batches.at(i);
}

FormatterRunResult BatchRun::run()
{
    if (!m_invocation.usable()) {
        refuseAll();
        return m_result;
    }
    while (m_nextBatch < m_batches.size() || !m_running.empty()) {
        fillSlots();
        // the parent's reading happens while indent works, not while a core waits for it
        if (m_nextBatch < m_batches.size())
            prepare(m_nextBatch);
        std::vector<RunningBatch> ended;
        for (auto it = m_running.begin(); it != m_running.end();) {
            // a short wait on the first only: one that ended meanwhile is seen without waiting
            const int wait = it == m_running.begin() ? PollMilliseconds : 0;
            if (it->process->waitForFinished(wait) || it->process->state() == QProcess::NotRunning) {
                ended.push_back(std::move(*it));
                it = m_running.erase(it);
            } else if (m_request.timeLimitMilliseconds > 0 &&
                       it->clock.hasExpired(m_request.timeLimitMilliseconds)) {
                timeOut(*it);
                it = m_running.erase(it);
            } else {
                collect(*it->process, m_result.runs[it->index]);
                ++it;
            }
        }
        // checked before the next batch starts: another indent writing meanwhile would change the free
        // space that tells whether a file may have been cut
        for (RunningBatch &batch : ended)
            finish(batch);
        if (!keepGoing()) {
            cancel();
            break;
        }
    }
    m_result.runs += m_fileFailures;
    m_result.mixedLineEnds = m_report.mixedLineEnds;
    m_result.crLfFiles = m_report.crLfFiles;
    m_result.checkedFiles = m_report.checkedFiles;
    m_result.repairedFiles = m_report.repairedFiles;
    return m_result;
}

// A profile that cannot be used stops every run before it starts: it names the profile.
void BatchRun::refuseAll()
{
    for (FormatterProcessResult &run : m_result.runs) {
        run.outcome = FormatterProcessResult::Outcome::FailedToStart;
        run.errorString = m_invocation.profile.problem();
    }
}

void BatchRun::fillSlots()
{
    while (int(m_running.size()) < m_parallel && m_nextBatch < m_batches.size())
        startBatch(m_nextBatch++);
}

void BatchRun::prepare(int index)
{
    if (m_isPrepared[index])
        return;
    m_isPrepared[index] = true;
    m_prepared[index] = prepareBatch(m_directory, m_batches.at(index), m_report);
    takeFailures(index);
}

void BatchRun::startBatch(int index)
{
    FormatterProcessResult &run = m_result.runs[index];
    prepare(index);
    if (run.files.isEmpty()) {
        m_filesDone += int(m_batches.at(index).size());
        return; // indent without files would read standard input and wait forever
    }

    auto process = std::make_unique<QProcess>();
    process->setProgram(m_request.formatterPath);
    process->setArguments(formatterArguments(run.files, m_invocation.options));
    process->setStandardInputFile(QProcess::nullDevice());
    process->setProcessEnvironment(m_environment);
    if (const int directory = m_request.directoryDescriptor; directory >= 0) {
        // runs in the child between fork and exec: only async-signal-safe calls
        process->setChildProcessModifier([directory] {
            if (::fchdir(directory) != 0)
                ::_exit(127);
        });
    }
    process->start();
    if (!process->waitForStarted(-1)) {
        run.outcome = FormatterProcessResult::Outcome::FailedToStart;
        run.errorString = process->errorString();
        restoreTwins(m_directory, std::exchange(m_prepared[index], {}));
        m_filesDone += int(m_batches.at(index).size());
        return;
    }
    run.started = true;
    QElapsedTimer clock;
    clock.start();
    m_running.push_back(RunningBatch{index, std::move(process), clock});
}

void BatchRun::finish(RunningBatch &batch)
{
    FormatterProcessResult &run = m_result.runs[batch.index];
    QProcess &process = *batch.process;
    collect(process, run);
    if (process.exitStatus() == QProcess::CrashExit) {
        run.outcome = FormatterProcessResult::Outcome::Crashed;
        run.errorString = process.errorString();
    } else {
        run.outcome = FormatterProcessResult::Outcome::Finished;
        run.exitCode = process.exitCode();
    }
    const QVector<RunFile> files = std::exchange(m_prepared[batch.index], {});
    if (endedWell(run)) {
        checkBatch(m_directory, files, m_pipe, FormatterRunner::LowSpaceBytes,
                   FormatterRunner::CutGranularity, m_report);
        takeFailures(batch.index);
    } else {
        restoreTwins(m_directory, files);
    }
    m_filesDone += int(m_batches.at(batch.index).size());
}

// Files that failed on their own leave their batch's run for a run of their own.
void BatchRun::takeFailures(int batchIndex)
{
    QStringList &files = m_result.runs[batchIndex].files;
    for (const FileFailure &failure : std::exchange(m_report.failures, {})) {
        files.removeOne(failure.name);
        FormatterProcessResult run;
        run.files = {failure.name};
        run.outcome = FormatterProcessResult::Outcome::FileFailed;
        run.started = failure.touched;
        run.errorString = failure.why;
        run.systemError = failure.error;
        m_fileFailures.append(run);
    }
}

bool BatchRun::keepGoing()
{
    if (!m_progress)
        return true;
    const bool finished = m_nextBatch >= m_batches.size() && m_running.empty();
    if (!finished && m_filesDone == m_reportedDone && m_sinceReport.isValid() &&
        m_sinceReport.elapsed() < ProgressMilliseconds)
        return true;
    m_reportedDone = m_filesDone;
    m_sinceReport.start();
    return m_progress(m_filesDone, m_total);
}

void BatchRun::stop(RunningBatch &batch, FormatterProcessResult::Outcome outcome)
{
    batch.process->kill();
    batch.process->waitForFinished(-1);
    FormatterProcessResult &run = m_result.runs[batch.index];
    collect(*batch.process, run);
    run.outcome = outcome;
    restoreTwins(m_directory, std::exchange(m_prepared[batch.index], {}));
}

void BatchRun::timeOut(RunningBatch &batch)
{
    FormatterProcessResult &run = m_result.runs[batch.index];
    run.timedOutFile = openFileOf(*batch.process, run.files);
    run.timedOut = true;
    run.errorString =
        QStringLiteral("indent ran longer than %1 s").arg(m_request.timeLimitMilliseconds / 1000.0);
    stop(batch, FormatterProcessResult::Outcome::Crashed);
    m_filesDone += int(m_batches.at(batch.index).size());
}

void BatchRun::cancel()
{
    for (RunningBatch &batch : m_running)
        stop(batch, FormatterProcessResult::Outcome::Cancelled);
    m_running.clear();
    for (int index = m_nextBatch; index < m_batches.size(); ++index) {
        m_result.runs[index].outcome = FormatterProcessResult::Outcome::Cancelled;
        restoreTwins(m_directory, std::exchange(m_prepared[index], {})); // read ahead, never run
    }
    m_result.cancelled = true;
}

} // namespace

FormatterRunResult FormatterRunner::run(const FormatterRequest &request, const Progress &progress) const
{
    if (request.files.isEmpty())
        return FormatterRunResult(); // indent without files would read standard input and wait forever
    return BatchRun(request, progress).run();
}
