#include "IndentOptions.h"

#include <algorithm>
#include <array>
#include <cstring>
#include <initializer_list>

namespace {
constexpr OptionKind S = OptionKind::Setting;
constexpr OptionKind P = OptionKind::Preset;
constexpr OptionTopic Blank = OptionTopic::BlankLines;
constexpr OptionTopic Comment = OptionTopic::Comments;
constexpr OptionTopic Statement = OptionTopic::Statements;
constexpr OptionTopic Declaration = OptionTopic::Declarations;
constexpr OptionTopic Indent = OptionTopic::Indentation;
constexpr OptionTopic Long = OptionTopic::LongLines;
constexpr OptionTopic Other = OptionTopic::Other;

// As GNU indent 2.2.12 applies the presets, checked against the binary: "-orig" leaves the parameter
// indentation alone although the manual lists "-ip4" in it; "-kr" keeps the manual's "-par", which only
// restates indent's default pointer alignment.
const char Gnu[] = "-nbad -bap -nbc -bbo -bl -bli2 -bls -ncdb -nce -cp1 -cs -di2 -ndj -nfc1 -nfca "
                   "-hnl -i2 -ip5 -lp -pcs -nprs -psl -saf -sai -saw -nsc -nsob";
const char Kr[] = "-nbad -bap -bbo -nbc -br -brs -c33 -cd33 -ncdb -ce -ci4 -cli0 -cp33 -cs -d0 "
                  "-di1 -nfc1 -nfca -hnl -i4 -ip0 -l75 -lp -npcs -nprs -npsl -saf -sai -saw -nsc "
                  "-nsob -nss -par";
const char Orig[] = "-nbad -nbap -bbo -bc -br -brs -c33 -cd33 -cdb -ce -ci4 -cli0 -cp33 -di16 -fc1 "
                    "-fca -hnl -i4 -l75 -lp -npcs -nprs -psl -saf -sai -saw -sc -nsob -nss -ts8";
const char Nip[] = "-ip0";
} // namespace

const IndentOption IndentOptions[IndentOptionCount] = {
    {"bad", "blank-lines-after-declarations", false, S, "bad", Blank},
    {"nbad", "no-blank-lines-after-declarations", false, S, "bad", Blank},
    {"bap", "blank-lines-after-procedures", false, S, "bap", Blank},
    {"nbap", "no-blank-lines-after-procedures", false, S, "bap", Blank},
    {"bbb", "blank-lines-before-block-comments", false, S, "bbb", Blank},
    {"nbbb", "no-blank-lines-before-block-comments", false, S, "bbb", Blank},
    {"sob", "swallow-optional-blank-lines", false, S, "sob", Blank},
    {"nsob", "leave-optional-blank-lines", false, S, "sob", Blank},

    {"c", "comment-indentation", true, S, "c", Comment},
    {"cd", "declaration-comment-column", true, S, "cd", Comment},
    {"cdb", "comment-delimiters-on-blank-lines", false, S, "cdb", Comment},
    {"ncdb", "no-comment-delimiters-on-blank-lines", false, S, "cdb", Comment},
    {"cp", "else-endif-column", true, S, "cp", Comment},
    {"d", "line-comments-indentation", true, S, "d", Comment},
    {"fc1", "format-first-column-comments", false, S, "fc1", Comment},
    {"nfc1", "dont-format-first-column-comments", false, S, "fc1", Comment},
    {"fca", "format-all-comments", false, S, "fca", Comment},
    {"nfca", "dont-format-comments", false, S, "fca", Comment},
    {"fnc", "fix-nested-comments", false, S, "fnc", Comment},
    {"lc", "comment-line-length", true, S, "lc", Comment},
    {"sc", "start-left-side-of-comments", false, S, "sc", Comment},
    {"nsc", "dont-star-comments", false, S, "sc", Comment},
    {"ntac", "dont-tab-align-comments", false, S, "tac", Comment},

    {"bl", "braces-after-if-line", false, S, "br", Statement},
    {"br", "braces-on-if-line", false, S, "br", Statement},
    {"bli", "brace-indent", true, S, "bli", Statement},
    {"bs", "blank-before-sizeof Bill-Shannon", false, S, "bs", Statement},
    {"nbs", "", false, S, "bs", Statement},
    {"cbi", "case-brace-indentation", true, S, "cbi", Statement},
    {"cdw", "cuddle-do-while", false, S, "cdw", Statement},
    {"ncdw", "dont-cuddle-do-while", false, S, "cdw", Statement},
    {"ce", "cuddle-else", false, S, "ce", Statement},
    {"nce", "dont-cuddle-else", false, S, "ce", Statement},
    {"cli", "case-indentation", true, S, "cli", Statement},
    {"cs", "space-after-cast", false, S, "cs", Statement},
    {"ncs", "no-space-after-casts", false, S, "cs", Statement},
    {"ss", "space-special-semicolon", false, S, "ss", Statement},
    {"nss", "dont-space-special-semicolon", false, S, "ss", Statement},
    {"pcs", "space-after-procedure-calls", false, S, "pcs", Statement},
    {"npcs", "no-space-after-function-call-names", false, S, "pcs", Statement},
    {"prs", "space-after-parentheses", false, S, "prs", Statement},
    {"nprs", "no-space-after-parentheses", false, S, "prs", Statement},
    {"saf", "space-after-for", false, S, "saf", Statement},
    {"nsaf", "no-space-after-for", false, S, "saf", Statement},
    {"sai", "space-after-if", false, S, "sai", Statement},
    {"nsai", "no-space-after-if", false, S, "sai", Statement},
    {"saw", "space-after-while", false, S, "saw", Statement},
    {"nsaw", "no-space-after-while", false, S, "saw", Statement},
    {"slc", "single-line-conditionals", false, S, "slc", Statement},

    {"T", "", false, OptionKind::TypeName, "", Declaration},
    {"bc", "blank-lines-after-commas", false, S, "bc", Declaration},
    {"nbc", "no-blank-lines-after-commas", false, S, "bc", Declaration},
    {"bfda", "break-function-decl-args break-function-decl-args-end", false, S, "bfda", Declaration},
    {"nbfda", "dont-break-function-decl-args dont-break-function-decl-args-end", false, S, "bfda",
     Declaration},
    {"bfde", "", false, S, "bfde", Declaration},
    {"nbfde", "", false, S, "bfde", Declaration},
    {"blf", "braces-after-func-def-line", false, S, "brf", Declaration},
    {"brf", "braces-on-func-def-line", false, S, "brf", Declaration},
    {"bls", "braces-after-struct-decl-line", false, S, "brs", Declaration},
    {"brs", "braces-on-struct-decl-line", false, S, "brs", Declaration},
    {"di", "declaration-indentation", true, S, "di", Declaration},
    {"dj", "left-justify-declarations", false, S, "dj", Declaration},
    {"ndj", "dont-left-justify-declarations", false, S, "dj", Declaration},
    {"pal", "pointer-align-left", false, S, "pa", Declaration},
    {"par", "pointer-align-right", false, S, "pa", Declaration},
    {"psl", "procnames-start-lines", false, S, "psl", Declaration},
    {"npsl", "dont-break-procedure-type", false, S, "psl", Declaration},
    {"sar", "spaces-around-initializers", false, S, "sar", Declaration},
    {"sbi", "struct-brace-indentation", true, S, "sbi", Declaration},

    {"as", "align-with-spaces", false, S, "as", Indent},
    {"ci", "continuation-indentation", true, S, "ci", Indent},
    {"i", "indent-level", true, S, "i", Indent},
    {"il", "indent-label", true, S, "il", Indent},
    {"ip", "parameter-indentation", true, S, "ip", Indent},
    {"nip", "no-parameter-indentation", false, P, Nip, Indent},
    {"lp", "continue-at-parentheses", false, S, "lp", Indent},
    {"nlp", "dont-line-up-parentheses", false, S, "lp", Indent},
    {"lps", "leave-preprocessor-space", false, S, "lps", Indent},
    {"nlps", "", false, S, "lps", Indent},
    {"pi", "paren-indentation", true, S, "pi", Indent},
    {"ppi", "preprocessor-indentation", true, S, "ppi", Indent},
    {"ts", "tab-size", true, S, "ts", Indent},
    {"ut", "use-tabs", false, S, "ut", Indent},
    {"nut", "no-tabs", false, S, "ut", Indent},

    {"l", "line-length", true, S, "l", Long},
    {"bbo", "break-before-boolean-operator", false, S, "bbo", Long},
    {"nbbo", "break-after-boolean-operator", false, S, "bbo", Long},
    {"hnl", "honour-newlines", false, S, "hnl", Long},
    {"nhnl", "ignore-newlines", false, S, "hnl", Long},
    {"gts", "gettext-strings", false, S, "gts", Long},
    {"ngts", "no-gettext-strings", false, S, "gts", Long},

    {"gnu", "gnu-style", false, P, Gnu, Other},
    {"kr", "k-and-r-style", false, P, Kr, Other},
    {"orig", "original", false, P, Orig, Other},
    {"npro", "ignore-profile", false, OptionKind::ProfileSwitch, "", Other},
    {"st", "standard-output", false, OptionKind::StandardOutput, "", Other},
    {"v", "verbose", false, S, "v", Other},
    {"nv", "no-verbosity", false, S, "v", Other},
    {"pmt", "preserve-mtime", false, S, "pmt", Other},
    {"npmt", "", false, S, "pmt", Other},
};

bool isAsciiNumber(QStringView text)
{
    return !text.isEmpty() &&
           std::all_of(text.begin(), text.end(), [](QChar c) { return c >= u'0' && c <= u'9'; });
}

const IndentOption *indentOptionNamed(QStringView shortName)
{
    for (const IndentOption &option : IndentOptions) {
        if (shortName == QLatin1String(option.shortName))
            return &option;
    }
    return nullptr;
}

OptionMatch matchShortOption(QStringView word)
{
    if (!word.startsWith(u'-') || word.size() < 2)
        return {};
    const QStringView name = word.mid(1);
    if (const IndentOption *exact = indentOptionNamed(name))
        return {exact, QString()};
    OptionMatch best;
    for (const IndentOption &option : IndentOptions) {
        const QLatin1String prefix(option.shortName);
        if (!option.numeric || !name.startsWith(prefix) || !isAsciiNumber(name.mid(prefix.size())))
            continue;
        if (!best.option || prefix.size() > qsizetype(std::strlen(best.option->shortName)))
            best = {&option, name.mid(prefix.size()).toString()};
    }
    return best;
}

OptionMatch matchLongOption(QStringView name)
{
    for (const IndentOption &option : IndentOptions) {
        for (const QString &longName :
             QString::fromLatin1(option.longNames).split(u' ', Qt::SkipEmptyParts)) {
            if (name == longName)
                return {&option, QString()};
            if (option.numeric && name.startsWith(longName) && isAsciiNumber(name.mid(longName.size())))
                return {&option, name.mid(longName.size()).toString()};
        }
    }
    return {};
}

QStringList longNamesOf(const IndentOption &option)
{
    QStringList names = QString::fromLatin1(option.longNames).split(u' ', Qt::SkipEmptyParts);
    for (QString &name : names)
        name.prepend(QLatin1String("--"));
    return names;
}

namespace {

struct RowOption
{
    const IndentOption *option = nullptr;
    QString number;
};

const std::array<RowOption, OptionCount> &rowOptions()
{
    static const std::array<RowOption, OptionCount> rows = [] {
        std::array<RowOption, OptionCount> all{};
        for (int row = 0; row < OptionCount; ++row) {
            const OptionMatch match =
                matchShortOption(QString::fromUtf8(OptionCatalogue[size_t(row)].optionText));
            Q_ASSERT(match.option); // tst_indentoptions checks every row
            all[size_t(row)] = {match.option, match.number};
        }
        return all;
    }();
    return rows;
}

} // namespace

const IndentOption &indentOptionOfRow(int row)
{
    return *rowOptions()[size_t(row)].option;
}

QString numberOfRow(int row)
{
    return rowOptions()[size_t(row)].number;
}

QVector<int> catalogueRowsOf(const IndentOption &option)
{
    QVector<int> rows;
    for (int row = 0; row < OptionCount; ++row) {
        if (&indentOptionOfRow(row) == &option)
            rows.append(row);
    }
    return rows;
}

QString topicName(OptionTopic topic)
{
    static const char *const Names[OptionTopicCount] = {"空行", "注释",     "语句",       "声明",
                                                        "缩进", "长行断行", "禁止格式化", "其他"};
    return QString::fromUtf8(Names[int(topic)]);
}

bool isLayoutOption(const IndentOption &option)
{
    const QLatin1String setting(option.what);
    return option.kind == OptionKind::Setting && setting != QLatin1String("v") &&
           setting != QLatin1String("pmt");
}

LayoutConcern layoutConcernOf(const IndentOption &option)
{
    struct Concern
    {
        LayoutConcern concern;
        std::initializer_list<const char *> settings;
    };
    static const Concern Concerns[] = {
        {LayoutConcern::Braces, {"br", "brf", "brs", "bli", "ce", "cdw", "cbi", "sbi"}},
        {LayoutConcern::Indentation, {"i", "ci", "lp", "pi", "ip", "ts", "ut", "cli", "il", "ppi", "l"}},
        {LayoutConcern::CommentColumns, {"c", "cd", "cp", "d", "lc", "fca", "fc1", "sc", "cdb", "tac"}},
        {LayoutConcern::Declarations, {"di", "dj", "psl", "bfda", "bfde", "pa", "bc", "bad"}},
    };
    if (!isLayoutOption(option))
        return LayoutConcern::None;
    for (const Concern &entry : Concerns) {
        for (const char *setting : entry.settings) {
            if (std::strcmp(setting, option.what) == 0)
                return entry.concern;
        }
    }
    return LayoutConcern::None;
}
