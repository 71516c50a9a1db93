#pragma once

#include <QByteArray>
#include <QList>
#include <QProcessEnvironment>
#include <QString>
#include <QStringList>

// What one word of indent's command line or profile does to where indent's output goes. indent takes
// a short option for the first name in its table that begins the word ("-stx" is "-st", "-orig" is
// not "-o") and a long one ("--" or "+") for the first long name that begins it.
enum class IndentWordRole {
    Setting,        // how indent formats, or nothing to do with options at all
    StandardOutput, // "-st", "--standard-output": the text goes to standard output, the file stays
    OutputFile,     // "-o", "--output-file", "--output": the text goes to another file
    Verbose,        // "-v", "--verbose": counts on standard output, option names on standard error
    Version,        // "-version", "--version": prints the version and formats nothing
    Usage,          // "-h", "--help", "--usage": prints the usage and formats nothing
};
IndentWordRole indentWordRole(const QString &word);

// Whether an option written as word takes the next word as its value: a bare "-T" its type name, a
// bare numeric option such as "-l" or "--line-length" its number.
bool takesNextWord(const QString &word);

// The numeric option a word gives with its value glued on ("-di16", "--line-length80"), as indent
// reads it; false for any other word.
bool gluedNumericOption(const QString &word, QString *option, QString *value);

// Why value cannot be the number of the numeric option: anything but ASCII digits (indent's atoi
// stops at "٨٠" and "８０"), or more than any sensible layout uses, which would make indent pad
// millions of columns for minutes. Empty when it can. The one place the bounds live.
QString numericValueProblem(const QString &option, const QString &value);

// A word of a profile as a message may show it: quoted, a short prefix with its control characters
// escaped, so that a refused word never copies much of a file into a log. Its position goes with it.
QString shownWord(const QString &word);

// The words of an indent profile, split as indent splits them: runs of bytes above the blank other
// than '/'; "/* */" and "//" comments are left out, and so is a '/' that begins neither.
QList<QByteArray> indentProfileWords(const QByteArray &text);

// What a profile's words give a run: the options that format, ahead of the style's own, and those
// left out because they would change where indent writes (or stop it from writing at all).
struct ProfileOptions
{
    QStringList options;
    QStringList leftOut; // each with its value, as written
    QString problem;     // a word indent would not accept as it stands; empty when the options are usable
};
ProfileOptions profileOptions(const QList<QByteArray> &words);

// The profile that counts for a run and what it holds.
struct FormatterProfile
{
    enum class Status {
        None,       // the style says "-npro", or there is no profile to read
        Read,       // options holds what it gives
        NotRegular, // a FIFO, a device, a directory: never opened for reading
        TooLarge,   // above MaximumBytes
        Unreadable, // error says why
        Unusable,   // options.problem says which word indent would refuse
    };
    static constexpr qint64 MaximumBytes = 1024 * 1024;

    Status status = Status::None;
    QString path; // absolute; empty with None
    ProfileOptions options;
    int error = 0; // errno with Unreadable

    bool usable() const { return status == Status::None || status == Status::Read; }
    // Why the profile cannot be used, naming its path; empty when usable().
    QString problem() const;
};

// Reads the profile at path (made absolute against workingDirectory) without ever blocking on it.
// /dev/null reads as a profile without options.
FormatterProfile readFormatterProfile(const QString &path, const QString &workingDirectory = QString());

// The profile indent would read if it ran in workingDirectory (the program's own when empty) with
// styleOptions: none with "-npro" (or "--ignore-profile", "+ignore-profile") among them; else the file
// that INDENT_PROFILE names, else workingDirectory/.indent.pro when it can be read, else
// $HOME/.indent.pro when it can be read.
FormatterProfile
findFormatterProfile(const QStringList &styleOptions,
                     const QProcessEnvironment &environment = QProcessEnvironment::systemEnvironment(),
                     const QString &workingDirectory = QString());

// Whether indent reads no profile with these options.
bool formatterIgnoresProfile(const QStringList &options);
