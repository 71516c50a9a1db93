#include "FormatterRun.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cstring>
#include <memory>

#include <unistd.h>

extern char **environ;

namespace {

const QString StandardOutputOption = QStringLiteral("-st");
const QString ProfileName = QStringLiteral(".indent.pro");

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

bool formatterIgnoresProfile(const QStringList &options)
{
    return options.contains(QStringLiteral("-npro")) ||
           options.contains(QStringLiteral("--ignore-profile")) ||
           options.contains(QStringLiteral("+ignore-profile"));
}

QProcessEnvironment formatterEnvironment(const QStringList &options, const QProcessEnvironment &base,
                                         const QString &workingDirectory)
{
    QProcessEnvironment environment = base;
    environment.insert(QStringLiteral("VERSION_CONTROL"), QStringLiteral("none"));
    if (formatterIgnoresProfile(options))
        return environment;

    const QDir here(workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory);
    const QString profileVariable = QStringLiteral("INDENT_PROFILE");
    QString profile;
    if (environment.contains(profileVariable)) {
        // indent refuses to run when this names nothing readable; handed on, it does the same here
        profile = here.absoluteFilePath(environment.value(profileVariable));
    } else {
        const QString local = here.absoluteFilePath(ProfileName);
        const QString home = environment.value(QStringLiteral("HOME"));
        if (QFileInfo(local).isReadable())
            profile = local;
        else if (!home.isEmpty() && QFileInfo(home + QLatin1Char('/') + ProfileName).isReadable())
            profile = home + QLatin1Char('/') + ProfileName;
        else
            profile = QStringLiteral("/dev/null");
    }
    environment.insert(profileVariable, profile);
    return environment;
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
    // the variables formatterEnvironment adds, a profile path of any length included
    qsizetype used = ArgumentMargin + argumentCost(formatterPath) + qsizetype(sizeof(char *)) * 2 +
                     argumentCost(QStringLiteral("VERSION_CONTROL=none")) +
                     argumentCost(QString(4096 + 16, QLatin1Char('x')));
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
};

void collect(QProcess &process, FormatterProcessResult &run)
{
    run.standardOutput += process.readAllStandardOutput();
    run.standardError += process.readAllStandardError();
}

} // namespace

FormatterRunResult FormatterRunner::run(const FormatterRequest &request, const Progress &progress) const
{
    FormatterRunResult result;
    if (request.files.isEmpty())
        return result; // indent without files would read standard input and wait forever

    QStringList files;
    files.reserve(request.files.size());
    for (const QString &file : request.files)
        files.append(request.directoryDescriptor >= 0 ? file : fullPath(file));

    const QStringList options = formatterOptions(request.parameterText);
    const int parallel =
        request.maxParallel > 0 ? request.maxParallel : std::max(1, QThread::idealThreadCount());
    const QVector<QStringList> batches =
        formatterBatches(files, parallel, formatterArgumentBudget(request.formatterPath, options));

    result.runs.resize(batches.size());
    for (int i = 0; i < batches.size(); ++i)
        result.runs[i].files = batches.at(i);

    const QProcessEnvironment environment = formatterEnvironment(options);
    const int directory = request.directoryDescriptor;

    const int total = int(files.size());
    int filesDone = 0;
    int nextBatch = 0;
    std::vector<RunningBatch> running;
    int reportedDone = -1;
    QElapsedTimer sinceReport;

    const auto finish = [&](RunningBatch &batch) {
        FormatterProcessResult &run = result.runs[batch.index];
        QProcess &process = *batch.process;
        collect(process, run);
        if (process.exitStatus() == QProcess::CrashExit) {
            run.outcome = FormatterProcessResult::Outcome::Crashed;
            run.errorString = process.errorString();
        } else {
            run.outcome = FormatterProcessResult::Outcome::Finished;
            run.exitCode = process.exitCode();
        }
        filesDone += int(run.files.size());
    };

    while (nextBatch < batches.size() || !running.empty()) {
        while (int(running.size()) < parallel && nextBatch < batches.size()) {
            const int index = nextBatch++;
            auto process = std::make_unique<QProcess>();
            process->setProgram(request.formatterPath);
            process->setArguments(formatterArguments(batches.at(index), options));
            process->setStandardInputFile(QProcess::nullDevice());
            process->setProcessEnvironment(environment);
            if (directory >= 0) {
                // runs in the child between fork and exec: only async-signal-safe calls
                process->setChildProcessModifier([directory] {
                    if (::fchdir(directory) != 0)
                        ::_exit(127);
                });
            }
            process->start();
            if (!process->waitForStarted(-1)) {
                FormatterProcessResult &run = result.runs[index];
                run.outcome = FormatterProcessResult::Outcome::FailedToStart;
                run.errorString = process->errorString();
                filesDone += int(run.files.size());
                continue;
            }
            result.runs[index].started = true;
            running.push_back(RunningBatch{index, std::move(process)});
        }

        for (auto it = running.begin(); it != running.end();) {
            if (it->process->waitForFinished(PollMilliseconds) ||
                it->process->state() == QProcess::NotRunning) {
                finish(*it);
                it = running.erase(it);
            } else {
                collect(*it->process, result.runs[it->index]);
                ++it;
            }
        }

        if (!progress)
            continue;
        const bool finished = nextBatch >= batches.size() && running.empty();
        if (!finished && filesDone == reportedDone && sinceReport.isValid() &&
            sinceReport.elapsed() < ProgressMilliseconds)
            continue;
        reportedDone = filesDone;
        sinceReport.start();
        if (!progress(filesDone, total)) {
            for (RunningBatch &batch : running) {
                batch.process->kill();
                batch.process->waitForFinished(-1);
                FormatterProcessResult &run = result.runs[batch.index];
                collect(*batch.process, run);
                run.outcome = FormatterProcessResult::Outcome::Cancelled;
            }
            running.clear();
            for (int index = nextBatch; index < batches.size(); ++index)
                result.runs[index].outcome = FormatterProcessResult::Outcome::Cancelled;
            result.cancelled = true;
            break;
        }
    }
    return result;
}
