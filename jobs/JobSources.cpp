#include "JobSources.h"

#include <QFile>

#include <cerrno>
#include <cstring>

#include <fcntl.h>
#include <sys/stat.h>

namespace {

QString tr8(const char *text)
{
    return QString::fromUtf8(text);
}

QString openFailure(int error)
{
    return error == ENOENT ? tr8("文件不存在")
                           : tr8("无法打开：") + QString::fromLocal8Bit(std::strerror(error));
}

constexpr int ReadFlags = O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC;

} // namespace

JobSources::JobSources(const QString &rootPrefix, int rootFd)
    : m_rootPrefix(rootPrefix)
    , m_rootFd(rootFd)
{}

JobSources::Opened JobSources::open(const QString &source)
{
    Opened opened;
    const bool belowRoot = m_rootFd >= 0 && source.startsWith(m_rootPrefix);
    const int fd = belowRoot ? openAtRoot(QFile::encodeName(source.mid(m_rootPrefix.size())), &opened)
                             : ::open(QFile::encodeName(source).constData(), ReadFlags);
    if (fd < 0) {
        if (opened.failure.isEmpty())
            opened.failure = openFailure(errno);
        return opened;
    }
    opened.fd.reset(fd);
    struct stat status;
    if (::fstat(fd, &status) != 0)
        opened.failure = tr8("无法读取：") + QString::fromLocal8Bit(std::strerror(errno));
    else if (S_ISDIR(status.st_mode))
        opened.failure = tr8("这是一个目录，不是文件");
    else if (!S_ISREG(status.st_mode))
        opened.failure = tr8("不是普通文件");
    if (!opened.failure.isEmpty()) {
        opened.fd.reset();
        return opened;
    }
    const std::pair<dev_t, ino_t> identity{status.st_dev, status.st_ino};
    const auto known = m_identities.constFind(source);
    if (known == m_identities.cend()) {
        m_identities.insert(source, identity);
    } else if (*known != identity) {
        opened.fd.reset();
        opened.replaced = true;
        opened.failure = tr8("开始整理后已被替换为另一个文件");
        return opened;
    }
    opened.size = qint64(status.st_size);
    return opened;
}

void JobSources::closeFolder()
{
    m_folderFd.reset();
    m_folder.clear();
}

int JobSources::openAtRoot(const QByteArray &relative, Opened *opened)
{
    const qsizetype slash = relative.lastIndexOf('/');
    const int folder = slash < 0 ? m_rootFd : folderOf(relative.left(slash), opened);
    if (folder < 0)
        return -1;
    return ::openat(folder, relative.constData() + slash + 1, ReadFlags);
}

int JobSources::folderOf(const QByteArray &relativeFolder, Opened *opened)
{
    if (m_folderFd.get() >= 0 && m_folder == relativeFolder)
        return m_folderFd.get();
    m_folderFd.reset();
    Descriptor folder;
    int at = m_rootFd;
    for (const QByteArray &name : relativeFolder.split('/')) {
        folder.reset(::openat(at, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (folder.get() < 0) {
            const int error = errno;
            // a link, or a file, where the scan found a folder
            opened->replaced = error == ELOOP || error == ENOTDIR;
            opened->failure =
                opened->replaced ? tr8("所在的目录已被替换（例如换成了指向别处的链接）") : openFailure(error);
            return -1;
        }
        at = folder.get();
        // each step's descriptor is released by the next reset; the last is kept
    }
    m_folder = relativeFolder;
    m_folderFd = std::move(folder);
    return m_folderFd.get();
}
