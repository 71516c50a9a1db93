#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

class QIODevice;

// What one zabo-format invocation asks for. Names of files and directories stay bytes, exactly as the
// command line gave them, so that any name the system allows can be opened and shown.
struct FormatOptions
{
    enum class Mode {
        StandardOutput, // one file, its formatted text to standard output
        Output,         // formatted copies into a new or empty directory
        Check,          // change nothing; say through the exit status whether anything would change
        InPlace,        // rewrite the files that change
        ListStyles,
        Help,
        Version,
    };
    Mode mode = Mode::StandardOutput;
    bool diff = false; // with Check: a unified diff on standard output
    bool recursive = false;
    QByteArray configPath;        // empty: the program's own style file
    std::optional<QString> style; // unset: the style the file has selected
    QByteArray outputDirectory;   // with Output
    QList<QByteArray> paths;      // files and directories, in the order given
};

struct ParsedFormatArguments
{
    std::optional<FormatOptions> options;
    QString error; // when options is unset: what is wrong with the command line
};

// Reads the arguments after the program name; no file is looked at.
ParsedFormatArguments parseFormatArguments(const QList<QByteArray> &arguments);

// The text of --help: every option, mode and exit status.
QString formatUsage();

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

struct FormatSetup
{
    QString defaultConfigPath; // the style file used without --config
    QString scratchBase;       // empty: /dev/shm when it is a writable tmpfs, else the temporary directory
    std::function<bool()> stopRequested; // asked between steps; true ends the run early, cleaned up
};

// The style file the program itself uses: the one beside the executable.
QString defaultStyleFilePath();

// Runs parsed options; returns the exit status. Everything it says goes to the streams.
int runFormatCommand(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams);

// Parses and runs; a command-line error is reported with a hint at --help and gives status 2.
int formatCommandMain(const QList<QByteArray> &arguments, const FormatSetup &setup, FormatStreams &streams);
