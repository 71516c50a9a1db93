#include "ProfileSpace.h"

#include "OptionCatalogue.h"
#include "OptionEffects.h"
#include "StyleSpace.h"

#include <QSet>

#include <algorithm>
#include <cstring>

namespace {

int tableIndexOf(const QString &option)
{
    const OptionMatch match = matchShortOption(option);
    return match.option ? int(match.option - IndentOptions) : IndentOptionCount;
}

// Which measured numbers a numeric setting takes.
enum class Measure { Nothing, IndentSteps, CommentColumns, LineLengths };

Measure measureOf(const QLatin1String &setting)
{
    static const char *const Steps[] = {"i", "ci", "bli", "cbi", "cli", "ip", "pi", "il", "sbi", "ppi", "ts"};
    static const char *const Columns[] = {"c", "cd", "cp"};
    const auto in = [&setting](const auto &names) {
        return std::any_of(std::begin(names), std::end(names),
                           [&setting](const char *name) { return setting == QLatin1String(name); });
    };
    if (in(Steps))
        return Measure::IndentSteps;
    if (in(Columns))
        return Measure::CommentColumns;
    if (setting == QLatin1String("l") || setting == QLatin1String("lc"))
        return Measure::LineLengths;
    return Measure::Nothing;
}

// Where 0 means a layout of its own rather than nothing.
bool takesZero(const QLatin1String &setting)
{
    return setting != QLatin1String("i") && setting != QLatin1String("l") && setting != QLatin1String("lc") &&
           setting != QLatin1String("ts");
}

// The numbers presets and catalogue rows give each numeric setting.
QMap<QString, QSet<int>> numbersGiven()
{
    QMap<QString, QSet<int>> given;
    const auto note = [&given](const QString &option) {
        const OptionMatch match = matchShortOption(option);
        if (match.option && match.option->numeric && !match.number.isEmpty())
            given[QLatin1String(match.option->what)].insert(match.number.toInt());
    };
    for (const IndentOption &option : IndentOptions) {
        if (option.kind == OptionKind::Preset)
            for (const QString &part : QString::fromLatin1(option.what).split(u' ', Qt::SkipEmptyParts))
                note(part);
    }
    for (int row = 0; row < OptionCount; ++row)
        note(QString::fromUtf8(OptionCatalogue[size_t(row)].optionText));
    return given;
}

QVector<int> numbersFor(const IndentOption &option, const MeasuredLayout &measured, const QSet<int> &given)
{
    const QLatin1String setting(option.what);
    QSet<int> numbers = given;
    const QString fallback = indentDefaultOption(setting);
    if (!fallback.isEmpty())
        numbers.insert(matchShortOption(fallback).number.toInt());
    if (takesZero(setting))
        numbers.insert(0);
    switch (measureOf(setting)) {
    case Measure::IndentSteps:
        for (const int step : measured.indentSteps)
            numbers.insert(step);
        if (setting == QLatin1String("ci") && !measured.indentSteps.isEmpty())
            numbers.insert(2 * measured.indentSteps.first());
        break;
    case Measure::CommentColumns:
        for (const int column : measured.commentColumns)
            numbers.insert(column);
        break;
    case Measure::LineLengths:
        for (const int length : measured.lineLengths)
            numbers.insert(length);
        break;
    case Measure::Nothing:
        break;
    }
    QVector<int> sorted(numbers.cbegin(), numbers.cend());
    std::sort(sorted.begin(), sorted.end());
    return sorted;
}

} // namespace

QString profileParameterText(const Profile &profile)
{
    QStringList options = profile.values();
    std::stable_sort(options.begin(), options.end(), [](const QString &a, const QString &b) {
        const int at = tableIndexOf(a);
        const int bt = tableIndexOf(b);
        return at != bt ? at < bt : a < b;
    });
    return options.join(QLatin1Char(' '));
}

Profile profileOfSelection(const CheckStates &checks)
{
    Profile profile;
    const QHash<QString, AppliedSetting> applied = appliedSettings(checks);
    for (auto at = applied.cbegin(); at != applied.cend(); ++at) {
        const OptionMatch match = matchShortOption(at->option);
        if (match.option && isLayoutOption(*match.option))
            profile.insert(at.key(), at->option);
    }
    return profile;
}

Profile profileOfPreset(const IndentOption &preset)
{
    Profile profile;
    for (const QString &option : QString::fromLatin1(preset.what).split(u' ', Qt::SkipEmptyParts)) {
        const OptionMatch match = matchShortOption(option);
        if (match.option && isLayoutOption(*match.option))
            profile.insert(QLatin1String(match.option->what), option);
    }
    return profile;
}

QVector<SettingChoice> profileChoices(const MeasuredLayout &measured)
{
    static const QMap<QString, QSet<int>> given = numbersGiven();
    QVector<SettingChoice> choices;
    QMap<QString, int> indexOf;
    for (const IndentOption &option : IndentOptions) {
        if (!isLayoutOption(option))
            continue;
        const QString setting = QLatin1String(option.what);
        if (!indexOf.contains(setting)) {
            indexOf.insert(setting, int(choices.size()));
            choices.append({setting, {}, layoutConcernOf(option)});
        }
        QStringList &options = choices[indexOf.value(setting)].options;
        const QString name = QLatin1Char('-') + QLatin1String(option.shortName);
        if (!option.numeric) {
            options.append(name);
            continue;
        }
        for (const int number : numbersFor(option, measured, given.value(setting)))
            options.append(name + QString::number(number));
    }
    return choices;
}

Profile withChanges(Profile profile, const QVector<OptionChange> &changes,
                    const QVector<SettingChoice> &choices)
{
    for (const OptionChange &change : changes) {
        const QString &setting = choices.at(change.setting).setting;
        if (change.option.isEmpty())
            profile.remove(setting);
        else
            profile.insert(setting, change.option);
    }
    return profile;
}

QVector<ProfileChange> oneOptionChanges(const Profile &profile, const QVector<SettingChoice> &choices)
{
    QVector<ProfileChange> candidates;
    for (int setting = 0; setting < choices.size(); ++setting) {
        const SettingChoice &choice = choices.at(setting);
        const QString now = profile.value(choice.setting);
        for (const QString &option : QStringList{QString()} + choice.options) {
            if (option == now)
                continue;
            const QVector<OptionChange> changes{{setting, option}};
            candidates.append({withChanges(profile, changes, choices), changes});
        }
    }
    return candidates;
}

QVector<ProfileChange> twoOptionChanges(const Profile &profile, const QVector<SettingChoice> &choices)
{
    const QVector<ProfileChange> singles = oneOptionChanges(profile, choices);
    QVector<ProfileChange> pairs;
    for (qsizetype first = 0; first < singles.size(); ++first) {
        const OptionChange &a = singles.at(first).changes.first();
        const LayoutConcern concern = choices.at(a.setting).concern;
        if (concern == LayoutConcern::None)
            continue;
        for (qsizetype second = first + 1; second < singles.size(); ++second) {
            const OptionChange &b = singles.at(second).changes.first();
            if (b.setting == a.setting || choices.at(b.setting).concern != concern)
                continue;
            const QVector<OptionChange> changes{a, b};
            pairs.append({withChanges(profile, changes, choices), changes});
        }
    }
    return pairs;
}

QStringList neighbourTexts(const Profile &profile, const QVector<SettingChoice> &choices)
{
    QStringList texts;
    for (const ProfileChange &change :
         oneOptionChanges(profile, choices) + twoOptionChanges(profile, choices))
        texts.append(profileParameterText(change.profile));
    texts.removeDuplicates();
    return texts;
}
