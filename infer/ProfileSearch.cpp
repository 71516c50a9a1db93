#include "ProfileSearch.h"

#include "ScoreBook.h"
#include "StyleSpace.h"

#include <QHash>
#include <QSet>

#include <algorithm>
#include <limits>
#include <optional>

namespace {

// A profile with what it scored, in the order the search prefers profiles.
struct Ranked
{
    Profile profile;
    bool usable = false; // indent formatted every file with it
    qint64 lines = std::numeric_limits<qint64>::max();
    QString text;

    qsizetype length() const { return profile.size(); }
    // fewer changed lines, then fewer options
    bool betterThan(const Ranked &other) const
    {
        if (usable != other.usable)
            return usable;
        return lines < other.lines || (lines == other.lines && length() < other.length());
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

using Candidate = ProfileChange;

class ProfileRun
{
public:
    ProfileRun(StyleEvaluator &evaluator, const std::atomic_bool &cancel,
               const StyleSearch::Progress &progress)
        : m_evaluator(evaluator)
        , m_book(evaluator, cancel)
        , m_progress(progress)
        , m_runsBefore(evaluator.indentRuns())
    {
        QVector<QByteArray> texts;
        for (const SourceText &source : evaluator.sources())
            texts.append(source.text);
        m_idle = settingsTheSourcesCannotShow(texts);
        m_choices = profileChoices(measureLayout(evaluator.sources()));
        m_book.batchScored = [this] { report(); };
    }

    ProfileSearchResult run(const QVector<Profile> &seeds);

private:
    enum class Step { Improved, Settled, Stopped };

    QByteArray keyOf(const Profile &profile) const;
    Ranked rank(const Profile &profile) const;
    bool scoreAll(const QVector<Candidate> &candidates);
    bool startFromSeeds(QVector<Profile> seeds);
    QVector<Candidate> singleChanges() const { return oneOptionChanges(m_current.profile, m_choices); }
    QVector<Candidate> pairChanges() const { return twoOptionChanges(m_current.profile, m_choices); }
    Step descend();
    bool combineImprovements(const QVector<Candidate> &candidates);
    Step tryPairs();
    std::optional<Ranked> bestImprovement(const QVector<Candidate> &candidates) const;
    void moveTo(const Ranked &better);
    void report();
    ProfileSearchResult finish(SearchResult::Outcome outcome);

    StyleEvaluator &m_evaluator;
    ScoreBook m_book;
    const StyleSearch::Progress &m_progress;
    int m_runsBefore;
    QStringList m_idle;
    QVector<SettingChoice> m_choices;
    Ranked m_current;
    int m_rounds = 0;
    int m_runsAtLastStep = 0;
    int m_neighbours = 0;
};

QByteArray ProfileRun::keyOf(const Profile &profile) const
{
    QHash<QString, QString> given;
    for (auto at = profile.cbegin(); at != profile.cend(); ++at)
        given.insert(at.key(), at.value());
    QByteArray key;
    const QMap<QString, QString> settings = effectiveSettingsOf(given, m_idle);
    for (auto at = settings.cbegin(); at != settings.cend(); ++at)
        key += at.key().toLatin1() + '=' + at.value().toLatin1() + ' ';
    return key;
}

Ranked ProfileRun::rank(const Profile &profile) const
{
    Ranked ranked;
    ranked.profile = profile;
    ranked.text = profileParameterText(profile);
    if (const std::optional<qint64> lines = m_book.changedLines(keyOf(profile))) {
        ranked.usable = true;
        ranked.lines = *lines;
    }
    return ranked;
}

bool ProfileRun::scoreAll(const QVector<Candidate> &candidates)
{
    QVector<ScoreRequest> requests;
    requests.reserve(candidates.size());
    for (const Candidate &candidate : candidates)
        requests.append({keyOf(candidate.profile), profileParameterText(candidate.profile)});
    return m_book.scoreAll(requests);
}

void ProfileRun::report()
{
    if (!m_progress)
        return;
    SearchProgress progress;
    progress.rounds = m_rounds;
    progress.bestChangedLines = m_current.usable ? m_current.lines : -1;
    progress.indentRuns = m_evaluator.indentRuns();
    progress.wholeProfile = true;
    m_progress(progress);
}

void ProfileRun::moveTo(const Ranked &better)
{
    m_current = better;
    m_runsAtLastStep = m_evaluator.indentRuns();
    report();
}

std::optional<Ranked> ProfileRun::bestImprovement(const QVector<Candidate> &candidates) const
{
    std::optional<Ranked> best;
    for (const Candidate &candidate : candidates) {
        const Ranked ranked = rank(candidate.profile);
        if (ranked.betterThan(m_current) && (!best || ranked.before(*best)))
            best = ranked;
    }
    return best;
}

bool ProfileRun::startFromSeeds(QVector<Profile> seeds)
{
    // indent's own defaults first and alone: when indent cannot format these files at all, say so at once
    const Profile nothing;
    if (!scoreAll({{nothing, {}}}))
        return false;
    m_current = rank(nothing);
    if (!m_current.usable) {
        m_book.fail(m_book.scoreOf(keyOf(nothing)));
        return false;
    }
    for (const IndentOption &option : IndentOptions) {
        if (option.kind == OptionKind::Preset)
            seeds.append(profileOfPreset(option));
    }
    QVector<Candidate> candidates;
    for (const Profile &seed : seeds)
        candidates.append({seed, {}});
    if (!scoreAll(candidates))
        return false;
    for (const Candidate &candidate : candidates) {
        const Ranked seed = rank(candidate.profile);
        if (seed.before(m_current))
            m_current = seed;
    }
    ++m_rounds;
    moveTo(m_current);
    return true;
}

ProfileRun::Step ProfileRun::descend()
{
    for (;;) {
        const QVector<Candidate> candidates = singleChanges();
        if (!scoreAll(candidates))
            return Step::Stopped;
        ++m_rounds;
        if (!bestImprovement(candidates)) {
            report();
            return Step::Settled;
        }
        if (!combineImprovements(candidates))
            return Step::Stopped;
    }
}

bool ProfileRun::combineImprovements(const QVector<Candidate> &candidates)
{
    QVector<QPair<Ranked, OptionChange>> helpful;
    for (const Candidate &candidate : candidates) {
        const Ranked ranked = rank(candidate.profile);
        if (ranked.betterThan(m_current))
            helpful.append({ranked, candidate.changes.first()});
    }
    std::sort(helpful.begin(), helpful.end(),
              [](const auto &a, const auto &b) { return a.first.before(b.first); });
    moveTo(helpful.first().first);
    QSet<int> touched{helpful.first().second.setting};
    for (qsizetype index = 1; index < helpful.size(); ++index) {
        const OptionChange &change = helpful.at(index).second;
        if (touched.contains(change.setting))
            continue;
        const Profile combined = withChanges(m_current.profile, {change}, m_choices);
        if (!scoreAll({{combined, {change}}}))
            return false;
        const Ranked ranked = rank(combined);
        if (!ranked.betterThan(m_current))
            continue;
        moveTo(ranked);
        touched.insert(change.setting);
    }
    return true;
}

ProfileRun::Step ProfileRun::tryPairs()
{
    // what each change alone did: changes that cost little alone are the likeliest to help together
    QHash<QByteArray, qint64> cost;
    for (const Candidate &single : singleChanges()) {
        const Ranked ranked = rank(single.profile);
        const OptionChange &change = single.changes.first();
        cost.insert(QByteArray::number(change.setting) + change.option.toLatin1(),
                    ranked.usable ? ranked.lines - m_current.lines : std::numeric_limits<qint32>::max());
    }
    const auto costOf = [&cost](const OptionChange &change) {
        return cost.value(QByteArray::number(change.setting) + change.option.toLatin1());
    };
    struct Pending
    {
        qint64 promise;
        Candidate candidate;
    };
    QVector<Pending> pending;
    QVector<Candidate> known;
    QSet<QByteArray> keys;
    const QVector<Candidate> pairs = pairChanges();
    m_neighbours = int(cost.size() + pairs.size());
    for (const Candidate &pair : pairs) {
        // with no changed line left, only fewer options could do better
        if (m_current.lines == 0 && pair.profile.size() >= m_current.length())
            continue;
        const QByteArray key = keyOf(pair.profile);
        if (m_book.contains(key)) {
            known.append(pair);
        } else if (!keys.contains(key)) {
            keys.insert(key);
            pending.append({costOf(pair.changes.at(0)) + costOf(pair.changes.at(1)), pair});
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
        QVector<Candidate> batch;
        const qsizetype end = std::min(pending.size(), first + ScoreBook::RunsPerBatch);
        for (qsizetype index = first; index < end; ++index)
            batch.append(pending.at(index).candidate);
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

ProfileSearchResult ProfileRun::finish(SearchResult::Outcome outcome)
{
    ProfileSearchResult result;
    if (const std::optional<StyleScore> failure = m_book.failure()) {
        result.outcome = SearchResult::Outcome::Failed;
        result.failure = *failure;
    } else {
        result.outcome = outcome;
    }
    result.rounds = m_rounds;
    result.indentRuns = m_evaluator.indentRuns() - m_runsBefore;
    result.profilesScored = m_book.size();
    if (result.outcome == SearchResult::Outcome::Found) {
        result.profile = m_current.profile;
        result.parameterText = m_current.text;
        result.score = m_book.scoreOf(keyOf(m_current.profile));
        result.proofIndentRuns = m_evaluator.indentRuns() - m_runsAtLastStep;
        result.neighbours = m_neighbours;
    }
    return result;
}

ProfileSearchResult ProfileRun::run(const QVector<Profile> &seeds)
{
    if (!startFromSeeds(seeds))
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

ProfileSearch::ProfileSearch(StyleEvaluator &evaluator)
    : m_evaluator(evaluator)
{}

ProfileSearchResult ProfileSearch::run(const QVector<Profile> &seeds, const std::atomic_bool &cancel,
                                       const StyleSearch::Progress &progress)
{
    return ProfileRun(m_evaluator, cancel, progress).run(seeds);
}
