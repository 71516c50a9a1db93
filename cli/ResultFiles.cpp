#include "ResultFiles.h"

#include "FormatReporter.h"
#include "FormatSources.h"

#include <QRandomGenerator>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include <dirent.h>
#include <fcntl.h>
#include <grp.h>
#include <pwd.h>
#include <signal.h>
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

const QByteArray LeftoverMark = ".zabo-";

// A hidden file beside name, named after it and after this process, that did not exist before.
Descriptor createBeside(int directoryFd, const QByteArray &name, QByteArray *temporary)
{
    for (int attempt = 0; attempt < 100; ++attempt) {
        *temporary = '.' + name.left(200) + LeftoverMark + QByteArray::number(qint64(::getpid())) + '-' +
                     QByteArray::number(QRandomGenerator::global()->generate64(), 36);
        Descriptor fd(::openat(directoryFd, temporary->constData(),
                               O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (fd.get() >= 0 || errno != EEXIST)
            return fd;
    }
    return Descriptor();
}

QByteArray userName(uid_t user)
{
    const struct passwd *entry = ::getpwuid(user);
    return (entry ? QByteArray(entry->pw_name) + ' ' : QByteArray()) + '(' + QByteArray::number(user) + ')';
}

QByteArray groupName(gid_t group)
{
    const struct group *entry = ::getgrgid(group);
    return (entry ? QByteArray(entry->gr_name) + ' ' : QByteArray()) + '(' + QByteArray::number(group) + ')';
}

} // namespace

qint64 leftoverOwner(const QByteArray &entry)
{
    const qsizetype mark = entry.lastIndexOf(LeftoverMark);
    if (!entry.startsWith('.') || mark < 2)
        return -1;
    const QList<QByteArray> parts = entry.mid(mark + LeftoverMark.size()).split('-');
    const auto isAll = [](const QByteArray &part, const char *allowed) {
        return !part.isEmpty() &&
               std::all_of(part.cbegin(), part.cend(), [&](char c) { return std::strchr(allowed, c); });
    };
    if (parts.size() != 2 || !isAll(parts.at(0), "0123456789") ||
        !isAll(parts.at(1), "0123456789abcdefghijklmnopqrstuvwxyz"))
        return -1;
    bool ok = false;
    const qint64 pid = parts.at(0).toLongLong(&ok);
    return ok && pid > 0 ? pid : -1;
}

int removeLeftoversAt(int directoryFd)
{
    DIR *directory = ::fdopendir(::dup(directoryFd));
    if (!directory)
        return 0;
    QList<QByteArray> gone;
    while (const dirent *entry = ::readdir(directory)) {
        const QByteArray name(entry->d_name);
        const qint64 owner = leftoverOwner(name);
        struct stat status;
        // only our own regular files, and only when the process that made them no longer runs
        if (owner > 0 && ::kill(pid_t(owner), 0) != 0 && errno == ESRCH &&
            ::fstatat(directoryFd, name.constData(), &status, AT_SYMLINK_NOFOLLOW) == 0 &&
            S_ISREG(status.st_mode) && status.st_uid == ::geteuid())
            gone.append(name);
    }
    ::closedir(directory);
    int removed = 0;
    for (const QByteArray &name : std::as_const(gone))
        removed += ::unlinkat(directoryFd, name.constData(), 0) == 0 ? 1 : 0;
    return removed;
}

bool mayWrite(const struct stat &status)
{
    const uid_t user = ::geteuid();
    if (user == 0 || user == status.st_uid) // root stands for the owner
        return status.st_mode & S_IWUSR;
    bool inGroup = ::getegid() == status.st_gid;
    const int count = ::getgroups(0, nullptr);
    if (!inGroup && count > 0) {
        std::vector<gid_t> groups(std::size_t(count), 0);
        const int got = ::getgroups(count, groups.data());
        inGroup = std::find(groups.begin(), groups.begin() + std::max(got, 0), status.st_gid) !=
                  groups.begin() + std::max(got, 0);
    }
    return status.st_mode & (inGroup ? S_IWGRP : S_IWOTH);
}

bool replaceFileAt(int directoryFd, const QByteArray &name, const QByteArray &bytes,
                   const struct stat &expected, const ReplaceRules &rules, QByteArray *problem,
                   QList<QByteArray> *losses)
{
    struct stat now;
    const auto unchanged = [&] {
        return ::fstatat(directoryFd, name.constData(), &now, AT_SYMLINK_NOFOLLOW) == 0 &&
               S_ISREG(now.st_mode) && sameFileState(now, expected);
    };
    if (!unchanged()) {
        *problem = "it changed while being formatted; left as it is";
        return false;
    }
    if (now.st_nlink > 1) {
        *problem = "it has " + QByteArray::number(qulonglong(now.st_nlink)) +
                   " hard links, and a new file would leave the other names with the old text; left as it is";
        return false;
    }
    if (!rules.forceReadOnly && !mayWrite(now)) {
        *problem = "it is read-only; left as it is (--force-read-only rewrites it, keeping it read-only)";
        return false;
    }

    QByteArray temporary;
    Descriptor fd = createBeside(directoryFd, name, &temporary);
    if (fd.get() < 0) {
        *problem = "cannot create a file beside it: " + errnoText(errno);
        return false;
    }
    const auto fail = [&](const QByteArray &what, int error) {
        ::unlinkat(directoryFd, temporary.constData(), 0);
        *problem = what + errnoText(error);
        return false;
    };
    // owner and group first, the mode after the bytes: changing the owner, and a write by a user
    // without the privilege to keep them, clear the set-user-ID and set-group-ID bits
    // (the group alone where the owner cannot be kept; what is lost is checked and named below)
    [[maybe_unused]] const bool ownershipKept = ::fchown(fd.get(), expected.st_uid, expected.st_gid) == 0 ||
                                                ::fchown(fd.get(), uid_t(-1), expected.st_gid) == 0;
    int error = 0;
    if (!writeWhole(fd.get(), bytes, &error))
        return fail("cannot write: ", error);
    if (::fchmod(fd.get(), expected.st_mode & 07777) != 0)
        return fail("cannot keep its mode: ", errno);
    if (rules.keepModificationTime) {
        const struct timespec times[2] = {expected.st_atim, expected.st_mtim};
        if (::futimens(fd.get(), times) != 0)
            return fail("cannot keep its modification time: ", errno);
    }
    struct stat written;
    if (::fsync(fd.get()) != 0 || ::fstat(fd.get(), &written) != 0)
        return fail("cannot write: ", errno);
    if (::close(fd.release()) != 0)
        return fail("cannot write: ", errno);
    if (!unchanged()) {
        ::unlinkat(directoryFd, temporary.constData(), 0);
        *problem = "it changed while being formatted; left as it is";
        return false;
    }
    if (::renameat(directoryFd, temporary.constData(), directoryFd, name.constData()) != 0)
        return fail("cannot replace it: ", errno);
    if (written.st_uid != expected.st_uid)
        losses->append("its owner is now " + userName(written.st_uid) + " instead of " +
                       userName(expected.st_uid) + " (only root can keep another user's file theirs)");
    if (written.st_gid != expected.st_gid)
        losses->append("its group is now " + groupName(written.st_gid) + " instead of " +
                       groupName(expected.st_gid) + " (a user can keep only a group of their own)");
    return true;
}

bool writeNewFileAt(int directoryFd, const QByteArray &relative, const QByteArray &bytes,
                    const struct stat &source, bool keepModificationTime, QByteArray *problem)
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
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, source.st_mode & 0777));
    if (fd.get() < 0) {
        *problem = errnoText(errno);
        return false;
    }
    // the file is this run's own (O_EXCL): what a failure left of it goes, so that no cut copy stays
    const auto fail = [&](const QByteArray &what) {
        fd.reset();
        ::unlinkat(parent.get(), name.constData(), 0);
        *problem = what + "; nothing of it was kept";
        return false;
    };
    if (!writeWhole(fd.get(), bytes, &error))
        return fail(errnoText(error));
    const struct timespec times[2] = {source.st_atim, source.st_mtim};
    if (keepModificationTime && ::futimens(fd.get(), times) != 0)
        return fail("cannot keep its modification time: " + errnoText(errno));
    if (::close(fd.release()) != 0)
        return fail(errnoText(errno));
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
