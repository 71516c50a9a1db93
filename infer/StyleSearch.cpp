#include "StyleSearch.h"

#include "AnsiText.h"
#include "CellTable.h"
#include "LocalSearch.h"
#include "Neighbourhood.h"
#include "StyleSpace.h"
#include "StyleStore.h"

#include <optional>

namespace {

QVector<QByteArray> sourceTexts(const StyleEvaluator &evaluator)
{
    QVector<QByteArray> texts;
    for (const SourceText &source : evaluator.sources())
        texts.append(source.text);
    return texts;
}

QVector<StyleStep<CheckStates>> stepsOf(const QVector<SelectionChange> &changes)
{
    QVector<StyleStep<CheckStates>> steps;
    steps.reserve(changes.size());
    for (const SelectionChange &change : changes) {
        QVector<int> choices;
        for (const int row : change.rows)
            choices.append(choiceOf(row));
        steps.append({change.checks, change.rows, choices});
    }
    return steps;
}

// Selections of catalogue rows: a step toggles rows, and two steps combine unless they touch one choice.
class SelectionSpace : public StyleNeighbourhood<CheckStates>
{
public:
    explicit SelectionSpace(const StyleEvaluator &evaluator)
        : m_keys(settingsTheSourcesCannotShow(sourceTexts(evaluator)))
    {}

    QByteArray keyOf(const CheckStates &checks) const override
    {
        // a selection with a row never proposed is scored exactly as it is
        if (proposableSelection(checks) != checks)
            return "as given: " + ParameterTextFor(checks).toLatin1();
        return m_keys.key(checks);
    }
    QString textOf(const CheckStates &checks) const override { return ParameterTextFor(checks); }
    int sizeOf(const CheckStates &checks) const override { return tickedRowCount(checks); }
    // one row, one exclusive choice or one preset in place of the rows that restate it
    QVector<StyleStep<CheckStates>> steps(const CheckStates &checks) const override
    {
        return stepsOf(singleRowChanges(checks) + choiceSwaps(checks) + presetCompactions(checks));
    }
    QVector<StyleStep<CheckStates>> singles(const CheckStates &checks) const override
    {
        return stepsOf(singleRowChanges(checks));
    }
    QVector<StyleStep<CheckStates>> pairs(const CheckStates &checks) const override
    {
        return stepsOf(twoRowChanges(checks));
    }
    CheckStates withStep(const CheckStates &checks, const StyleStep<CheckStates> &step) const override
    {
        CheckStates combined = checks;
        for (const int row : step.parts)
            combined[size_t(row)] = step.style[size_t(row)];
        return combined;
    }

private:
    StyleKeys m_keys;
};

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
        , m_space(evaluator)
        , m_search(m_space, evaluator, cancel, progress, false)
    {}

    SearchResult run(const std::optional<CheckStates> &start);

private:
    bool startFromSeeds(const std::optional<CheckStates> &start, SearchResult &result);
    SearchResult finish(SearchResult result, SearchResult::Outcome outcome);

    StyleEvaluator &m_evaluator;
    SelectionSpace m_space;
    LocalSearch<CheckStates> m_search;
};

bool SearchRun::startFromSeeds(const std::optional<CheckStates> &start, SearchResult &result)
{
    if (!m_search.standOnDefaults(CheckStates{}))
        return false;
    auto best = m_search.current();

    // the styles as the user has them (a bare "-T" and all), and as seeds without the rows never proposed
    QVector<ScoredStyle> asGiven = builtInStylesAsGiven();
    if (start)
        asGiven.append({QString(), *start, {}});
    QVector<CheckStates> selections;
    for (const ScoredStyle &style : asGiven)
        selections += {style.checks, proposableSelection(style.checks)};
    if (!m_search.scoreAll(selections))
        return false;
    for (ScoredStyle &style : asGiven) {
        style.score = m_search.scoreOf(style.checks);
        const auto seed = m_search.rank(proposableSelection(style.checks));
        if (seed.before(best))
            best = seed;
    }
    if (start)
        result.start = asGiven.takeLast();
    result.builtIns = asGiven;
    m_search.startAt(best);
    return true;
}

SearchResult SearchRun::finish(SearchResult result, SearchResult::Outcome outcome)
{
    result.outcome = m_search.outcomeOf(outcome, &result.failure);
    result.rounds = m_search.rounds();
    result.indentRuns = m_evaluator.indentRuns();
    result.selectionsScored = m_search.book().size();
    if (result.outcome == SearchResult::Outcome::Found) {
        result.selection = m_search.current().style;
        result.score = m_search.scoreOf(result.selection);
    }
    return result;
}

SearchResult SearchRun::run(const std::optional<CheckStates> &start)
{
    SearchResult result;
    if (!startFromSeeds(start, result) || m_search.settle() == LocalSearch<CheckStates>::Ending::Stopped)
        return finish(result, SearchResult::Outcome::Cancelled);
    return finish(result, SearchResult::Outcome::Found);
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
