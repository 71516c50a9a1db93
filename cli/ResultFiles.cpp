#include "ResultFiles.h"

#include "FormatReporter.h"
#include "FormatSources.h"

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <unistd.h>

bool sameFileState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

namespace {

// Opens (making it when missing) every directory of relative below baseFd; returns the last one's
// descriptor.
int openDirectoryChain(int baseFd, const QByteArray &relative, int *error)
{
    int current = ::dup(baseFd);
    for (const QByteArray &part : relative.split('/')) {
        if (part.isEmpty() || current < 0)
            continue;
        if (::mkdirat(current, part.constData(), 0777) != 0 && errno != EEXIST) {
            *error = errno;
            ::close(current);
            return -1;
        }
        const int next = ::openat(current, part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
        *error = errno;
        ::close(current);
        current = next;
    }
    return current;
}

} // namespace

bool replaceAtomically(const QByteArray &path, const QByteArray &bytes, const struct stat &expected,
                       QByteArray *problem)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved)) {
        *problem = errnoText(errno);
        return false;
    }
    const QByteArray target(resolved);
    QByteArray temporary = parentOf(target) + "/." + baseNameOf(target) + ".zabo-XXXXXX";
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        *problem = "cannot create a file beside it: " + errnoText(errno);
        return false;
    }
    const auto fail = [&](const QByteArray &what, int error) {
        ::unlink(temporary.constData());
        *problem = what + errnoText(error);
        return false;
    };
    int error = 0;
    if (::fchmod(fd.get(), expected.st_mode & 07777) != 0)
        return fail("cannot keep its mode: ", errno);
    // keeps the group where the user may; the owner can only be kept by root
    if (::fchown(fd.get(), expected.st_uid, expected.st_gid) != 0)
        (void)::fchown(fd.get(), uid_t(-1), expected.st_gid);
    if (!writeWhole(fd.get(), bytes, &error))
        return fail("cannot write: ", error);
    if (::fsync(fd.get()) != 0)
        return fail("cannot write: ", errno);
    if (::close(fd.release()) != 0)
        return fail("cannot write: ", errno);
    struct stat now;
    if (::stat(target.constData(), &now) != 0 || !sameFileState(now, expected)) {
        ::unlink(temporary.constData());
        *problem = "it changed while being formatted; left as it is";
        return false;
    }
    if (::rename(temporary.constData(), target.constData()) != 0)
        return fail("cannot replace it: ", errno);
    return true;
}

bool writeNewFileAt(int directoryFd, const QByteArray &relative, const QByteArray &bytes, mode_t mode,
                    QByteArray *problem)
{
    const qsizetype slash = relative.lastIndexOf('/');
    int error = 0;
    Descriptor parent(slash < 0 ? ::dup(directoryFd)
                                : openDirectoryChain(directoryFd, relative.left(slash), &error));
    if (parent.get() < 0) {
        *problem = "cannot make its directory: " + errnoText(error ? error : errno);
        return false;
    }
    const QByteArray name = slash < 0 ? relative : relative.mid(slash + 1);
    Descriptor fd(::openat(parent.get(), name.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777));
    if (fd.get() < 0) {
        *problem = errnoText(errno);
        return false;
    }
    if (!writeWhole(fd.get(), bytes, &error)) {
        *problem = errnoText(error);
        return false;
    }
    if (::close(fd.release()) != 0) {
        *problem = errnoText(errno);
        return false;
    }
    return true;
}

Descriptor prepareOutputDirectory(const QByteArray &directory, Reporter &reporter)
{
    QByteArray partial;
    for (const QByteArray &part : directory.split('/')) {
        partial += part;
        if (!part.isEmpty() && ::mkdir(partial.constData(), 0777) != 0 && errno != EEXIST) {
            reporter.message(partial + ": cannot create the directory: " + errnoText(errno));
            return Descriptor();
        }
        partial += '/';
    }
    Descriptor fd(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) {
        reporter.message(directory + ": cannot open the output directory: " + errnoText(errno));
        return Descriptor();
    }
    DIR *dir = ::fdopendir(::dup(fd.get()));
    bool empty = dir != nullptr;
    while (dir) {
        const dirent *entry = ::readdir(dir);
        if (!entry)
            break;
        if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0) {
            empty = false;
            break;
        }
    }
    if (dir)
        ::closedir(dir);
    if (!empty) {
        reporter.message(directory + ": the output directory must be new or empty");
        return Descriptor();
    }
    return fd;
}
