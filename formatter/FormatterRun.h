#pragma once

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// The options GNU indent gets for a parameter text: one argument per option text, exactly as shown,
// except "-st". Formatting always goes to the files, so "-st" is left out for every run whatever its
// number of files; a bare "-T" stays and takes the next option as its type name, as indent reads it.
QStringList formatterOptions(const QString &parameterText);

// One run's command line after the program: the files first, then the options, so that a bare "-T"
// at the end never takes a file as its type name. A relative name that begins with '-' gets "./".
QStringList formatterArguments(const QStringList &files, const QStringList &options);

// Whether indent reads no profile with these options.
bool formatterIgnoresProfile(const QStringList &options);

// The environment of every formatter run, from the program's own environment and working directory:
// - VERSION_CONTROL=none, so indent writes no backups (a job would only delete them; a user's
//   SIMPLE_BACKUP_SUFFIX such as ".c" could otherwise leave backups that look like sources);
// - INDENT_PROFILE naming the profile indent would read if it ran in workingDirectory: the user's
//   INDENT_PROFILE (made absolute), else workingDirectory/.indent.pro, else $HOME/.indent.pro, else
//   /dev/null. indent itself runs inside the directory it formats, where it must not look.
QProcessEnvironment
formatterEnvironment(const QStringList &options,
                     const QProcessEnvironment &base = QProcessEnvironment::systemEnvironment(),
                     const QString &workingDirectory = QString());

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
    // When set, indent runs inside this open directory and files are names relative to it: nothing
    // swapped in for the directory's path afterwards is ever reached.
    int directoryDescriptor = -1;
};

// One formatter process over one batch of files.
struct FormatterProcessResult
{
    enum class Outcome { Finished, FailedToStart, Crashed, Cancelled };
    QStringList files;
    Outcome outcome = Outcome::Finished;
    bool started = false; // whether a process ran over these files at all
    int exitCode = 0;     // meaningful when Finished: 0 clean, 2 a file did not parse cleanly, else failed
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
// in parallel up to the core count, with formatterArguments and formatterEnvironment: the profile is
// the one indent would read in the program's working directory, and no backups are written. Without a
// directory descriptor files are handed over by full path. With no files nothing is started. No
// dialogs: the caller turns the result into words.
class FormatterRunner
{
public:
    // Called while the formatter runs: files done so far and the total; return false to cancel, which
    // ends running formatters and starts no more.
    using Progress = std::function<bool(int filesDone, int filesTotal)>;

    FormatterRunResult run(const FormatterRequest &request, const Progress &progress = {}) const;
};
