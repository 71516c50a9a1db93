#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// What is left between a source and indent's result with a proposed style, sorted by what kind of
// difference it is, and so which rows could still change it.
struct ResidualChanges
{
    enum class Kind {
        BlankLines,  // only blank lines added or removed
        Indentation, // the same line, indented differently
        Spacing,     // the same line but for blanks inside it
        LineBreaks,  // the same text, broken into lines differently
        Comments,    // a comment changed
        Other,
    };
    static constexpr int KindCount = 6;

    int lines[KindCount] = {};

    int total() const;
    void add(const ResidualChanges &other);
};

// Sorts the changed lines of a line diff of source against formatted by kind.
ResidualChanges residualChanges(const QByteArray &source, const QByteArray &formatted);

// "缩进", "空行"... and the catalogue rows that decide such changes, as a person reads them.
QString residualKindName(ResidualChanges::Kind kind);
QString residualKindRows(ResidualChanges::Kind kind);
