#pragma once

#include <QByteArray>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The arguments GNU indent gets for a parameter text and a number of input files (files themselves
// not included): one argument per option text, a bare "-T" left out (it would swallow the next option
// as a type name), "-st" left out when two or more files are handed over.
QStringList formatterOptions(const QString &parameterText, int fileCount);

// Every entry directly inside directory that is not a directory, as full paths, names unchanged.
QStringList expandFormatterPattern(const QString &directory);

// Bytes one formatter process may spend on its file arguments: the system's argument limit less the
// environment, the program path and the options it gets, and a safety margin.
qsizetype formatterArgumentBudget(const QString &formatterPath, const QStringList &options);

// Splits files into batches for parallel processes: about eight per process when there are many
// files, none whose arguments (bytes, terminators and pointers) exceed argumentBudget. Keeps every file
// exactly once; a single file larger than the budget still gets a batch of its own.
QVector<QStringList> formatterBatches(const QStringList &files, int parallel, qsizetype argumentBudget);

struct FormatterRequest
{
    QString formatterPath;
    QStringList files;     // full paths
    QString parameterText; // exactly as the user sees it
    int maxParallel = 0;   // 0: one process per core
};

// One formatter process over one batch of files.
struct FormatterProcessResult
{
    enum class Outcome { Finished, FailedToStart, Crashed, Cancelled };
    QStringList files;
    Outcome outcome = Outcome::Finished;
    int exitCode = 0; // meaningful when Finished: 0 clean, 2 a file did not parse cleanly, else failed
    QByteArray standardOutput;
    QByteArray standardError;
    QString errorString; // from QProcess, when it failed to start or crashed
};

struct FormatterRunResult
{
    QVector<FormatterProcessResult> runs;
    bool cancelled = false;

    bool succeeded() const;                // every run finished with status 0 (or no file at all)
    QStringList filesWithWarnings() const; // files of runs that ended with status 2
    QStringList failedFiles()
        const; // files of runs that failed to start, crashed, were cancelled or ended with another status
    QString standardErrorText() const; // every run's standard error, decoded, in run order
};

// Runs the formatter over files in place, in batches that stay below the system's argument limit and
// in parallel up to the core count. Runs in the program's working directory and environment, so
// .indent.pro, INDENT_PROFILE, HOME, SIMPLE_BACKUP_SUFFIX and VERSION_CONTROL act as they do for indent;
// when VERSION_CONTROL is unset, backups are simple ("file~"). Files are always handed over by full
// path. With no files nothing is started. No dialogs: the caller turns the result into words.
class FormatterRunner
{
public:
    // Called while the formatter runs: files done so far and the total; return false to cancel, which
    // ends running formatters and starts no more.
    using Progress = std::function<bool(int filesDone, int filesTotal)>;

    FormatterRunResult run(const FormatterRequest &request, const Progress &progress = {}) const;
};
