#include "IndentProfile.h"

#include "IndentOptions.h"
#include "OptionEffects.h"

#include <QFileInfo>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <array>

namespace {

constexpr int TypeNameRow = 88;

bool isNumericShortName(const QString &name)
{
    const IndentOption *option = indentOptionNamed(name);
    return option && option->numeric;
}

int rowOfOption(const QString &option)
{
    static const QHash<QString, int> rows = [] {
        QHash<QString, int> byText;
        for (int row = 0; row < OptionCount; ++row)
            byText.insert(QString::fromUtf8(OptionCatalogue[size_t(row)].optionText), row);
        return byText;
    }();
    return rows.value(option, -1);
}

// Each comment becomes one blank; a "//" comment ends before its line end.
QString withoutComments(QStringView text)
{
    QString result;
    result.reserve(text.size());
    qsizetype at = 0;
    while (at < text.size()) {
        const qsizetype slash = text.indexOf(u'/', at);
        const QChar next = slash >= 0 && slash + 1 < text.size() ? text.at(slash + 1) : QChar();
        if (next != u'*' && next != u'/') {
            const qsizetype end = slash < 0 ? text.size() : slash + 1;
            result += text.mid(at, end - at);
            at = end;
            continue;
        }
        result += text.mid(at, slash - at);
        result += QLatin1Char(' ');
        const qsizetype end = next == u'*' ? text.indexOf(u"*/", slash + 2) : text.indexOf(u'\n', slash + 2);
        at = end < 0 ? text.size() : (next == u'*' ? end + 2 : end);
    }
    return result;
}

// The blanks indent's profile reader and a shell split words at.
bool isBlank(QChar c)
{
    return c == u' ' || c == u'\t' || c == u'\n' || c == u'\v' || c == u'\f' || c == u'\r';
}

QVector<QStringView> wordsOf(QStringView text)
{
    QVector<QStringView> words;
    qsizetype at = 0;
    while (at < text.size()) {
        while (at < text.size() && isBlank(text.at(at)))
            ++at;
        const qsizetype start = at;
        while (at < text.size() && !isBlank(text.at(at)))
            ++at;
        if (at > start)
            words.append(text.mid(start, at - start));
    }
    return words;
}

bool isIndentCommand(const QString &word)
{
    const QString name = QFileInfo(word).fileName();
    return name == QLatin1String("indent") || name == QLatin1String("indent.exe");
}

QString sanitizedComment(QString text)
{
    text.replace(QLatin1String("*/"), QLatin1String("* /"));
    text.replace(QLatin1Char('\r'), QLatin1Char(' '));
    text.replace(QLatin1Char('\n'), QLatin1Char(' '));
    return text;
}

bool isLeftOutOfProfile(const QString &option)
{
    return option == QLatin1String("-npro") || option == QLatin1String("-st");
}

QString optionText(int row)
{
    return QString::fromUtf8(OptionCatalogue[size_t(row)].optionText);
}

// The catalogue's order replaces the input's: where a setting comes out differently, drop the
// selection's winner when it did nothing in the input, then list what still differs.
void reconcileOrder(const QVector<int> &inputOrder, ProfileImport &result)
{
    const QHash<QString, AppliedSetting> wanted = appliedSettings(inputOrder);
    const QVector<RowNote> inputNotes = sequenceNotes(inputOrder);
    QSet<int> idle;
    QSet<int> busy;
    for (int at = 0; at < inputOrder.size(); ++at) {
        const int row = inputOrder.at(at);
        if (optionEffect(row).kind != OptionKind::Setting)
            continue;
        if (inputNotes.at(at).effect == RowNote::Effect::Overridden)
            idle.insert(row);
        else
            busy.insert(row);
    }
    idle.subtract(busy);

    QHash<QString, AppliedSetting> selected;
    for (bool dropped = true; dropped;) {
        dropped = false;
        selected = appliedSettings(result.checks);
        for (auto setting = selected.cbegin(); setting != selected.cend(); ++setting) {
            const int row = setting.value().row;
            if (setting.value().option != wanted.value(setting.key()).option && idle.contains(row) &&
                result.checks[size_t(row)]) {
                result.checks[size_t(row)] = false;
                result.overridden.append(optionText(row));
                dropped = true;
            }
        }
    }
    std::sort(result.overridden.begin(), result.overridden.end());

    QStringList settings = wanted.keys() + selected.keys();
    settings.sort();
    settings.removeDuplicates();
    const QString byDefault = QString::fromUtf8("默认值");
    for (const QString &setting : settings) {
        const QString was = wanted.value(setting).option;
        const QString is = selected.value(setting).option;
        if (was != is)
            result.changed.append(QString::fromUtf8("%1 变为 %2")
                                      .arg(was.isEmpty() ? byDefault : was, is.isEmpty() ? byDefault : is));
    }
}

// Reads the words one option at a time, remembering what the selection can keep and, for the order's
// sake, where each mapped row last appeared.
class ProfileReader
{
public:
    // Reads the word at `at` and any word it takes; returns where the next one starts.
    qsizetype readWord(const QVector<QStringView> &words, qsizetype at);
    ProfileImport finish();

private:
    qsizetype readTakingOption(const QString &name, const QVector<QStringView> &words, qsizetype at,
                               QString written);
    void keepFirstTypeNamePair();
    void keepBareTypeName();
    QVector<int> orderAsIndentReadsIt() const;

    struct TypeNamePair
    {
        int partnerRow;
        QString written;
    };
    // One mapped option, or a "-T" with its partner, as indent reads it.
    struct InputUnit
    {
        int row;
        int typeNamePartner = -1;
    };

    ProfileImport m_result;
    QVector<TypeNamePair> m_pairs;
    std::array<bool, OptionCount> m_wantedAsOption{};
    QVector<InputUnit> m_input;
    bool m_bareTypeName = false;
};

qsizetype ProfileReader::readWord(const QVector<QStringView> &words, qsizetype at)
{
    const QString word = words.at(at++).toString();
    const bool isOption =
        word.size() > 1 && (word.startsWith(QLatin1Char('-')) || word.startsWith(QLatin1Char('+')));
    if (!isOption) {
        m_result.files.append(word);
        return at;
    }
    QString option = shortOptionForm(word);
    if (option.isEmpty()) {
        m_result.unmapped.append(word);
        return at;
    }
    const QString name = option.mid(1);
    if (name == QLatin1String("T") || name == QLatin1String("o"))
        return readTakingOption(name, words, at, word);

    QString written = word;
    // "-l 80", "--line-length 80": the number as the next word
    if (isNumericShortName(name) && at < words.size() && isAsciiNumber(words.at(at))) {
        written += QLatin1Char(' ');
        written += words.at(at);
        option += words.at(at++);
    }
    const int row = rowOfOption(option);
    if (row < 0 || row == TypeNameRow) {
        m_result.unmapped.append(written);
        return at;
    }
    m_result.checks[size_t(row)] = true;
    m_wantedAsOption[size_t(row)] = true;
    m_input.append(InputUnit{row});
    return at;
}

qsizetype ProfileReader::readTakingOption(const QString &name, const QVector<QStringView> &words,
                                          qsizetype at, QString written)
{
    if (name == QLatin1String("T") && at == words.size()) {
        m_bareTypeName = true;
        return at;
    }
    const QString partner = at < words.size() ? words.at(at++).toString() : QString();
    if (!partner.isEmpty())
        written += QLatin1Char(' ') + partner;
    const int partnerRow = rowOfOption(partner);
    if (name == QLatin1String("T") && partnerRow > TypeNameRow) {
        m_pairs.append({partnerRow, written});
        m_input.append(InputUnit{TypeNameRow, partnerRow});
    } else {
        m_result.unmapped.append(written);
    }
    return at;
}

// The selection holds one "-T", which takes the next ticked row: a pair maps only when that row is its
// partner and the partner is not also wanted as an option of its own.
void ProfileReader::keepFirstTypeNamePair()
{
    for (qsizetype index = 0; index < m_pairs.size(); ++index) {
        const TypeNamePair &pair = m_pairs.at(index);
        bool keeps = index == 0 && !m_wantedAsOption[size_t(pair.partnerRow)];
        for (int row = TypeNameRow + 1; keeps && row < pair.partnerRow; ++row)
            keeps = !m_result.checks[size_t(row)];
        if (keeps) {
            m_result.checks[size_t(TypeNameRow)] = true;
            m_result.checks[size_t(pair.partnerRow)] = true;
        } else {
            m_result.unmapped.append(pair.written);
        }
    }
}

// What indent makes of the input depends only on where each option, and each "-T" pair, last
// appears: a later explicit option beats an earlier one, an explicit one beats any preset, a later
// preset beats an earlier one, and pairs set nothing. So only those last appearances are resolved, which
// keeps the work bounded by the catalogue whatever the length of the input.
QVector<int> ProfileReader::orderAsIndentReadsIt() const
{
    std::array<bool, OptionCount> seenAlone{};
    std::array<bool, OptionCount> seenAsPartner{};
    QVector<InputUnit> lastAppearances;
    for (auto unit = m_input.crbegin(); unit != m_input.crend(); ++unit) {
        const bool pair = unit->typeNamePartner >= 0;
        bool &seen = pair ? seenAsPartner[size_t(unit->typeNamePartner)] : seenAlone[size_t(unit->row)];
        if (seen)
            continue;
        seen = true;
        lastAppearances.append(*unit);
    }
    QVector<int> rows;
    for (auto unit = lastAppearances.crbegin(); unit != lastAppearances.crend(); ++unit) {
        rows.append(unit->row);
        if (unit->typeNamePartner >= 0)
            rows.append(unit->typeNamePartner);
    }
    return rows;
}

// The selection's "-T" takes the next ticked row, so a bare one survives only as the last ticked row.
void ProfileReader::keepBareTypeName()
{
    if (!m_bareTypeName)
        return;
    for (int row = TypeNameRow + 1; row < OptionCount; ++row) {
        if (m_result.checks[size_t(row)]) {
            m_result.bareTypeName = ProfileImport::BareTypeName::Unkept;
            m_result.bareTypeNameWouldTake = row;
            m_result.unmapped.append(optionText(TypeNameRow));
            return;
        }
    }
    m_result.bareTypeName = ProfileImport::BareTypeName::Kept;
    m_result.checks[size_t(TypeNameRow)] = true;
}

ProfileImport ProfileReader::finish()
{
    keepFirstTypeNamePair();
    keepBareTypeName();
    reconcileOrder(orderAsIndentReadsIt(), m_result);
    return std::move(m_result);
}

} // namespace

QString shortOptionForm(const QString &option)
{
    QString name;
    if (option.startsWith(QLatin1String("--")))
        name = option.mid(2);
    else if (option.startsWith(QLatin1Char('+')))
        name = option.mid(1);
    else
        return option.startsWith(QLatin1Char('-')) ? option : QString();
    const OptionMatch match = matchLongOption(name);
    if (!match.option)
        return {};
    return QLatin1Char('-') + QLatin1String(match.option->shortName) + match.number;
}

QStringList knownLongOptions()
{
    QStringList options;
    for (const IndentOption &option : IndentOptions) {
        for (const QString &name : longNamesOf(option))
            options.append(option.numeric ? name + QLatin1String("3") : name);
    }
    return options;
}

ProfileImport parseIndentProfile(const QString &text)
{
    const QString cleaned = withoutComments(text);
    const QVector<QStringView> words = wordsOf(cleaned);
    ProfileReader reader;
    qsizetype at = 0;
    if (!words.isEmpty() && isIndentCommand(words.first().toString()))
        at = 1;
    while (at < words.size())
        at = reader.readWord(words, at);
    return reader.finish();
}

QString reportedWords(const QStringList &words, const QString &separator)
{
    QStringList shown;
    for (qsizetype at = 0; at < std::min<qsizetype>(words.size(), ReportedWordLimit); ++at) {
        const QString &word = words.at(at);
        shown.append(word.size() > ReportedWordLength
                         ? word.left(ReportedWordLength) +
                               QString::fromUtf8("…（共 %1 个字符）").arg(word.size())
                         : word);
    }
    QString text = shown.join(separator);
    if (words.size() > ReportedWordLimit)
        text += QString::fromUtf8(" …（共 %1 个）").arg(words.size());
    return text;
}

QString profileImportReport(const ProfileImport &import)
{
    const QString blank = QStringLiteral(" ");
    QStringList lines;
    if (import.unmapped.isEmpty())
        lines.append(QString::fromUtf8("所有参数均已对应到参数表。"));
    else
        lines.append(QString::fromUtf8("未收录的参数：") + reportedWords(import.unmapped, blank));
    if (!import.files.isEmpty())
        lines.append(QString::fromUtf8("已忽略的文件参数：") + reportedWords(import.files, blank));
    if (!import.overridden.isEmpty())
        lines.append(QString::fromUtf8("被后面的参数覆盖、未选中：") +
                     reportedWords(import.overridden, blank));
    if (!import.changed.isEmpty())
        lines.append(QString::fromUtf8("参数表的顺序改变了效果：") +
                     reportedWords(import.changed, QString::fromUtf8("，")));
    if (import.bareTypeName == ProfileImport::BareTypeName::Kept)
        lines.append(
            QString::fromUtf8("最后的 -T 后面没有类型名：已照原样选中，indent 读取这样的配置会报错退出。"));
    else if (import.bareTypeName == ProfileImport::BareTypeName::Unkept)
        lines.append(QString::fromUtf8("最后的 -T 后面没有类型名，未选中：选中后它会把 %1 当作类型名。")
                         .arg(optionText(import.bareTypeNameWouldTake)));
    return lines.join(QLatin1Char('\n'));
}

QStringList optionsLeftOutOfProfile(const QString &parameterText)
{
    QStringList leftOut;
    const QStringList options = parameterText.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (const QString &option : options) {
        if (isLeftOutOfProfile(option))
            leftOut.append(option);
    }
    return leftOut;
}

QByteArray indentProfileText(const QString &styleName, const QString &parameterText)
{
    QStringList options = parameterText.simplified().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    options.removeIf(isLeftOutOfProfile);

    QStringList lines;
    lines.append(QString::fromUtf8("/* Zabo 风格：%1 */").arg(sanitizedComment(styleName)));
    const QStringList leftOut = optionsLeftOutOfProfile(parameterText);
    if (!leftOut.isEmpty())
        lines.append(QString::fromUtf8("/* 未写入 %1：它们在配置文件中没有意义 */")
                         .arg(leftOut.join(QLatin1Char(' '))));
    for (qsizetype at = 0; at < options.size(); ++at) {
        if (options.at(at) == QLatin1String("-T") && at + 1 < options.size()) {
            lines.append(options.at(at) + QLatin1Char(' ') + options.at(at + 1));
            ++at;
        } else {
            lines.append(options.at(at));
        }
    }
    return (lines.join(QLatin1Char('\n')) + QLatin1Char('\n')).toUtf8();
}

QString profileWithShortLines(const QString &text, int longest)
{
    QStringList lines = text.split(QLatin1Char('\n'));
    for (QString &line : lines) {
        if (line.size() <= longest)
            continue;
        const qsizetype comment = line.indexOf(QLatin1String("//"));
        const qsizetype end = comment < 0 ? line.size() : comment;
        QString broken;
        broken.reserve(line.size() + line.size() / longest + 1);
        qsizetype lineStart = 0;
        qsizetype lastBlank = -1;
        for (qsizetype at = 0; at < end; ++at) {
            const QChar c = line.at(at);
            if (c == QLatin1Char(' ') || c == QLatin1Char('\t'))
                lastBlank = at;
            if (at - lineStart >= longest && lastBlank > lineStart) {
                broken += QStringView(line).mid(lineStart, lastBlank - lineStart);
                broken += QLatin1Char('\n');
                lineStart = lastBlank + 1;
            }
        }
        broken += QStringView(line).mid(lineStart);
        line = broken;
    }
    return lines.join(QLatin1Char('\n'));
}
