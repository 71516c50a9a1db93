#include "RepositoryProfile.h"

#include "Descriptor.h"
#include "FormatReporter.h"
#include "FormatSources.h"
#include "IndentProfile.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cctype>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char ProfileName[] = ".indent.pro";
constexpr qint64 ProfileSizeLimit = 64 * 1024;

// indent's short options that take a number, which may also come as the next word ("-l 80").
const QSet<QByteArray> &numericShortOptions()
{
    static const QSet<QByteArray> names{"-bli", "-c",  "-cbi", "-cd", "-ci", "-cli", "-cp",  "-d",   "-di",
                                        "-i",   "-il", "-ip",  "-l",  "-lc", "-pi",  "-ppi", "-sbi", "-ts"};
    return names;
}

// The long options that take a number, without it: "--line-length", "+line-length".
const QSet<QByteArray> &numericLongOptions()
{
    static const QSet<QByteArray> names = [] {
        QSet<QByteArray> found;
        for (const QString &option : knownLongOptions()) {
            if (option.back().isDigit()) { // listed with a sample number glued on
                const QByteArray name = option.toLatin1().mid(2, option.size() - 3);
                found << "--" + name << "+" + name;
            }
        }
        return found;
    }();
    return names;
}

QList<QByteArray> profileWords(const QByteArray &text)
{
    QList<QByteArray> words;
    QByteArray word;
    const auto endWord = [&] {
        if (!word.isEmpty())
            words.append(word);
        word.clear();
    };
    for (qsizetype at = 0; at < text.size();) {
        if (text.mid(at, 2) == "/*") {
            endWord();
            const qsizetype end = text.indexOf("*/", at + 2);
            at = end < 0 ? text.size() : end + 2;
        } else if (text.mid(at, 2) == "//") {
            endWord();
            const qsizetype end = text.indexOf('\n', at + 2);
            at = end < 0 ? text.size() : end;
        } else if (std::isspace(static_cast<unsigned char>(text.at(at)))) {
            endWord();
            ++at;
        } else {
            word += text.at(at++);
        }
    }
    endWord();
    return words;
}

bool sendsOutputElsewhere(const QByteArray &word)
{
    return (word.startsWith("-o") && !word.startsWith("-orig")) || word.startsWith("--output") ||
           word.startsWith("+output");
}

// indent reads every word that begins with "-st" as "-st"
bool writesToStandardOutput(const QByteArray &word)
{
    return word.startsWith("-st") || word.startsWith("--standard-output") ||
           word.startsWith("+standard-output");
}

bool stopsIndent(const QByteArray &word)
{
    static const QSet<QByteArray> words{"-h",     "--help",   "+help",     "--usage",
                                        "+usage", "-version", "--version", "+version"};
    return words.contains(word);
}

bool takesNextWord(const QByteArray &word)
{
    return word == "-T" || numericShortOptions().contains(word) || numericLongOptions().contains(word);
}

bool isNumber(const QByteArray &word)
{
    return !word.isEmpty() &&
           std::all_of(word.cbegin(), word.cend(), [](char c) { return c >= '0' && c <= '9'; });
}

QByteArray quoted(const QByteArray &word)
{
    return '"' + word + '"';
}

} // namespace

ProfileOptions profileOptions(const QByteArray &text)
{
    ProfileOptions result;
    const QList<QByteArray> words = profileWords(text);
    const auto refuse = [&](const QByteArray &problem) {
        result.options.clear();
        result.problem = problem;
        return result;
    };
    for (qsizetype index = 0; index < words.size(); ++index) {
        const QByteArray &word = words.at(index);
        if (!word.startsWith('-') && !word.startsWith('+'))
            return refuse(quoted(word) + " is no option; indent would take it for a file to rewrite");
        if (sendsOutputElsewhere(word))
            return refuse(quoted(word) + " sends indent's output to another file, which a profile may not");
        if (stopsIndent(word))
            return refuse(quoted(word) + " makes indent stop without formatting");
        if (writesToStandardOutput(word))
            continue; // the results always go to the files
        QByteArrayList taken{word};
        if (takesNextWord(word) && index + 1 < words.size()) {
            const QByteArray &value = words.at(++index);
            if (word != "-T" && !isNumber(value))
                return refuse(quoted(word) + " needs a number, not " + quoted(value));
            taken.append(value);
        }
        for (const QByteArray &part : taken) {
            const QString decoded = QString::fromUtf8(part);
            // the formatter's command line is text split at white space: the word must survive both
            if (decoded.toUtf8() != part || decoded.simplified() != decoded)
                return refuse(quoted(part) + " is not plain UTF-8 text");
            result.options.append(decoded);
        }
    }
    return result;
}

RepositoryProfiles::RepositoryProfiles()
    : m_workingDirectory(QFile::encodeName(QDir::currentPath()))
{}

QByteArray RepositoryProfiles::shownPath(int directoryFd) const
{
    // the directory as the kernel knows it now: no name given earlier can mislead
    char target[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(directoryFd);
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    if (length <= 0 || size_t(length) >= sizeof target)
        return ProfileName;
    const QByteArray directory(target, int(length));
    if (directory == m_workingDirectory)
        return ProfileName;
    if (directory.startsWith(m_workingDirectory + '/'))
        return directory.mid(m_workingDirectory.size() + 1) + '/' + ProfileName;
    return joinedPath(directory, ProfileName);
}

RepositoryProfiles::Lookup RepositoryProfiles::readProfile(int directoryFd, int profileFd)
{
    Lookup lookup;
    const QByteArray path = shownPath(directoryFd);
    struct stat status;
    if (::fstat(profileFd, &status) != 0) {
        lookup.problem = path + ": " + errnoText(errno);
        return lookup;
    }
    if (!S_ISREG(status.st_mode)) {
        lookup.problem = path + ": not a regular file";
        return lookup;
    }
    QByteArray text;
    char buffer[16384];
    for (;;) {
        const ssize_t got = ::read(profileFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0) {
            lookup.problem = path + ": " + errnoText(errno);
            return lookup;
        }
        if (got == 0)
            break;
        text.append(buffer, got);
        if (text.size() > ProfileSizeLimit) {
            lookup.problem = path + ": larger than " + QByteArray::number(ProfileSizeLimit / 1024) +
                             " KiB, too large for an indent profile";
            return lookup;
        }
    }
    const ProfileOptions options = profileOptions(text);
    if (!options.problem.isEmpty()) {
        lookup.problem = path + ": " + options.problem;
        return lookup;
    }
    lookup.style = int(m_styles.size());
    m_styles.push_back(ChosenStyle{QFile::decodeName(path), options.options.join(QLatin1Char(' ')), path});
    return lookup;
}

int RepositoryProfiles::styleFor(const QByteArray &filePath, QByteArray *problem)
{
    const QByteArray start = parentOf(filePath);
    Descriptor directory(::open(start.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (directory.get() < 0) {
        *problem = start + ": cannot look for " + ProfileName + ": " + errnoText(errno);
        return -1;
    }
    QList<DirectoryKey> visited;
    Lookup found;
    for (;;) {
        struct stat here;
        if (::fstat(directory.get(), &here) != 0)
            break;
        const DirectoryKey key{quint64(here.st_dev), quint64(here.st_ino)};
        const auto known = m_byDirectory.constFind(key);
        if (known != m_byDirectory.constEnd()) {
            found = known.value();
            break;
        }
        visited.append(key);
        Descriptor profile(
            ::openat(directory.get(), ProfileName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC));
        if (profile.get() >= 0) {
            found = readProfile(directory.get(), profile.get());
            break;
        }
        const int openError = errno;
        struct stat link;
        if (openError != ENOENT || ::fstatat(directory.get(), ProfileName, &link, AT_SYMLINK_NOFOLLOW) == 0) {
            found.problem =
                shownPath(directory.get()) + ": " +
                (openError == ENOENT ? QByteArray("a link that leads nowhere") : errnoText(openError));
            break;
        }
        Descriptor parent(::openat(directory.get(), "..", O_RDONLY | O_DIRECTORY | O_CLOEXEC));
        struct stat above;
        if (parent.get() < 0 || ::fstat(parent.get(), &above) != 0 ||
            (above.st_dev == here.st_dev && above.st_ino == here.st_ino))
            break; // the root, or a directory above that may not be looked into
        directory = std::move(parent);
    }
    for (const DirectoryKey &key : visited)
        m_byDirectory.insert(key, found);
    if (found.style < 0)
        *problem = !found.problem.isEmpty() ? found.problem
                                            : start + ": no " + ProfileName +
                                                  " here or in a directory above; commit one, or name a "
                                                  "saved style with --style NAME";
    return found.style;
}

bool assignRepositoryProfiles(std::vector<Source> &sources, std::vector<ChosenStyle> *styles,
                              Reporter &reporter)
{
    RepositoryProfiles profiles;
    QSet<QByteArray> shown;
    bool ok = true;
    for (Source &source : sources) {
        QByteArray problem;
        source.style = profiles.styleFor(source.path, &problem);
        if (source.style < 0) {
            ok = false;
            if (!shown.contains(problem))
                reporter.message(problem);
            shown.insert(problem);
        }
    }
    *styles = profiles.styles();
    return ok;
}
