#pragma once

#include "ScoreBook.h"
#include "StyleSearch.h"

#include <QByteArray>
#include <QHash>
#include <QSet>
#include <QString>
#include <QVector>

#include <algorithm>
#include <limits>
#include <optional>

// A style with what it scored, in the order a search prefers styles.
struct StyleRank
{
    bool usable = false; // indent formatted every file with it
    qint64 lines = std::numeric_limits<qint64>::max();
    int size = 0; // rows ticked, options given
    QString text;

    // fewer changed lines, then a smaller style
    bool betterThan(const StyleRank &other) const
    {
        if (usable != other.usable)
            return usable;
        return lines < other.lines || (lines == other.lines && size < other.size);
    }
    // the same, and of two equal ones the first parameter text, so that no choice depends on the order
    // in which results came in
    bool before(const StyleRank &other) const
    {
        if (betterThan(other) || other.betterThan(*this))
            return betterThan(other);
        return text < other.text;
    }
};

// One step from the style a search stands on.
template<typename Style>
struct StyleStep
{
    Style style;         // where it leads
    QVector<int> parts;  // what it changes, as the space numbers them: a single change has one part
    QVector<int> groups; // what two steps taken together must not both change
};

// What a local search searches: the styles around one, and what makes styles alike.
template<typename Style>
class StyleNeighbourhood
{
public:
    virtual ~StyleNeighbourhood() = default;
    // Styles with equal keys format every text alike.
    virtual QByteArray keyOf(const Style &style) const = 0;
    virtual QString textOf(const Style &style) const = 0;
    virtual int sizeOf(const Style &style) const = 0;
    // the steps looked through while one helps: the single changes and any others
    virtual QVector<StyleStep<Style>> steps(const Style &style) const = 0;
    // the single changes, one part each
    virtual QVector<StyleStep<Style>> singles(const Style &style) const = 0;
    // the changes of two parts that a local optimum must also beat
    virtual QVector<StyleStep<Style>> pairs(const Style &style) const = 0;
    // the step's changes made to another style than the one it was taken from
    virtual Style withStep(const Style &style, const StyleStep<Style> &step) const = 0;
};

// The search both the rows and the whole profile use: from a start, take the best helpful step with the
// other helpful ones on top while one helps; then look through every pair, the likeliest first, and take
// the first that helps; end where none does. Deterministic; each key is scored once.
template<typename Style>
class LocalSearch
{
public:
    struct Ranked : StyleRank
    {
        Style style{};
    };
    enum class Ending { Settled, Stopped };

    LocalSearch(const StyleNeighbourhood<Style> &space, StyleEvaluator &evaluator,
                const std::atomic_bool &cancel, const StyleSearch::Progress &progress, bool wholeProfile)
        : m_space(space)
        , m_evaluator(evaluator)
        , m_book(evaluator, cancel)
        , m_progress(progress)
        , m_wholeProfile(wholeProfile)
    {
        m_book.batchScored = [this] { report(); };
    }

    ScoreBook &book() { return m_book; }
    const ScoreBook &book() const { return m_book; }
    const Ranked &current() const { return m_current; }
    int rounds() const { return m_rounds; }
    int runsAtLastStep() const { return m_runsAtLastStep; }
    int neighbours() const { return m_neighbours; }

    Ranked rank(const Style &style) const
    {
        Ranked ranked;
        ranked.style = style;
        ranked.size = m_space.sizeOf(style);
        ranked.text = m_space.textOf(style);
        if (const std::optional<qint64> lines = m_book.changedLines(m_space.keyOf(style))) {
            ranked.usable = true;
            ranked.lines = *lines;
        }
        return ranked;
    }
    StyleScore scoreOf(const Style &style) const { return m_book.scoreOf(m_space.keyOf(style)); }

    bool scoreAll(const QVector<Style> &styles)
    {
        QVector<ScoreRequest> requests;
        requests.reserve(styles.size());
        for (const Style &style : styles)
            requests.append({m_space.keyOf(style), m_space.textOf(style)});
        return m_book.scoreAll(requests);
    }

    // Scores indent's own defaults first and alone, and stands on them while the seeds are scored: when
    // indent cannot format these files at all, the search fails at once with its words. False once the
    // search must stop.
    bool standOnDefaults(const Style &nothing)
    {
        if (!scoreAll({nothing}))
            return false;
        const Ranked defaults = rank(nothing);
        if (!defaults.usable) {
            m_book.fail(scoreOf(nothing));
            return false;
        }
        m_current = defaults;
        return true;
    }
    // Where the search stands once the seeds are scored; counts as a round.
    void startAt(const Ranked &start)
    {
        m_current = start;
        ++m_rounds;
        moveTo(start);
    }

    // How a search that ended so ends: Failed, with what stopped it, when the formatter or the scratch
    // space failed.
    SearchResult::Outcome outcomeOf(SearchResult::Outcome ended, StyleScore *failure) const
    {
        if (const std::optional<StyleScore> failed = m_book.failure()) {
            *failure = *failed;
            return SearchResult::Outcome::Failed;
        }
        return ended;
    }

    Ending settle()
    {
        for (;;) {
            if (descend() == Step::Stopped)
                return Ending::Stopped;
            switch (tryPairs()) {
            case Step::Stopped:
                return Ending::Stopped;
            case Step::Settled:
                return Ending::Settled;
            case Step::Improved:
                break;
            }
        }
    }

    void report()
    {
        if (!m_progress)
            return;
        SearchProgress progress;
        progress.rounds = m_rounds;
        progress.bestChangedLines = m_current.usable ? m_current.lines : -1;
        progress.indentRuns = m_evaluator.indentRuns();
        progress.wholeProfile = m_wholeProfile;
        m_progress(progress);
    }

private:
    enum class Step { Improved, Settled, Stopped };

    static QVector<Style> stylesOf(const QVector<StyleStep<Style>> &steps)
    {
        QVector<Style> styles;
        styles.reserve(steps.size());
        for (const StyleStep<Style> &step : steps)
            styles.append(step.style);
        return styles;
    }

    void moveTo(const Ranked &better)
    {
        m_current = better;
        m_runsAtLastStep = m_evaluator.indentRuns();
        report();
    }

    std::optional<Ranked> bestImprovement(const QVector<Style> &candidates) const
    {
        std::optional<Ranked> best;
        for (const Style &style : candidates) {
            const Ranked ranked = rank(style);
            if (ranked.betterThan(m_current) && (!best || ranked.before(*best)))
                best = ranked;
        }
        return best;
    }

    Step descend()
    {
        for (;;) {
            const QVector<StyleStep<Style>> steps = m_space.steps(m_current.style);
            const QVector<Style> candidates = stylesOf(steps);
            if (!scoreAll(candidates))
                return Step::Stopped;
            ++m_rounds;
            if (!bestImprovement(candidates)) {
                report();
                return Step::Settled;
            }
            if (!combineImprovements(steps))
                return Step::Stopped;
        }
    }

    // The best helpful step first, then each other helpful one that touches other groups, in order, kept
    // while it still helps: most steps touch settings far apart, and a whole neighbourhood per step would
    // cost many runs. False once the search must stop.
    bool combineImprovements(const QVector<StyleStep<Style>> &steps)
    {
        QVector<QPair<Ranked, const StyleStep<Style> *>> helpful;
        for (const StyleStep<Style> &step : steps) {
            const Ranked ranked = rank(step.style);
            if (ranked.betterThan(m_current))
                helpful.append({ranked, &step});
        }
        std::sort(helpful.begin(), helpful.end(),
                  [](const auto &a, const auto &b) { return a.first.before(b.first); });
        moveTo(helpful.first().first);
        QSet<int> touched(helpful.first().second->groups.cbegin(), helpful.first().second->groups.cend());
        for (qsizetype index = 1; index < helpful.size(); ++index) {
            const StyleStep<Style> &step = *helpful.at(index).second;
            if (std::any_of(step.groups.cbegin(), step.groups.cend(),
                            [&](int group) { return touched.contains(group); }))
                continue;
            const Style combined = m_space.withStep(m_current.style, step);
            if (!scoreAll({combined}))
                return false;
            const Ranked ranked = rank(combined);
            if (!ranked.betterThan(m_current))
                continue;
            moveTo(ranked);
            for (const int group : step.groups)
                touched.insert(group);
        }
        return true;
    }

    // Every pair not scored yet, those whose single changes cost least alone first, until one helps.
    Step tryPairs()
    {
        QHash<int, qint64> cost;
        const QVector<StyleStep<Style>> singles = m_space.singles(m_current.style);
        for (const StyleStep<Style> &single : singles) {
            const Ranked ranked = rank(single.style);
            cost.insert(single.parts.first(),
                        ranked.usable ? ranked.lines - m_current.lines : std::numeric_limits<qint32>::max());
        }
        struct Pending
        {
            qint64 promise;
            Style style;
        };
        QVector<Pending> pending;
        QVector<Style> known;
        QSet<QByteArray> keys;
        const QVector<StyleStep<Style>> pairs = m_space.pairs(m_current.style);
        m_neighbours = int(singles.size() + pairs.size());
        for (const StyleStep<Style> &pair : pairs) {
            // with no changed line left, only a smaller style could do better
            if (m_current.lines == 0 && m_space.sizeOf(pair.style) >= m_current.size)
                continue;
            const QByteArray key = m_space.keyOf(pair.style);
            if (m_book.contains(key)) {
                known.append(pair.style);
            } else if (!keys.contains(key)) {
                keys.insert(key);
                pending.append({cost.value(pair.parts.at(0)) + cost.value(pair.parts.at(1)), pair.style});
            }
        }
        ++m_rounds;
        if (const std::optional<Ranked> best = bestImprovement(known)) {
            moveTo(*best);
            return Step::Improved;
        }
        std::stable_sort(pending.begin(), pending.end(),
                         [](const Pending &a, const Pending &b) { return a.promise < b.promise; });
        for (qsizetype first = 0; first < pending.size(); first += ScoreBook::RunsPerBatch) {
            QVector<Style> batch;
            const qsizetype end = std::min(pending.size(), first + ScoreBook::RunsPerBatch);
            for (qsizetype index = first; index < end; ++index)
                batch.append(pending.at(index).style);
            if (!scoreAll(batch))
                return Step::Stopped;
            if (const std::optional<Ranked> best = bestImprovement(batch)) {
                moveTo(*best);
                return Step::Improved;
            }
        }
        report();
        return Step::Settled;
    }

    const StyleNeighbourhood<Style> &m_space;
    StyleEvaluator &m_evaluator;
    ScoreBook m_book;
    const StyleSearch::Progress &m_progress;
    bool m_wholeProfile;
    Ranked m_current;
    int m_rounds = 0;
    int m_runsAtLastStep = 0;
    int m_neighbours = 0;
};
