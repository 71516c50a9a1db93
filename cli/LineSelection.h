#pragma once

#include "FormatArguments.h"

#include <QByteArray>
#include <QList>
#include <QVector>

#include <utility>

// Partial formatting that keeps every token. The formatted text is diffed against the original, and
// the diff's hunks are grouped into changes: a run of hunks, with the unchanged lines between them, that
// holds the same non-blank characters on both sides. A line diff may pair one "}" or blank line of the
// original with another of the formatted text, so one hunk alone may hold a brace or a statement that
// its partner hunk gives back elsewhere; taken alone it would delete or duplicate code. A change is
// taken whole or not at all, so only blanks move.
//
// Nothing is trusted without a check: formatting the result fully must give the formatted text again.
// Where it does not, the change is taken together with its neighbours until it does (widen), and in the
// end the whole formatted text, which always passes.
class ChangeSelection
{
public:
    // The changes of formatted against original that touch the given lines of the original; a change
    // that only adds lines touches the lines on either side of it.
    ChangeSelection(const QByteArray &original, const QByteArray &formatted, const QList<LineRange> &ranges);

    // The original with the chosen changes in place.
    QByteArray result() const;
    bool takesNothing() const;
    bool takesEverything() const;

    // Whether the full format of result() (settled) is the formatted text, and, where formatting kept
    // every non-blank character, result() keeps them too.
    bool accepts(const QByteArray &settled) const;

    // After a check that failed: takes each change around a place where settled and the formatted text
    // differ together with the nearest chosen change, or a chosen change together with its neighbours.
    // False when everything is taken already.
    bool widen(const QByteArray &settled);
    // Takes every change: the formatted text itself.
    void takeEverything();

    // The lines of the original whose changes were taken together by widen or takeEverything, joined
    // where they meet.
    QList<LineRange> joined() const { return m_joined; }

private:
    struct Change
    {
        // 1-based; a side with no lines is inserted before its first line
        int oldFirst = 0;
        int oldCount = 0;
        int newFirst = 0;
        int newCount = 0;
    };

    void groupChanges(const QByteArray &original, const QByteArray &formatted);
    std::pair<int, int> changesAround(int first, int last) const;
    void join(int first, int last);

    QVector<QByteArray> m_old;
    QVector<QByteArray> m_new;
    QByteArray m_formatted;
    bool m_blanksOnly = false; // formatting changed nothing but blanks
    QByteArray m_originalTokens;
    QVector<Change> m_changes;
    QVector<bool> m_taken;
    QList<LineRange> m_joined;
};

// The original with only those changes of formatted that touch the given lines of the original, each
// taken whole (see ChangeSelection), before any check.
QByteArray keepChangesTouching(const QByteArray &original, const QByteArray &formatted,
                               const QList<LineRange> &ranges);

// The lines of now that are not in before: added or changed lines, and for lines that were only removed,
// the line that now stands in their place. Sorted, joined where they meet.
QList<LineRange> changedLineRanges(const QByteArray &before, const QByteArray &now);

// The text without its blanks (spaces, tabs, line ends, form feeds): what partial formatting keeps.
QByteArray nonBlankCharacters(const QByteArray &text);
