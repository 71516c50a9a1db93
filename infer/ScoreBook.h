#pragma once

#include "StyleEvaluator.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <optional>

// A style to score: what indent makes of it (styles with equal keys format every text alike), and the
// parameter text that formats it.
struct ScoreRequest
{
    QByteArray key;
    QString parameterText;
};

// What every style scored so far, by its key: styles with equal keys are formatted once. Runs go to
// the evaluator a batch at a time, so that a cancel or a failure stops the search between batches.
class ScoreBook
{
public:
    // Styles scored between two progress reports.
    static constexpr int RunsPerBatch = 16;

    ScoreBook(StyleEvaluator &evaluator, const std::atomic_bool &cancel);

    // After each batch of runs.
    std::function<void()> batchScored;

    bool contains(const QByteArray &key) const { return m_scores.contains(key); }
    // The score under key; a Cancelled one when it has none.
    StyleScore scoreOf(const QByteArray &key) const { return m_scores.value(key); }
    // The changed lines under key, when indent formatted every file with it.
    std::optional<qint64> changedLines(const QByteArray &key) const;
    int size() const { return int(m_scores.size()); }

    // Scores every request whose key has no score yet, in order. False once the search must stop:
    // cancelled, or the scratch space or the formatter itself failed (failure()).
    bool scoreAll(const QVector<ScoreRequest> &requests);

    std::optional<StyleScore> failure() const { return m_failure; }
    void fail(const StyleScore &score) { m_failure = score; }

private:
    bool keep(const QByteArray &key, const StyleScore &score);

    StyleEvaluator &m_evaluator;
    const std::atomic_bool &m_cancel;
    QHash<QByteArray, StyleScore> m_scores;
    std::optional<StyleScore> m_failure;
};
