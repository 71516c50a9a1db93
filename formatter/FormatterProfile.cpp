#include "FormatterProfile.h"

#include "Descriptor.h"
#include "IndentOptions.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QUtf8StringView>

#include <algorithm>
#include <cstring>

namespace {

const QString ProfileName = QStringLiteral(".indent.pro");
const QString ProfileVariable = QStringLiteral("INDENT_PROFILE");

// indent reads a profile word into a buffer of BUFSIZ bytes and overruns it with a longer one.
constexpr qsizetype LongestWord = 8191;

struct NamedRole
{
    const char *name;
    IndentWordRole role;
};

// Long names that begin a word decide its role in this order, as in indent's own table; every other
// long name only formats.
const NamedRole LongRoles[] = {
    {"version", IndentWordRole::Version},
    {"verbose", IndentWordRole::Verbose},
    {"usage", IndentWordRole::Usage},
    {"standard-output", IndentWordRole::StandardOutput},
    {"output-file", IndentWordRole::OutputFile},
    {"output", IndentWordRole::OutputFile},
    {"help", IndentWordRole::Usage},
};

// Short names in table order: a name earlier in the list that begins the word wins.
const NamedRole ShortRoles[] = {
    {"version", IndentWordRole::Version},   {"v", IndentWordRole::Verbose},
    {"st", IndentWordRole::StandardOutput}, {"orig", IndentWordRole::Setting},
    {"o", IndentWordRole::OutputFile},      {"hnl", IndentWordRole::Setting},
    {"h", IndentWordRole::Usage},
};

// The largest value of a numeric option that a layout can sensibly use: lines up to 10000
// columns, a comment or declaration column up to 1000, any other indentation or tab up to 100.
struct NumericBound
{
    const char *shortName;
    const char *longName;
    int largest;
};
const NumericBound NumericBounds[] = {
    {"l", "line-length", 10000},        {"lc", "comment-line-length", 10000},
    {"c", "comment-indentation", 1000}, {"cd", "declaration-comment-column", 1000},
    {"cp", "else-endif-column", 1000},  {"di", "declaration-indentation", 1000},
};
constexpr int LargestIndentation = 100;

// How much of a refused word a message shows.
constexpr qsizetype ShownWordLength = 12;

// The name after a long prefix ("--" or "+"), or nothing for a short option or a non-option.
bool longName(const QString &word, QString *name)
{
    if (word.startsWith(QLatin1String("--")))
        *name = word.mid(2);
    else if (word.startsWith(QLatin1Char('+')))
        *name = word.mid(1);
    else
        return false;
    return true;
}

bool isOptionLike(const QByteArray &word)
{
    return word.startsWith('-') || word.startsWith('+');
}

QString quoted(const QString &text)
{
    return QLatin1Char('"') + text + QLatin1Char('"');
}

} // namespace

IndentWordRole indentWordRole(const QString &word)
{
    QString name;
    if (longName(word, &name)) {
        for (const NamedRole &candidate : LongRoles) {
            if (name.startsWith(QLatin1String(candidate.name)))
                return candidate.role;
        }
        return IndentWordRole::Setting;
    }
    if (!word.startsWith(QLatin1Char('-')))
        return IndentWordRole::Setting;
    name = word.mid(1);
    for (const NamedRole &candidate : ShortRoles) {
        if (name.startsWith(QLatin1String(candidate.name)))
            return candidate.role;
    }
    return IndentWordRole::Setting;
}

bool gluedNumericOption(const QString &word, QString *option, QString *value)
{
    QString name;
    const bool isLong = longName(word, &name);
    if (!isLong) {
        if (!word.startsWith(QLatin1Char('-')))
            return false;
        name = word.mid(1);
    }
    // the longest numeric name that begins the word: "-cli4" is "-cli" 4, never "-c" "li4"
    qsizetype longest = 0;
    const auto consider = [&](const QString &candidate) {
        if (name.size() > candidate.size() && name.startsWith(candidate) && candidate.size() > longest &&
            !name.at(candidate.size()).isLetter() && name.at(candidate.size()) != QLatin1Char('-'))
            longest = candidate.size();
    };
    for (const IndentOption &numeric : IndentOptions) {
        if (!numeric.numeric)
            continue;
        if (!isLong) {
            consider(QString::fromLatin1(numeric.shortName));
            continue;
        }
        for (const QString &longName : QString::fromLatin1(numeric.longNames).split(u' ', Qt::SkipEmptyParts))
            consider(longName);
    }
    if (longest == 0)
        return false;
    *option = word.left(word.size() - name.size() + longest);
    *value = name.mid(longest);
    return true;
}

QString numericValueProblem(const QString &option, const QString &value)
{
    if (!isAsciiNumber(value))
        return QStringLiteral("%1 needs a number in ASCII digits, not %2")
            .arg(quoted(option), shownWord(value));
    QString name;
    const bool isLong = longName(option, &name);
    if (!isLong)
        name = option.mid(1);
    int largest = LargestIndentation;
    for (const NumericBound &bound : NumericBounds) {
        if (name == QLatin1String(isLong ? bound.longName : bound.shortName))
            largest = bound.largest;
    }
    bool fits = false;
    const int number = value.toInt(&fits);
    if (!fits || number > largest)
        return QStringLiteral("%1 %2 is beyond any sensible layout (at most %3)")
            .arg(quoted(option), shownWord(value))
            .arg(largest);
    return QString();
}

QString shownWord(const QString &word)
{
    QString shown;
    for (const QChar c : word.left(ShownWordLength)) {
        if (c.unicode() < 0x20 || c.unicode() == 0x7f || (c.unicode() >= 0x80 && c.unicode() < 0xa0))
            shown += QStringLiteral("\\x%1").arg(c.unicode(), 2, 16, QLatin1Char('0'));
        else if (c == QLatin1Char('"') || c == QLatin1Char('\\'))
            shown += QLatin1Char('\\') + c;
        else
            shown += c;
    }
    if (word.size() > ShownWordLength)
        shown += QStringLiteral("...");
    return quoted(shown);
}

bool takesNextWord(const QString &word)
{
    if (word == QLatin1String("-T"))
        return true;
    QString name;
    if (longName(word, &name)) {
        const OptionMatch match = matchLongOption(name);
        return match.option && match.option->numeric && match.number.isEmpty();
    }
    if (!word.startsWith(QLatin1Char('-')))
        return false;
    const IndentOption *option = indentOptionNamed(QStringView(word).mid(1));
    return option && option->numeric;
}

QList<QByteArray> indentProfileWords(const QByteArray &text)
{
    QList<QByteArray> words;
    const qsizetype size = text.size();
    qsizetype at = 0;
    while (at < size) {
        const unsigned char c = static_cast<unsigned char>(text.at(at));
        if (c <= ' ') {
            ++at;
        } else if (c == '/') {
            const char next = at + 1 < size ? text.at(at + 1) : '\0';
            if (next == '/') {
                const qsizetype end = text.indexOf('\n', at + 2);
                at = end < 0 ? size : end + 1;
            } else if (next == '*') {
                const qsizetype end = text.indexOf("*/", at + 2);
                at = end < 0 ? size : end + 2;
            } else {
                ++at; // indent warns of "unpalatable characters" and goes on with the next one
            }
        } else {
            const qsizetype start = at;
            while (at<size &&static_cast<unsigned char>(text.at(at))> ' ' && text.at(at) != '/')
                ++at;
            words.append(text.mid(start, at - start));
        }
    }
    return words;
}

ProfileOptions profileOptions(const QList<QByteArray> &words)
{
    ProfileOptions result;
    for (qsizetype index = 0; index < words.size() && result.problem.isEmpty(); ++index) {
        const QByteArray &bytes = words.at(index);
        if (!QUtf8StringView(bytes).isValidUtf8()) {
            result.problem = QStringLiteral("a word is not valid UTF-8 text");
            break;
        }
        const QString word = QString::fromUtf8(bytes);
        if (bytes.size() > LongestWord) {
            result.problem = QStringLiteral("a word is longer than indent reads (%1 bytes)").arg(LongestWord);
        } else if (!isOptionLike(bytes) || bytes == "-") {
            // on a command line it would be a file to format, or standard input
            result.problem =
                QStringLiteral("%1 is not an option (word %2)").arg(shownWord(word)).arg(index + 1);
        } else if (takesNextWord(word)) {
            if (index + 1 == words.size()) {
                result.problem = QStringLiteral("%1 at the end has no value").arg(shownWord(word));
                break;
            }
            const QByteArray &value = words.at(++index);
            if (!QUtf8StringView(value).isValidUtf8()) {
                result.problem = QStringLiteral("a word is not valid UTF-8 text");
                break;
            }
            result.options << word << QString::fromUtf8(value);
        } else if (indentWordRole(word) == IndentWordRole::Setting) {
            result.options.append(word);
        } else {
            result.leftOut.append(word);
            // "-o FILE": the file goes with it; an option after a bare "-o" stays an option
            if (indentWordRole(word) == IndentWordRole::OutputFile && index + 1 < words.size() &&
                !isOptionLike(words.at(index + 1)))
                result.leftOut.append(QString::fromUtf8(words.at(++index)));
        }
    }
    if (!result.problem.isEmpty())
        result.options.clear();
    return result;
}

QString FormatterProfile::problem() const
{
    const QString shown = quoted(path);
    switch (status) {
    case Status::None:
    case Status::Read:
        return QString();
    case Status::NotRegular:
        return QStringLiteral("indent profile %1 is not a regular file (a FIFO, a device or a directory); "
                              "it was not read")
            .arg(shown);
    case Status::TooLarge:
        return QStringLiteral("indent profile %1 is larger than %2 KiB; it was not read")
            .arg(shown)
            .arg(MaximumBytes / 1024);
    case Status::Unreadable:
        return QStringLiteral("indent profile %1 cannot be read: %2")
            .arg(shown, QString::fromLocal8Bit(std::strerror(error)));
    case Status::Unusable:
        return QStringLiteral("indent profile %1 cannot be used: %2").arg(shown, options.problem);
    }
    return QString();
}

FormatterProfile readFormatterProfile(const QString &path, const QString &workingDirectory)
{
    FormatterProfile profile;
    const QDir here(workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory);
    profile.path = here.absoluteFilePath(path);
    if (QFileInfo(profile.path).canonicalFilePath() == QLatin1String("/dev/null")) {
        profile.status = FormatterProfile::Status::Read; // the usual way of naming no profile at all
        return profile;
    }
    const RegularFileRead read =
        readRegularFile(QFile::encodeName(profile.path), FormatterProfile::MaximumBytes);
    switch (read.status) {
    case RegularFileRead::Status::Read:
        profile.options = profileOptions(indentProfileWords(read.bytes));
        profile.status = profile.options.problem.isEmpty() ? FormatterProfile::Status::Read
                                                           : FormatterProfile::Status::Unusable;
        break;
    case RegularFileRead::Status::NotRegular:
        profile.status = FormatterProfile::Status::NotRegular;
        break;
    case RegularFileRead::Status::TooLarge:
        profile.status = FormatterProfile::Status::TooLarge;
        break;
    case RegularFileRead::Status::Failed:
        profile.status = FormatterProfile::Status::Unreadable;
        profile.error = read.error;
        break;
    }
    return profile;
}

FormatterProfile findFormatterProfile(const QStringList &styleOptions, const QProcessEnvironment &environment,
                                      const QString &workingDirectory)
{
    if (formatterIgnoresProfile(styleOptions))
        return FormatterProfile();
    const QDir here(workingDirectory.isEmpty() ? QDir::currentPath() : workingDirectory);
    if (environment.contains(ProfileVariable))
        return readFormatterProfile(environment.value(ProfileVariable), here.path());
    const QString local = here.absoluteFilePath(ProfileName);
    if (QFileInfo(local).isReadable())
        return readFormatterProfile(local);
    const QString home = environment.value(QStringLiteral("HOME"));
    if (!home.isEmpty() && QFileInfo(home + QLatin1Char('/') + ProfileName).isReadable())
        return readFormatterProfile(home + QLatin1Char('/') + ProfileName, here.path());
    return FormatterProfile();
}

bool formatterIgnoresProfile(const QStringList &options)
{
    return options.contains(QStringLiteral("-npro")) ||
           options.contains(QStringLiteral("--ignore-profile")) ||
           options.contains(QStringLiteral("+ignore-profile"));
}
