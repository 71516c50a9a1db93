#include "ProfileSearch.h"

#include "LocalSearch.h"
#include "StyleSpace.h"

#include <QHash>

namespace {

// Whole profiles: a step changes one setting's option, and two steps combine unless they change one
// setting; pairs change two settings of one concern.
class ProfileNeighbourhood : public StyleNeighbourhood<Profile>
{
public:
    explicit ProfileNeighbourhood(const StyleEvaluator &evaluator)
    {
        QVector<QByteArray> texts;
        for (const SourceText &source : evaluator.sources())
            texts.append(source.text);
        m_idle = settingsTheSourcesCannotShow(texts);
        m_choices = profileChoices(measureLayout(evaluator.sources()));
    }

    QByteArray keyOf(const Profile &profile) const override
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
    QString textOf(const Profile &profile) const override { return profileParameterText(profile); }
    int sizeOf(const Profile &profile) const override { return int(profile.size()); }
    QVector<StyleStep<Profile>> steps(const Profile &profile) const override { return singles(profile); }
    QVector<StyleStep<Profile>> singles(const Profile &profile) const override
    {
        return stepsOf(oneOptionChanges(profile, m_choices));
    }
    QVector<StyleStep<Profile>> pairs(const Profile &profile) const override
    {
        return stepsOf(twoOptionChanges(profile, m_choices));
    }
    Profile withStep(const Profile &profile, const StyleStep<Profile> &step) const override
    {
        // each setting the step changed takes the option it has there (none: left out)
        QVector<OptionChange> changes;
        for (const int setting : step.groups)
            changes.append({setting, step.style.value(m_choices.at(setting).setting)});
        return withChanges(profile, changes, m_choices);
    }

private:
    // a part is a setting's option by its place among the setting's choices (0: none)
    int partOf(const OptionChange &change) const
    {
        const QStringList &options = m_choices.at(change.setting).options;
        return change.setting * 1024 + int(options.indexOf(change.option) + 1);
    }
    QVector<StyleStep<Profile>> stepsOf(const QVector<ProfileChange> &changes) const
    {
        QVector<StyleStep<Profile>> steps;
        steps.reserve(changes.size());
        for (const ProfileChange &change : changes) {
            StyleStep<Profile> step{change.profile, {}, {}};
            for (const OptionChange &option : change.changes) {
                step.parts.append(partOf(option));
                step.groups.append(option.setting);
            }
            steps.append(step);
        }
        return steps;
    }

    QStringList m_idle;
    QVector<SettingChoice> m_choices;
};

class ProfileRun
{
public:
    ProfileRun(StyleEvaluator &evaluator, const std::atomic_bool &cancel,
               const StyleSearch::Progress &progress)
        : m_evaluator(evaluator)
        , m_space(evaluator)
        , m_search(m_space, evaluator, cancel, progress, true)
        , m_runsBefore(evaluator.indentRuns())
    {}

    ProfileSearchResult run(const QVector<Profile> &seeds);

private:
    bool startFromSeeds(QVector<Profile> seeds);
    ProfileSearchResult finish(SearchResult::Outcome outcome);

    StyleEvaluator &m_evaluator;
    ProfileNeighbourhood m_space;
    LocalSearch<Profile> m_search;
    int m_runsBefore;
};

bool ProfileRun::startFromSeeds(QVector<Profile> seeds)
{
    if (!m_search.standOnDefaults(Profile()))
        return false;
    auto best = m_search.current();
    for (const IndentOption &option : IndentOptions) {
        if (option.kind == OptionKind::Preset)
            seeds.append(profileOfPreset(option));
    }
    if (!m_search.scoreAll(seeds))
        return false;
    for (const Profile &profile : seeds) {
        const auto seed = m_search.rank(profile);
        if (seed.before(best))
            best = seed;
    }
    m_search.startAt(best);
    return true;
}

ProfileSearchResult ProfileRun::finish(SearchResult::Outcome outcome)
{
    ProfileSearchResult result;
    result.outcome = m_search.outcomeOf(outcome, &result.failure);
    result.rounds = m_search.rounds();
    result.indentRuns = m_evaluator.indentRuns() - m_runsBefore;
    result.profilesScored = m_search.book().size();
    if (result.outcome == SearchResult::Outcome::Found) {
        result.profile = m_search.current().style;
        result.parameterText = m_search.current().text;
        result.score = m_search.scoreOf(result.profile);
        result.proofIndentRuns = m_evaluator.indentRuns() - m_search.runsAtLastStep();
        result.neighbours = m_search.neighbours();
    }
    return result;
}

ProfileSearchResult ProfileRun::run(const QVector<Profile> &seeds)
{
    if (!startFromSeeds(seeds) || m_search.settle() == LocalSearch<Profile>::Ending::Stopped)
        return finish(SearchResult::Outcome::Cancelled);
    return finish(SearchResult::Outcome::Found);
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

QString wholeProfileName(qint64 changedLines)
{
    return QString::fromUtf8("从代码推断（全部选项），改动 %1 行").arg(changedLines);
}
