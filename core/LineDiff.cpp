#include "LineDiff.h"

#include <dtl/dtl.hpp>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::vector<std::string> toSequence(const QVector<QByteArray> &lines)
{
    std::vector<std::string> sequence;
    sequence.reserve(size_t(lines.size()));
    for (const QByteArray &line : lines)
        sequence.emplace_back(line.constData(), size_t(line.size()));
    return sequence;
}

void appendLine(QByteArray &out, char mark, const QByteArray &line)
{
    out += mark;
    out += line;
    if (!line.endsWith('\n'))
        out += "\n\\ No newline at end of file\n";
}

// "diff -u" writes an empty side's range as "start,0" with start one before where it would begin.
QByteArray range(int start, int count)
{
    if (count == 1)
        return QByteArray::number(start);
    return QByteArray::number(count == 0 ? start - 1 : start) + ',' + QByteArray::number(count);
}

} // namespace

QVector<QByteArray> splitLines(const QByteArray &text)
{
    QVector<QByteArray> lines;
    qsizetype start = 0;
    while (start < text.size()) {
        const qsizetype end = text.indexOf('\n', start);
        const qsizetype next = end < 0 ? text.size() : end + 1;
        lines.append(text.mid(start, next - start));
        start = next;
    }
    return lines;
}

QVector<DiffLine> diffLines(const QByteArray &oldText, const QByteArray &newText)
{
    const std::vector<std::string> before = toSequence(splitLines(oldText));
    const std::vector<std::string> after = toSequence(splitLines(newText));
    dtl::Diff<std::string> diff(before, after);
    // past its coordinate limit dtl gives a longer but still exact edit script instead of giving up
    diff.onHuge();
    diff.compose();

    QVector<DiffLine> lines;
    int oldLine = 0;
    int newLine = 0;
    // dtl interleaves the lines of a change; keep each change's removals before its additions
    QVector<DiffLine> removed;
    QVector<DiffLine> added;
    const auto flush = [&] {
        lines += removed;
        lines += added;
        removed.clear();
        added.clear();
    };
    for (const auto &element : diff.getSes().getSequence()) {
        switch (element.second.type) {
        case dtl::SES_COMMON:
            flush();
            lines.append({DiffLine::Kind::Common, ++oldLine, ++newLine});
            break;
        case dtl::SES_DELETE:
            removed.append({DiffLine::Kind::Removed, ++oldLine, 0});
            break;
        case dtl::SES_ADD:
            added.append({DiffLine::Kind::Added, 0, ++newLine});
            break;
        }
    }
    flush();
    return lines;
}

QVector<DiffHunk> groupHunks(const QVector<DiffLine> &lines, int context)
{
    QVector<DiffHunk> hunks;
    const qsizetype count = lines.size();
    qsizetype index = 0;
    while (index < count) {
        // the next change
        while (index < count && lines.at(index).kind == DiffLine::Kind::Common)
            ++index;
        if (index == count)
            break;
        qsizetype first = std::max<qsizetype>(0, index - context);
        qsizetype last = index; // one past the last change line taken so far
        // take changes while the common run between them is short enough to share context
        while (last < count) {
            qsizetype end = last;
            while (end < count && lines.at(end).kind != DiffLine::Kind::Common)
                ++end;
            qsizetype common = end;
            while (common < count && lines.at(common).kind == DiffLine::Kind::Common)
                ++common;
            last = end;
            if (common == count || common - end > 2 * context)
                break;
            last = common;
        }
        const qsizetype stop = std::min<qsizetype>(count, last + context);

        DiffHunk hunk;
        // numbers of the lines just before the hunk on each side
        int oldBefore = 0;
        int newBefore = 0;
        for (qsizetype i = first - 1; i >= 0 && (oldBefore == 0 || newBefore == 0); --i) {
            if (oldBefore == 0 && lines.at(i).oldLine)
                oldBefore = lines.at(i).oldLine;
            if (newBefore == 0 && lines.at(i).newLine)
                newBefore = lines.at(i).newLine;
        }
        hunk.oldStart = oldBefore + 1;
        hunk.newStart = newBefore + 1;
        for (qsizetype i = first; i < stop; ++i) {
            const DiffLine &line = lines.at(i);
            hunk.lines.append(line);
            if (line.kind != DiffLine::Kind::Added)
                ++hunk.oldCount;
            if (line.kind != DiffLine::Kind::Removed)
                ++hunk.newCount;
        }
        hunks.append(hunk);
        index = stop;
    }
    return hunks;
}

QVector<DiffHunk> diffHunks(const QByteArray &oldText, const QByteArray &newText, int context)
{
    return groupHunks(diffLines(oldText, newText), context);
}

QByteArray unifiedDiff(const QByteArray &oldText, const QByteArray &newText, const QByteArray &oldLabel,
                       const QByteArray &newLabel, int context)
{
    const QVector<DiffHunk> hunks = diffHunks(oldText, newText, context);
    if (hunks.isEmpty())
        return {};
    const QVector<QByteArray> oldLines = splitLines(oldText);
    const QVector<QByteArray> newLines = splitLines(newText);
    QByteArray out = "--- " + oldLabel + "\n+++ " + newLabel + "\n";
    for (const DiffHunk &hunk : hunks) {
        out += "@@ -" + range(hunk.oldStart, hunk.oldCount) + " +" + range(hunk.newStart, hunk.newCount) +
               " @@\n";
        for (const DiffLine &line : hunk.lines) {
            switch (line.kind) {
            case DiffLine::Kind::Common:
                appendLine(out, ' ', oldLines.at(line.oldLine - 1));
                break;
            case DiffLine::Kind::Removed:
                appendLine(out, '-', oldLines.at(line.oldLine - 1));
                break;
            case DiffLine::Kind::Added:
                appendLine(out, '+', newLines.at(line.newLine - 1));
                break;
            }
        }
    }
    return out;
}

int changedLineCount(const QVector<DiffLine> &lines)
{
    return int(std::count_if(lines.cbegin(), lines.cend(),
                             [](const DiffLine &line) { return line.kind != DiffLine::Kind::Common; }));
}
