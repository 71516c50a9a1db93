#include "FormatSources.h"

#include "FormatReporter.h"
#include "SourceFiles.h"

#include <QHash>

#include <cerrno>
#include <climits>
#include <cstdlib>

#include <unistd.h>

QByteArray parentOf(const QByteArray &path)
{
    const qsizetype slash = path.lastIndexOf('/');
    if (slash < 0)
        return ".";
    return slash == 0 ? QByteArray("/") : path.left(slash);
}

QByteArray baseNameOf(QByteArray path)
{
    while (path.size() > 1 && path.endsWith('/'))
        path.chop(1);
    const qsizetype slash = path.lastIndexOf('/');
    return slash < 0 ? path : path.mid(slash + 1);
}

QByteArray joinedPath(const QByteArray &directory, const QByteArray &relative)
{
    return directory.endsWith('/') ? directory + relative : directory + '/' + relative;
}

QByteArray directoryPathOf(int fd)
{
    char target[4096];
    const QByteArray link = "/proc/self/fd/" + QByteArray::number(fd);
    const ssize_t length = ::readlink(link.constData(), target, sizeof target);
    if (length <= 0 || size_t(length) >= sizeof target || target[0] != '/')
        return QByteArray();
    return QByteArray(target, int(length));
}

QByteArray shownFrom(const QByteArray &workingDirectory, const QByteArray &path)
{
    return path.startsWith(workingDirectory + '/') ? path.mid(workingDirectory.size() + 1) : path;
}

namespace {

// A named file where it really is: a link is resolved once, here, since a person typed its name.
bool locateNamedFile(const QByteArray &argument, Source *source)
{
    struct stat status;
    QByteArray real = argument;
    if (::lstat(argument.constData(), &status) == 0 && S_ISLNK(status.st_mode)) {
        char resolved[PATH_MAX];
        if (!::realpath(argument.constData(), resolved))
            return false;
        real = resolved;
    }
    source->directory = parentOf(real);
    source->name = baseNameOf(real);
    return true;
}

} // namespace

bool collectSources(const FormatOptions &options, Reporter &reporter, std::vector<Source> *sources,
                    std::vector<SourceTree> *trees)
{
    bool ok = true;
    for (const QByteArray &argument : options.paths) {
        if (argument == "-") {
            Source source;
            source.fromStandardInput = true;
            source.path = options.standardInputName.value_or("<stdin>");
            source.relativePath = options.standardInputName.value_or(QByteArray());
            source.outputName = baseNameOf(source.path);
            sources->push_back(source);
            continue;
        }
        struct stat status;
        if (::stat(argument.constData(), &status) != 0) {
            reporter.message(argument + ": " + errnoText(errno));
            ok = false;
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            if (options.mode == FormatOptions::Mode::StandardOutput) {
                reporter.message(argument + ": is a directory; use --check, --in-place or --output");
                ok = false;
                continue;
            }
            SourceTree tree = scanSourceTree(argument, options.recursive);
            if (!tree.rootReadable) {
                reporter.message(argument + ": cannot read the directory");
                ok = false;
                continue;
            }
            for (const QByteArray &directory : tree.unreadableDirectories) {
                reporter.message(joinedPath(argument, directory) + ": cannot read the directory");
                ok = false;
            }
            if (tree.files.isEmpty())
                reporter.message(argument + ": warning: no .c, .h, .cpp or .hpp file found" +
                                 (options.recursive ? "" : " (-r descends into subdirectories)"));
            for (const QByteArray &skipped : tree.skipped)
                reporter.message(joinedPath(argument, skipped) + ": warning: not a regular file, skipped");
            for (const QByteArray &file : tree.files) {
                Source source;
                source.path = joinedPath(argument, file);
                source.outputName = file;
                source.tree = int(trees->size());
                source.relativePath = file;
                sources->push_back(source);
            }
            trees->push_back(std::move(tree));
            continue;
        }
        if (!S_ISREG(status.st_mode)) {
            reporter.message(argument + ": not a regular file");
            ok = false;
            continue;
        }
        Source source;
        source.path = argument;
        source.outputName = baseNameOf(argument);
        if (!locateNamedFile(argument, &source)) {
            reporter.message(argument + ": " + errnoText(errno));
            ok = false;
            continue;
        }
        source.relativePath = argument;
        sources->push_back(source);
    }
    return ok;
}

bool outputNamesAreDistinct(const std::vector<Source> &sources, const QByteArray &outputDirectory,
                            Reporter &reporter)
{
    QHash<QByteArray, QByteArray> taken;
    bool ok = true;
    for (const Source &source : sources) {
        const auto found = taken.constFind(source.outputName);
        if (found != taken.constEnd() && found.value() != source.path) {
            reporter.message(found.value() + " and " + source.path + " would both be written to " +
                             joinedPath(outputDirectory, source.outputName));
            ok = false;
            continue;
        }
        taken.insert(source.outputName, source.path);
    }
    return ok;
}

qint64 totalSize(const std::vector<Source> &sources)
{
    qint64 bytes = 0;
    for (const Source &source : sources) {
        struct stat status;
        if (::stat(source.path.constData(), &status) == 0)
            bytes += status.st_size;
    }
    return bytes;
}
