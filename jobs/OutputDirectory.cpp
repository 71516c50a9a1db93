#include "OutputDirectory.h"

#include "Descriptor.h"
#include "SourceFiles.h"

#include <QFile>

#include <cerrno>
#include <cstring>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

QString tr8(const char *text)
{
    return QString::fromUtf8(text);
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

} // namespace

OutputDirectory::~OutputDirectory()
{
    if (m_fd >= 0)
        ::close(m_fd);
}

QString OutputDirectory::make(const QString &path)
{
    const QByteArray name = QFile::encodeName(path);
    if (::mkdir(name.constData(), 0755) != 0)
        return errno == EEXIST ? tr8("目录已存在") : tr8("无法创建目录：") + systemError(errno);
    Descriptor fd(::open(name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
    if (fd.get() < 0)
        return tr8("目录创建后无法打开（可能已被替换）：") + systemError(errno);
    // what we opened must be the empty directory of ours just made, not one swapped in for it
    struct stat status;
    if (::fstat(fd.get(), &status) != 0 || status.st_uid != ::geteuid())
        return tr8("目录创建后已被替换");
    DIR *listing = ::fdopendir(::dup(fd.get()));
    if (!listing)
        return tr8("无法读取目录：") + systemError(errno);
    // a duplicate shares the read position with the handle: every listing starts from the beginning
    ::rewinddir(listing);
    bool empty = true;
    while (const dirent *entry = ::readdir(listing)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            empty = false;
    }
    ::closedir(listing);
    if (!empty)
        return tr8("目录创建后已被替换");
    // nobody else may add, rename or swap entries inside while the job works through it; a file
    // system without permissions (a FAT stick) refuses, and has nothing to protect either
    ::fchmod(fd.get(), status.st_mode & 0755);
    m_fd = fd.release();
    return {};
}

QString OutputDirectory::makeSubdirectory(const QByteArray &relativePath)
{
    if (::mkdirat(m_fd, relativePath.constData(), 0755) != 0)
        return tr8("无法创建子目录：") + systemError(errno);
    return {};
}

QString OutputDirectory::copyIn(int sourceFd, const QByteArray &relativeName)
{
    // an absolute name would leave the directory behind; openat would follow it anywhere
    if (relativeName.isEmpty() || relativeName.startsWith('/'))
        return tr8("无效的文件名");
    struct stat status;
    if (::fstat(sourceFd, &status) != 0)
        return tr8("无法读取：") + systemError(errno);
    if (!S_ISREG(status.st_mode))
        return tr8("不是普通文件");

    const mode_t mode = (status.st_mode & 0777) | S_IRUSR | S_IWUSR;
    // O_EXCL and O_NOFOLLOW: never write over an earlier copy or through a link
    Descriptor out(
        ::openat(m_fd, relativeName.constData(), O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode));
    if (out.get() < 0)
        return errno == EEXIST ? tr8("整理代码目录中已有同名文件")
                               : tr8("无法创建副本：") + systemError(errno);

    const auto fail = [&](const char *what, int error) {
        ::unlinkat(m_fd, relativeName.constData(), 0);
        return tr8(what) + systemError(error);
    };
    // in the kernel where it can: one call for a whole source instead of a read and a write per block
    bool byHand = false;
    for (bool first = true;; first = false) {
        const ssize_t moved = ::copy_file_range(sourceFd, nullptr, out.get(), nullptr, 1 << 30, 0);
        if (moved < 0 && errno == EINTR)
            continue;
        // not between these file systems, or a file that tells no size (proc): copy by hand
        if (first &&
            ((moved < 0 && (errno == EXDEV || errno == ENOSYS || errno == EINVAL || errno == EOPNOTSUPP)) ||
             (moved == 0 && status.st_size == 0))) {
            byHand = true;
            break;
        }
        if (moved < 0)
            return fail("写入副本失败：", errno);
        if (moved == 0)
            break;
    }
    char buffer[64 * 1024];
    while (byHand) {
        const ssize_t got = ::read(sourceFd, buffer, sizeof buffer);
        if (got < 0 && errno == EINTR)
            continue;
        if (got < 0)
            return fail("读取失败：", errno);
        if (got == 0)
            break;
        int error = 0;
        if (!writeWhole(out.get(), buffer, got, &error))
            return fail("写入副本失败：", error);
    }
    // the mode given to open passed through the umask; the copy belongs to the job and must be writable
    if (::fchmod(out.get(), mode) != 0)
        return fail("无法将副本设为可写：", errno);
    if (::close(out.release()) != 0)
        return fail("写入副本失败：", errno);
    return {};
}

QString OutputDirectory::restore(int sourceFd, const QByteArray &relativeName)
{
    if (::unlinkat(m_fd, relativeName.constData(), 0) != 0 && errno != ENOENT)
        return tr8("无法删除未整理完的文件：") + systemError(errno);
    return copyIn(sourceFd, relativeName);
}

void OutputDirectory::RemoveNonSourceFiles(const QString &relativeDirectory,
                                           const QSet<QByteArray> &keep) const
{
    const int fd = relativeDirectory.isEmpty()
                       ? ::dup(m_fd)
                       : ::openat(m_fd, QFile::encodeName(relativeDirectory).constData(),
                                  O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
    if (fd < 0)
        return;
    DIR *listing = ::fdopendir(fd);
    if (!listing) {
        ::close(fd);
        return;
    }
    ::rewinddir(listing);
    QByteArrayList doomed;
    while (const dirent *entry = ::readdir(listing)) {
        const QByteArray name(entry->d_name);
        if (name == "." || name == ".." || keep.contains(name) || hasSourceExtension(QFile::decodeName(name)))
            continue;
        doomed.append(name);
    }
    for (const QByteArray &name : doomed)
        ::unlinkat(::dirfd(listing), name.constData(), 0);
    ::closedir(listing);
}

qint64 OutputDirectory::freeBytes() const
{
    struct statvfs status;
    if (::fstatvfs(m_fd, &status) != 0)
        return -1;
    return qint64(status.f_bavail) * qint64(status.f_frsize);
}

qint64 freeBytesAt(const QString &path)
{
    struct statvfs status;
    if (::statvfs(QFile::encodeName(path).constData(), &status) != 0)
        return -1;
    return qint64(status.f_bavail) * qint64(status.f_frsize);
}
