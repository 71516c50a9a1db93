#pragma once

#include "ProfileSpace.h"
#include "StyleSearch.h"

#include <atomic>

struct ProfileSearchResult
{
    SearchResult::Outcome outcome = SearchResult::Outcome::Failed;
    Profile profile;       // the proposal: no change of one option and no change of two options of one
                           // concern scores better
    QString parameterText; // the proposal's options, in the options table's order
    StyleScore score;      // the proposal's
    StyleScore failure;    // what stopped a failed search
    int rounds = 0;
    int indentRuns = 0;      // this search's own
    int profilesScored = 0;  // distinct ones
    int proofIndentRuns = 0; // the runs after the last step: those that found no change helps
    int neighbours = 0;      // the changes of one and of two options of the proposal looked through
};

// Looks for the whole indent profile, any layout option and any number that matters for the sources
// (profileChoices), whose result changes the fewest lines of them; of two that change as many, the one
// with fewer options, then the first parameter text. Profiles that indent formats alike are formatted
// once, and the evaluator's runs may be shared with a row search before it.
//
// It starts from the best of the given profiles (the row search's answer), indent's presets and its
// defaults, then repeats: take the best change of one option while one helps, with the other helpful
// changes of other settings on top; then look through every change of two options of one concern
// (LayoutConcern), the likeliest first, and take the first that helps. It ends where none does, so the
// answer is a local optimum for those changes. Deterministic.
class ProfileSearch
{
public:
    explicit ProfileSearch(StyleEvaluator &evaluator);

    // Runs on the calling thread; progress is called there too. Setting cancel stops it within moments.
    ProfileSearchResult run(const QVector<Profile> &seeds, const std::atomic_bool &cancel,
                            const StyleSearch::Progress &progress = {});

private:
    StyleEvaluator &m_evaluator;
};

// The name a saved whole profile carries in its first comment: "从代码推断（全部选项），改动 58 行".
QString wholeProfileName(qint64 changedLines);
