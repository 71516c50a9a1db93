#include "StyleEvaluator.h"

#include "Descriptor.h"
#include "FormatterRun.h"
#include "LineDiff.h"
#include "OutputCheck.h"
#include "PrivateDirectory.h"
#include "SourceFiles.h"

#include <QCryptographicHash>
#include <QElapsedTimer>
#include <QFile>
#include <QHash>
#include <QMutexLocker>
#include <QProcess>
#include <QThread>

#include <algorithm>
#include <cerrno>
#include <cstring>

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/statvfs.h>
#include <unistd.h>

namespace {

// How often a waiting worker looks at the cancel flag and the clock.
constexpr int PollMilliseconds = 20;
// A killed formatter is gone within moments; this bounds the wait for one stuck in the kernel.
constexpr int ReapMilliseconds = 5000;

qint64 freeBytes(int fd)
{
    struct statvfs status;
    if (::fstatvfs(fd, &status) != 0)
        return -1;
    return qint64(status.f_bavail) * qint64(status.f_frsize);
}

qint64 freeBytesAt(const QByteArray &path)
{
    struct statvfs status;
    if (::statvfs(path.constData(), &status) != 0)
        return -1;
    return qint64(status.f_bavail) * qint64(status.f_frsize);
}

// What every worker writes and indent may write back, with room for the text to grow, and a margin.
qint64 roomNeeded(const QVector<SourceText> &sources, int workerCount)
{
    qint64 bytes = 0;
    for (const SourceText &source : sources)
        bytes += source.text.size();
    return 2 * bytes * workerCount + StyleEvaluator::LowSpaceMargin + 16 * 1024 * 1024;
}

// Removes the plain files directly inside the directory fd, then the directory name below parentFd.
void removeDirectoryAt(int parentFd, const QByteArray &name, int fd)
{
    if (DIR *dir = ::fdopendir(::dup(fd))) {
        QList<QByteArray> names;
        while (const dirent *entry = ::readdir(dir)) {
            if (std::strcmp(entry->d_name, ".") != 0 && std::strcmp(entry->d_name, "..") != 0)
                names.append(entry->d_name);
        }
        ::closedir(dir);
        for (const QByteArray &entry : names)
            ::unlinkat(fd, entry.constData(), 0);
    }
    ::unlinkat(parentFd, name.constData(), AT_REMOVEDIR);
}

QString copyNameFor(int index, const QByteArray &path)
{
    const QString extension = extensionOf(QFile::decodeName(path.mid(path.lastIndexOf('/') + 1)));
    return QStringLiteral("f%1").arg(index, 4, 10, QLatin1Char('0')) +
           (hasSourceExtension(extension) ? extension : QStringLiteral(".c"));
}

} // namespace

int changedLinesBetween(const QByteArray &before, const QByteArray &after)
{
    if (before == after)
        return 0;
    const QVector<QByteArray> a = splitLines(before);
    const QVector<QByteArray> b = splitLines(after);
    // Only lines that both texts hold can be common, so the others are changed in every shortest diff
    // and the diff needs to see only the rest; each of those goes in as a short code of its own, which
    // keeps the diff's comparisons cheap. The count is the same as the diff of the whole texts gives.
    QHash<QByteArray, int> codes;
    for (const QByteArray &line : a)
        codes.insert(line, 1);
    for (const QByteArray &line : b) {
        const auto found = codes.find(line);
        if (found != codes.end() && found.value() == 1)
            found.value() = 2;
    }
    int next = 0;
    for (auto it = codes.begin(); it != codes.end(); ++it)
        it.value() = it.value() == 2 ? next++ : -1;
    const auto shared = [&codes](const QVector<QByteArray> &lines, qsizetype *kept) {
        QByteArray text;
        *kept = 0;
        for (const QByteArray &line : lines) {
            const int code = codes.value(line, -1);
            if (code < 0)
                continue;
            text += QByteArray::number(code, 36) + '\n';
            ++*kept;
        }
        return text;
    };
    qsizetype keptA = 0;
    qsizetype keptB = 0;
    const QByteArray sharedA = shared(a, &keptA);
    const QByteArray sharedB = shared(b, &keptB);
    const qsizetype changedShared = sharedA == sharedB ? 0 : changedLineCount(diffLines(sharedA, sharedB));
    const qsizetype common = (keptA + keptB - changedShared) / 2;
    return int(a.size() + b.size() - 2 * common);
}

struct StyleEvaluator::Slot
{
    QByteArray name;
    Descriptor fd;
};

StyleEvaluator::StyleEvaluator(const QVector<SourceText> &sources, const EvaluatorSetup &setup)
    : m_sources(sources)
    , m_formatterPath(setup.formatterPath)
    , m_timeLimit(setup.timeLimitMilliseconds)
    , m_baseEnvironment(QProcessEnvironment::systemEnvironment())
    , m_lineCache(sources.size())
{
    for (int index = 0; index < sources.size(); ++index)
        m_copyNames.append(copyNameFor(index, sources.at(index).path));
    createScratch(setup);
}

StyleEvaluator::~StyleEvaluator()
{
    removeScratch();
}

bool StyleEvaluator::createScratch(const EvaluatorSetup &setup)
{
    const int workerCount = setup.parallel > 0 ? setup.parallel : std::max(1, QThread::idealThreadCount());
    const qint64 needed = roomNeeded(m_sources, workerCount);
    const QByteArray base =
        setup.scratchBase.isEmpty() ? scratchBase(needed) : QFile::encodeName(setup.scratchBase);
    const qint64 available = base.isEmpty() ? -1 : freeBytesAt(base);
    if (available >= 0 && available < needed) {
        m_setupError = QStringLiteral("%1: not enough free space for the scratch copies (%2 MB needed)")
                           .arg(QFile::decodeName(base))
                           .arg((needed + 1024 * 1024 - 1) / (1024 * 1024));
        return false;
    }
    m_scratch = std::make_unique<PrivateDirectory>(base, ScratchPrefix::Infer);
    if (!m_scratch->isValid()) {
        m_setupError = m_scratch->errorString();
        return false;
    }
    m_fd = m_scratch->fd();
    for (int index = 0; index < workerCount; ++index) {
        auto slot = std::make_unique<Slot>();
        slot->name = "w" + QByteArray::number(index);
        if (::mkdirat(m_fd, slot->name.constData(), 0700) != 0) {
            m_setupError = QString::fromLocal8Bit(std::strerror(errno));
            return false;
        }
        slot->fd.reset(
            ::openat(m_fd, slot->name.constData(), O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC));
        if (slot->fd.get() < 0) {
            m_setupError = QString::fromLocal8Bit(std::strerror(errno));
            ::unlinkat(m_fd, slot->name.constData(), AT_REMOVEDIR);
            return false;
        }
        m_slots.push_back(std::move(slot));
    }
    return true;
}

void StyleEvaluator::removeScratch()
{
    for (const std::unique_ptr<Slot> &slot : m_slots)
        removeDirectoryAt(m_fd, slot->name, slot->fd.get());
    m_slots.clear();
    m_fd = -1;
    m_scratch.reset();
}

QVector<StyleScore> StyleEvaluator::score(const QStringList &parameterTexts, const std::atomic_bool &cancel)
{
    QVector<StyleScore> scores(parameterTexts.size());
    if (!isReady()) {
        for (StyleScore &score : scores) {
            score.outcome = StyleScore::Outcome::ScratchFailed;
            score.errorString = m_setupError;
        }
        return scores;
    }
    std::atomic_int next{0};
    const auto work = [&](Slot *slot) {
        for (int index = next++; index < parameterTexts.size(); index = next++) {
            if (!cancel.load())
                scores[index] = run(*slot, parameterTexts.at(index), cancel, nullptr);
        }
    };
    const int workers = int(std::min<qsizetype>(qsizetype(m_slots.size()), parameterTexts.size()));
    std::vector<std::unique_ptr<QThread>> threads;
    for (int index = 1; index < workers; ++index) {
        threads.emplace_back(QThread::create(work, m_slots[size_t(index)].get()));
        threads.back()->start();
    }
    if (workers > 0)
        work(m_slots.front().get());
    for (const std::unique_ptr<QThread> &thread : threads)
        thread->wait();
    return scores;
}

QVector<QByteArray> StyleEvaluator::format(const QString &parameterText, const std::atomic_bool &cancel,
                                           StyleScore *score)
{
    QVector<QByteArray> formatted;
    if (!isReady()) {
        score->outcome = StyleScore::Outcome::ScratchFailed;
        score->errorString = m_setupError;
        return formatted;
    }
    *score = run(*m_slots.front(), parameterText, cancel, &formatted);
    if (!score->scored())
        formatted.clear();
    return formatted;
}

namespace {

// A failure of the scratch space as a score: a full file system says that what indent wrote cannot be
// trusted, anything else that the copies could not be used.
bool scratchFailed(int error, StyleScore *score)
{
    score->outcome = error == ENOSPC || error == EDQUOT ? StyleScore::Outcome::OutOfSpace
                                                        : StyleScore::Outcome::ScratchFailed;
    score->error = error;
    return false;
}

// A learnt style stands alone: no indent profile of the user's or the working directory takes part.
QStringList searchOptions(const QString &parameterText)
{
    return formatterInvocation(parameterText, FormatterProfile()).options;
}

} // namespace

bool StyleEvaluator::writeCopies(const Slot &slot, StyleScore *score) const
{
    for (int index = 0; index < m_sources.size(); ++index) {
        Descriptor copy(::openat(slot.fd.get(), QFile::encodeName(m_copyNames.at(index)).constData(),
                                 O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
        int error = 0;
        if (copy.get() < 0)
            return scratchFailed(errno, score);
        if (!writeWhole(copy.get(), m_sources.at(index).text, &error))
            return scratchFailed(error, score);
    }
    return true;
}

bool StyleEvaluator::runFormatter(const Slot &slot, const QString &parameterText,
                                  const std::atomic_bool &cancel, StyleScore *score)
{
    const QStringList options = searchOptions(parameterText);
    QProcess process;
    process.setProgram(m_formatterPath);
    process.setArguments(formatterArguments(m_copyNames, options));
    process.setProcessEnvironment(formatterEnvironment(m_baseEnvironment));
    process.setStandardInputFile(QProcess::nullDevice());
    process.setStandardOutputFile(QProcess::nullDevice());
    const int directory = slot.fd.get();
    // runs in the child between fork and exec: only async-signal-safe calls
    process.setChildProcessModifier([directory] {
        if (::fchdir(directory) != 0)
            ::_exit(127);
    });
    QElapsedTimer clock;
    clock.start();
    process.start();
    ++m_runs;
    if (!process.waitForStarted(-1)) {
        score->outcome = StyleScore::Outcome::FailedToStart;
        score->errorString = process.errorString();
        return false;
    }
    while (!process.waitForFinished(PollMilliseconds) && process.state() != QProcess::NotRunning) {
        const bool stop = cancel.load();
        if (!stop && clock.elapsed() < m_timeLimit)
            continue;
        process.kill();
        process.waitForFinished(ReapMilliseconds);
        score->outcome = stop ? StyleScore::Outcome::Cancelled : StyleScore::Outcome::TimedOut;
        score->messages = process.readAllStandardError();
        return false;
    }
    score->messages = process.readAllStandardError();
    const bool crashed = process.exitStatus() == QProcess::CrashExit;
    score->exitCode = crashed ? -1 : process.exitCode();
    if (crashed || (score->exitCode != 0 && score->exitCode != 2)) {
        score->outcome = StyleScore::Outcome::FormatterFailed;
        score->errorString = crashed ? process.errorString() : QString();
        return false;
    }
    return true;
}

bool StyleEvaluator::readCopies(const Slot &slot, const QString &parameterText, QVector<QByteArray> *texts,
                                StyleScore *score) const
{
    const PipeFormatter again{m_formatterPath, standardOutputOptions(searchOptions(parameterText)),
                              formatterEnvironment(m_baseEnvironment), slot.fd.get()};
    texts->reserve(m_sources.size());
    for (int index = 0; index < m_sources.size(); ++index) {
        QByteArray text;
        int error = 0;
        if (!readFileAt(slot.fd.get(), QFile::encodeName(m_copyNames.at(index)), &text, &error))
            return scratchFailed(error, score);
        // a write cut by a full file system ends at a block boundary: such a text is made once more
        // through a pipe, where nothing can cut it
        QString why;
        if (!text.isEmpty() && text.size() % FormatterRunner::CutGranularity == 0 &&
            !again.format(m_sources.at(index).text, &text, &why)) {
            score->outcome = StyleScore::Outcome::FormatterFailed;
            score->errorString = why;
            return false;
        }
        texts->append(text);
    }
    // indent exits 0 when its own writes fail: with the file system nearly full, what it wrote may be cut
    const qint64 left = freeBytes(slot.fd.get());
    if (left >= 0 && left < LowSpaceMargin)
        return scratchFailed(ENOSPC, score);
    return true;
}

StyleScore StyleEvaluator::run(Slot &slot, const QString &parameterText, const std::atomic_bool &cancel,
                               QVector<QByteArray> *formatted)
{
    StyleScore score;
    QVector<QByteArray> texts;
    if (!writeCopies(slot, &score) || !runFormatter(slot, parameterText, cancel, &score) ||
        !readCopies(slot, parameterText, &texts, &score))
        return score;
    for (int index = 0; index < m_sources.size(); ++index) {
        const QByteArray digest = QCryptographicHash::hash(texts.at(index), QCryptographicHash::Sha1);
        const int lines = cachedChangedLines(index, digest, texts.at(index));
        score.fileDigests.append(digest);
        score.fileLines.append(lines);
        score.changedLines += lines;
    }
    score.outcome = StyleScore::Outcome::Scored;
    if (formatted)
        *formatted = texts;
    return score;
}

int StyleEvaluator::cachedChangedLines(int file, const QByteArray &digest, const QByteArray &formatted)
{
    {
        const QMutexLocker lock(&m_cacheMutex);
        const auto found = m_lineCache.at(file).constFind(digest);
        if (found != m_lineCache.at(file).cend())
            return found.value();
    }
    const int lines = changedLinesBetween(m_sources.at(file).text, formatted);
    const QMutexLocker lock(&m_cacheMutex);
    m_lineCache[file].insert(digest, lines);
    return lines;
}
