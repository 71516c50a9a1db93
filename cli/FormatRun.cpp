#include "FormatRun.h"

#include "Descriptor.h"
#include "FormatStyles.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "GitRevision.h"
#include "IndentProfile.h"
#include "LineDiff.h"
#include "LineSelection.h"
#include "RepositoryProfile.h"
#include "ResultFiles.h"
#include "ScratchDirectory.h"
#include "SettlingLoop.h"
#include "SourceExcludes.h"
#include "SourceFiles.h"
#include "StandardInput.h"

#include <QDir>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Originals kept in memory for the comparison after formatting; beyond this they are read again.
constexpr qint64 KeptBytesLimit = 256 * 1024 * 1024;

} // namespace

bool FormatRun::takeStandardInput(Source &source, QByteArray *bytes)
{
    if (!readStandardInput(
            m_setup.standardInput, source.path, bytes, [this] { return stopped(); }, m_report))
        return false;
    source.original = *bytes; // the only copy there is: always kept
    m_keptBytes += bytes->size();
    return true;
}

// False when it is not to be copied: unreadable (reported), or the same file met before (a directory
// and a file in it), which is formatted once.
bool FormatRun::readSource(Source &source, QByteArray *bytes, QSet<QPair<quint64, quint64>> &seen)
{
    Descriptor fd(::open(source.path.constData(), O_RDONLY | O_CLOEXEC));
    int error = 0;
    if (fd.get() < 0 || ::fstat(fd.get(), &source.status) != 0) {
        m_report.message(source.path + ": " + errnoText(errno));
        source.state = Source::State::Failed;
        m_failed = true;
        return false;
    }
    const QPair<quint64, quint64> identity{quint64(source.status.st_dev), quint64(source.status.st_ino)};
    if (seen.contains(identity))
        return false;
    seen.insert(identity);
    if (!readWhole(fd.get(), bytes, &error)) {
        m_report.message(source.path + ": " + errnoText(error));
        source.state = Source::State::Failed;
        m_failed = true;
        return false;
    }
    return true;
}

bool FormatRun::copyIntoScratch(ScratchDirectory &scratch)
{
    QSet<QPair<quint64, quint64>> seen;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        if (stopped())
            return false;
        Source &source = m_sources[index];
        m_report.progress("reading", int(index), int(m_sources.size()));
        int error = 0;
        QByteArray bytes;
        if (source.fromStandardInput) {
            if (!takeStandardInput(source, &bytes))
                return false;
        } else if (!readSource(source, &bytes, seen)) {
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
                             errnoText(copy.get() < 0 ? errno : error));
            return false;
        }
        if (!source.fromStandardInput && m_keptBytes + bytes.size() <= KeptBytesLimit) {
            m_keptBytes += bytes.size();
            source.original = std::move(bytes);
        }
        source.state = Source::State::Copied;
    }
    return true;
}

bool FormatRun::format(ScratchDirectory &scratch)
{
    const FormatterDeployment deployment = DeployFormatter(QDir::tempPath());
    if (!deployment.ok) {
        m_report.message(QStringLiteral("cannot put the formatter in place: %1").arg(deployment.error));
        return false;
    }
    m_formatterPath = deployment.formatterPath;

    QList<std::size_t> all;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        if (m_sources[index].toFormat())
            all.append(index);
    }
    if (!runPass(scratch, all, 1))
        return false;
    if (m_options.singlePass)
        return true;
    SettlingLoop settling(scratch.fd(), m_report);
    return settling.run(
        m_sources,
        [&](const QList<std::size_t> &indices, int pass) { return runPass(scratch, indices, pass); },
        [this](const Source &source, QByteArray *original) { return originalOf(source, original); });
}

// One pass of indent over the copies of these sources, each with its style's options.
bool FormatRun::runPass(ScratchDirectory &scratch, const QList<std::size_t> &indices, int pass)
{
    for (int style = 0; style < int(m_styles.size()); ++style) {
        if (!runStylePass(scratch, indices, pass, style))
            return false;
    }
    return true;
}

bool FormatRun::runStylePass(ScratchDirectory &scratch, const QList<std::size_t> &indices, int pass,
                             int style)
{
    FormatterRequest request;
    request.formatterPath = m_formatterPath;
    // every option is on the command line: no profile in the user's home or the working directory
    // changes the result, whoever runs it and wherever
    request.parameterText = QStringLiteral("-npro ") + m_styles[std::size_t(style)].parameterText;
    request.directoryDescriptor = scratch.fd();
    QHash<QString, std::size_t> byScratchName;
    for (const std::size_t index : indices) {
        if (m_sources[index].style != style)
            continue;
        const QString name = QString::fromLatin1(m_sources[index].scratchName);
        request.files.append(name);
        byScratchName.insert(name, index);
    }
    if (request.files.isEmpty())
        return true;
    const FormatterRunResult result = FormatterRunner().run(request, [this](int done, int total) {
        m_report.progress("formatting", done, total);
        return !stopped();
    });
    m_report.clearProgress();
    if (result.cancelled || stopped())
        return false;

    // indent names the copies; its messages name the sources instead
    const auto showOutput = [&](const FormatterProcessResult &run) {
        QStringList names = run.files;
        std::sort(names.begin(), names.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        // split before the names go in: a name may hold a line feed
        for (QByteArray line : run.standardError.split('\n')) {
            for (const QString &name : names)
                line.replace(name.toLatin1(), m_sources[byScratchName.value(name)].path);
            line = terminalSafe(line);
            if (!line.trimmed().isEmpty() && !m_shownLines.contains(line)) {
                m_shownLines.insert(line);
                m_report.err(line + '\n');
            }
        }
    };

    using Outcome = FormatterProcessResult::Outcome;
    for (const FormatterProcessResult &run : result.runs) {
        const bool finished = run.outcome == Outcome::Finished;
        if (finished && run.exitCode == 0)
            continue;
        if (finished && run.exitCode == 2) {
            // later passes read indent's own output: its line numbers would only confuse
            if (pass == 1)
                showOutput(run);
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
                if (m_warned.contains(index))
                    continue;
                m_warned.insert(index);
                m_report.message(m_sources[index].path +
                                 ": warning: indent could not parse it cleanly (status 2); formatted all "
                                 "the same, check the result");
            }
            continue;
        }
        showOutput(run);
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
        m_report.message(source.path + ": " + errnoText(error ? error : errno));
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

// The text a source gets: its settled form (or indent's one pass), only the changes on the lines
// asked for, and the original itself where indent changed nothing or never settled.
bool FormatRun::resultOf(const Source &source, ScratchDirectory &scratch, QByteArray *result)
{
    if (source.unchangedByFirstPass || source.unsettled)
        return originalOf(source, result);
    int error = 0;
    if (!readFileAt(scratch.fd(), source.scratchName, result, &error)) {
        m_report.message(source.path + ": cannot read the formatted copy: " + errnoText(error));
        m_failed = true;
        return false;
    }
    if (!source.lines)
        return true;
    QByteArray original;
    if (!originalOf(source, &original))
        return false;
    *result = keepChangesTouching(original, *result, *source.lines);
    return true;
}

int FormatRun::deliver(ScratchDirectory &scratch, int outputFd)
{
    qsizetype changed = 0;
    qsizetype formatted = 0;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        Source &source = m_sources[index];
        const bool toOutput = m_options.mode == FormatOptions::Mode::Output;
        const bool toStandardOutput = m_options.mode == FormatOptions::Mode::StandardOutput;
        const bool failed = source.state == Source::State::NotFormatted;
        // standard input is the only copy of an editor's buffer: it always comes back
        if (source.state != Source::State::Copied && !(failed && (toOutput || source.fromStandardInput)))
            continue;
        if (stopped())
            return stopStatus();
        m_report.progress("writing", int(index), int(m_sources.size()));
        QByteArray problem;
        if (failed || source.nothingAsked()) {
            // an intact copy, as the window's job leaves one for a file indent failed on
            QByteArray original;
            if (!originalOf(source, &original))
                continue;
            if (toStandardOutput)
                m_report.out(original);
            else if (toOutput &&
                     !writeNewFileAt(outputFd, source.outputName, original, source.status.st_mode, &problem))
                m_report.message(joinedPath(m_options.outputDirectory, source.outputName) + ": " + problem);
            continue;
        }
        QByteArray result;
        if (!resultOf(source, scratch, &result))
            continue;
        ++formatted;
        if (toStandardOutput) {
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
        if (original == result && !source.unsettled)
            continue;
        ++changed;
        if (m_options.mode == FormatOptions::Mode::Check) {
            m_report.message("would reformat " + source.path);
            if (m_options.diff && original != result) {
                const QByteArray diff = unifiedDiff(original, result, "a/" + source.path, "b/" + source.path);
                m_report.out(m_report.colours() ? coloured(diff) : diff);
            }
        } else if (m_options.mode == FormatOptions::Mode::InPlace && original != result) {
            if (replaceAtomically(source.path, result, source.status, &problem)) {
                m_report.message("reformatted " + source.path);
            } else {
                m_report.message(source.path + ": not rewritten: " + problem);
                m_failed = true;
            }
        }
    }
    m_report.clearProgress();

    switch (m_options.mode) {
    case FormatOptions::Mode::Check:
        if (changed > 0)
            m_report.message(QByteArray::number(changed) + " of " + filesWord(formatted) +
                             " would be reformatted" + stylesShown(m_styles, m_sources));
        break;
    case FormatOptions::Mode::Output:
        m_report.out(terminalSafe(m_options.outputDirectory) + '\n');
        m_report.out(filesWord(formatted) + " formatted, " + QByteArray::number(changed) +
                     " of them changed" + terminalSafe(stylesShown(m_styles, m_sources)) + '\n');
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

// The saved style the options name, or with --style file the nearest .indent.pro of every source.
bool FormatRun::chooseStyles()
{
    if (!m_options.repositoryProfile) {
        const std::optional<StyleFileContent> styles = loadStyles(m_options, m_setup, m_report);
        if (!styles)
            return false;
        const std::optional<ChosenStyle> style = chooseStyle(*styles, m_options.style, m_report);
        if (!style)
            return false;
        m_styles.push_back(*style);
        return true;
    }
    return assignRepositoryProfiles(m_sources, &m_styles, m_report);
}

bool FormatRun::limitToChangedLines()
{
    return m_options.since.isEmpty() ||
           limitToLinesChangedSince(
               m_options.since, m_sources,
               [this](const Source &source, QByteArray *now) { return originalOf(source, now); }, m_report);
}

int FormatRun::run()
{
    if (m_options.mode == FormatOptions::Mode::ListStyles ||
        m_options.mode == FormatOptions::Mode::PrintProfile) {
        const std::optional<StyleFileContent> styles = loadStyles(m_options, m_setup, m_report);
        if (!styles)
            return FormatExit::Error;
        if (m_options.mode == FormatOptions::Mode::ListStyles) {
            listStyles(*styles, m_report);
            return m_report.outputComplete() ? FormatExit::Success : FormatExit::Error;
        }
        const std::optional<ChosenStyle> style = chooseStyle(*styles, m_options.style, m_report);
        if (!style)
            return FormatExit::Error;
        m_report.out(indentProfileText(style->name, style->parameterText));
        return m_report.outputComplete() ? FormatExit::Success : FormatExit::Error;
    }

    if (!collectSources(m_options, m_report, &m_sources))
        return FormatExit::Error;
    if (m_sources.size() == 1 && m_sources.front().fromStandardInput &&
        isExcluded(m_options.excludes, m_sources.front().relativePath))
        return passStandardInputThrough();
    dropExcluded(m_options.excludes, &m_sources);
    if (!chooseStyles())
        return FormatExit::Error;
    if (!m_options.lines.isEmpty()) {
        for (Source &source : m_sources)
            source.lines = m_options.lines;
    }
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
        m_report.message(scratchBase + ": cannot create a scratch directory: " + errnoText(error));
        return FormatExit::Error;
    }
    if (!copyIntoScratch(scratch) || !limitToChangedLines() || !format(scratch))
        return stopped() ? stopStatus() : FormatExit::Error;
    return deliver(scratch, outputFd.get());
}

// An excluded buffer goes back as it came, so that an editor may format every file alike.
int FormatRun::passStandardInputThrough()
{
    QByteArray bytes;
    if (!takeStandardInput(m_sources.front(), &bytes))
        return FormatExit::Error;
    if (m_options.mode == FormatOptions::Mode::StandardOutput)
        m_report.out(bytes);
    return stopped() ? stopStatus() : FormatExit::Success;
}
