#pragma once

#include "FormatterProfile.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>
#include <optional>

// The options GNU indent gets for a parameter text: one argument per option text, exactly as shown,
// except "-st". Formatting always goes to the files, so "-st" is left out for every run whatever its
// number of files; a bare "-T" stays and takes the next option as its type name, as indent reads it.
QStringList formatterOptions(const QString &parameterText);

// One run's command line after the program: the files first, then the options, so that a bare "-T"
// at the end never takes a file as its type name. A relative name that begins with '-' gets "./".
QStringList formatterArguments(const QStringList &files, const QStringList &options);

// The environment of every formatter run: the program's own with VERSION_CONTROL=none, so indent
// writes no backups (a job would only delete them; a user's SIMPLE_BACKUP_SUFFIX such as ".c" could
// otherwise leave backups that look like sources), and without INDENT_PROFILE, which no run reads.
QProcessEnvironment
formatterEnvironment(const QProcessEnvironment &base = QProcessEnvironment::systemEnvironment());

// What every run of one style gets after its files. indent never opens a profile itself ("-npro"): a
// FIFO there would hang it, and "-st" or "-o" there would send its text elsewhere. The profile that
// counts is read by the runner, and the options it gives come first, so the style's own still win.
struct FormatterInvocation
{
    QStringList styleOptions; // formatterOptions of the parameter text
    FormatterProfile profile;
    QStringList options; // "-npro", the profile's options, the style's options

    bool usable() const { return profile.usable(); }
};
FormatterInvocation formatterInvocation(const QString &parameterText, const FormatterProfile &profile);

// The options of a run that writes the text to standard output: "-st" ahead of options, less their
// verbose words (their counts would land in the text); a type name after "-T" stays one.
QStringList standardOutputOptions(const QStringList &options);

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
    // The profile to use; when unset, the one findFormatterProfile finds for the program's working
    // directory and environment.
    std::optional<FormatterProfile> profile;
    // When above 0, a process still running after this long is killed and its run ends as Crashed,
    // naming in timedOutFile the file it was formatting: a profile can make indent pad billions of
    // columns, and nothing then may hold a hook or a CI job for minutes.
    qint64 timeLimitMilliseconds = 0;
};

// One formatter process over one batch of files, or one file that failed on its own.
struct FormatterProcessResult
{
    enum class Outcome {
        Finished,
        FailedToStart, // also when the profile cannot be used: errorString names it
        Crashed,
        Cancelled,
        // This file alone: the runner could not read it before the run, or could not put indent's
        // whole text in place after it (errorString says why). What the file holds is not to be used.
        FileFailed,
    };
    QStringList files;
    Outcome outcome = Outcome::Finished;
    bool started = false; // whether a process ran over these files at all
    int exitCode = 0;     // meaningful when Finished: 0 clean, 2 a file did not parse cleanly, else failed
    QByteArray standardOutput;
    QByteArray standardError;
    QString errorString;   // from QProcess, when it failed to start or crashed; why a file failed
    int systemError = 0;   // errno with FileFailed
    bool timedOut = false; // Crashed: killed at the request's time limit
    QString timedOutFile;  // of files, the one it had open then (empty when none could be told)
};

struct FormatterRunResult
{
    QVector<FormatterProcessResult> runs;
    bool cancelled = false;
    FormatterProfile profile;  // the profile the runs used, or the one that stopped them
    QStringList mixedLineEnds; // files with CRLF and LF lines both, formatted as they were
    QStringList crLfFiles;     // files formatted as their LF twins and given back their CRLF
    QStringList checkedFiles;  // files formatted a second time, through a pipe, to check them
    QStringList repairedFiles; // of those, files indent had cut short: the runner wrote the whole text

    bool succeeded() const;                // every run finished with status 0 (or no file at all)
    QStringList filesWithWarnings() const; // files of runs that ended with status 2
    // files of runs that failed to start, crashed, were cancelled or ended with another status, and
    // files that failed on their own
    QStringList failedFiles() const;
    QString standardErrorText() const; // every run's standard error, decoded, in run order
};

// Runs the formatter over files in place, in batches that stay below the system's argument limit and
// in parallel up to the core count, with formatterArguments, formatterInvocation and
// formatterEnvironment; no backups are written. Without a directory descriptor files are handed over
// by full path. With no files nothing is started. No dialogs: the caller turns the result into words.
//
// indent exits 0 when a full file system cut its output short, so its status is never taken for
// what it wrote. Each file is read before its batch starts; once the batch has ended well, a file
// whose new size is a whole number of 512-byte blocks (where a cut write stops), or any file of a
// batch after which its file system has little room left, is formatted again from the bytes read
// before, through a pipe, and the runner's own checked write puts that text in place. A file that
// cannot be made whole is reported as FileFailed, never as formatted.
//
// A file whose lines all end in CRLF is formatted as its LF twin and given back its CRLF; one with
// mixed line ends is formatted as it is and named in mixedLineEnds.
class FormatterRunner
{
public:
    // Called while the formatter runs: files done so far and the total; return false to cancel, which
    // ends running formatters and starts no more.
    using Progress = std::function<bool(int filesDone, int filesTotal)>;

    // Below this many free bytes after a batch, every file of the batch is checked.
    static constexpr qint64 LowSpaceBytes = 1024 * 1024;
    // A write cut by a full file system stops at a multiple of the file system's block size.
    static constexpr qint64 CutGranularity = 512;

    FormatterRunResult run(const FormatterRequest &request, const Progress &progress = {}) const;
};
