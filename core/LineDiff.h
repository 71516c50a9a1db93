#pragma once

#include <QByteArray>
#include <QString>
#include <QVector>

// Line diffs of two texts, computed by git's xdiff (through libgit2). Texts are bytes: a line is everything
// up to and including its line feed, so that neither an encoding nor a missing final line feed is lost.
struct DiffLine
{
    enum class Kind { Common, Removed, Added };
    Kind kind = Kind::Common;
    int oldLine = 0; // 1-based in the old text; 0 for an added line
    int newLine = 0; // 1-based in the new text; 0 for a removed line
};

struct DiffHunk
{
    int oldStart = 0; // as "@@ -oldStart,oldCount +newStart,newCount @@" says it
    int oldCount = 0;
    int newStart = 0;
    int newCount = 0;
    QVector<DiffLine> lines;
};

// Why git's xdiff could not be used: libgit2, loaded on the first diff, could not be loaded, and the
// diffs replace every line, which is still true but no longer shortest. Empty when it could, and
// before the first diff.
QString lineDiffProblem();

// The texts split into lines, each with its line feed; a last line without one stays as it is.
QVector<QByteArray> splitLines(const QByteArray &text);

// Every line of both texts in diff order: common lines, and for each change its removed lines before
// its added ones.
QVector<DiffLine> diffLines(const QByteArray &oldText, const QByteArray &newText);

// The changes grouped with context lines around them, as "diff -u" groups them; none for equal texts.
QVector<DiffHunk> diffHunks(const QByteArray &oldText, const QByteArray &newText, int context = 3);

// Hunks counted from a finished diff; diffHunks is this over diffLines.
QVector<DiffHunk> groupHunks(const QVector<DiffLine> &lines, int context = 3);

// "diff -u" text that patch applies: "--- oldLabel", "+++ newLabel", then the hunks, with
// "\ No newline at end of file" where a text ends without one. Empty for equal texts.
QByteArray unifiedDiff(const QByteArray &oldText, const QByteArray &newText, const QByteArray &oldLabel,
                       const QByteArray &newLabel, int context = 3);

// How many lines of the new text are not common with the old one, plus removed lines.
int changedLineCount(const QVector<DiffLine> &lines);

// What a diff did: "12 行 → 24 行" is 12 removed and 24 added.
struct DiffCounts
{
    int removed = 0;
    int added = 0;
};
DiffCounts diffCounts(const QVector<DiffLine> &lines);
