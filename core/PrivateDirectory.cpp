#include "PrivateDirectory.h"

#include <QFile>
#include <QList>

#include <algorithm>

#include <memory>
#include <mutex>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

constexpr int RandomLength = 6; // mkdtemp's XXXXXX
constexpr int DeepestRemoval = 16;

QByteArray withoutTrailingSlashes(QByteArray path)
{
    while (path.endsWith('/'))
        path.chop(1);
    return path;
}

// An absolute path to a directory this process can create entries in; the root itself never counts.
bool isUsableTemporaryDirectory(const QByteArray &path)
{
    struct stat status;
    return path.startsWith('/') && !withoutTrailingSlashes(path).isEmpty() &&
           ::stat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           ::access(path.constData(), W_OK | X_OK) == 0;
}

QList<QByteArray> entryNames(int directoryFd)
{
    QList<QByteArray> names;
    DIR *dir = ::fdopendir(::dup(directoryFd));
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
            names.append(entry->d_name);
    }
    ::closedir(dir);
    return names;
}

// Empties the open directory without following a link: links are removed, never their targets.
void removeContents(int directoryFd, int depth)
{
    for (const QByteArray &name : entryNames(directoryFd)) {
        if (::unlinkat(directoryFd, name.constData(), 0) == 0 || (errno != EISDIR && errno != EPERM) ||
            depth >= DeepestRemoval)
            continue;
        Descriptor child(
            ::openat(directoryFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (child.get() < 0)
            continue;
        removeContents(child.get(), depth + 1);
        ::unlinkat(directoryFd, name.constData(), AT_REMOVEDIR);
    }
}

QString systemError(int error)
{
    return QString::fromLocal8Bit(std::strerror(error));
}

const QByteArray SharedMemory = "/dev/shm";

const QList<QByteArray> &scratchPrefixes()
{
    static const QList<QByteArray> prefixes = {ScratchPrefix::Formatter, ScratchPrefix::Preview,
                                               ScratchPrefix::Format, ScratchPrefix::Infer,
                                               ScratchPrefix::Runtime};
    return prefixes;
}

// A directory made by PrivateDirectory under one of the prefixes: the prefix and mkdtemp's six characters.
bool isScratchName(const QByteArray &name, const QList<QByteArray> &prefixes)
{
    return std::any_of(prefixes.cbegin(), prefixes.cend(), [&name](const QByteArray &prefix) {
        return !prefix.isEmpty() && name.startsWith(prefix) && name.size() == prefix.size() + RandomLength;
    });
}

// Removes the directories named prefix... below base, for any of the prefixes, that belong to this user
// and that no process holds; returns how many went. It lists the base once whatever the number of prefixes.
int removeStaleBelow(const QByteArray &base, const QList<QByteArray> &prefixes)
{
    Descriptor baseFd(::open(base.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (baseFd.get() < 0)
        return 0;
    int removed = 0;
    for (const QByteArray &name : entryNames(baseFd.get())) {
        if (!isScratchName(name, prefixes))
            continue;
        // a link, a file or a directory swapped in fails here and is left alone
        Descriptor fd(
            ::openat(baseFd.get(), name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        struct stat status;
        if (fd.get() < 0 || ::fstat(fd.get(), &status) != 0 || status.st_uid != ::geteuid())
            continue;
        // a living process holds its own; a lock that cannot be taken for any reason means "in use"
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0)
            continue;
        removeContents(fd.get(), 0);
        if (::unlinkat(baseFd.get(), name.constData(), AT_REMOVEDIR) == 0)
            ++removed;
    }
    return removed;
}

// A directory of this user's that nobody else may enter: not a link, mode 0700 or narrower.
bool isPrivateDirectory(const QByteArray &path)
{
    struct stat status;
    return path.startsWith('/') && !withoutTrailingSlashes(path).isEmpty() &&
           ::lstat(path.constData(), &status) == 0 && S_ISDIR(status.st_mode) &&
           status.st_uid == ::geteuid() && (status.st_mode & 077) == 0 &&
           ::access(path.constData(), W_OK | X_OK) == 0;
}

} // namespace

QByteArray temporaryDirectory(const QByteArray &candidate)
{
    if (isUsableTemporaryDirectory(candidate))
        return withoutTrailingSlashes(candidate);
    if (isUsableTemporaryDirectory("/tmp"))
        return "/tmp";
    return {};
}

QByteArray temporaryDirectory()
{
    return temporaryDirectory(qgetenv("TMPDIR"));
}

QByteArray privateTemporaryRoot(const QByteArray &runtimeDirectory, const QByteArray &temporaryCandidate)
{
    if (isPrivateDirectory(runtimeDirectory))
        return withoutTrailingSlashes(runtimeDirectory);
    return temporaryDirectory(temporaryCandidate);
}

QByteArray privateTemporaryRoot()
{
    return privateTemporaryRoot(qgetenv("XDG_RUNTIME_DIR"), qgetenv("TMPDIR"));
}

QByteArray scratchBase(qint64 bytes)
{
    struct statfs fileSystem;
    if (::statfs(SharedMemory.constData(), &fileSystem) == 0 && fileSystem.f_type == TMPFS_MAGIC &&
        ::access(SharedMemory.constData(), W_OK | X_OK) == 0 &&
        qint64(fileSystem.f_bavail) * qint64(fileSystem.f_bsize) > bytes)
        return SharedMemory;
    return temporaryDirectory();
}

int removeLeftoverScratch()
{
    QList<QByteArray> bases;
    for (const QByteArray &base : {SharedMemory, privateTemporaryRoot(), temporaryDirectory()}) {
        if (!base.isEmpty() && !bases.contains(base))
            bases.append(base);
    }
    int removed = 0;
    for (const QByteArray &base : bases)
        removed += removeStaleBelow(base, scratchPrefixes());
    return removed;
}

bool ensurePrivateRuntimeDirectory(QString *error)
{
    if (isPrivateDirectory(qgetenv("XDG_RUNTIME_DIR")))
        return true;
    static std::unique_ptr<PrivateDirectory> runtime;
    if (!runtime || !runtime->isValid())
        runtime = std::make_unique<PrivateDirectory>(temporaryDirectory(), ScratchPrefix::Runtime);
    if (!runtime->isValid()) {
        if (error)
            *error = runtime->errorString();
        return false;
    }
    return qputenv("XDG_RUNTIME_DIR", runtime->nativePath());
}

PrivateDirectory::PrivateDirectory(const QByteArray &base, const QByteArray &prefix)
{
    static std::once_flag leftoversRemoved;
    std::call_once(leftoversRemoved, [] { removeLeftoverScratch(); });
    if (base.isEmpty()) {
        m_error = QStringLiteral("no usable temporary directory");
        return;
    }
    QList<QByteArray> stale = scratchPrefixes();
    if (!stale.contains(prefix))
        stale.append(prefix);
    removeStaleBelow(base, stale);
    // another start's clean-up may take a directory between mkdtemp and the lock: then make another
    for (int attempt = 0; attempt < 16; ++attempt) {
        QByteArray path = base + '/' + prefix + QByteArray(RandomLength, 'X');
        if (!::mkdtemp(path.data())) {
            m_error = QStringLiteral("cannot create a directory in %1: %2")
                          .arg(QFile::decodeName(base), systemError(errno));
            return;
        }
        Descriptor fd(::open(path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (fd.get() < 0 && errno == ENOENT)
            continue;
        if (fd.get() < 0) {
            m_error = QStringLiteral("cannot open %1: %2").arg(QFile::decodeName(path), systemError(errno));
            ::rmdir(path.constData());
            return;
        }
        // a file system without locks leaves it unlocked, and the clean-up of others then spares it
        if (::flock(fd.get(), LOCK_EX | LOCK_NB) != 0 && errno == EWOULDBLOCK)
            continue;
        struct stat status;
        if (::fstat(fd.get(), &status) != 0 || status.st_nlink == 0)
            continue; // removed by a clean-up before the lock was ours
        m_path = path;
        m_fd = std::move(fd);
        return;
    }
    m_error = QStringLiteral("cannot keep a directory in %1").arg(QFile::decodeName(base));
}

PrivateDirectory::~PrivateDirectory()
{
    if (!isValid())
        return;
    removeContents(m_fd.get(), 0);
    ::rmdir(m_path.constData());
    m_fd.reset(); // the lock goes last, so no clean-up meets a directory being emptied
}

QString PrivateDirectory::path() const
{
    return QFile::decodeName(m_path);
}

QString PrivateDirectory::filePath(const QString &name) const
{
    return path() + QLatin1Char('/') + name;
}
