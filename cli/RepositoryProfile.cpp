#include "RepositoryProfile.h"

#include "Descriptor.h"
#include "FormatReporter.h"
#include "FormatSources.h"
#include "FormatterProfile.h"

#include <QDir>
#include <QFile>
#include <QSet>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

const char ProfileName[] = ".indent.pro";
constexpr qint64 ProfileSizeLimit = 64 * 1024;

QByteArray quoted(const QString &word)
{
    return shownWord(word).toUtf8();
}

// Why a numeric option's value, given as the next word or glued on, cannot be used; empty when it can.
QString numericProblem(const QStringList &options, qsizetype *index)
{
    const QString &word = options.at(*index);
    QString option;
    QString value;
    if (takesNextWord(word) && word != QLatin1String("-T") && *index + 1 < options.size())
        return numericValueProblem(word, options.at(++*index));
    if (gluedNumericOption(word, &option, &value))
        return numericValueProblem(option, value);
    return QString();
}

bool isWithin(const QByteArray &path, const QByteArray &directory)
{
    return !directory.isEmpty() && (directory == "/" || path.startsWith(directory + '/'));
}

// The top of the git repository that holds directory (the nearest one above with a .git); empty
// outside any.
QByteArray repositoryTop(QByteArray directory)
{
    while (!directory.isEmpty()) {
        struct stat entry;
        if (::lstat((directory + "/.git").constData(), &entry) == 0)
            return directory;
        const qsizetype slash = directory.lastIndexOf('/');
        if (slash <= 0)
            break;
        directory.truncate(slash);
    }
    return QByteArray();
}

// A profile that is a link is followed within the tree it governs or its repository, never out: a
// hostile repository could otherwise have any readable file of the machine read as its profile.
bool leadsOutside(int directoryFd, int profileFd)
{
    struct stat link;
    if (::fstatat(directoryFd, ProfileName, &link, AT_SYMLINK_NOFOLLOW) != 0 || !S_ISLNK(link.st_mode))
        return false;
    const QByteArray directory = directoryPathOf(directoryFd);
    const QByteArray target = directoryPathOf(profileFd);
    return target.isEmpty() || (!isWithin(target, directory) && !isWithin(target, repositoryTop(directory)));
}

} // namespace

RepositoryProfileOptions repositoryProfileOptions(const QByteArray &text)
{
    RepositoryProfileOptions result;
    const auto refuse = [&](const QByteArray &problem) {
        result.problem = problem;
        return result;
    };
    const ProfileOptions read = profileOptions(indentProfileWords(text));
    if (!read.problem.isEmpty())
        return refuse(read.problem.toUtf8());
    // a profile kept in a repository is the team's: what would harm a run is refused, not dropped
    for (const QString &word : read.leftOut) {
        const IndentWordRole role = indentWordRole(word);
        if (role == IndentWordRole::OutputFile)
            return refuse(quoted(word) + " sends indent's output to another file, which a profile may not");
        if (role == IndentWordRole::Version || role == IndentWordRole::Usage)
            return refuse(quoted(word) + " makes indent stop without formatting");
    }
    for (qsizetype index = 0; index < read.options.size(); ++index) {
        const QString &word = read.options.at(index);
        // the formatter's command line is text split at white space: the word must survive it
        if (word.simplified() != word)
            return refuse(quoted(word) + " (word " + QByteArray::number(index + 1) +
                          ") is not plain UTF-8 text: it holds a blank indent cannot see");
        const qsizetype position = index;
        if (const QString problem = numericProblem(read.options, &index); !problem.isEmpty())
            return refuse(problem.toUtf8() + " (word " + QByteArray::number(position + 1) + ')');
    }
    result.options = read.options;
    return result;
}

RepositoryProfiles::RepositoryProfiles()
    : m_workingDirectory(QFile::encodeName(QDir::currentPath()))
{}

QByteArray RepositoryProfiles::shownPath(int directoryFd) const
{
    const QByteArray directory = directoryPathOf(directoryFd);
    return directory.isEmpty() ? QByteArray(ProfileName)
                               : shownFrom(m_workingDirectory, joinedPath(directory, ProfileName));
}

RepositoryProfiles::Lookup RepositoryProfiles::readProfile(int directoryFd, int profileFd)
{
    Lookup lookup;
    const QByteArray path = shownPath(directoryFd);
    const RegularFileRead read = readRegularDescriptor(profileFd, ProfileSizeLimit);
    // what it read of a file elsewhere is dropped unseen
    if (read.status != RegularFileRead::Status::NotRegular && leadsOutside(directoryFd, profileFd)) {
        lookup.problem = path + ": a link to a file outside its directory tree and its repository; "
                                "not followed (commit the profile itself)";
        return lookup;
    }
    switch (read.status) {
    case RegularFileRead::Status::Read:
        break;
    case RegularFileRead::Status::NotRegular:
        lookup.problem = path + ": not a regular file";
        return lookup;
    case RegularFileRead::Status::TooLarge:
        lookup.problem = path + ": larger than " + QByteArray::number(ProfileSizeLimit / 1024) +
                         " KiB, too large for an indent profile";
        return lookup;
    case RegularFileRead::Status::Failed:
        lookup.problem = path + ": " + errnoText(read.error);
        return lookup;
    }
    const RepositoryProfileOptions options = repositoryProfileOptions(read.bytes);
    if (!options.problem.isEmpty()) {
        lookup.problem = path + ": " + options.problem;
        return lookup;
    }
    lookup.style = int(m_styles.size());
    const QString parameterText = options.options.join(QLatin1Char(' '));
    m_styles.push_back(
        ChosenStyle{QFile::decodeName(path), parameterText, path, keepsModificationTime(parameterText)});
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
