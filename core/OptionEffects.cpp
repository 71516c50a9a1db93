#include "OptionEffects.h"

#include <QHash>
#include <QMap>

#include <algorithm>

namespace {

constexpr OptionKind S = OptionKind::Setting;
constexpr OptionKind P = OptionKind::Preset;

// As GNU indent 2.2.12 applies them, checked against the binary: "-orig" leaves the parameter
// indentation alone although the manual lists "-ip4" in it. "-kr" keeps the manual's "-par", which only
// restates indent's default pointer alignment.
const char GnuExpansion[] = "-nbad -bap -nbc -bbo -bl -bli2 -bls -ncdb -nce -cp1 -cs -di2 -ndj -nfc1 -nfca "
                            "-hnl -i2 -ip5 -lp -pcs -nprs -psl -saf -sai -saw -nsc -nsob";
const char KrExpansion[] = "-nbad -bap -bbo -nbc -br -brs -c33 -cd33 -ncdb -ce -ci4 -cli0 -cp33 -cs -d0 "
                           "-di1 -nfc1 -nfca -hnl -i4 -ip0 -l75 -lp -npcs -nprs -npsl -saf -sai -saw -nsc "
                           "-nsob -nss -par";
const char OrigExpansion[] = "-nbad -nbap -bbo -bc -br -brs -c33 -cd33 -cdb -ce -ci4 -cli0 -cp33 -di16 -fc1 "
                             "-fca -hnl -i4 -l75 -lp -npcs -nprs -psl -saf -sai -saw -sc -nsob -nss -ts8";
const char NipExpansion[] = "-ip0";

// indent's switches and the setting each addresses; the two members of a pair share it.
struct SwitchSetting
{
    const char *name;
    const char *setting;
};
const SwitchSetting Switches[] = {
    {"bad", "bad"},   {"nbad", "bad"},   {"bap", "bap"},   {"nbap", "bap"},   {"bbb", "bbb"}, {"nbbb", "bbb"},
    {"bbo", "bbo"},   {"nbbo", "bbo"},   {"bc", "bc"},     {"nbc", "bc"},     {"bl", "br"},   {"br", "br"},
    {"bls", "brs"},   {"brs", "brs"},    {"bs", "bs"},     {"nbs", "bs"},     {"cdb", "cdb"}, {"ncdb", "cdb"},
    {"cdw", "cdw"},   {"ncdw", "cdw"},   {"ce", "ce"},     {"nce", "ce"},     {"cs", "cs"},   {"ncs", "cs"},
    {"bfda", "bfda"}, {"nbfda", "bfda"}, {"bfde", "bfde"}, {"nbfde", "bfde"}, {"dj", "dj"},   {"ndj", "dj"},
    {"fc1", "fc1"},   {"nfc1", "fc1"},   {"fca", "fca"},   {"nfca", "fca"},   {"hnl", "hnl"}, {"nhnl", "hnl"},
    {"lp", "lp"},     {"nlp", "lp"},     {"lps", "lps"},   {"nlps", "lps"},   {"pcs", "pcs"}, {"npcs", "pcs"},
    {"prs", "prs"},   {"nprs", "prs"},   {"psl", "psl"},   {"npsl", "psl"},   {"saf", "saf"}, {"nsaf", "saf"},
    {"sai", "sai"},   {"nsai", "sai"},   {"saw", "saw"},   {"nsaw", "saw"},   {"sc", "sc"},   {"nsc", "sc"},
    {"sob", "sob"},   {"nsob", "sob"},   {"ss", "ss"},     {"nss", "ss"},     {"ut", "ut"},   {"nut", "ut"},
    {"v", "v"},       {"nv", "v"},       {"pmt", "pmt"},   {"npmt", "pmt"},   {"pal", "pa"},  {"par", "pa"},
};

// indent's numeric options: the name with a decimal number glued to it; the setting is the name.
const char *const NumericOptions[] = {"bli", "cbi", "cd", "ci", "cli", "cp", "c",   "di",  "d",
                                      "il",  "ip",  "i",  "lc", "l",   "pi", "ppi", "sbi", "ts"};

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
    const OptionEffect &effect = OptionEffects[size_t(row)];
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

const std::array<OptionEffect, OptionCount> OptionEffects = {{
    {S, "bad"},                       // 0 -bad
    {S, "bap"},                       // 1 -bap
    {S, "bbb"},                       // 2 -bbb
    {S, "bbo"},                       // 3 -bbo
    {S, "bc"},                        // 4 -bc
    {S, "br"},                        // 5 -bl
    {S, "bli"},                       // 6 -bli0
    {S, "bli"},                       // 7 -bli2
    {S, "bli"},                       // 8 -bli4
    {S, "brs"},                       // 9 -bls
    {S, "br"},                        // 10 -br
    {S, "brs"},                       // 11 -brs
    {S, "bs"},                        // 12 -bs
    {S, "c"},                         // 13 -c41
    {S, "cbi"},                       // 14 -cbi4
    {S, "cd"},                        // 15 -cd41
    {S, "cdb"},                       // 16 -cdb
    {S, "cdw"},                       // 17 -cdw
    {S, "ce"},                        // 18 -ce
    {S, "ci"},                        // 19 -ci0
    {S, "ci"},                        // 20 -ci4
    {S, "cli"},                       // 21 -cli4
    {S, "cp"},                        // 22 -cp41
    {S, "cs"},                        // 23 -cs
    {S, "d"},                         // 24 -d20
    {S, "bfda"},                      // 25 -bfda
    {S, "bfde"},                      // 26 -bfde
    {S, "di"},                        // 27 -di20
    {S, "fc1"},                       // 28 -fc1
    {S, "fca"},                       // 29 -fca
    {P, GnuExpansion},                // 30 -gnu
    {S, "hnl"},                       // 31 -hnl
    {S, "i"},                         // 32 -i2
    {S, "i"},                         // 33 -i4
    {S, "ip"},                        // 34 -ip4
    {P, KrExpansion},                 // 35 -kr
    {S, "l"},                         // 36 -l74
    {S, "l"},                         // 37 -l80
    {S, "l"},                         // 38 -l100
    {S, "l"},                         // 39 -l120
    {S, "lc"},                        // 40 -lc74
    {S, "lc"},                        // 41 -lc80
    {S, "lc"},                        // 42 -lc100
    {S, "lc"},                        // 43 -lc120
    {S, "lp"},                        // 44 -lp
    {S, "lps"},                       // 45 -lps
    {S, "bad"},                       // 46 -nbad
    {S, "bap"},                       // 47 -nbap
    {S, "bbo"},                       // 48 -nbbo
    {S, "bc"},                        // 49 -nbc
    {S, "bfda"},                      // 50 -nbfda
    {S, "cdb"},                       // 51 -ncdb
    {S, "cdw"},                       // 52 -ncdw
    {S, "ce"},                        // 53 -nce
    {S, "cs"},                        // 54 -ncs
    {S, "fc1"},                       // 55 -nfc1
    {S, "fca"},                       // 56 -nfca
    {S, "hnl"},                       // 57 -nhnl
    {P, NipExpansion},                // 58 -nip
    {S, "lp"},                        // 59 -nlp
    {S, "pcs"},                       // 60 -npcs
    {S, "prs"},                       // 61 -nprs
    {S, "psl"},                       // 62 -npsl
    {S, "saf"},                       // 63 -nsaf
    {S, "sai"},                       // 64 -nsai
    {S, "saw"},                       // 65 -nsaw
    {S, "sc"},                        // 66 -nsc
    {S, "sob"},                       // 67 -nsob
    {S, "ss"},                        // 68 -nss
    {S, "ut"},                        // 69 -nut
    {S, "v"},                         // 70 -nv
    {P, OrigExpansion},               // 71 -orig
    {OptionKind::ProfileSwitch, ""},  // 72 -npro
    {S, "pcs"},                       // 73 -pcs
    {S, "pi"},                        // 74 -pi2
    {S, "pmt"},                       // 75 -pmt: the indent we ship knows it (keeps modification times)
    {S, "prs"},                       // 76 -prs
    {S, "psl"},                       // 77 -psl
    {S, "saf"},                       // 78 -saf
    {S, "sai"},                       // 79 -sai
    {S, "saw"},                       // 80 -saw
    {S, "sbi"},                       // 81 -sbi0
    {S, "sbi"},                       // 82 -sbi2
    {S, "sbi"},                       // 83 -sbi4
    {S, "sc"},                        // 84 -sc
    {S, "sob"},                       // 85 -sob
    {S, "ss"},                        // 86 -ss
    {OptionKind::StandardOutput, ""}, // 87 -st
    {OptionKind::TypeName, ""},       // 88 -T
    {S, "ts"},                        // 89 -ts2
    {S, "ts"},                        // 90 -ts4
    {S, "ut"},                        // 91 -ut
    {S, "v"},                         // 92 -v
}};

QString settingOfOption(const QString &option)
{
    if (!option.startsWith(QLatin1Char('-')) || option.size() < 2)
        return {};
    const QString name = option.mid(1);
    for (const SwitchSetting &entry : Switches) {
        if (name == QLatin1String(entry.name))
            return QString::fromLatin1(entry.setting);
    }
    // the longest numeric name that leaves a number: "-cd41" is cd, not c
    QString best;
    for (const char *numeric : NumericOptions) {
        const QLatin1String prefix(numeric);
        if (!name.startsWith(prefix) || prefix.size() <= best.size())
            continue;
        const QString number = name.mid(prefix.size());
        bool isNumber = false;
        number.toInt(&isNumber);
        if (isNumber && !number.startsWith(QLatin1Char('+')))
            best = prefix;
    }
    return best;
}

QStringList presetExpansion(int row)
{
    if (row < 0 || row >= OptionCount || OptionEffects[size_t(row)].kind != OptionKind::Preset)
        return {};
    return QString::fromLatin1(OptionEffects[size_t(row)].what).split(QLatin1Char(' '), Qt::SkipEmptyParts);
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
        if (OptionEffects[size_t(rows.at(at))].kind == OptionKind::StandardOutput) {
            note.effect = RowNote::Effect::LeftOut;
            continue;
        }
        note.effect = RowNote::Effect::TakesEffect;
        handed.append(at);
    }
    QVector<int> options; // positions
    for (int index = 0; index < handed.size(); ++index) {
        const int at = handed.at(index);
        if (OptionEffects[size_t(rows.at(at))].kind == OptionKind::TypeName) {
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
        const bool preset = OptionEffects[size_t(row)].kind == OptionKind::Preset;
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
            if (OptionEffects[size_t(row)].kind == OptionKind::Preset)
                note.replaced.append({write.option, rows.at(by)});
            if (!note.byRows.contains(rows.at(by)))
                note.byRows.append(rows.at(by));
        }
        std::sort(note.byRows.begin(), note.byRows.end());
        if (note.byRows.isEmpty())
            continue;
        if (OptionEffects[size_t(row)].kind == OptionKind::Preset && note.replaced.size() < writes.size()) {
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
