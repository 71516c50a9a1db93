#include "SettlingLoop.h"

#include "Descriptor.h"
#include "FormatReporter.h"

#include <QCryptographicHash>

#include <map>

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
    std::map<std::size_t, PassHistory> moving;
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
        moving.emplace(index, std::move(history));
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
            it = it->second.settlesWith(text) ? moving.erase(it) : std::next(it);
        }
    }

    for (const auto &entry : moving) {
        Source &source = sources[entry.first];
        source.unsettled = true;
        m_report.message(source.path + ": warning: indent still changes it after " +
                         QByteArray::number(MaxFormatterPasses) +
                         " passes; left as it is. Fence the region with /* *INDENT-OFF* */ and "
                         "/* *INDENT-ON* */, or leave the file out with --exclude");
    }
    return true;
}
