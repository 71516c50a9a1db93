#include "StyleSpace.h"

#include "OptionEffects.h"

#include <QHash>
#include <QStringList>

#include <algorithm>
#include <array>
#include <limits>

namespace {

const char *const NeverProposed[] = {"-st", "-npro", "-v", "-pmt", "-T"};

// GNU indent 2.2.12 starts from the GNU style; these are the settings the catalogue and the presets
// reach that it also fixes outright. tst_stylespaceproof checks each against the real indent.
struct DefaultSetting
{
    const char *setting;
    const char *option;
};
const DefaultSetting Defaults[] = {
    {"bad", "-nbad"},   {"bap", "-bap"},  {"bbb", "-nbbb"}, {"bbo", "-bbo"},  {"bc", "-nbc"},
    {"br", "-bl"},      {"bli", "-bli2"}, {"brs", "-bls"},  {"bs", "-nbs"},   {"c", "-c33"},
    {"cd", "-cd33"},    {"cdb", "-ncdb"}, {"cdw", "-ncdw"}, {"ce", "-nce"},   {"ci", "-ci0"},
    {"cli", "-cli0"},   {"cp", "-cp1"},   {"cs", "-cs"},    {"d", "-d0"},     {"bfda", "-nbfda"},
    {"bfde", "-nbfde"}, {"di", "-di2"},   {"dj", "-ndj"},   {"fc1", "-nfc1"}, {"fca", "-nfca"},
    {"hnl", "-hnl"},    {"i", "-i2"},     {"ip", "-ip5"},   {"l", "-l78"},    {"lp", "-lp"},
    {"lps", "-nlps"},   {"pcs", "-pcs"},  {"prs", "-nprs"}, {"psl", "-psl"},  {"saf", "-saf"},
    {"sai", "-sai"},    {"saw", "-saw"},  {"sbi", "-sbi0"}, {"sc", "-nsc"},   {"sob", "-nsob"},
    {"ss", "-nss"},     {"ts", "-ts8"},   {"ut", "-ut"},
};

// Every layout setting a proposable row or a preset's expansion reaches, in a fixed order.
QStringList keySettings()
{
    QStringList settings;
    for (const int row : proposableRows()) {
        const OptionEffect &effect = optionEffect(row);
        if (effect.kind == OptionKind::Setting)
            settings.append(QString::fromLatin1(effect.what));
        for (const QString &option : presetExpansion(row))
            settings.append(settingOfOption(option));
    }
    settings.removeAll(QStringLiteral("v"));
    settings.removeAll(QStringLiteral("pmt"));
    settings.removeAll(QString());
    settings.removeDuplicates();
    std::sort(settings.begin(), settings.end());
    return settings;
}

} // namespace

bool isProposableRow(int row)
{
    if (row < 0 || row >= OptionCount)
        return false;
    return std::none_of(std::begin(NeverProposed), std::end(NeverProposed),
                        [row](const char *option) { return catalogueRowOf(option) == row; });
}

QVector<int> proposableRows()
{
    static const QVector<int> rows = [] {
        QVector<int> all;
        for (int row = 0; row < OptionCount; ++row) {
            if (isProposableRow(row))
                all.append(row);
        }
        return all;
    }();
    return rows;
}

CheckStates proposableSelection(const CheckStates &checks)
{
    CheckStates kept{};
    for (int row = 0; row < OptionCount; ++row)
        kept[size_t(row)] = checks[size_t(row)] && isProposableRow(row);
    return kept;
}

int tickedRowCount(const CheckStates &checks)
{
    return int(std::count(checks.cbegin(), checks.cend(), true));
}

QString indentDefaultOption(const QString &setting)
{
    for (const DefaultSetting &entry : Defaults) {
        if (setting == QLatin1String(entry.setting))
            return QString::fromLatin1(entry.option);
    }
    return {};
}

namespace {

// What a source must hold for a setting to change anything in it: any of these words, or texts.
struct Occasion
{
    const char *setting;
    std::initializer_list<const char *> words;
    std::initializer_list<const char *> texts;
};
const Occasion Occasions[] = {
    {"saf", {"for"}, {}},         {"sai", {"if"}, {}},           {"saw", {"while"}, {}},
    {"ss", {"for", "while"}, {}}, {"cdw", {"do"}, {}},           {"ce", {"else"}, {}},
    {"cli", {"switch"}, {}},      {"cp", {"else", "endif"}, {}}, {"lps", {}, {"# ", "#\t"}},
    {"bbo", {}, {"&&", "||"}},
};

// A setting indent never looks at while another has a value: the brace indent only places braces on
// lines of their own ("-bl"), the paren indent only applies without "-lp", the struct brace indent only
// to braces on lines of their own ("-bls"), the comment line length only to comments being formatted.
struct Gate
{
    const char *idle;
    const char *when;
    const char *is;
    const char *andWhen;
    const char *andIs;
};
const Gate Gates[] = {
    {"bli", "br", "-br", nullptr, nullptr},
    {"pi", "lp", "-lp", nullptr, nullptr},
    {"sbi", "brs", "-brs", nullptr, nullptr},
    {"lc", "fca", "-nfca", "fc1", "-nfc1"},
};

bool isWordCharacter(char c)
{
    return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '_';
}

bool holdsWord(const QByteArray &text, const char *word)
{
    const QByteArray needle(word);
    for (qsizetype at = text.indexOf(needle); at >= 0; at = text.indexOf(needle, at + 1)) {
        const qsizetype end = at + needle.size();
        if ((at == 0 || !isWordCharacter(text.at(at - 1))) &&
            (end == text.size() || !isWordCharacter(text.at(end))))
            return true;
    }
    return false;
}

int numberIn(const QString &option, const QString &setting)
{
    return option.mid(1 + setting.size()).toInt();
}

} // namespace

QStringList settingsTheSourcesCannotShow(const QVector<QByteArray> &texts)
{
    QStringList idle;
    for (const Occasion &occasion : Occasions) {
        const bool shown = std::any_of(texts.cbegin(), texts.cend(), [&occasion](const QByteArray &text) {
            for (const char *word : occasion.words) {
                if (holdsWord(text, word))
                    return true;
            }
            for (const char *needle : occasion.texts) {
                if (text.contains(needle))
                    return true;
            }
            return false;
        });
        if (!shown)
            idle.append(QString::fromLatin1(occasion.setting));
    }
    return idle;
}

QMap<QString, QString> effectiveSettings(const CheckStates &checks, const QStringList &idleSettings)
{
    QHash<QString, QString> given;
    const QHash<QString, AppliedSetting> applied = appliedSettings(checks);
    for (auto at = applied.cbegin(); at != applied.cend(); ++at)
        given.insert(at.key(), at->option);
    return effectiveSettingsOf(given, idleSettings);
}

QMap<QString, QString> effectiveSettingsOf(const QHash<QString, QString> &given,
                                           const QStringList &idleSettings)
{
    static const QStringList known = keySettings();
    QStringList settings = known;
    for (auto at = given.cbegin(); at != given.cend(); ++at) {
        if (!settings.contains(at.key()))
            settings.append(at.key());
    }
    settings.removeAll(QStringLiteral("v"));
    settings.removeAll(QStringLiteral("pmt"));
    QMap<QString, QString> values;
    for (const QString &setting : settings)
        values.insert(setting, given.value(setting, indentDefaultOption(setting)));
    const auto number = [&values](const char *setting) {
        return numberIn(values.value(QLatin1String(setting)), QLatin1String(setting));
    };
    const auto set = [&values](const char *setting, int value) {
        values.insert(QLatin1String(setting),
                      QLatin1Char('-') + QLatin1String(setting) + QString::number(value));
    };
    const auto isSet = [&given](const char *setting) { return given.contains(QLatin1String(setting)); };

    // what indent derives before it formats a file
    if (!isSet("lc"))
        set("lc", number("l"));
    if (number("ci") == 0)
        set("ci", number("i"));
    if (!isSet("pi"))
        set("pi", number("ci"));
    if (!isSet("cbi"))
        set("cbi", number("i"));
    // what indent never looks at
    const QString idle = QStringLiteral("*");
    for (const Gate &gate : Gates) {
        if (values.value(QLatin1String(gate.when)) == QLatin1String(gate.is) &&
            (!gate.andWhen || values.value(QLatin1String(gate.andWhen)) == QLatin1String(gate.andIs)))
            values.insert(QLatin1String(gate.idle), idle);
    }
    for (const QString &setting : idleSettings) {
        if (values.contains(setting))
            values.insert(setting, idle);
    }
    return values;
}

namespace {

constexpr int Unset = std::numeric_limits<int>::min();
constexpr int Idle = Unset + 1;

struct SettingWrite
{
    int setting;
    int value;
};

// The settings and what every proposable row writes, as small numbers: a numeric setting's value is
// its number, a switch's the index of its option among the options seen for it.
class StyleModel
{
public:
    StyleModel()
        : settings(keySettings())
    {
        for (int index = 0; index < settings.size(); ++index)
            indexOf.insert(settings.at(index), index);
        names.resize(settings.size());
        numeric.fill(false, settings.size());
        defaults.fill(Unset, settings.size());
        for (int index = 0; index < settings.size(); ++index) {
            const QString option = indentDefaultOption(settings.at(index));
            if (!option.isEmpty())
                defaults[index] = valueOf(index, option);
        }
        for (const int row : proposableRows()) {
            const OptionEffect &effect = optionEffect(row);
            preset[size_t(row)] = effect.kind == OptionKind::Preset;
            const QStringList options =
                effect.kind == OptionKind::Preset
                    ? presetExpansion(row)
                    : QStringList{QString::fromUtf8(OptionCatalogue[size_t(row)].optionText)};
            for (const QString &option : options) {
                const int setting = indexOf.value(settingOfOption(option), -1);
                if (setting >= 0)
                    writes[size_t(row)].append({setting, valueOf(setting, option)});
            }
        }
        for (const Gate &gate : Gates) {
            const int when = indexOf.value(QLatin1String(gate.when));
            const int andWhen = gate.andWhen ? indexOf.value(QLatin1String(gate.andWhen)) : -1;
            gates.append({when, valueOf(when, QLatin1String(gate.is)), andWhen,
                          andWhen >= 0 ? valueOf(andWhen, QLatin1String(gate.andIs)) : 0,
                          indexOf.value(QLatin1String(gate.idle))});
        }
    }

    int valueOf(int setting, const QString &option)
    {
        const QString prefix = QLatin1Char('-') + settings.at(setting);
        bool isNumber = false;
        const int number = option.startsWith(prefix) ? option.mid(prefix.size()).toInt(&isNumber) : 0;
        if (isNumber) {
            numeric[setting] = true;
            return number;
        }
        QStringList &known = names[setting];
        if (!known.contains(option))
            known.append(option);
        return int(known.indexOf(option));
    }

    QString textOf(int setting, int value) const
    {
        if (value == Unset)
            return {};
        if (value == Idle)
            return QStringLiteral("*");
        if (numeric.at(setting))
            return QLatin1Char('-') + settings.at(setting) + QString::number(value);
        return names.at(setting).at(value);
    }

    struct IndexedGate
    {
        int when;
        int is;
        int andWhen;
        int andIs;
        int idle;
    };

    QStringList settings;
    QHash<QString, int> indexOf;
    QVector<QStringList> names;
    QVector<bool> numeric;
    QVector<int> defaults;
    std::array<QVector<SettingWrite>, OptionCount> writes;
    std::array<bool, OptionCount> preset{};
    QVector<IndexedGate> gates;
};

const StyleModel &styleModel()
{
    static const StyleModel model;
    return model;
}

} // namespace

StyleKeys::StyleKeys(const QStringList &idleSettings)
{
    const StyleModel &model = styleModel();
    for (const QString &setting : idleSettings) {
        const int index = model.indexOf.value(setting, -1);
        if (index >= 0)
            m_idle.append(index);
    }
}

QByteArray StyleKeys::key(const CheckStates &checks) const
{
    const StyleModel &model = styleModel();
    const int count = int(model.settings.size());
    QVector<int> values(count, Unset);
    QVector<char> set(count, 0);
    QVector<char> explicitly(count, 0);
    // as indent reads the options: an explicit one always, a preset's only where nothing explicit is
    for (int row = 0; row < OptionCount; ++row) {
        if (!checks[size_t(row)])
            continue;
        const bool preset = model.preset[size_t(row)];
        for (const SettingWrite &write : model.writes[size_t(row)]) {
            if (preset && explicitly[write.setting])
                continue;
            values[write.setting] = write.value;
            set[write.setting] = 1;
            explicitly[write.setting] = !preset;
        }
    }
    for (int index = 0; index < count; ++index) {
        if (!set[index])
            values[index] = model.defaults[index];
    }
    const auto at = [&model](const char *setting) { return model.indexOf.value(QLatin1String(setting)); };
    static const int l = at("l"), lc = at("lc"), i = at("i"), ci = at("ci"), pi = at("pi"), cbi = at("cbi");
    if (!set[lc])
        values[lc] = values[l];
    if (values[ci] == 0)
        values[ci] = values[i];
    if (!set[pi])
        values[pi] = values[ci];
    if (!set[cbi])
        values[cbi] = values[i];
    for (const StyleModel::IndexedGate &gate : model.gates) {
        if (values[gate.when] == gate.is && (gate.andWhen < 0 || values[gate.andWhen] == gate.andIs))
            values[gate.idle] = Idle;
    }
    for (const int index : m_idle)
        values[index] = Idle;
    return QByteArray(reinterpret_cast<const char *>(values.constData()), count * int(sizeof(int)));
}

QMap<QString, QString> StyleKeys::describe(const QByteArray &key) const
{
    const StyleModel &model = styleModel();
    QMap<QString, QString> values;
    const int *numbers = reinterpret_cast<const int *>(key.constData());
    for (int index = 0; index < model.settings.size(); ++index)
        values.insert(model.settings.at(index), model.textOf(index, numbers[index]));
    return values;
}

const QVector<QVector<int>> &exclusiveChoices()
{
    static const QVector<QVector<int>> choices = [] {
        QVector<QVector<int>> all;
        QStringList settings;
        QVector<int> presets;
        for (const int row : proposableRows()) {
            const OptionEffect &effect = optionEffect(row);
            if (effect.kind == OptionKind::Preset && presetExpansion(row).size() > 1) {
                presets.append(row);
                continue;
            }
            if (effect.kind != OptionKind::Setting)
                continue;
            const QString setting = QString::fromLatin1(effect.what);
            const qsizetype at = settings.indexOf(setting);
            if (at >= 0) {
                all[at].append(row);
            } else {
                settings.append(setting);
                all.append(QVector<int>{row});
            }
        }
        all.append(presets);
        all.erase(
            std::remove_if(all.begin(), all.end(), [](const QVector<int> &rows) { return rows.size() < 2; }),
            all.end());
        return all;
    }();
    return choices;
}
