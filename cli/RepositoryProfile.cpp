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

bool isNumber(const QString &word)
{
    return !word.isEmpty() && std::all_of(word.cbegin(), word.cend(), [](QChar c) { return c.isDigit(); });
}

QByteArray quoted(const QString &word)
{
    return '"' + word.toUtf8() + '"';
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
            return refuse(quoted(word) + " is not plain UTF-8 text: it holds a blank indent cannot see");
        if (takesNextWord(word) && word != QLatin1String("-T") && index + 1 < read.options.size() &&
            !isNumber(read.options.at(++index)))
            return refuse(quoted(word) + " needs a number, not " + quoted(read.options.at(index)));
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
