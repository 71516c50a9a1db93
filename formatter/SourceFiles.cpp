#include "SourceFiles.h"

#include <QRegularExpression>

#include <QFile>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <set>
#include <utility>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Every entry's name straight from the directory, decoded as UTF-8. QDir leaves out names that are not
// valid UTF-8; here they come through (with U+FFFD), so a job can name them instead of skipping them
// silently.
QStringList allEntryNames(const QString &directory, bool *readable = nullptr)
{
    QStringList names;
    DIR *dir = ::opendir(QFile::encodeName(directory).constData());
    if (readable)
        *readable = dir != nullptr;
    if (!dir)
        return names;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            names.append(QString::fromUtf8(name));
    }
    ::closedir(dir);
    return names;
}

QString entryPath(const QString &directory, const QString &name)
{
    return directory.endsWith(QLatin1Char('/')) ? directory + name : directory + QLatin1Char('/') + name;
}

} // namespace

const QStringList &sourceExtensions()
{
    static const QStringList extensions = {QStringLiteral(".c"), QStringLiteral(".h"), QStringLiteral(".cpp"),
                                           QStringLiteral(".hpp")};
    return extensions;
}

QString extensionOf(const QString &fileName)
{
    const int dot = fileName.lastIndexOf(QLatin1Char('.'));
    return dot < 0 ? QString() : fileName.mid(dot);
}

bool hasSourceExtension(const QString &fileName)
{
    return sourceExtensions().contains(extensionOf(fileName));
}

QStringList scanSourceDirectory(const QString &directory, bool *readable)
{
    const QStringList names = allEntryNames(directory, readable);
    QStringList paths;
    for (const QString &extension : sourceExtensions()) {
        QStringList pass;
        for (const QString &name : names) {
            if (extensionOf(name) == extension)
                pass.append(name);
        }
        // Plain code-unit order, so a job's order does not depend on the locale.
        std::sort(pass.begin(), pass.end());
        for (const QString &name : pass)
            paths.append(entryPath(directory, name));
    }
    return paths;
}

namespace {

bool hasSourceExtension(const QByteArray &name)
{
    const qsizetype dot = name.lastIndexOf('.');
    if (dot < 0)
        return false;
    const QByteArray extension = name.mid(dot);
    return extension == ".c" || extension == ".h" || extension == ".cpp" || extension == ".hpp";
}

int sourceGroup(const QByteArray &name)
{
    const QByteArray extension = name.mid(name.lastIndexOf('.'));
    for (int group = 0; group < sourceExtensions().size(); ++group) {
        if (extension == sourceExtensions().at(group).toLatin1())
            return group;
    }
    return int(sourceExtensions().size());
}

struct TreeEntry
{
    QByteArray name;
    unsigned char type = DT_UNKNOWN;
};

// Every entry of the open directory but "." and ".."; false when the listing failed part way.
bool listDirectory(int directoryFd, QList<TreeEntry> *entries)
{
    const int listingFd = ::dup(directoryFd);
    if (listingFd < 0)
        return false;
    DIR *dir = ::fdopendir(listingFd);
    if (!dir) {
        ::close(listingFd);
        return false;
    }
    errno = 0;
    while (const dirent *entry = ::readdir(dir)) {
        const char *name = entry->d_name;
        if (std::strcmp(name, ".") != 0 && std::strcmp(name, "..") != 0)
            entries->append(TreeEntry{QByteArray(name), entry->d_type});
        errno = 0;
    }
    const bool complete = errno == 0;
    ::closedir(dir);
    return complete;
}

class TreeScan
{
public:
    TreeScan(SourceTree &tree, bool recursive)
        : m_tree(tree)
        , m_recursive(recursive)
    {}

    // Takes ownership of directoryFd.
    void scan(int directoryFd, const QByteArray &relative)
    {
        struct stat status;
        if (::fstat(directoryFd, &status) != 0 || !m_visited.insert({status.st_dev, status.st_ino}).second) {
            ::close(directoryFd);
            return;
        }
        m_tree.directories.insert(relative, {quint64(status.st_dev), quint64(status.st_ino)});
        QList<TreeEntry> entries;
        if (!listDirectory(directoryFd, &entries)) {
            if (relative.isEmpty())
                m_tree.rootReadable = false;
            else
                m_tree.unreadableDirectories.append(relative);
        }

        QList<QByteArray> sources;
        QList<QByteArray> subdirectories;
        for (const TreeEntry &entry : std::as_const(entries)) {
            const bool source = hasSourceExtension(entry.name);
            unsigned char type = entry.type;
            if (type == DT_UNKNOWN) {
                struct stat entryStatus;
                if (::fstatat(directoryFd, entry.name.constData(), &entryStatus, AT_SYMLINK_NOFOLLOW) != 0)
                    continue;
                type = S_ISDIR(entryStatus.st_mode)   ? DT_DIR
                       : S_ISREG(entryStatus.st_mode) ? DT_REG
                       : S_ISLNK(entryStatus.st_mode) ? DT_LNK
                                                      : DT_FIFO;
            }
            if (type == DT_DIR) {
                if (m_recursive && !entry.name.startsWith('.'))
                    subdirectories.append(entry.name);
                continue;
            }
            if (!source)
                continue;
            bool regular = type == DT_REG;
            if (type == DT_LNK) {
                // a link counts as the file it leads to; one that leads to a directory is not followed
                struct stat target;
                const bool resolved = ::fstatat(directoryFd, entry.name.constData(), &target, 0) == 0;
                if (resolved && S_ISDIR(target.st_mode))
                    continue;
                regular = resolved && S_ISREG(target.st_mode);
            }
            if (regular)
                sources.append(entry.name);
            else
                m_tree.skipped.append(joined(relative, entry.name));
        }

        // Plain byte order, so the order does not depend on the locale.
        std::sort(sources.begin(), sources.end(), [](const QByteArray &a, const QByteArray &b) {
            const int groupA = sourceGroup(a);
            const int groupB = sourceGroup(b);
            return groupA != groupB ? groupA < groupB : a < b;
        });
        for (const QByteArray &name : std::as_const(sources))
            m_tree.files.append(joined(relative, name));

        std::sort(subdirectories.begin(), subdirectories.end());
        for (const QByteArray &name : std::as_const(subdirectories)) {
            const int childFd =
                ::openat(directoryFd, name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC);
            if (childFd < 0) {
                m_tree.unreadableDirectories.append(joined(relative, name));
                continue;
            }
            scan(childFd, joined(relative, name));
        }
        ::close(directoryFd);
    }

private:
    static QByteArray joined(const QByteArray &relative, const QByteArray &name)
    {
        return relative.isEmpty() ? name : relative + '/' + name;
    }

    SourceTree &m_tree;
    bool m_recursive;
    std::set<std::pair<dev_t, ino_t>> m_visited;
};

} // namespace

SourceTree scanSourceTree(const QByteArray &nativeRoot, bool recursive)
{
    SourceTree tree;
    const int rootFd = ::open(nativeRoot.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (rootFd < 0)
        return tree;
    tree.rootReadable = true;
    const int scanFd = ::dup(rootFd);
    tree.root = std::make_shared<const Descriptor>(rootFd);
    if (scanFd < 0)
        tree.rootReadable = false;
    else
        TreeScan(tree, recursive).scan(scanFd, QByteArray());
    return tree;
}

SourceTree scanSourceTree(const QString &root, bool recursive)
{
    return scanSourceTree(QFile::encodeName(root), recursive);
}

ScannedDirectories::ScannedDirectories(const SourceTree &tree)
    : m_tree(tree)
{}

int ScannedDirectories::directoryOf(const QByteArray &file, QByteArray *name, int *error)
{
    const qsizetype slash = file.lastIndexOf('/');
    const QByteArray directory = slash < 0 ? QByteArray() : file.left(slash);
    *name = file.mid(slash + 1);
    if (m_open.get() >= 0 && m_openPath == directory)
        return m_open.get();
    m_open.reset();
    if (!m_tree.root || m_tree.root->get() < 0) {
        *error = EBADF;
        return -1;
    }
    Descriptor current(::dup(m_tree.root->get()));
    QByteArray reached;
    const QList<QByteArray> parts = directory.isEmpty() ? QList<QByteArray>() : directory.split('/');
    for (const QByteArray &part : parts) {
        Descriptor next(
            ::openat(current.get(), part.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        reached = reached.isEmpty() ? part : reached + '/' + part;
        struct stat status;
        if (next.get() < 0 || ::fstat(next.get(), &status) != 0) {
            *error = errno;
            return -1;
        }
        const auto scanned = m_tree.directories.constFind(reached);
        if (scanned == m_tree.directories.constEnd() || scanned->first != quint64(status.st_dev) ||
            scanned->second != quint64(status.st_ino)) {
            *error = ESTALE;
            return -1;
        }
        current = std::move(next);
    }
    if (current.get() < 0) {
        *error = errno;
        return -1;
    }
    m_openPath = directory;
    m_open = std::move(current);
    return m_open.get();
}

QString cppSign(const QString &fileName, const QByteArray &source)
{
    static const QStringList cppExtensions{QStringLiteral(".cpp"), QStringLiteral(".hpp"),
                                           QStringLiteral(".cc"),  QStringLiteral(".cxx"),
                                           QStringLiteral(".hh"),  QStringLiteral(".hxx")};
    const QString extension = extensionOf(fileName);
    if (cppExtensions.contains(extension))
        return extension;
    // constructs C has no use for, each at the start of a line or as a whole word
    static const QRegularExpression construct(QStringLiteral(
        R"((?m)^\s*(template\s*<)|^\s*(namespace)\s+\w*\s*\{|^\s*(class)\s+\w+\s*(?:final\s*)?[:{]|\b(std::)\w|)"
        R"(^\s*(public|private|protected)\s*:\s*$|\b(nullptr)\b|(\[[&=]?\]\s*\()|^\s*(using\s+namespace)\b|)"
        R"(^\s*#\s*include\s*<(iostream|vector|string|memory|map|algorithm|cstdio|cstdlib|cstring)>)"));
    const QRegularExpressionMatch match = construct.match(QString::fromLatin1(source.left(CppScanBytes)));
    if (!match.hasMatch())
        return {};
    for (int group = 1; group <= match.lastCapturedIndex(); ++group) {
        if (!match.captured(group).isEmpty())
            return match.captured(group).simplified();
    }
    return {};
}
