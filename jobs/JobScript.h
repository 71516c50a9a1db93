#pragma once

#include "FormatterRun.h"

#include <QByteArray>
#include <QDateTime>
#include <QString>
#include <QStringList>
#include <QVector>

#include <functional>

// programDirectory + "cmd.bat".
QString jobScriptPath(const QString &programDirectory);

// programDirectory + "FormatFile" + the stamp as yyyyMMdd-hhmmsszzz.
QString outputDirectoryPath(const QString &programDirectory, const QDateTime &stamp);

// Whether a path can stand between double quotes on a script line and be read back as the same file:
// no double quote, no control or line-break character, and no U+FFFD (what undecodable bytes of a
// file name turn into, so the name no longer reaches the file).
bool isScriptSafeName(const QString &path);

// What one job's script says: make outputDirectory (and, for a tree, its subdirectories), copy each
// source into it, run the formatter over every file in each directory that gets copies.
struct JobScript
{
    QString outputDirectory;
    QStringList sources; // full paths, in job order
    // per source: the subdirectory of outputDirectory it is copied into, empty for outputDirectory
    // itself; may be left empty altogether for a job without subdirectories
    QStringList targets;
    QStringList subdirectories; // relative to outputDirectory, each after its parent
    QString formatterPath;
    QString parameterText; // verbatim

    QString targetOf(int sourceIndex) const;
};

// The script's lines without their line feeds: `mkdir "<dir>"`, `mkdir "<dir>/<sub>"` per
// subdirectory, `copy "<source>" "<dir>[/<sub>]"` per source, and `"<formatter>" "<dir>[/<sub>]/*.*"
// <parameterText>` per directory that gets copies. Names are written as they are: callers keep unsafe
// ones out (isScriptSafeName).
QStringList jobScriptLines(const JobScript &script);

// The script file's exact bytes: every line in UTF-8 followed by one line feed.
QByteArray buildJobScript(const JobScript &script);

// A script read back, or why it cannot be run. Only the shape buildJobScript writes is accepted.
struct ParsedJobScript
{
    bool valid = false;
    int invalidLineNumber = 0; // 1-based; 0 when the whole text is at fault
    QString invalidLine;
    JobScript script;
};
ParsedJobScript parseJobScript(const QByteArray &bytes);

struct CopyFailure
{
    QString source;
    QString reason; // for the person, in Chinese
};

struct JobScriptResult
{
    enum class Stop {
        Completed,        // every line was carried out (individual copies may still have failed)
        InvalidScript,    // nothing was done
        NoSpace,          // the file system cannot hold the job; nothing was done
        DirectoryNotMade, // nothing was copied or formatted
        Cancelled,        // stopped between copies or while the formatter ran
    };
    Stop stop = Stop::Completed;
    QString problem;        // the invalid line or why the directory could not be made
    qint64 bytesNeeded = 0; // with NoSpace: what the job would need, and what was free
    qint64 bytesAvailable = 0;

    QString outputDirectory;
    bool directoryMade = false; // by this run; an existing directory is never touched
    int copiesPlanned = 0;
    QStringList copied; // the copies made, as paths inside outputDirectory
    QVector<CopyFailure> copyFailures;
    // Sources replaced after the job found them (a folder on the way swapped for a link, say):
    // skipped, never read.
    QVector<CopyFailure> replaced;

    bool formatterStarted = false;
    int filesToFormat = 0;
    FormatterRunResult formatter; // files named relative to outputDirectory

    // Copies whose formatter run was cancelled, crashed or failed: each was put back as an intact copy
    // of its source; those that could not be are in restoreFailures.
    QStringList restored;
    QVector<CopyFailure> restoreFailures;
    // Copies the formatter runner could not make whole (FileFailed: most likely the file system ran
    // full while they were written): each was put back as an intact copy where possible.
    QStringList incomplete;

    int filesFormatted() const; // files of formatter runs that finished with status 0 or 2, complete
};

// Carries out a job script without any shell: the kinds of line it knows and nothing else. The output
// directory is made and then worked through one open handle.
class JobScriptRunner
{
public:
    // Steps done so far (copies, then formatted files) of the total; return false to cancel.
    using Progress = std::function<bool(int done, int total)>;
    // Free bytes on the file system that will hold the output directory; tests stand in for it.
    using FreeSpaceProbe = std::function<qint64(const QString &directory)>;

    JobScriptResult run(const QByteArray &scriptBytes, const Progress &progress = {}) const;

    void setFreeSpaceProbe(FreeSpaceProbe probe) { m_freeSpace = std::move(probe); }
    // Sources below the directory whose path is prefix (ending in '/') are read through its open
    // descriptor, which the caller keeps open during run (see JobSources).
    void setSourceDirectory(const QString &prefix, int directoryFd)
    {
        m_sourcePrefix = prefix;
        m_sourceDirectoryFd = directoryFd;
    }

    // What a job over sources of these sizes needs free before it starts: the copies, room for the
    // formatter's rewrite of each to grow, and a margin.
    static qint64 bytesNeeded(qint64 sourceBytes);

private:
    FreeSpaceProbe m_freeSpace;
    QString m_sourcePrefix;
    int m_sourceDirectoryFd = -1;
};
