#include "SourceExcludes.h"

#include "Descriptor.h"
#include "FormatReporter.h"
#include "SourceAccess.h"

#include <QDir>
#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

constexpr qint64 IgnoreFileSizeLimit = 1024 * 1024;

bool sameDirectory(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino;
}

// The nearest directory of a path that may name a file not yet saved, in a directory not yet made:
// opened only to look into, with the rest of the path below it in tail.
Descriptor nearestDirectoryOf(const QByteArray &path, QByteArray *tail)
{
    QByteArray directory = parentOf(path);
    *tail = baseNameOf(path);
    for (;;) {
        Descriptor fd(::open(directory.constData(), O_PATH | O_DIRECTORY | O_CLOEXEC));
        if (fd.get() >= 0 || directory == "." || directory == "/")
            return fd;
        *tail = baseNameOf(directory) + '/' + *tail;
        directory = parentOf(directory);
    }
}

} // namespace

SourceExcludes::SourceExcludes(const QList<QByteArray> &globs)
    : m_globs(IgnorePatterns::fromGlobs(globs))
    , m_workingDirectory(QFile::encodeName(QDir::currentPath()))
{}

SourceExcludes::Verdict SourceExcludes::verdictFor(const Source &source, SourceDirectories &directories,
                                                   Reporter &reporter)
{
    if (m_globs.excludes(source.relativePath))
        return Verdict::Excluded;
    QByteArray tail;
    QByteArray directory;
    Descriptor opened;
    int directoryFd = -1;
    if (source.fromStandardInput) {
        if (source.relativePath.isEmpty())
            return Verdict::Kept; // a buffer without a name lies in no directory
        opened = nearestDirectoryOf(source.relativePath, &tail);
        directoryFd = opened.get();
        directory = directoryFd < 0 ? QByteArray() : directoryPathOf(directoryFd);
    } else {
        // a tree's directories by their place in it, which a NUL sets apart from any path named
        const QByteArray key =
            source.tree >= 0 ? '\0' + QByteArray::number(source.tree) + '/' + parentOf(source.outputName)
                             : source.directory;
        tail = source.tree >= 0 ? baseNameOf(source.outputName) : source.name;
        directory = m_directoryPaths.value(key);
        if (directory.isEmpty() || !m_byDirectory.contains(directory)) {
            QByteArray name;
            QByteArray problem;
            directoryFd = directories.directoryOf(source, &name, &problem);
            directory = directoryFd < 0 ? QByteArray() : directoryPathOf(directoryFd);
            m_directoryPaths.insert(key, directory);
        }
    }
    // a directory that cannot be reached any more is named when the source is read
    if (directory.isEmpty())
        return Verdict::Kept;
    const Governing &found = governing(directoryFd, directory);
    if (!found.problem.isEmpty()) {
        if (!m_reported.contains(found.problem))
            reporter.message(found.problem + "; nothing formatted");
        m_reported.insert(found.problem);
        return Verdict::Unknown;
    }
    return ignoreFilesExclude(found, joinedPath(directory, tail)) ? Verdict::Excluded : Verdict::Kept;
}

bool SourceExcludes::dropExcluded(std::vector<Source> *sources, const std::vector<SourceTree> &trees,
                                  Reporter &reporter)
{
    SourceDirectories directories(trees);
    bool known = true;
    sources->erase(std::remove_if(sources->begin(), sources->end(),
                                  [&](const Source &source) {
                                      const Verdict verdict = verdictFor(source, directories, reporter);
                                      known = known && verdict != Verdict::Unknown;
                                      return verdict != Verdict::Kept;
                                  }),
                   sources->end());
    return known;
}

const SourceExcludes::Governing &SourceExcludes::governing(int directoryFd, const QByteArray &path)
{
    const auto known = m_byDirectory.constFind(path);
    if (known != m_byDirectory.constEnd())
        return known.value();
    Governing here;
    struct stat status;
    struct stat above;
    Descriptor parent(::openat(directoryFd, "..", O_PATH | O_DIRECTORY | O_CLOEXEC));
    // up to the root, or to a directory above that may not be looked into
    if (path != "/" && parent.get() >= 0 && ::fstat(directoryFd, &status) == 0 &&
        ::fstat(parent.get(), &above) == 0 && !sameDirectory(status, above))
        here = governing(parent.get(), parentOf(path));
    if (here.problem.isEmpty()) {
        if (std::shared_ptr<const IgnoreFile> file = readIgnoreFile(directoryFd, path, &here.problem))
            here.files.append(std::move(file));
    }
    return m_byDirectory.insert(path, here).value();
}

std::shared_ptr<const SourceExcludes::IgnoreFile>
SourceExcludes::readIgnoreFile(int directoryFd, const QByteArray &path, QByteArray *problem)
{
    const QByteArray shown = shownFrom(m_workingDirectory, joinedPath(path, IgnoreFileName));
    // a link could make a repository's ignore file out of any file of the reader's
    Descriptor fd(
        ::openat(directoryFd, IgnoreFileName, O_RDONLY | O_NONBLOCK | O_NOCTTY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0) {
        if (errno != ENOENT)
            *problem =
                shown + ": " +
                (errno == ELOOP ? QByteArray("a symbolic link; an ignore file is read only where it lies")
                                : errnoText(errno));
        return nullptr;
    }
    const RegularFileRead read = readRegularDescriptor(fd.get(), IgnoreFileSizeLimit);
    switch (read.status) {
    case RegularFileRead::Status::Read:
        return std::make_shared<const IgnoreFile>(IgnoreFile{path, IgnorePatterns::fromFile(read.bytes)});
    case RegularFileRead::Status::NotRegular:
        *problem = shown + ": not a regular file";
        break;
    case RegularFileRead::Status::TooLarge:
        *problem = shown + ": larger than " + QByteArray::number(IgnoreFileSizeLimit >> 20) +
                   " MiB, too large for an ignore file";
        break;
    case RegularFileRead::Status::Failed:
        *problem = shown + ": " + errnoText(read.error);
        break;
    }
    return nullptr;
}

// Each leading directory of path, then path itself, is asked of the ignore files whose directory holds
// it, the nearest first; the first that has a matching pattern decides, and a directory left out
// leaves out everything below it.
bool SourceExcludes::ignoreFilesExclude(const Governing &found, const QByteArray &path) const
{
    if (found.files.isEmpty())
        return false;
    const QList<QByteArray> names = pathNames(path);
    QByteArray entry;
    for (qsizetype index = 0; index < names.size(); ++index) {
        entry += '/' + names.at(index);
        const bool isDirectory = index + 1 < names.size();
        for (auto file = found.files.crbegin(); file != found.files.crend(); ++file) {
            const QByteArray &directory = (*file)->directory;
            const QByteArray prefix = directory.endsWith('/') ? directory : directory + '/';
            if (!entry.startsWith(prefix))
                continue;
            const IgnorePatterns::Verdict verdict =
                (*file)->patterns.verdict(entry.mid(prefix.size()), isDirectory);
            if (verdict == IgnorePatterns::Verdict::Excluded)
                return true;
            if (verdict == IgnorePatterns::Verdict::Included)
                break;
        }
    }
    return false;
}
