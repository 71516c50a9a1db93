#include "LineSelection.h"

#include "LineDiff.h"

#include <algorithm>

namespace {

bool touches(const DiffHunk &change, const QList<LineRange> &ranges)
{
    // a pure addition sits between the old lines oldStart - 1 and oldStart
    const int first = change.oldCount > 0 ? change.oldStart : change.oldStart - 1;
    const int last = change.oldCount > 0 ? change.oldStart + change.oldCount - 1 : change.oldStart;
    return std::any_of(ranges.cbegin(), ranges.cend(),
                       [&](const LineRange &range) { return range.first <= last && range.last >= first; });
}

} // namespace

QByteArray keepChangesTouching(const QByteArray &original, const QByteArray &formatted,
                               const QList<LineRange> &ranges)
{
    const QVector<DiffLine> lines = diffLines(original, formatted);
    const QVector<QByteArray> oldLines = splitLines(original);
    const QVector<QByteArray> newLines = splitLines(formatted);
    QByteArray kept;
    kept.reserve(original.size());
    int nextOld = 1;
    const auto copyOldUpTo = [&](int last) {
        for (; nextOld <= last; ++nextOld)
            kept += oldLines.at(nextOld - 1);
    };
    for (const DiffHunk &change : groupHunks(lines, 0)) {
        if (!touches(change, ranges))
            continue; // its old lines are copied with the unchanged ones
        copyOldUpTo(change.oldStart - 1);
        for (const DiffLine &line : change.lines) {
            if (line.kind == DiffLine::Kind::Added)
                kept += newLines.at(line.newLine - 1);
        }
        nextOld = change.oldStart + change.oldCount;
    }
    copyOldUpTo(int(oldLines.size()));
    return kept;
}

QList<LineRange> changedLineRanges(const QByteArray &before, const QByteArray &now)
{
    const int nowLines = int(splitLines(now).size());
    QList<LineRange> ranges;
    for (const DiffHunk &change : groupHunks(diffLines(before, now), 0)) {
        LineRange range{change.newStart, change.newStart + change.newCount - 1};
        if (change.newCount == 0) {
            // removed lines only: the line after them, or the last line when they ended the text
            const int line = std::min(change.newStart, nowLines);
            if (line < 1)
                continue;
            range = LineRange{line, line};
        }
        if (!ranges.isEmpty() && range.first <= ranges.last().last + 1)
            ranges.last().last = std::max(ranges.last().last, range.last);
        else
            ranges.append(range);
    }
    return ranges;
}
