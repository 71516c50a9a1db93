#include "LineSelection.h"

#include "LineDiff.h"

#include <algorithm>

namespace {

bool isBlank(char character)
{
    return character == ' ' || character == '\t' || character == '\n' || character == '\r' ||
           character == '\f' || character == '\v';
}

// The non-blank characters of an open change that one side holds and the other does not hold yet.
class Balance
{
public:
    void add(const QByteArray &oldText, const QByteArray &newText)
    {
        m_old += nonBlankCharacters(oldText);
        m_new += nonBlankCharacters(newText);
        const qsizetype shorter = std::min(m_old.size(), m_new.size());
        qsizetype same = 0;
        while (same < shorter && m_old.at(same) == m_new.at(same))
            ++same;
        m_old.remove(0, same);
        m_new.remove(0, same);
    }
    bool even() const { return m_old.isEmpty() && m_new.isEmpty(); }
    // Both sides hold a character the other lacks: no further lines can even them, as where indent
    // rewrites a comment. The change ends here and the check decides.
    bool broken() const { return !m_old.isEmpty() && !m_new.isEmpty(); }

private:
    QByteArray m_old;
    QByteArray m_new;
};

QByteArray joinedLines(const QVector<QByteArray> &lines, int first, int count)
{
    QByteArray text;
    for (int line = first; line < first + count; ++line)
        text += lines.at(line - 1);
    return text;
}

bool touches(int first, int count, const QList<LineRange> &ranges)
{
    // lines only added sit between the lines first - 1 and first
    const int from = count > 0 ? first : first - 1;
    const int to = count > 0 ? first + count - 1 : first;
    return std::any_of(ranges.cbegin(), ranges.cend(),
                       [&](const LineRange &range) { return range.first <= to && range.last >= from; });
}

void addJoined(QList<LineRange> &ranges, LineRange range)
{
    ranges.append(range);
    std::sort(ranges.begin(), ranges.end(),
              [](const LineRange &a, const LineRange &b) { return a.first < b.first; });
    QList<LineRange> merged;
    for (const LineRange &next : std::as_const(ranges)) {
        if (!merged.isEmpty() && next.first <= merged.last().last + 1)
            merged.last().last = std::max(merged.last().last, next.last);
        else
            merged.append(next);
    }
    ranges = merged;
}

} // namespace

QByteArray nonBlankCharacters(const QByteArray &text)
{
    QByteArray kept;
    kept.reserve(text.size());
    for (const char character : text) {
        if (!isBlank(character))
            kept += character;
    }
    return kept;
}

ChangeSelection::ChangeSelection(const QByteArray &original, const QByteArray &formatted,
                                 const QList<LineRange> &ranges)
    : m_old(splitLines(original))
    , m_new(splitLines(formatted))
    , m_formatted(formatted)
    , m_originalTokens(nonBlankCharacters(original))
{
    m_blanksOnly = nonBlankCharacters(formatted) == m_originalTokens;
    groupChanges(original, formatted);
    for (const Change &change : std::as_const(m_changes))
        m_taken.append(touches(change.oldFirst, change.oldCount, ranges));
}

void ChangeSelection::groupChanges(const QByteArray &original, const QByteArray &formatted)
{
    Balance balance;
    bool open = false;
    Change current;
    for (const DiffHunk &hunk : groupHunks(diffLines(original, formatted), 0)) {
        if (open) {
            // the unchanged lines since the last hunk belong to the change on both sides
            const int commonFirst = current.oldFirst + current.oldCount;
            const QByteArray common = joinedLines(m_old, commonFirst, hunk.oldStart - commonFirst);
            balance.add(common, common);
            current.oldCount = hunk.oldStart + hunk.oldCount - current.oldFirst;
            current.newCount = hunk.newStart + hunk.newCount - current.newFirst;
        } else {
            current = Change{hunk.oldStart, hunk.oldCount, hunk.newStart, hunk.newCount};
            balance = Balance();
            open = true;
        }
        balance.add(joinedLines(m_old, hunk.oldStart, hunk.oldCount),
                    joinedLines(m_new, hunk.newStart, hunk.newCount));
        if (balance.even() || balance.broken()) {
            m_changes.append(current);
            open = false;
        }
    }
    if (open)
        m_changes.append(current);
}

QByteArray ChangeSelection::result() const
{
    QByteArray kept;
    int nextOld = 1;
    for (qsizetype index = 0; index < m_changes.size(); ++index) {
        const Change &change = m_changes.at(index);
        kept += joinedLines(m_old, nextOld, change.oldFirst - nextOld);
        kept += m_taken.at(index) ? joinedLines(m_new, change.newFirst, change.newCount)
                                  : joinedLines(m_old, change.oldFirst, change.oldCount);
        nextOld = change.oldFirst + change.oldCount;
    }
    kept += joinedLines(m_old, nextOld, int(m_old.size()) + 1 - nextOld);
    return kept;
}

bool ChangeSelection::takesNothing() const
{
    return !m_taken.contains(true);
}

bool ChangeSelection::takesEverything() const
{
    return !m_taken.contains(false);
}

bool ChangeSelection::accepts(const QByteArray &settled) const
{
    return settled == m_formatted && (!m_blanksOnly || nonBlankCharacters(result()) == m_originalTokens);
}

// The changes whose formatted side meets the lines first to last of the formatted text, or the two
// either side of the unchanged lines there.
std::pair<int, int> ChangeSelection::changesAround(int first, int last) const
{
    const int count = int(m_changes.size());
    int low = 0;
    while (low < count && m_changes.at(low).newFirst + std::max(m_changes.at(low).newCount, 1) - 1 < first)
        ++low;
    int high = count - 1;
    while (high >= 0 && m_changes.at(high).newFirst - (m_changes.at(high).newCount > 0 ? 0 : 1) > last)
        --high;
    if (low > high)
        std::swap(low, high);
    return {std::clamp(low, 0, count - 1), std::clamp(high, 0, count - 1)};
}

bool ChangeSelection::widen(const QByteArray &settled)
{
    const int count = int(m_changes.size());
    bool widened = false;
    for (const DiffHunk &miss : groupHunks(diffLines(settled, m_formatted), 0)) {
        if (count == 0)
            break;
        // the lines of the formatted text where the check went wrong
        const int first = miss.newCount > 0 ? miss.newStart : miss.newStart - 1;
        const int last = miss.newCount > 0 ? miss.newStart + miss.newCount - 1 : miss.newStart;
        auto [from, to] = changesAround(first, last);
        // joined with the nearest chosen change, whose presence made the difference
        const auto distance = [&](int index) {
            return index < from ? from - index : std::max(0, index - to);
        };
        int nearest = -1;
        for (int index = 0; index < count; ++index) {
            if (m_taken.at(index) && (nearest < 0 || distance(index) < distance(nearest)))
                nearest = index;
        }
        if (nearest >= 0) {
            from = std::min(from, nearest);
            to = std::max(to, nearest);
        }
        const auto allTaken = [&] {
            return std::all_of(m_taken.cbegin() + from, m_taken.cbegin() + to + 1,
                               [](bool taken) { return taken; });
        };
        if (allTaken()) { // the chosen changes themselves format otherwise: their neighbours too
            from = std::max(0, from - 1);
            to = std::min(count - 1, to + 1);
        }
        if (allTaken())
            continue;
        join(from, to);
        widened = true;
    }
    return widened;
}

void ChangeSelection::takeEverything()
{
    if (!m_changes.isEmpty() && !takesEverything())
        join(0, int(m_changes.size()) - 1);
}

void ChangeSelection::join(int first, int last)
{
    for (int index = first; index <= last; ++index)
        m_taken[index] = true;
    const Change &start = m_changes.at(first);
    const Change &end = m_changes.at(last);
    const int lineCount = std::max(1, int(m_old.size()));
    const int from = start.oldCount > 0 ? start.oldFirst : std::max(1, start.oldFirst - 1);
    const int to = end.oldCount > 0 ? end.oldFirst + end.oldCount - 1 : std::min(end.oldFirst, lineCount);
    addJoined(m_joined, LineRange{std::min(from, lineCount), std::max(std::min(to, lineCount), 1)});
}

QByteArray keepChangesTouching(const QByteArray &original, const QByteArray &formatted,
                               const QList<LineRange> &ranges)
{
    return ChangeSelection(original, formatted, ranges).result();
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
