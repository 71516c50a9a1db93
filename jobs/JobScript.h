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

// What one job's script says: make outputDirectory, copy each source into it, run the formatter over
// every file in it with parameterText.
struct JobScript
{
    QString outputDirectory;
    QStringList sources; // full paths, in job order
    QString formatterPath;
    QString parameterText; // verbatim
};

// The script's lines without their line feeds: `mkdir "<dir>"`, `copy "<source>" "<dir>"` per source,
// `"<formatter>" "<dir>/*.*" <parameterText>`. Names are written as they are: callers keep unsafe
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
        DirectoryNotMade, // nothing was copied or formatted
        Cancelled,        // stopped between copies or while the formatter ran
    };
    Stop stop = Stop::Completed;
    QString problem; // the invalid line or why the directory could not be made

    QString outputDirectory;
    bool directoryMade = false; // by this run; an existing directory is never touched
    int copiesPlanned = 0;
    QStringList copied; // the copies made, as paths inside outputDirectory
    QVector<CopyFailure> copyFailures;

    bool formatterStarted = false;
    int filesToFormat = 0;
    FormatterRunResult formatter;

    int filesFormatted() const; // files of formatter runs that finished with status 0 or 2
};

// Carries out a job script without any shell: the three kinds of line it knows and nothing else.
class JobScriptRunner
{
public:
    // Steps done so far (copies, then formatted files) of the total; return false to cancel.
    using Progress = std::function<bool(int done, int total)>;

    JobScriptResult run(const QByteArray &scriptBytes, const Progress &progress = {}) const;

    // Copies source into directory under its own name and makes the copy writable for its owner. An
    // empty result means success, otherwise it says why not.
    static QString copyIntoDirectory(const QString &source, const QString &directory);

private:
    static void copyThenFormat(const JobScript &script, JobScriptResult &result, const Progress &report);
    static void copyWhileFormatting(const JobScript &script, JobScriptResult &result, const Progress &report);
};
