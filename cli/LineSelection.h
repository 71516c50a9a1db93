#pragma once

#include "FormatArguments.h"

#include <QByteArray>
#include <QList>

// Partial formatting, one change at a time. A change is a run of lines that the formatted text
// replaces, adds or removes with no unchanged line between them, as a diff without context shows it.

// The original with only those changes of formatted applied that touch the given lines of the
// original; a change that only adds lines touches the lines on either side of it.
QByteArray keepChangesTouching(const QByteArray &original, const QByteArray &formatted,
                               const QList<LineRange> &ranges);

// The lines of now that are not in before: added or changed lines, and for lines that were only removed,
// the line that now stands in their place. Sorted, joined where they meet.
QList<LineRange> changedLineRanges(const QByteArray &before, const QByteArray &now);
