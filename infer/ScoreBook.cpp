#include "ScoreBook.h"

#include <QSet>

ScoreBook::ScoreBook(StyleEvaluator &evaluator, const std::atomic_bool &cancel)
    : m_evaluator(evaluator)
    , m_cancel(cancel)
{}

std::optional<qint64> ScoreBook::changedLines(const QByteArray &key) const
{
    const auto found = m_scores.constFind(key);
    if (found == m_scores.cend() || !found->scored())
        return std::nullopt;
    return found->changedLines;
}

bool ScoreBook::scoreAll(const QVector<ScoreRequest> &requests)
{
    QVector<QByteArray> keys;
    QStringList texts;
    QSet<QByteArray> pending;
    for (const ScoreRequest &request : requests) {
        if (m_scores.contains(request.key) || pending.contains(request.key))
            continue;
        pending.insert(request.key);
        keys.append(request.key);
        texts.append(request.parameterText);
    }
    for (qsizetype first = 0; first < texts.size(); first += RunsPerBatch) {
        if (m_cancel.load())
            return false;
        const QVector<StyleScore> scores = m_evaluator.score(texts.mid(first, RunsPerBatch), m_cancel);
        for (qsizetype index = 0; index < scores.size(); ++index) {
            if (!keep(keys.at(first + index), scores.at(index)))
                return false;
        }
        if (batchScored)
            batchScored();
    }
    return true;
}

bool ScoreBook::keep(const QByteArray &key, const StyleScore &score)
{
    using Outcome = StyleScore::Outcome;
    switch (score.outcome) {
    case Outcome::Cancelled:
        return false;
    case Outcome::FailedToStart:
    case Outcome::ScratchFailed:
    case Outcome::OutOfSpace:
        // nothing more can be scored
        m_failure = score;
        return false;
    case Outcome::Scored:
    case Outcome::FormatterFailed:
    case Outcome::TimedOut:
        // this style cannot be used; others may
        m_scores.insert(key, score);
        return true;
    }
    return true;
}
