#pragma once

#include "FormatArguments.h"

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

class QIODevice;

// The exit statuses of zabo-format.
namespace FormatExit {
constexpr int Success = 0;       // formatted, or nothing would change
constexpr int WouldChange = 1;   // --check found files that are not in the style
constexpr int Error = 2;         // bad arguments, a missing file, a damaged style file, a formatter failure
constexpr int Interrupted = 130; // stopped by a signal; what was written is whole, the rest untouched
} // namespace FormatExit

struct FormatStreams
{
    QIODevice &out;
    QIODevice &err;
    bool outIsTerminal = false; // colours the diff
    bool errIsTerminal = false; // allows the progress line
};

// The points of a run a test can act at, through FormatSetup::stageReached.
enum class FormatStage {
    SourcesFound, // the arguments are scanned; nothing is read yet
    Formatted,    // the copies are formatted; nothing is written or reported yet
};

struct FormatSetup
{
    QString defaultConfigPath; // the style file used without --config
    QString scratchBase;       // empty: /dev/shm when it is a writable tmpfs, else the temporary directory
    std::function<bool()> stopRequested;           // asked between steps; true ends the run early, cleaned up
    std::function<void(FormatStage)> stageReached; // a seam for tests, such as a directory swapped mid-run
    int standardInput = 0;                         // read for the file "-"
    // When set, what the run read of standardInput is kept here, for a failure to give back.
    QByteArray *standardInputTaken = nullptr;
};

// The style file the window uses: beside the executable for a portable copy, in the user's
// configuration directory for an installed one. The application names must be set first.
QString defaultStyleFilePath();

// Runs parsed options; returns the exit status. Everything it says goes to the streams.
int runFormatCommand(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams);

// Parses and runs; a command-line error is reported with a hint at --help and gives status 2. When
// the run filters standard input (an editor's buffer) and fails before writing a byte, whatever the
// reason, the input comes back unchanged on standard output, still with status 2.
int formatCommandMain(const QList<QByteArray> &arguments, const FormatSetup &setup, FormatStreams &streams);
