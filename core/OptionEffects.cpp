#include "OptionEffects.h"

#include <QHash>
#include <QMap>

#include <algorithm>

namespace {

QString optionText(int row)
{
    return QString::fromUtf8(OptionCatalogue[size_t(row)].optionText);
}

// The settings a row sets, each with the option that sets it (the row's own text, or the option of a
// preset's expansion).
struct SettingWrite
{
    QString setting;
    QString option;
};

QVector<SettingWrite> writesOf(int row)
{
    const OptionEffect &effect = optionEffect(row);
    QVector<SettingWrite> writes;
    if (effect.kind == OptionKind::Setting) {
        writes.append({QString::fromUtf8(effect.what), optionText(row)});
    } else if (effect.kind == OptionKind::Preset) {
        for (const QString &option : presetExpansion(row))
            writes.append({settingOfOption(option), option});
    }
    return writes;
}

QString rowList(const QVector<int> &rows)
{
    QStringList texts;
    for (const int row : rows)
        texts.append(optionText(row));
    return texts.join(QString::fromUtf8("、"));
}

} // namespace

OptionEffect optionEffect(int row)
{
    const IndentOption &option = indentOptionOfRow(row);
    return {option.kind, option.what};
}

QString settingOfOption(const QString &option)
{
    const OptionMatch match = matchShortOption(option);
    if (!match.option || match.option->kind != OptionKind::Setting)
        return {};
    return QString::fromLatin1(match.option->what);
}

QStringList presetExpansion(int row)
{
    if (row < 0 || row >= OptionCount || optionEffect(row).kind != OptionKind::Preset)
        return {};
    return QString::fromLatin1(optionEffect(row).what).split(QLatin1Char(' '), Qt::SkipEmptyParts);
}

bool RowNote::hasNoEffect() const
{
    return effect == Effect::Overridden || effect == Effect::TypeName || effect == Effect::LeftOut ||
           effect == Effect::MissingTypeName;
}

namespace {

// What indent makes of rows handed to it in this order, position by position.
struct Resolution
{
    QVector<RowNote> notes;
    QHash<QString, AppliedSetting> applied;
};

Resolution resolve(const QVector<int> &rows)
{
    Resolution result;
    result.notes.resize(rows.size());
    // what indent gets: the rows without "-st"; a bare "-T" swallows the next one
    QVector<int> handed;
    for (int at = 0; at < rows.size(); ++at) {
        RowNote &note = result.notes[at];
        if (optionEffect(rows.at(at)).kind == OptionKind::StandardOutput) {
            note.effect = RowNote::Effect::LeftOut;
            continue;
        }
        note.effect = RowNote::Effect::TakesEffect;
        handed.append(at);
    }
    QVector<int> options; // positions
    for (int index = 0; index < handed.size(); ++index) {
        const int at = handed.at(index);
        if (optionEffect(rows.at(at)).kind == OptionKind::TypeName) {
            if (index + 1 < handed.size()) {
                const int partner = handed.at(++index);
                result.notes[at].typeNameRow = rows.at(partner);
                result.notes[partner].effect = RowNote::Effect::TypeName;
                result.notes[partner].typeNameRow = rows.at(at);
            } else {
                result.notes[at].effect = RowNote::Effect::MissingTypeName;
            }
            continue;
        }
        options.append(at);
    }

    // Which position each setting ends up with: explicit options in order, presets only where
    // nothing explicit has been set.
    QHash<QString, int> winner;
    QHash<QString, bool> explicitlySet;
    for (const int at : options) {
        const int row = rows.at(at);
        const bool preset = optionEffect(row).kind == OptionKind::Preset;
        for (const SettingWrite &write : writesOf(row)) {
            if (preset && explicitlySet.value(write.setting))
                continue;
            winner[write.setting] = at;
            result.applied[write.setting] = {write.option, row};
            if (!preset)
                explicitlySet[write.setting] = true;
        }
    }

    for (const int at : options) {
        const int row = rows.at(at);
        RowNote &note = result.notes[at];
        const QVector<SettingWrite> writes = writesOf(row);
        for (const SettingWrite &write : writes) {
            const int by = winner.value(write.setting, at);
            if (by == at)
                continue;
            if (optionEffect(row).kind == OptionKind::Preset)
                note.replaced.append({write.option, rows.at(by)});
            if (!note.byRows.contains(rows.at(by)))
                note.byRows.append(rows.at(by));
        }
        std::sort(note.byRows.begin(), note.byRows.end());
        if (note.byRows.isEmpty())
            continue;
        if (optionEffect(row).kind == OptionKind::Preset && note.replaced.size() < writes.size()) {
            note.effect = RowNote::Effect::PartlyOverridden;
            note.byRows.clear();
        } else {
            note.effect = RowNote::Effect::Overridden;
        }
    }
    return result;
}

QVector<int> selectedRows(const CheckStates &checks)
{
    QVector<int> rows;
    for (int row = 0; row < OptionCount; ++row) {
        if (checks[size_t(row)])
            rows.append(row);
    }
    return rows;
}

} // namespace

RowNotes optionNotes(const CheckStates &checks)
{
    RowNotes notes{};
    const QVector<int> rows = selectedRows(checks);
    const Resolution resolution = resolve(rows);
    for (int at = 0; at < rows.size(); ++at)
        notes[size_t(rows.at(at))] = resolution.notes.at(at);
    return notes;
}

QVector<RowNote> sequenceNotes(const QVector<int> &rowsInOrder)
{
    return resolve(rowsInOrder).notes;
}

QHash<QString, AppliedSetting> appliedSettings(const QVector<int> &rowsInOrder)
{
    return resolve(rowsInOrder).applied;
}

QHash<QString, AppliedSetting> appliedSettings(const CheckStates &checks)
{
    return resolve(selectedRows(checks)).applied;
}

QString rowNoteText(const RowNote &note)
{
    switch (note.effect) {
    case RowNote::Effect::NotSelected:
        return {};
    case RowNote::Effect::TakesEffect:
        if (note.typeNameRow >= 0)
            return QString::fromUtf8("把 %1 作为类型名").arg(optionText(note.typeNameRow));
        return QString::fromUtf8("生效");
    case RowNote::Effect::Overridden:
        return QString::fromUtf8("被 %1 覆盖").arg(rowList(note.byRows));
    case RowNote::Effect::PartlyOverridden: {
        // grouped by the row that wins, in catalogue order
        QMap<int, QStringList> byRow;
        for (const RowNote::Replaced &replaced : note.replaced)
            byRow[replaced.byRow].append(replaced.presetOption);
        QStringList parts;
        for (auto group = byRow.cbegin(); group != byRow.cend(); ++group)
            parts.append(QString::fromUtf8("%1 被 %2 覆盖")
                             .arg(group.value().join(QString::fromUtf8("、")), optionText(group.key())));
        return QString::fromUtf8("部分被覆盖：") + parts.join(QString::fromUtf8("，"));
    }
    case RowNote::Effect::TypeName:
        return QString::fromUtf8("作为 -T 的类型名");
    case RowNote::Effect::LeftOut:
        return QString::fromUtf8("任务中不使用");
    case RowNote::Effect::MissingTypeName:
        return QString::fromUtf8("后面没有类型名，indent 将报错退出");
    }
    return {};
}

QStringList optionNoteTexts(const CheckStates &checks)
{
    const RowNotes notes = optionNotes(checks);
    QStringList texts;
    texts.reserve(OptionCount);
    for (const RowNote &note : notes)
        texts.append(rowNoteText(note));
    return texts;
}
