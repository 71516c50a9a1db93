#include "FormatCommand.h"

#include "AnsiText.h"
#include "AppLocations.h"
#include "CellTable.h"
#include "Descriptor.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "IndentProfile.h"
#include "InferCommand.h"
#include "LineDiff.h"
#include "SourceFiles.h"
#include "Startup.h"
#include "StyleStore.h"

#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QIODevice>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include <dirent.h>
#include <fcntl.h>
#include <linux/magic.h>
#include <sys/stat.h>
#include <sys/statfs.h>
#include <unistd.h>

namespace {

const QByteArray ProgramName = "zabo-format";
// Originals kept in memory for the comparison after formatting; beyond this they are read again.
constexpr qint64 KeptBytesLimit = 256 * 1024 * 1024;

// ---- output ------------------------------------------------------------------------------------------

class Reporter
{
public:
    explicit Reporter(FormatStreams &streams)
        : m_streams(streams)
    {
        m_sinceStart.start();
    }

    void out(const QByteArray &bytes)
    {
        clearProgress(); // the two may share one terminal
        if (!m_outputBroken && m_streams.out.write(bytes) != bytes.size())
            m_outputBroken = true;
    }
    // A reader that went away (`| head`): nothing more is worth formatting for it.
    bool outputBroken() const { return m_outputBroken; }
    void err(const QByteArray &bytes)
    {
        clearProgress();
        m_streams.err.write(bytes);
    }
    // "zabo-format: " and one line
    void message(const QByteArray &line) { err(ProgramName + ": " + line + '\n'); }
    void message(const QString &line) { message(line.toUtf8()); }
    void message(const char *line) { message(QByteArray(line)); }

    void progress(const QByteArray &what, int done, int total)
    {
        // a quick run stays quiet, and a line every tenth of a second is enough to read
        if (!m_streams.errIsTerminal || m_sinceStart.elapsed() < 1000 ||
            (m_sinceShown.isValid() && m_sinceShown.elapsed() < 100))
            return;
        m_sinceShown.start();
        const QByteArray line =
            ProgramName + ": " + what + ' ' + QByteArray::number(done) + '/' + QByteArray::number(total);
        m_streams.err.write("\r\033[K" + line);
        m_progressShown = true;
    }
    void clearProgress()
    {
        if (m_progressShown)
            m_streams.err.write("\r\033[K");
        m_progressShown = false;
    }
    bool colours() const { return m_streams.outIsTerminal; }

private:
    FormatStreams &m_streams;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceShown;
    bool m_progressShown = false;
    bool m_outputBroken = false;
};

QByteArray systemError(int error)
{
    return QByteArray(std::strerror(error));
}

bool sameFileState(const struct stat &a, const struct stat &b)
{
    return a.st_dev == b.st_dev && a.st_ino == b.st_ino && a.st_size == b.st_size &&
           a.st_mtim.tv_sec == b.st_mtim.tv_sec && a.st_mtim.tv_nsec == b.st_mtim.tv_nsec;
}

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

// ---- styles ------------------------------------------------------------------------------------------

struct ChosenStyle
{
    QString name;
    QString parameterText;
};

QString nameOf(const StyleRecord &record)
{
    return fromAnsi(QByteArray(record.Name, int(qstrnlen(record.Name, StyleRecord::NameSize))));
}

// Reads the style file without ever writing it. A missing default file and a file without styles mean
// what the program would create in their place: the built-in styles.
std::optional<StyleFileContent> loadStyles(const FormatOptions &options, const FormatSetup &setup,
                                           Reporter &reporter)
{
    const bool explicitFile = !options.configPath.isEmpty();
    const QByteArray path = explicitFile ? options.configPath : QFile::encodeName(setup.defaultConfigPath);
    StyleFileContent content;
    // non-blocking, so that a pipe or a device at that name is refused instead of waited on
    Descriptor fd(::open(path.constData(), O_RDONLY | O_NONBLOCK | O_CLOEXEC));
    struct stat status;
    if (fd.get() < 0) {
        if (explicitFile || errno != ENOENT) {
            reporter.message(path + ": cannot read the style file: " + systemError(errno));
            return std::nullopt;
        }
    } else if (::fstat(fd.get(), &status) != 0 || !S_ISREG(status.st_mode)) {
        reporter.message(path + ": the style file is not a regular file");
        return std::nullopt;
    } else {
        // read through the descriptor: no more than the header promises, whatever the file's length
        QFile file;
        if (!file.open(fd.get(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle)) {
            reporter.message(path + ": cannot read the style file: " + file.errorString().toUtf8());
            return std::nullopt;
        }
        content = readStyleFile(file);
        if (content.state == StyleFileContent::State::Damaged) {
            reporter.message(path + ": the style file is damaged; it was left as it is "
                                    "(open it in Zabo, which keeps a copy and starts afresh)");
            return std::nullopt;
        }
    }
    if (content.state == StyleFileContent::State::Empty) {
        content.records = builtInStyles();
        content.selectedIndex = 3;
    }
    return content;
}

} // namespace

QString defaultStyleFilePath()
{
    return locateAppFiles(ProgramDirectory(), standardUserDirectories()).configPath;
}

namespace {

// ---- the files of one run ----------------------------------------------------------------------------

struct Source
{
    QByteArray path;       // as given, or a directory as given joined with the name found below it
    QByteArray outputName; // where --output puts it, relative to the output directory
    QByteArray scratchName;
    struct stat status = {};
    std::optional<QByteArray> original; // kept while the run's budget allows; else read again
    // NotFormatted: the formatter failed on it; Failed: it could not even be read
    enum class State { Pending, Copied, NotFormatted, Failed } state = State::Pending;
};

QByteArray joinedPath(const QByteArray &directory, const QByteArray &relative)
{
    return directory.endsWith('/') ? directory + relative : directory + '/' + relative;
}

// Every file the arguments name, in argument order. False after any missing or unreadable name: then
// nothing is formatted at all.
bool collectSources(const FormatOptions &options, Reporter &reporter, std::vector<Source> *sources)
{
    bool ok = true;
    for (const QByteArray &argument : options.paths) {
        struct stat status;
        if (::stat(argument.constData(), &status) != 0) {
            reporter.message(argument + ": " + systemError(errno));
            ok = false;
            continue;
        }
        if (S_ISDIR(status.st_mode)) {
            if (options.mode == FormatOptions::Mode::StandardOutput) {
                reporter.message(argument + ": is a directory; use --check, --in-place or --output");
                ok = false;
                continue;
            }
            const SourceTree tree = scanSourceTree(argument, options.recursive);
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
                sources->push_back(source);
            }
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

// ---- the private scratch directory -------------------------------------------------------------------

// tmpfs when it is writable and has room for the copies twice over (indent may write longer files);
// containers often give /dev/shm only 64 MB.
QByteArray scratchBaseDirectory(const FormatSetup &setup, qint64 sourceBytes)
{
    if (!setup.scratchBase.isEmpty())
        return QFile::encodeName(setup.scratchBase);
    struct statfs fileSystem;
    if (::statfs("/dev/shm", &fileSystem) == 0 && fileSystem.f_type == TMPFS_MAGIC &&
        ::access("/dev/shm", W_OK | X_OK) == 0 &&
        qint64(fileSystem.f_bavail) * qint64(fileSystem.f_bsize) > 2 * sourceBytes + 16 * 1024 * 1024)
        return "/dev/shm";
    return QFile::encodeName(QDir::tempPath());
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

// A directory only this run uses, removed with everything in it when the run ends.
class ScratchDirectory
{
public:
    bool create(const QByteArray &base, int *error)
    {
        QByteArray pattern = base + "/zabo-format-XXXXXX";
        if (!::mkdtemp(pattern.data())) {
            *error = errno;
            return false;
        }
        m_path = pattern;
        m_fd.reset(::open(m_path.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (m_fd.get() < 0) {
            *error = errno;
            ::rmdir(m_path.constData());
            m_path.clear();
            return false;
        }
        return true;
    }
    ~ScratchDirectory()
    {
        if (m_path.isEmpty())
            return;
        if (DIR *dir = ::fdopendir(::dup(m_fd.get()))) {
            QList<QByteArray> names;
            while (const dirent *entry = ::readdir(dir)) {
                if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                    names.append(entry->d_name);
            }
            ::closedir(dir);
            for (const QByteArray &name : names)
                ::unlinkat(m_fd.get(), name.constData(), 0);
        }
        m_fd.reset();
        ::rmdir(m_path.constData());
    }
    int fd() const { return m_fd.get(); }
    QByteArray path() const { return m_path; }

private:
    QByteArray m_path;
    Descriptor m_fd;
};

// ---- writing results ---------------------------------------------------------------------------------

// Replaces path's file by a new one beside it holding bytes, with the old one's mode; path's link, if
// it is one, keeps pointing at the new file. Refuses when the file changed since `expected` was taken.
bool replaceAtomically(const QByteArray &path, const QByteArray &bytes, const struct stat &expected,
                       QByteArray *problem)
{
    char resolved[PATH_MAX];
    if (!::realpath(path.constData(), resolved)) {
        *problem = systemError(errno);
        return false;
    }
    const QByteArray target(resolved);
    QByteArray temporary = parentOf(target) + "/." + baseNameOf(target) + ".zabo-XXXXXX";
    Descriptor fd(::mkostemp(temporary.data(), O_CLOEXEC));
    if (fd.get() < 0) {
        *problem = "cannot create a file beside it: " + systemError(errno);
        return false;
    }
    const auto fail = [&](const QByteArray &what, int error) {
        ::unlink(temporary.constData());
        *problem = what + systemError(error);
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

bool writeNewFileAt(int directoryFd, const QByteArray &relative, const QByteArray &bytes, mode_t mode,
                    QByteArray *problem)
{
    const qsizetype slash = relative.lastIndexOf('/');
    int error = 0;
    Descriptor parent(slash < 0 ? ::dup(directoryFd)
                                : openDirectoryChain(directoryFd, relative.left(slash), &error));
    if (parent.get() < 0) {
        *problem = "cannot make its directory: " + systemError(error ? error : errno);
        return false;
    }
    const QByteArray name = slash < 0 ? relative : relative.mid(slash + 1);
    Descriptor fd(::openat(parent.get(), name.constData(),
                           O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, mode & 0777));
    if (fd.get() < 0) {
        *problem = systemError(errno);
        return false;
    }
    if (!writeWhole(fd.get(), bytes, &error)) {
        *problem = systemError(error);
        return false;
    }
    if (::close(fd.release()) != 0) {
        *problem = systemError(errno);
        return false;
    }
    return true;
}

// A new directory, or an existing empty one, for --output; made with its parents when missing.
Descriptor prepareOutputDirectory(const QByteArray &directory, Reporter &reporter)
{
    QByteArray partial;
    for (const QByteArray &part : directory.split('/')) {
        partial += part;
        if (!part.isEmpty() && ::mkdir(partial.constData(), 0777) != 0 && errno != EEXIST) {
            reporter.message(partial + ": cannot create the directory: " + systemError(errno));
            return Descriptor();
        }
        partial += '/';
    }
    Descriptor fd(::open(directory.constData(), O_RDONLY | O_DIRECTORY | O_CLOEXEC));
    if (fd.get() < 0) {
        reporter.message(directory + ": cannot open the output directory: " + systemError(errno));
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

QByteArray coloured(const QByteArray &diff)
{
    QByteArray shown;
    for (const QByteArray &line : splitLines(diff)) {
        const char *colour = nullptr;
        if (line.startsWith("---") || line.startsWith("+++"))
            colour = "\033[1m";
        else if (line.startsWith("@@"))
            colour = "\033[36m";
        else if (line.startsWith('-'))
            colour = "\033[31m";
        else if (line.startsWith('+'))
            colour = "\033[32m";
        if (!colour) {
            shown += line;
            continue;
        }
        const bool feed = line.endsWith('\n');
        shown += colour + (feed ? line.chopped(1) : line) + "\033[0m" + (feed ? "\n" : "");
    }
    return shown;
}

QByteArray filesWord(qsizetype count)
{
    return QByteArray::number(count) + (count == 1 ? " file" : " files");
}

// ---- one run -----------------------------------------------------------------------------------------

class FormatRun
{
public:
    FormatRun(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams)
        : m_options(options)
        , m_setup(setup)
        , m_report(streams)
    {}

    int run();

private:
    void listStyles(const StyleFileContent &styles);
    std::optional<ChosenStyle> chooseStyle(const StyleFileContent &styles);
    bool copyIntoScratch(ScratchDirectory &scratch);
    bool format(const ChosenStyle &style, ScratchDirectory &scratch);
    int deliver(const ChosenStyle &style, ScratchDirectory &scratch, int outputFd);
    bool originalOf(const Source &source, QByteArray *original);

    bool stopped() const
    {
        return m_report.outputBroken() || (m_setup.stopRequested && m_setup.stopRequested());
    }
    int stopStatus()
    {
        if (m_report.outputBroken()) {
            m_report.message("cannot write to standard output; stopped");
            return FormatExit::Error;
        }
        m_report.message("interrupted; files not reached were left as they were");
        return FormatExit::Interrupted;
    }

    const FormatOptions &m_options;
    const FormatSetup &m_setup;
    Reporter m_report;
    std::vector<Source> m_sources;
    qint64 m_keptBytes = 0;
    bool m_failed = false;
};

void FormatRun::listStyles(const StyleFileContent &styles)
{
    for (int index = 0; index < styles.records.size(); ++index) {
        const StyleRecord &record = styles.records.at(index);
        m_report.out((index == styles.selectedIndex ? "* " : "  ") + nameOf(record).toUtf8() + '\t' +
                     ParameterTextOf(record).trimmed().toUtf8() + '\n');
    }
}

std::optional<ChosenStyle> FormatRun::chooseStyle(const StyleFileContent &styles)
{
    int chosen = styles.selectedIndex;
    if (m_options.style) {
        chosen = -1;
        for (int index = 0; index < styles.records.size() && chosen < 0; ++index) {
            if (nameOf(styles.records.at(index)) == *m_options.style)
                chosen = index;
        }
        if (chosen < 0) {
            QByteArray known;
            for (const StyleRecord &record : styles.records)
                known += "  " + nameOf(record).toUtf8() + '\n';
            m_report.err(ProgramName + ": no style is named \"" + m_options.style->toUtf8() +
                         "\"; the styles are:\n" + known);
            return std::nullopt;
        }
    }
    const StyleRecord &record = styles.records.at(chosen);
    return ChosenStyle{nameOf(record), ParameterTextOf(record)};
}

bool FormatRun::copyIntoScratch(ScratchDirectory &scratch)
{
    QSet<QPair<quint64, quint64>> seen;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        if (stopped())
            return false;
        Source &source = m_sources[index];
        m_report.progress("reading", int(index), int(m_sources.size()));
        Descriptor fd(::open(source.path.constData(), O_RDONLY | O_CLOEXEC));
        int error = 0;
        QByteArray bytes;
        if (fd.get() < 0 || ::fstat(fd.get(), &source.status) != 0) {
            m_report.message(source.path + ": " + systemError(errno));
            source.state = Source::State::Failed;
            m_failed = true;
            continue;
        }
        // the same file named twice (a directory and a file in it) is formatted once
        const QPair<quint64, quint64> identity{quint64(source.status.st_dev), quint64(source.status.st_ino)};
        if (seen.contains(identity))
            continue;
        seen.insert(identity);
        if (!readWhole(fd.get(), &bytes, &error)) {
            m_report.message(source.path + ": " + systemError(error));
            source.state = Source::State::Failed;
            m_failed = true;
            continue;
        }
        // a unique name per copy: files of the same name from different directories never meet
        const QByteArray extension =
            extensionOf(QString::fromLatin1(baseNameOf(source.outputName))).toLatin1();
        source.scratchName = "zf" + QByteArray::number(qulonglong(index)).rightJustified(7, '0') +
                             (hasSourceExtension(QString::fromLatin1(extension)) ? extension : QByteArray());
        Descriptor copy(::openat(scratch.fd(), source.scratchName.constData(),
                                 O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
        if (copy.get() < 0 || !writeWhole(copy.get(), bytes, &error)) {
            m_report.message(scratch.path() + ": cannot write a copy of " + source.path + ": " +
                             systemError(copy.get() < 0 ? errno : error));
            return false;
        }
        if (m_keptBytes + bytes.size() <= KeptBytesLimit) {
            m_keptBytes += bytes.size();
            source.original = std::move(bytes);
        }
        source.state = Source::State::Copied;
    }
    return true;
}

bool FormatRun::format(const ChosenStyle &style, ScratchDirectory &scratch)
{
    const FormatterDeployment deployment = DeployFormatter(QDir::tempPath());
    if (!deployment.ok) {
        m_report.message(QStringLiteral("cannot put the formatter in place: %1").arg(deployment.error));
        return false;
    }

    FormatterRequest request;
    request.formatterPath = deployment.formatterPath;
    request.parameterText = style.parameterText;
    request.directoryDescriptor = scratch.fd();
    QHash<QString, std::size_t> byScratchName;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        if (m_sources[index].state != Source::State::Copied)
            continue;
        const QString name = QString::fromLatin1(m_sources[index].scratchName);
        request.files.append(name);
        byScratchName.insert(name, index);
    }
    const FormatterRunResult result = FormatterRunner().run(request, [this](int done, int total) {
        m_report.progress("formatting", done, total);
        return !stopped();
    });
    m_report.clearProgress();
    if (result.cancelled || stopped())
        return false;

    // indent names the copies; its messages name the sources instead
    QList<QByteArray> shownLines;
    const auto showOutput = [&](const FormatterProcessResult &run) {
        QByteArray text = run.standardError;
        QStringList names = run.files;
        std::sort(names.begin(), names.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        for (const QString &name : names)
            text.replace(name.toLatin1(), m_sources[byScratchName.value(name)].path);
        for (const QByteArray &line : text.split('\n')) {
            if (!line.trimmed().isEmpty() && !shownLines.contains(line)) {
                shownLines.append(line);
                m_report.err(line + '\n');
            }
        }
    };

    using Outcome = FormatterProcessResult::Outcome;
    for (const FormatterProcessResult &run : result.runs) {
        const bool finished = run.outcome == Outcome::Finished;
        if (finished && run.exitCode == 0)
            continue;
        showOutput(run);
        if (finished && run.exitCode == 2) {
            QList<std::size_t> named;
            for (const QString &name : run.files) {
                if (run.standardError.contains(name.toLatin1()))
                    named.append(byScratchName.value(name));
            }
            if (named.isEmpty()) {
                for (const QString &name : run.files)
                    named.append(byScratchName.value(name));
            }
            for (const std::size_t index : named) {
                m_report.message(m_sources[index].path +
                                 ": warning: indent could not parse it cleanly (status 2); formatted all "
                                 "the same, check the result");
            }
            continue;
        }
        QByteArray why;
        switch (run.outcome) {
        case Outcome::FailedToStart:
            why = "indent could not start: " + run.errorString.toUtf8();
            break;
        case Outcome::Crashed:
            why = "indent crashed";
            break;
        case Outcome::Cancelled:
            why = "cancelled";
            break;
        case Outcome::Finished:
            why = "indent failed with status " + QByteArray::number(run.exitCode);
            break;
        }
        for (const QString &name : run.files) {
            Source &source = m_sources[byScratchName.value(name)];
            source.state = Source::State::NotFormatted;
            m_report.message(source.path + ": not formatted: " + why);
        }
        m_failed = true;
    }
    return true;
}

bool FormatRun::originalOf(const Source &source, QByteArray *original)
{
    if (source.original) {
        *original = *source.original;
        return true;
    }
    // the original once more, from the same file as before
    Descriptor fd(::open(source.path.constData(), O_RDONLY | O_CLOEXEC));
    struct stat now;
    int error = 0;
    if (fd.get() < 0 || ::fstat(fd.get(), &now) != 0 || !readWhole(fd.get(), original, &error)) {
        m_report.message(source.path + ": " + systemError(error ? error : errno));
        m_failed = true;
        return false;
    }
    if (!sameFileState(now, source.status)) {
        m_report.message(source.path + ": changed while being formatted; left as it is");
        m_failed = true;
        return false;
    }
    return true;
}

int FormatRun::deliver(const ChosenStyle &style, ScratchDirectory &scratch, int outputFd)
{
    qsizetype changed = 0;
    qsizetype formatted = 0;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        Source &source = m_sources[index];
        const bool toOutput = m_options.mode == FormatOptions::Mode::Output;
        if (source.state != Source::State::Copied &&
            !(toOutput && source.state == Source::State::NotFormatted))
            continue;
        if (stopped())
            return stopStatus();
        m_report.progress("writing", int(index), int(m_sources.size()));
        int error = 0;
        QByteArray problem;
        if (source.state == Source::State::NotFormatted) {
            // an intact copy, as the window's job leaves one for a file indent failed on
            QByteArray original;
            if (originalOf(source, &original) &&
                !writeNewFileAt(outputFd, source.outputName, original, source.status.st_mode, &problem))
                m_report.message(joinedPath(m_options.outputDirectory, source.outputName) + ": " + problem);
            continue;
        }
        QByteArray result;
        if (!readFileAt(scratch.fd(), source.scratchName, &result, &error)) {
            m_report.message(source.path + ": cannot read the formatted copy: " + systemError(error));
            m_failed = true;
            continue;
        }
        ++formatted;
        if (m_options.mode == FormatOptions::Mode::StandardOutput) {
            m_report.out(result);
            continue;
        }
        if (toOutput &&
            !writeNewFileAt(outputFd, source.outputName, result, source.status.st_mode, &problem)) {
            m_report.message(joinedPath(m_options.outputDirectory, source.outputName) + ": " + problem);
            m_failed = true;
        }

        QByteArray original;
        if (!originalOf(source, &original))
            continue;
        if (original == result)
            continue;
        ++changed;
        if (m_options.mode == FormatOptions::Mode::Check) {
            m_report.message("would reformat " + source.path);
            if (m_options.diff) {
                const QByteArray diff = unifiedDiff(original, result, "a/" + source.path, "b/" + source.path);
                m_report.out(m_report.colours() ? coloured(diff) : diff);
            }
        } else if (m_options.mode == FormatOptions::Mode::InPlace) {
            if (replaceAtomically(source.path, result, source.status, &problem)) {
                m_report.message("reformatted " + source.path);
            } else {
                m_report.message(source.path + ": not rewritten: " + problem);
                m_failed = true;
            }
        }
    }
    m_report.clearProgress();

    const QByteArray styleShown = " (style \"" + style.name.toUtf8() + "\")";
    switch (m_options.mode) {
    case FormatOptions::Mode::Check:
        if (changed > 0)
            m_report.message(QByteArray::number(changed) + " of " + filesWord(formatted) +
                             " would be reformatted" + styleShown);
        break;
    case FormatOptions::Mode::Output:
        m_report.out(m_options.outputDirectory + '\n');
        m_report.out(filesWord(formatted) + " formatted, " + QByteArray::number(changed) +
                     " of them changed" + styleShown + '\n');
        break;
    default:
        break;
    }
    if (stopped())
        return stopStatus();
    if (m_failed)
        return FormatExit::Error;
    return m_options.mode == FormatOptions::Mode::Check && changed > 0 ? FormatExit::WouldChange
                                                                       : FormatExit::Success;
}

int FormatRun::run()
{
    const std::optional<StyleFileContent> styles = loadStyles(m_options, m_setup, m_report);
    if (!styles)
        return FormatExit::Error;
    if (m_options.mode == FormatOptions::Mode::ListStyles) {
        listStyles(*styles);
        return FormatExit::Success;
    }
    const std::optional<ChosenStyle> style = chooseStyle(*styles);
    if (!style)
        return FormatExit::Error;
    if (m_options.mode == FormatOptions::Mode::PrintProfile) {
        m_report.out(indentProfileText(style->name, style->parameterText));
        return FormatExit::Success;
    }

    if (!collectSources(m_options, m_report, &m_sources))
        return FormatExit::Error;
    const bool toOutput = m_options.mode == FormatOptions::Mode::Output;
    if (toOutput && !outputNamesAreDistinct(m_sources, m_options.outputDirectory, m_report))
        return FormatExit::Error;
    Descriptor outputFd;
    if (toOutput) {
        outputFd = prepareOutputDirectory(m_options.outputDirectory, m_report);
        if (outputFd.get() < 0)
            return FormatExit::Error;
    }

    ScratchDirectory scratch;
    const QByteArray scratchBase = scratchBaseDirectory(m_setup, totalSize(m_sources));
    int error = 0;
    if (!scratch.create(scratchBase, &error)) {
        m_report.message(scratchBase + ": cannot create a scratch directory: " + systemError(error));
        return FormatExit::Error;
    }
    if (!copyIntoScratch(scratch) || !format(*style, scratch))
        return stopped() ? stopStatus() : FormatExit::Error;
    return deliver(*style, scratch, outputFd.get());
}

} // namespace

int runFormatCommand(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams)
{
    if (options.mode == FormatOptions::Mode::Help) {
        streams.out.write(formatUsage().toUtf8());
        return FormatExit::Success;
    }
    if (options.mode == FormatOptions::Mode::Version) {
        const quint32 version = programVersionValue();
        streams.out.write(ProgramName + ' ' + QByteArray::number(version >> 16) + '.' +
                          QByteArray::number(version & 0xFFFFu) + '\n');
        return FormatExit::Success;
    }
    if (options.mode == FormatOptions::Mode::Infer)
        return runInferCommand(options, setup, streams);
    return FormatRun(options, setup, streams).run();
}

int formatCommandMain(const QList<QByteArray> &arguments, const FormatSetup &setup, FormatStreams &streams)
{
    const ParsedFormatArguments parsed = parseFormatArguments(arguments);
    if (!parsed.options) {
        streams.err.write(ProgramName + ": " + parsed.error.toUtf8() +
                          "\nTry 'zabo-format --help' for more.\n");
        return FormatExit::Error;
    }
    return runFormatCommand(*parsed.options, setup, streams);
}
