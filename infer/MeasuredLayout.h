#pragma once

#include "InferenceInput.h"

#include <QVector>

// Numbers the sources' own layout suggests for indent's numeric options, the likeliest first: the values
// worth trying in a search, rather than every number. Widths count a tab to the next multiple of 8, as
// indent's default tab size does.
struct MeasuredLayout
{
    QVector<int> indentSteps;    // how far a line steps in from the line before it ("-i"), 1 to 16
    QVector<int> commentColumns; // 1-based columns where comments after code begin ("-c", "-cd")
    QVector<int> lineLengths;    // the longest line, and the length nearly every line keeps to ("-l")
};

// At most `most` values of each kind, each seen at least twice (a line length once is enough).
MeasuredLayout measureLayout(const QVector<SourceText> &sources, int most = 3);
