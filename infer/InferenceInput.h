#pragma once

#include <QByteArray>
#include <QList>
#include <QVector>

// One source a style is learnt from, read whole. Paths stay bytes, exactly as given or found, so that any
// name the system allows can be read and shown.
struct SourceText
{
    QByteArray path; // as given, or a directory as given joined with the name found below it
    QByteArray text; // with LF line ends when every line of the file ended in CRLF
    bool crlf = false;
};

// Something about the paths that kept a file out, for the front end to put into words.
struct InputProblem
{
    enum class Kind {
        Missing,             // nothing by that name (error says why)
        NotRegularFile,      // a pipe, a device, a socket or a dangling link where a file belongs
        TooLarge,            // larger than a source a style is learnt from can be
        Unreadable,          // it could not be read (error says why)
        UnreadableDirectory, // a directory, or one below it, could not be listed
        NoSourceFiles,       // a directory without .c, .h, .cpp or .hpp files
    };
    Kind kind = Kind::Missing;
    QByteArray path;
    int error = 0; // errno, where there is one
};

struct InferenceInput
{
    QVector<SourceText> files;      // in the order the paths and the scans give them
    QVector<InputProblem> problems; // files that were left out, and why
    int filesFound = 0;             // distinct files the paths name
    bool sampled = false;           // only a sample of them was read
};

// The bytes of sources a search reads at most; beyond them it learns from an even spread of the files.
constexpr qint64 SearchSampleBytes = 96 * 1024;
// A larger file is no source to learn a style from.
constexpr qint64 MaximumSourceBytes = 8 * 1024 * 1024;

// The files the paths name, by the rules of zabo-format and the jobs: a file is taken whatever its name,
// a directory stands for its .c, .h, .cpp and .hpp files (with recursive, those of its whole tree, hidden
// directories and links to directories passed over). When they hold more than sampleBytes, a sample in
// their order that stays within that size is read instead: half of it files chosen by their bytes (a
// file's chance grows with its size, so the large files that hold most of the code speak), the rest an
// even spread of the others by count; a single file is always read.
InferenceInput collectInferenceInput(const QList<QByteArray> &paths, bool recursive,
                                     qint64 sampleBytes = SearchSampleBytes);

// A file's text as indent formats it on this system: LF line ends when every line ends in CRLF (those
// would otherwise leave a carriage return at the start of lines); any other text as it is.
QByteArray withUnixLineEnds(const QByteArray &text, bool *converted = nullptr);
