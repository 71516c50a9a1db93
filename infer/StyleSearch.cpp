#include "StyleSearch.h"

#include "AnsiText.h"
#include "CellTable.h"
#include "Neighbourhood.h"
#include "ScoreBook.h"
#include "StyleSpace.h"
#include "StyleStore.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <functional>
#include <limits>
#include <optional>

namespace {

// Selections scored between two looks at the best so far while the two-row changes are tried.
constexpr int RunsPerBatch = ScoreBook::RunsPerBatch;

// A selection with what it scored, in the order the search prefers selections.
struct Ranked
{
    CheckStates checks{};
    bool usable = false; // indent formatted every file with it
    qint64 lines = std::numeric_limits<qint64>::max();
    int rows = 0;
    QString text;

    // fewer changed lines, then fewer rows
    bool betterThan(const Ranked &other) const
    {
        if (usable != other.usable)
            return usable;
        return lines < other.lines || (lines == other.lines && rows < other.rows);
    }
    // the same, and of two equal ones the first parameter text, so that no choice depends on the order
    // in which results came in
    bool before(const Ranked &other) const
    {
        if (betterThan(other) || other.betterThan(*this))
            return betterThan(other);
        return text < other.text;
    }
};

QVector<QByteArray> sourceTexts(const StyleEvaluator &evaluator)
{
    QVector<QByteArray> texts;
    for (const SourceText &source : evaluator.sources())
        texts.append(source.text);
    return texts;
}

// The score book for selections: keys from what indent makes of a selection.
class SelectionBook
{
public:
    SelectionBook(StyleEvaluator &evaluator, const std::atomic_bool &cancel)
        : m_book(evaluator, cancel)
        , m_keys(settingsTheSourcesCannotShow(sourceTexts(evaluator)))
    {}

    void setBatchScored(std::function<void()> batchScored) { m_book.batchScored = std::move(batchScored); }

    QByteArray keyOf(const CheckStates &checks) const
    {
        // a selection with a row never proposed is scored exactly as it is
        if (proposableSelection(checks) != checks)
            return "as given: " + ParameterTextFor(checks).toLatin1();
        return m_keys.key(checks);
    }
    bool contains(const QByteArray &key) const { return m_book.contains(key); }
    StyleScore scoreOf(const CheckStates &checks) const { return m_book.scoreOf(keyOf(checks)); }
    Ranked rank(const CheckStates &checks) const
    {
        Ranked ranked;
        ranked.checks = checks;
        ranked.rows = tickedRowCount(checks);
        ranked.text = ParameterTextFor(checks);
        if (const std::optional<qint64> lines = m_book.changedLines(keyOf(checks))) {
            ranked.usable = true;
            ranked.lines = *lines;
        }
        return ranked;
    }
    int size() const { return m_book.size(); }

    bool scoreAll(const QVector<CheckStates> &selections)
    {
        QVector<ScoreRequest> requests;
        requests.reserve(selections.size());
        for (const CheckStates &checks : selections)
            requests.append({keyOf(checks), ParameterTextFor(checks)});
        return m_book.scoreAll(requests);
    }

    std::optional<StyleScore> failure() const { return m_book.failure(); }
    void fail(const StyleScore &score) { m_book.fail(score); }

private:
    ScoreBook m_book;
    StyleKeys m_keys;
};

QVector<CheckStates> selectionsOf(const QVector<SelectionChange> &changes)
{
    QVector<CheckStates> selections;
    selections.reserve(changes.size());
    for (const SelectionChange &change : changes)
        selections.append(change.checks);
    return selections;
}

QVector<ScoredStyle> builtInStylesAsGiven()
{
    QVector<ScoredStyle> styles;
    for (const StyleRecord &record : builtInStyles())
        styles.append({fromAnsi(QByteArray(record.Name, int(qstrnlen(record.Name, StyleRecord::NameSize)))),
                       checkStatesOf(record),
                       {}});
    return styles;
}

class SearchRun
{
public:
    SearchRun(StyleEvaluator &evaluator, const std::atomic_bool &cancel,
              const StyleSearch::Progress &progress)
        : m_evaluator(evaluator)
        , m_book(evaluator, cancel)
        , m_progress(progress)
    {
        m_book.setBatchScored([this] { report(); });
    }

    SearchResult run(const std::optional<CheckStates> &start);

private:
    enum class Step { Improved, Settled, Stopped };

    bool startFromSeeds(const std::optional<CheckStates> &start, SearchResult &result);
    // Takes the best helpful change of one row, one choice or one preset, and the other helpful ones
    // on top, until none helps.
    Step descend();
    // The best helpful change first, then each other helpful one that touches other choices, in order,
    // kept while it still helps: most changes touch settings far apart, and a whole neighbourhood per
    // change would cost many runs. False once the search must stop.
    bool combineImprovements(const QVector<SelectionChange> &changes);
    // Every two-row change not scored yet, those whose single rows cost least first, until one helps.
    Step tryPairs();
    std::optional<Ranked> bestImprovement(const QVector<CheckStates> &candidates) const;
    void moveTo(const Ranked &better);
    void report();

    StyleEvaluator &m_evaluator;
    SelectionBook m_book;
    const StyleSearch::Progress &m_progress;
    Ranked m_current;
    int m_rounds = 0;
};

void SearchRun::report()
{
    if (!m_progress)
        return;
    SearchProgress progress;
    progress.rounds = m_rounds;
    progress.bestChangedLines = m_current.usable ? m_current.lines : -1;
    progress.indentRuns = m_evaluator.indentRuns();
    m_progress(progress);
}

void SearchRun::moveTo(const Ranked &better)
{
    m_current = better;
    report();
}

std::optional<Ranked> SearchRun::bestImprovement(const QVector<CheckStates> &candidates) const
{
    std::optional<Ranked> best;
    for (const CheckStates &checks : candidates) {
        const Ranked ranked = m_book.rank(checks);
        if (ranked.betterThan(m_current) && (!best || ranked.before(*best)))
            best = ranked;
    }
    return best;
}

bool SearchRun::startFromSeeds(const std::optional<CheckStates> &start, SearchResult &result)
{
    // indent's own defaults first and alone: when indent cannot format these files at all, say so at once
    const CheckStates nothing{};
    if (!m_book.scoreAll({nothing}))
        return false;
    if (!m_book.scoreOf(nothing).scored()) {
        m_book.fail(m_book.scoreOf(nothing));
        return false;
    }
    m_current = m_book.rank(nothing);

    // the styles as the user has them (a bare "-T" and all), and as seeds without the rows never proposed
    QVector<ScoredStyle> asGiven = builtInStylesAsGiven();
    if (start)
        asGiven.append({QString(), *start, {}});
    QVector<CheckStates> selections;
    for (const ScoredStyle &style : asGiven)
        selections += {style.checks, proposableSelection(style.checks)};
    if (!m_book.scoreAll(selections))
        return false;
    for (ScoredStyle &style : asGiven) {
        style.score = m_book.scoreOf(style.checks);
        const Ranked seed = m_book.rank(proposableSelection(style.checks));
        if (seed.before(m_current))
            m_current = seed;
    }
    if (start)
        result.start = asGiven.takeLast();
    result.builtIns = asGiven;
    ++m_rounds;
    report();
    return true;
}

SearchRun::Step SearchRun::descend()
{
    for (;;) {
        const QVector<SelectionChange> changes = singleRowChanges(m_current.checks) +
                                                 choiceSwaps(m_current.checks) +
                                                 presetCompactions(m_current.checks);
        const QVector<CheckStates> candidates = selectionsOf(changes);
        if (!m_book.scoreAll(candidates))
            return Step::Stopped;
        ++m_rounds;
        if (!bestImprovement(candidates)) {
            report();
            return Step::Settled;
        }
        if (!combineImprovements(changes))
            return Step::Stopped;
    }
}

bool SearchRun::combineImprovements(const QVector<SelectionChange> &changes)
{
    QVector<QPair<Ranked, QVector<int>>> helpful;
    for (const SelectionChange &change : changes) {
        const Ranked ranked = m_book.rank(change.checks);
        if (ranked.betterThan(m_current))
            helpful.append({ranked, change.rows});
    }
    std::sort(helpful.begin(), helpful.end(),
              [](const auto &a, const auto &b) { return a.first.before(b.first); });
    const CheckStates from = m_current.checks;
    moveTo(helpful.first().first);
    QSet<int> touched;
    for (const int row : helpful.first().second)
        touched.insert(choiceOf(row));
    for (qsizetype index = 1; index < helpful.size(); ++index) {
        const QVector<int> &rows = helpful.at(index).second;
        if (std::any_of(rows.cbegin(), rows.cend(), [&](int row) { return touched.contains(choiceOf(row)); }))
            continue;
        CheckStates combined = m_current.checks;
        for (const int row : rows)
            combined[size_t(row)] = !from[size_t(row)];
        if (!m_book.scoreAll({combined}))
            return false;
        const Ranked ranked = m_book.rank(combined);
        if (!ranked.betterThan(m_current))
            continue;
        moveTo(ranked);
        for (const int row : rows)
            touched.insert(choiceOf(row));
    }
    return true;
}

SearchRun::Step SearchRun::tryPairs()
{
    // what each row alone did: pairs of rows that cost little alone are the likeliest to help together
    QHash<int, qint64> cost;
    for (const SelectionChange &single : singleRowChanges(m_current.checks)) {
        const Ranked ranked = m_book.rank(single.checks);
        cost.insert(single.rows.first(),
                    ranked.usable ? ranked.lines - m_current.lines : std::numeric_limits<qint32>::max());
    }
    struct Pending
    {
        qint64 promise;
        CheckStates checks;
    };
    QVector<Pending> pending;
    QVector<CheckStates> known;
    QSet<QByteArray> keys;
    for (const SelectionChange &pair : twoRowChanges(m_current.checks)) {
        // with no changed line left, only fewer rows could do better
        if (m_current.lines == 0 && tickedRowCount(pair.checks) >= m_current.rows)
            continue;
        const QByteArray key = m_book.keyOf(pair.checks);
        if (m_book.contains(key)) {
            known.append(pair.checks);
        } else if (!keys.contains(key)) {
            keys.insert(key);
            pending.append({cost.value(pair.rows.at(0)) + cost.value(pair.rows.at(1)), pair.checks});
        }
    }
    ++m_rounds;
    if (const std::optional<Ranked> best = bestImprovement(known)) {
        moveTo(*best);
        return Step::Improved;
    }
    std::stable_sort(pending.begin(), pending.end(),
                     [](const Pending &a, const Pending &b) { return a.promise < b.promise; });
    for (qsizetype first = 0; first < pending.size(); first += RunsPerBatch) {
        QVector<CheckStates> batch;
        for (qsizetype index = first; index < std::min(pending.size(), first + RunsPerBatch); ++index)
            batch.append(pending.at(index).checks);
        if (!m_book.scoreAll(batch))
            return Step::Stopped;
        if (const std::optional<Ranked> best = bestImprovement(batch)) {
            moveTo(*best);
            return Step::Improved;
        }
    }
    report();
    return Step::Settled;
}

SearchResult SearchRun::run(const std::optional<CheckStates> &start)
{
    SearchResult result;
    const auto finish = [&](SearchResult::Outcome outcome) {
        if (const std::optional<StyleScore> failure = m_book.failure()) {
            result.outcome = SearchResult::Outcome::Failed;
            result.failure = *failure;
        } else {
            result.outcome = outcome;
        }
        result.rounds = m_rounds;
        result.indentRuns = m_evaluator.indentRuns();
        result.selectionsScored = m_book.size();
        if (result.outcome == SearchResult::Outcome::Found) {
            result.selection = m_current.checks;
            result.score = m_book.scoreOf(m_current.checks);
        }
        return result;
    };
    if (!startFromSeeds(start, result))
        return finish(SearchResult::Outcome::Cancelled);
    for (;;) {
        if (descend() == Step::Stopped)
            return finish(SearchResult::Outcome::Cancelled);
        switch (tryPairs()) {
        case Step::Stopped:
            return finish(SearchResult::Outcome::Cancelled);
        case Step::Settled:
            return finish(SearchResult::Outcome::Found);
        case Step::Improved:
            break;
        }
    }
}

} // namespace

StyleSearch::StyleSearch(StyleEvaluator &evaluator)
    : m_evaluator(evaluator)
{}

SearchResult StyleSearch::run(const std::optional<CheckStates> &start, const std::atomic_bool &cancel,
                              const Progress &progress)
{
    return SearchRun(m_evaluator, cancel, progress).run(start);
}

QString styleDisplayName(const QString &name)
{
    const QString suffix = QString::fromUtf8("风格");
    return name.endsWith(suffix) ? name : name + suffix;
}
