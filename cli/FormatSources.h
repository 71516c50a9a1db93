#pragma once

#include "FormatArguments.h"
#include "SourceFiles.h"

#include <QByteArray>

#include <optional>
#include <vector>

#include <sys/stat.h>

class Reporter;

// One file of a run.
struct Source
{
    QByteArray path;       // as given, or a directory as given joined with the name found below it
    QByteArray outputName; // where --output puts it, relative to the output directory
    QByteArray scratchName;
    // Where it is found again: below the scanned tree of that index, as outputName; or, for a file
    // the command line named (links resolved), as name in directory.
    int tree = -1;
    QByteArray directory;
    QByteArray name;
    QByteArray relativePath; // what --exclude matches: the path below its directory argument, or as named
    bool fromStandardInput = false;
    int style = 0;                         // the run's style or profile that formats it
    std::optional<QList<LineRange>> lines; // with --lines or --since: only changes touching these lines
    bool unchangedByFirstPass = false;     // indent left it as it was: its copy need not be read again
    bool unsettled = false;                // indent still changed it after the last pass allowed
    struct stat status = {};
    std::optional<QByteArray> original; // kept while the run's budget allows; else read again
    // NotFormatted: the formatter failed on it; Failed: it could not even be read
    enum class State { Pending, Copied, NotFormatted, Failed } state = State::Pending;

    // --since found no line of it changed: it is left out of formatting
    bool nothingAsked() const { return lines && lines->isEmpty(); }
    bool toFormat() const { return state == State::Copied && !nothingAsked(); }
};

QByteArray parentOf(const QByteArray &path);
QByteArray baseNameOf(QByteArray path);
QByteArray joinedPath(const QByteArray &directory, const QByteArray &relative);
// The path of the directory (or file) fd names, as the kernel knows it now, so that no name given
// earlier can mislead; empty when it cannot be told.
QByteArray directoryPathOf(int fd);
// An absolute path as a person in workingDirectory would write it: relative below it, else as it is.
QByteArray shownFrom(const QByteArray &workingDirectory, const QByteArray &path);

// Every file the arguments name, in argument order, and the trees scanned for them. False after any
// missing or unreadable name: then nothing is formatted at all.
bool collectSources(const FormatOptions &options, Reporter &reporter, std::vector<Source> *sources,
                    std::vector<SourceTree> *trees);

// With --output: false, after naming them, when two sources would be written to one name.
bool outputNamesAreDistinct(const std::vector<Source> &sources, const QByteArray &outputDirectory,
                            Reporter &reporter);

// The sources' bytes on disk, as far as they can still be examined.
qint64 totalSize(const std::vector<Source> &sources);
