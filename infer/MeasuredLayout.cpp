#include "MeasuredLayout.h"

#include <QMap>

#include <algorithm>
#include <cmath>

namespace {

constexpr int TabWidth = 8;
constexpr int LongestIndentStep = 16;
// The share of lines a line length must hold to be proposed beside the longest line.
constexpr double KeptLineShare = 0.99;

int displayWidth(const QByteArray &line, qsizetype end)
{
    int column = 0;
    for (qsizetype index = 0; index < end; ++index)
        column = line.at(index) == '\t' ? (column / TabWidth + 1) * TabWidth : column + 1;
    return column;
}

qsizetype leadingBlanks(const QByteArray &line)
{
    qsizetype index = 0;
    while (index < line.size() && (line.at(index) == ' ' || line.at(index) == '\t'))
        ++index;
    return index;
}

// Where a comment begins after code on the line, or -1; strings and characters are passed over.
qsizetype trailingCommentStart(const QByteArray &line, qsizetype codeStart)
{
    char quote = 0;
    for (qsizetype index = codeStart; index + 1 < line.size(); ++index) {
        const char here = line.at(index);
        if (quote) {
            if (here == '\\')
                ++index;
            else if (here == quote)
                quote = 0;
            continue;
        }
        if (here == '"' || here == '\'')
            quote = here;
        else if (here == '/' && (line.at(index + 1) == '*' || line.at(index + 1) == '/'))
            return index > codeStart ? index : -1;
    }
    return -1;
}

// The values counted at least minimum times, the most frequent first (ties: the smaller value first).
QVector<int> mostFrequent(const QMap<int, int> &counts, int most, int minimum)
{
    QVector<std::pair<int, int>> ranked;
    for (auto it = counts.cbegin(); it != counts.cend(); ++it) {
        if (it.value() >= minimum)
            ranked.append({-it.value(), it.key()});
    }
    std::sort(ranked.begin(), ranked.end());
    QVector<int> values;
    for (qsizetype index = 0; index < ranked.size() && index < most; ++index)
        values.append(ranked.at(index).second);
    return values;
}

QVector<int> keptLineLengths(QVector<int> lengths)
{
    if (lengths.isEmpty())
        return {};
    std::sort(lengths.begin(), lengths.end());
    const int longest = lengths.last();
    // the length at most the other share of lines goes beyond
    const auto within = qsizetype(std::ceil(double(lengths.size()) * KeptLineShare)) - 1;
    const int nearlyAll = lengths.at(std::clamp<qsizetype>(within, 0, lengths.size() - 1));
    return nearlyAll < longest ? QVector<int>{longest, nearlyAll} : QVector<int>{longest};
}

} // namespace

MeasuredLayout measureLayout(const QVector<SourceText> &sources, int most)
{
    QMap<int, int> steps;
    QMap<int, int> columns;
    QVector<int> lengths;
    for (const SourceText &source : sources) {
        int previousIndent = -1;
        for (const QByteArray &line : source.text.split('\n')) {
            const qsizetype codeStart = leadingBlanks(line);
            if (codeStart == line.size())
                continue;
            lengths.append(displayWidth(line, line.size()));
            const char first = line.at(codeStart);
            // comment bodies and directives follow no code indentation
            if (first == '#' || first == '*' || line.mid(codeStart, 2) == "/*" ||
                line.mid(codeStart, 2) == "//")
                continue;
            const int indent = displayWidth(line, codeStart);
            if (previousIndent >= 0 && indent > previousIndent &&
                indent - previousIndent <= LongestIndentStep)
                ++steps[indent - previousIndent];
            previousIndent = indent;
            const qsizetype comment = trailingCommentStart(line, codeStart);
            if (comment > 0)
                ++columns[displayWidth(line, comment) + 1];
        }
    }
    return {mostFrequent(steps, most, 2), mostFrequent(columns, most, 2), keptLineLengths(lengths)};
}
