#pragma once

#include "FormatArguments.h"

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
    struct stat status = {};
    std::optional<QByteArray> original; // kept while the run's budget allows; else read again
    // NotFormatted: the formatter failed on it; Failed: it could not even be read
    enum class State { Pending, Copied, NotFormatted, Failed } state = State::Pending;
};

QByteArray parentOf(const QByteArray &path);
QByteArray baseNameOf(QByteArray path);
QByteArray joinedPath(const QByteArray &directory, const QByteArray &relative);

// Every file the arguments name, in argument order. False after any missing or unreadable name: then
// nothing is formatted at all.
bool collectSources(const FormatOptions &options, Reporter &reporter, std::vector<Source> *sources);

// With --output: false, after naming them, when two sources would be written to one name.
bool outputNamesAreDistinct(const std::vector<Source> &sources, const QByteArray &outputDirectory,
                            Reporter &reporter);

// The sources' bytes on disk, as far as they can still be examined.
qint64 totalSize(const std::vector<Source> &sources);
