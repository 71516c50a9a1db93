#pragma once

#include "StyleEvaluator.h"
#include "StyleRecord.h"

#include <QString>
#include <QVector>

#include <atomic>
#include <functional>
#include <optional>

// Where a search stands, for a progress display.
struct SearchProgress
{
    int rounds = 0;               // neighbourhoods looked through so far
    qint64 bestChangedLines = -1; // of the best selection so far; -1 before the first is scored
    int indentRuns = 0;
    bool wholeProfile = false; // the search over indent's whole profile, after the rows'
};

// A style as the user has it, scored with every row it ticks.
struct ScoredStyle
{
    QString name;
    CheckStates checks{};
    StyleScore score;
};

struct SearchResult
{
    enum class Outcome { Found, Cancelled, Failed };
    Outcome outcome = Outcome::Failed;
    CheckStates selection{};          // the proposal: no one-row and no two-row change of it scores better
    StyleScore score;                 // the proposal's
    QVector<ScoredStyle> builtIns;    // the four built-in styles
    std::optional<ScoredStyle> start; // the selection the search started from, when one was given
    StyleScore failure;               // what stopped a failed search
    int rounds = 0;
    int indentRuns = 0;
    int selectionsScored = 0; // distinct ones
};

// Looks for the selection of proposable rows whose indent result changes the fewest lines of the
// sources; of two that change as many, the one with fewer ticked rows. Selections that indent formats
// alike (OptionEffects and indent's defaults say which) are formatted once.
//
// It starts from the best of indent's own defaults, the built-in styles and the given start, then
// repeats: take the best change of one row or one exclusive choice while one helps; then look through
// every change of two rows, the likeliest first, and take the first that helps. It ends where none of
// them does, so the answer is a local optimum for one-row and two-row changes. Deterministic: the same
// sources and start give the same answer.
class StyleSearch
{
public:
    using Progress = std::function<void(const SearchProgress &)>;

    explicit StyleSearch(StyleEvaluator &evaluator);

    // Runs on the calling thread; progress is called there too, after each batch of indent runs.
    // Setting cancel stops it within moments: no formatter runs on, and the result is Cancelled.
    SearchResult run(const std::optional<CheckStates> &start, const std::atomic_bool &cancel,
                     const Progress &progress = {});

private:
    StyleEvaluator &m_evaluator;
};

// The name a report gives a built-in style: "GNU风格", "Zabo推荐风格".
QString styleDisplayName(const QString &name);
