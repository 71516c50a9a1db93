#include "SettlingLoop.h"

#include "Descriptor.h"
#include "FormatReporter.h"
#include "LineDiff.h"

#include <QCryptographicHash>

#include <algorithm>
#include <map>
#include <utility>

PassHistory::PassHistory(const QByteArray &original)
{
    m_seen.append(QCryptographicHash::hash(original, QCryptographicHash::Sha256));
}

bool PassHistory::settlesWith(const QByteArray &text)
{
    const QByteArray hash = QCryptographicHash::hash(text, QCryptographicHash::Sha256);
    if (m_seen.contains(hash))
        return true;
    m_seen.append(hash);
    return false;
}

ChangingLine firstChangingLine(const QByteArray &original, const QByteArray &before, const QByteArray &after)
{
    const QVector<QByteArray> beforeLines = splitLines(before);
    const QVector<QByteArray> afterLines = splitLines(after);
    int line = 1;
    while (line <= afterLines.size() && line <= beforeLines.size() &&
           afterLines.at(line - 1) == beforeLines.at(line - 1))
        ++line;
    if (before == after)
        return {};
    line = std::min(line, std::max(1, int(afterLines.size())));
    // an added line stands before the original's next line, or after its last
    const int originalLines = std::max(1, int(splitLines(original).size()));
    // a line in place of removed ones stands for the first of them
    int lastCommon = 0;
    int firstRemoved = 0;
    for (const DiffLine &diffLine : diffLines(original, after)) {
        if (diffLine.newLine == line && diffLine.kind == DiffLine::Kind::Common)
            return {line, diffLine.oldLine};
        if (diffLine.newLine == line)
            return {line, firstRemoved > 0 ? firstRemoved : std::min(lastCommon + 1, originalLines)};
        if (diffLine.kind == DiffLine::Kind::Common) {
            lastCommon = diffLine.oldLine;
            firstRemoved = 0;
        } else if (diffLine.kind == DiffLine::Kind::Removed && firstRemoved == 0) {
            firstRemoved = diffLine.oldLine;
        }
    }
    return {line, std::max(1, lastCommon)};
}

bool SettlingLoop::readCopy(const Source &source, QByteArray *text)
{
    int error = 0;
    if (readFileAt(m_scratchFd, source.scratchName, text, &error))
        return true;
    m_report.message(source.path + ": cannot read the formatted copy: " + errnoText(error));
    return false;
}

bool SettlingLoop::run(std::vector<Source> &sources, const Pass &pass, const Original &original)
{
    // only the files that changed on the first pass pay for more passes
    struct Moving
    {
        PassHistory history;
        QByteArray last; // the texts of the last two passes
        QByteArray previous;
    };
    std::map<std::size_t, Moving> moving;
    for (std::size_t index = 0; index < sources.size(); ++index) {
        Source &source = sources[index];
        if (source.state != Source::State::Copied || (source.lines && source.lines->isEmpty()))
            continue;
        QByteArray before;
        QByteArray after;
        if (!original(source, &before) || !readCopy(source, &after))
            return false;
        if (after == before) {
            source.unchangedByFirstPass = true;
            continue;
        }
        PassHistory history(before);
        history.settlesWith(after);
        moving.emplace(index, Moving{std::move(history), after, before});
    }

    for (int number = 2; number <= MaxFormatterPasses && !moving.empty(); ++number) {
        QList<std::size_t> indices;
        for (const auto &entry : moving)
            indices.append(entry.first);
        if (!pass(indices, number))
            return false;
        for (auto it = moving.begin(); it != moving.end();) {
            const Source &source = sources[it->first];
            QByteArray text;
            if (source.state != Source::State::Copied) { // the formatter failed on it: reported
                it = moving.erase(it);
                continue;
            }
            if (!readCopy(source, &text))
                return false;
            if (it->second.history.settlesWith(text)) {
                it = moving.erase(it);
                continue;
            }
            it->second.previous = std::exchange(it->second.last, text);
            ++it;
        }
    }

    m_unsettled.clear();
    for (const auto &entry : moving) {
        sources[entry.first].unsettled = true;
        m_unsettled.push_back({entry.first, entry.second.previous, entry.second.last});
    }
    return true;
}

void SettlingLoop::reportUnsettled(const std::vector<Source> &sources, const Original &original,
                                   bool withDiff)
{
    for (const UnsettledPasses &passes : m_unsettled) {
        const Source &source = sources[passes.index];
        QByteArray text;
        if (!original(source, &text))
            continue;
        const ChangingLine line = firstChangingLine(text, passes.before, passes.after);
        m_report.message(source.path + ": warning: indent still changes it after " +
                         QByteArray::number(MaxFormatterPasses) +
                         " passes; left as it is. Fence the region with /* *INDENT-OFF* */ and "
                         "/* *INDENT-ON* */, or leave the file out with --exclude. Its passes keep "
                         "changing from line " +
                         QByteArray::number(line.original) + " (line " + QByteArray::number(line.output) +
                         " of indent's output)");
        if (withDiff) {
            const QByteArray label = terminalSafe(source.path) + " (pass ";
            m_report.err(unifiedDiff(passes.before, passes.after,
                                     label + QByteArray::number(MaxFormatterPasses - 1) + ")",
                                     label + QByteArray::number(MaxFormatterPasses) + ")"));
        }
    }
}
