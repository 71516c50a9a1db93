#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <optional>

// Lines first to last of a file's input, counted from 1.
struct LineRange
{
    int first = 0;
    int last = 0;
    bool operator==(const LineRange &other) const { return first == other.first && last == other.last; }
};

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
        PrintProfile, // the chosen style as a .indent.pro on standard output
        Infer,        // learn the style that changes the files least
        Help,
        Version,
    };
    Mode mode = Mode::StandardOutput;
    bool diff = false;         // with Check: a unified diff on standard output
    bool annotate = false;     // with Check: "path:line: message" for each file's first changed line
    bool printProfile = false; // with Infer: the proposal as a .indent.pro
    bool allOptions = false;   // with Infer: a whole profile of indent's options, not catalogue rows
    bool recursive = false;
    bool forceReadOnly = false;   // with InPlace: rewrite files without write permission too
    QByteArray configPath;        // empty: the program's own style file
    std::optional<QString> style; // unset: the style the file has selected
    QByteArray outputDirectory;   // with Output
    QList<QByteArray> paths;      // files and directories, in the order given; "-" is standard input

    bool singlePass = false;                     // indent's one-pass output instead of the settled form
    bool repositoryProfile = false;              // --style file: each file's nearest .indent.pro
    QList<QByteArray> excludes;                  // globs matched against paths relative to their argument
    std::optional<QByteArray> standardInputName; // --stdin-name: standard input's name in messages
    QList<LineRange> lines;                      // --lines: only changes touching these input lines
    QByteArray since;                            // --since: only changes touching lines changed since

    enum class Colour { Auto, Always, Never };
    Colour colour = Colour::Auto;                         // --color: of the diff
    int timeLimitSeconds = DefaultIndentTimeLimitSeconds; // --time-limit: of each indent process

    // Far beyond what indent spends on the largest real source; a profile that makes it pad
    // billions of columns is stopped instead of holding a hook or a CI job for minutes.
    static constexpr int DefaultIndentTimeLimitSeconds = 60;
};

struct ParsedFormatArguments
{
    std::optional<FormatOptions> options;
    QString error; // when options is unset: what is wrong with the command line
};

// Reads the arguments after the program name; no file is looked at.
ParsedFormatArguments parseFormatArguments(const QList<QByteArray> &arguments);

// Whether a run with these arguments filters standard input to standard output, as an editor runs
// it: "-" among the files and no mode that writes anything else. Holds for arguments that do not
// parse too, so that a mistyped option still gives an editor its buffer back.
bool filtersStandardInput(const QList<QByteArray> &arguments);

// The text of --help: every option, mode and exit status.
QString formatUsage();
