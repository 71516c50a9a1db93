#pragma once

#include "LineEnds.h"

#include <QByteArray>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>
#include <QVector>

// The files of one formatter run, reached through the run's directory descriptor, or by full path when
// there is none. Links are never followed, and nothing but a regular file is read or written, so a
// FIFO or a device swapped in never blocks the runner.
class RunDirectory
{
public:
    explicit RunDirectory(int directoryDescriptor);

    // false with why (and errno in error) when the file cannot be read whole.
    bool read(const QString &name, QByteArray *bytes, QString *why, int *error) const;
    // Replaces the file's content in place (keeping its inode and mode) and confirms its new size.
    bool write(const QString &name, const QByteArray &bytes, QString *why, int *error) const;
    // -1 when the file cannot be looked at.
    qint64 size(const QString &name) const;
    // Free bytes for an unprivileged writer on the file system that holds name; -1 when unknown.
    qint64 freeBytes(const QString &name) const;
    // Whether every file lies in the one directory, so that one answer of freeBytes holds for all.
    bool isOneDirectory() const;

private:
    int m_directory;
};

// One file of a batch as the runner read it before indent ran.
struct RunFile
{
    QString name;
    QByteArray original;
    LineEnds lineEnds = LineEnds::None;

    // What indent is given: the LF twin of an all-CRLF text, any other text as it is.
    QByteArray input() const;
};

struct FileFailure
{
    QString name;
    QString why;
    int error = 0;
    bool touched = false; // whether the file may have been changed: by indent or by the runner
};

// What preparing and checking a batch found, gathered over a whole run.
struct OutputCheckReport
{
    QVector<FileFailure> failures;
    QStringList mixedLineEnds;
    QStringList crLfFiles;
    QStringList checkedFiles;
    QStringList repairedFiles;
};

// indent over one text, from standard input to standard output: nothing it writes can be cut by a
// file system.
struct PipeFormatter
{
    QString formatterPath;
    QStringList options; // standardOutputOptions of the run's options
    QProcessEnvironment environment;
    int directoryDescriptor = -1;     // indent runs there, as the batches do
    qint64 timeLimitMilliseconds = 0; // above 0: the run is stopped after this long, as a batch is

    bool format(const QByteArray &input, QByteArray *text, QString *why) const;
};

// Before a batch starts: reads each of names and puts the LF twin of an all-CRLF file in its place.
// Files that cannot be read or twinned go to report.failures and are left out of what is returned.
QVector<RunFile> prepareBatch(const RunDirectory &directory, const QStringList &names,
                              OutputCheckReport &report);

// After a batch ended well: confirms that each file holds indent's whole text (formatting a suspect
// one again through formatter and writing that text itself) and gives CRLF files their CRLF back.
// Returns the names that failed, which report.failures explains.
QStringList checkBatch(const RunDirectory &directory, const QVector<RunFile> &files,
                       const PipeFormatter &formatter, qint64 lowSpaceBytes, qint64 cutGranularity,
                       OutputCheckReport &report);

// After a batch that did not end well: puts back the CRLF originals that were replaced by their twins,
// as far as it can; indent's own damage is for the caller to undo.
void restoreTwins(const RunDirectory &directory, const QVector<RunFile> &files);
