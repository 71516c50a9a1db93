#include "SourceAccess.h"

#include "FormatReporter.h"

#include <cerrno>

#include <fcntl.h>
#include <unistd.h>

namespace {

QByteArray unreachable(int error)
{
    if (error == ELOOP || error == ENOTDIR)
        return "a link or a file has taken the place of its directory since the scan; left as it is";
    if (error == ESTALE)
        return "another directory has taken the place of its directory since the scan; left as it is";
    return errnoText(error);
}

} // namespace

SourceDirectories::SourceDirectories(const std::vector<SourceTree> &trees)
{
    m_trees.reserve(trees.size());
    for (const SourceTree &tree : trees)
        m_trees.emplace_back(tree);
}

int SourceDirectories::directoryOf(const Source &source, QByteArray *name, QByteArray *problem)
{
    if (source.tree >= 0) {
        int error = 0;
        const int fd = m_trees.at(std::size_t(source.tree)).directoryOf(source.outputName, name, &error);
        if (fd < 0)
            *problem = unreachable(error);
        return fd;
    }
    *name = source.name;
    if (m_named.get() >= 0 && m_namedPath == source.directory)
        return m_named.get();
    m_named.reset(::open(source.directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    m_namedPath = source.directory;
    if (m_named.get() < 0)
        *problem = errnoText(errno);
    return m_named.get();
}

Descriptor openSourceAt(int directoryFd, const QByteArray &name, bool followLink, struct stat *status,
                        QByteArray *problem, int *error)
{
    Descriptor fd(::openat(directoryFd, name.constData(),
                           O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC | (followLink ? 0 : O_NOFOLLOW)));
    *error = fd.get() < 0 ? errno : 0;
    if (fd.get() < 0 || ::fstat(fd.get(), status) != 0) {
        *error = *error ? *error : errno;
        *problem = errnoText(*error);
        return Descriptor();
    }
    if (!S_ISREG(status->st_mode)) {
        *problem = "not a regular file (any more); left as it is";
        return Descriptor();
    }
    return fd;
}
