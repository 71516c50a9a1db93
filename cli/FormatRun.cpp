#include "FormatRun.h"

#include "Descriptor.h"
#include "FormatterDeployment.h"
#include "GitRevision.h"
#include "IndentProfile.h"
#include "LineDiff.h"
#include "PrivateDirectory.h"
#include "RepositoryProfile.h"
#include "ResultFiles.h"
#include "ScratchDirectory.h"
#include "SettlingLoop.h"
#include "SourceExcludes.h"
#include "SourceFiles.h"
#include "StandardInput.h"

#include <QFile>

#include <algorithm>
#include <cerrno>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Originals kept in memory for the comparison after formatting; beyond this they are read again.
constexpr qint64 KeptBytesLimit = 256 * 1024 * 1024;

// Why a file of a process stopped at the time limit was left as it was.
QByteArray timeOutText(int seconds, bool onThisFile, const QByteArray &timedOutPath)
{
    const QByteArray limit = "the time limit of " + QByteArray::number(seconds) + " s";
    if (onThisFile)
        return "indent ran longer than " + limit +
               " on it (a profile's huge indentation or column? "
               "--time-limit raises the limit)";
    if (timedOutPath.isEmpty())
        return "indent ran longer than " + limit + " on it or another file of the same run";
    return "stopped with " + timedOutPath + ", on which indent ran longer than " + limit;
}

} // namespace

bool FormatRun::takeStandardInput(Source &source, QByteArray *bytes)
{
    // read into the caller's keeping when it asks, so that a failure can still give it all back
    QByteArray &taken = m_setup.standardInputTaken ? *m_setup.standardInputTaken : *bytes;
    const bool read = readStandardInput(
        m_setup.standardInput, source.path, &taken, [this] { return stopped(); }, m_report);
    *bytes = taken;
    if (!read)
        return false;
    source.original = *bytes; // the only copy there is: always kept
    m_keptBytes += bytes->size();
    return true;
}

SourceDirectories &FormatRun::lookAfresh()
{
    m_directories.emplace(m_trees);
    return *m_directories;
}

bool FormatRun::readSource(Source &source, QByteArray *bytes, std::optional<Identity> *link)
{
    QByteArray name;
    QByteArray problem;
    SourceDirectories &directories = m_directories ? *m_directories : lookAfresh();
    const int directoryFd = directories.directoryOf(source, &name, &problem);
    int error = 0;
    // --in-place never writes through a link found in a tree; elsewhere a link is read as its file
    const bool followLink = m_options.mode != FormatOptions::Mode::InPlace || source.tree < 0;
    const Descriptor fd = directoryFd < 0
                              ? Descriptor()
                              : openSourceAt(directoryFd, name, followLink, &source.status, &problem, &error);
    if (fd.get() < 0 && error == ELOOP && !followLink && link) {
        struct stat target;
        if (::fstatat(directoryFd, name.constData(), &target, 0) == 0) {
            *link = Identity{quint64(target.st_dev), quint64(target.st_ino)};
            return false;
        }
    }
    if (fd.get() < 0 || !readWhole(fd.get(), bytes, &error)) {
        m_report.message(source.path + ": " + (fd.get() < 0 ? problem : errnoText(error)));
        source.state = Source::State::Failed;
        m_failed = true;
        return false;
    }
    return true;
}

bool FormatRun::copyIntoScratch(PrivateDirectory &scratch)
{
    lookAfresh();
    QSet<Identity> seen;
    QList<QPair<std::size_t, Identity>> links;
    QByteArrayList cppSources;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        if (stopped())
            return false;
        Source &source = m_sources[index];
        m_report.progress("reading", int(index), int(m_sources.size()));
        QByteArray bytes;
        if (source.fromStandardInput) {
            if (!takeStandardInput(source, &bytes))
                return false;
        } else {
            std::optional<Identity> link;
            if (!readSource(source, &bytes, &link)) {
                if (link)
                    links.append({index, *link});
                continue;
            }
            // the same file named twice (a directory and a file in it) is formatted once
            const Identity identity{quint64(source.status.st_dev), quint64(source.status.st_ino)};
            if (seen.contains(identity))
                continue;
            seen.insert(identity);
        }
        if (!cppSign(QFile::decodeName(source.path), bytes).isEmpty())
            cppSources.append(source.path);
        if (!writeScratchCopy(scratch, index, bytes))
            return false;
    }
    warnOfCpp(cppSources);
    for (const auto &link : std::as_const(links)) {
        if (!seen.contains(link.second))
            m_report.message(m_sources[link.first].path +
                             ": warning: a symbolic link; --in-place does not write through it "
                             "(name the file it leads to)");
    }
    return true;
}

// Once per run, however many: indent is a C formatter.
void FormatRun::warnOfCpp(const QByteArrayList &paths)
{
    if (paths.isEmpty())
        return;
    constexpr qsizetype Named = 5;
    QByteArray names = paths.mid(0, Named).join(", ");
    if (paths.size() > Named)
        names += " and " + QByteArray::number(paths.size() - Named) + " more";
    m_report.message("warning: " + names + (paths.size() == 1 ? " looks" : " look") +
                     " like C++; indent formats C and lays out templates, lambdas and the like oddly "
                     "(\"std::vector < T >>\"), check the result");
}

bool FormatRun::writeScratchCopy(PrivateDirectory &scratch, std::size_t index, QByteArray &bytes)
{
    Source &source = m_sources[index];
    // a unique name per copy: files of the same name from different directories never meet
    const QByteArray extension = extensionOf(QString::fromLatin1(baseNameOf(source.outputName))).toLatin1();
    source.scratchName = "zf" + QByteArray::number(qulonglong(index)).rightJustified(7, '0') +
                         (hasSourceExtension(QString::fromLatin1(extension)) ? extension : QByteArray());
    Descriptor copy(::openat(scratch.fd(), source.scratchName.constData(),
                             O_WRONLY | O_CREAT | O_EXCL | O_NOFOLLOW | O_CLOEXEC, 0600));
    int error = 0;
    if (copy.get() < 0 || !writeWhole(copy.get(), bytes, &error)) {
        m_report.message(scratch.nativePath() + ": cannot write a copy of " + source.path + ": " +
                         errnoText(copy.get() < 0 ? errno : error));
        return false;
    }
    if (!source.fromStandardInput && m_keptBytes + bytes.size() <= KeptBytesLimit) {
        m_keptBytes += bytes.size();
        source.original = std::move(bytes);
    }
    source.state = Source::State::Copied;
    return true;
}

bool FormatRun::originalOf(const Source &source, QByteArray *original)
{
    if (source.original) {
        *original = *source.original;
        return true;
    }
    // the original once more, from the same file as before
    Source again = source;
    if (!readSource(again, original, nullptr))
        return false;
    if (!sameFileState(again.status, source.status)) {
        m_report.message(source.path + ": changed while being formatted; left as it is");
        m_failed = true;
        return false;
    }
    return true;
}

bool FormatRun::limitToChangedLines()
{
    if (m_options.since.isEmpty())
        return true;
    lookAfresh();
    return limitToLinesChangedSince(
        m_options.since, m_sources,
        [this](const Source &source, QByteArray *now) { return originalOf(source, now); }, m_report);
}

bool FormatRun::format(PrivateDirectory &scratch)
{
    const FormatterDeployment deployment = DeployFormatter(QFile::decodeName(privateTemporaryRoot()));
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
    if (!runPass(m_sources, scratch, all, 1))
        return false;
    if (!m_options.singlePass) {
        lookAfresh();
        SettlingLoop settling(scratch.fd(), m_report);
        if (!settle(m_sources, scratch, settling))
            return false;
        settling.reportUnsettled(
            m_sources,
            [this](const Source &source, QByteArray *original) { return originalOf(source, original); },
            m_options.diff);
    }
    return isolateChanges(scratch);
}

bool FormatRun::settle(std::vector<Source> &sources, PrivateDirectory &scratch, SettlingLoop &settling)
{
    return settling.run(
        sources,
        [&](const QList<std::size_t> &indices, int pass) { return runPass(sources, scratch, indices, pass); },
        [this](const Source &source, QByteArray *original) { return originalOf(source, original); });
}

bool FormatRun::putInCopy(PrivateDirectory &scratch, const Source &source, const QByteArray &text)
{
    Descriptor copy(::openat(scratch.fd(), source.scratchName.constData(),
                             O_WRONLY | O_CREAT | O_TRUNC | O_NOFOLLOW | O_CLOEXEC, 0600));
    int error = 0;
    if (copy.get() < 0 || !writeWhole(copy.get(), text, &error)) {
        m_report.message(scratch.nativePath() + ": cannot write a copy of " + source.path + ": " +
                         errnoText(copy.get() < 0 ? errno : error));
        return false;
    }
    return true;
}

bool FormatRun::isolateChanges(PrivateDirectory &scratch)
{
    std::map<std::size_t, ChangeSelection> selections;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        Source &source = m_sources[index];
        if (!source.lines || !source.toFormat() || source.unchangedByFirstPass || source.unsettled)
            continue;
        QByteArray original;
        QByteArray formatted;
        int error = 0;
        if (!originalOf(source, &original)) {
            source.state = Source::State::Failed; // said why; its copy holds more than was asked for
            continue;
        }
        if (!readFileAt(scratch.fd(), source.scratchName, &formatted, &error)) {
            m_report.message(source.path + ": cannot read the formatted copy: " + errnoText(error));
            return false;
        }
        ChangeSelection selection(original, formatted, *source.lines);
        if (selection.takesNothing() && !putInCopy(scratch, source, original))
            return false;
        if (!selection.takesNothing() && !selection.takesEverything())
            selections.emplace(index, std::move(selection));
    }
    if (selections.empty())
        return true;
    if (!checkSelections(scratch, selections))
        return false;
    for (const auto &[index, selection] : selections) {
        const Source &source = m_sources[index];
        for (const LineRange &lines : selection.joined()) {
            m_report.message(source.path + ": warning: lines " + QByteArray::number(lines.first) + "-" +
                             QByteArray::number(lines.last) +
                             " formatted as one change: indent's changes there cannot be taken apart");
        }
        if (source.state == Source::State::Copied && !putInCopy(scratch, source, selection.result()))
            return false;
    }
    return true;
}

// Formats each selection's result in copies of its own until its full format is the full format of
// the original, widening it where it is not.
bool FormatRun::checkSelections(PrivateDirectory &scratch, std::map<std::size_t, ChangeSelection> &selections)
{
    constexpr int MaxRounds = 6; // then the whole formatted text, which needs no check
    QSet<std::size_t> pending;
    for (const auto &entry : selections)
        pending.insert(entry.first);
    for (int round = 1; round <= MaxRounds && !pending.isEmpty(); ++round) {
        std::vector<Source> checks = m_sources;
        for (Source &check : checks)
            check.state = Source::State::Pending; // only the copies below are formatted
        QList<std::size_t> indices;
        for (const std::size_t index : std::as_const(pending)) {
            Source &check = checks[index];
            check.state = Source::State::Copied;
            check.lines.reset();
            check.unchangedByFirstPass = false;
            check.original = selections.at(index).result();
            check.scratchName = "zc" + QByteArray::number(round) + m_sources[index].scratchName;
            if (!putInCopy(scratch, check, *check.original))
                return false;
            indices.append(index);
        }
        std::sort(indices.begin(), indices.end());
        // pass 2: indent's messages were shown for the original already
        if (!runPass(checks, scratch, indices, 2))
            return false;
        SettlingLoop settling(scratch.fd(), m_report);
        if (!m_options.singlePass && !settle(checks, scratch, settling))
            return false;
        for (const std::size_t index : std::as_const(indices)) {
            const Source &check = checks[index];
            ChangeSelection &selection = selections.at(index);
            QByteArray settled = *check.original;
            int error = 0;
            if (check.state != Source::State::Copied) {
                m_sources[index].state = Source::State::NotFormatted; // named by runStylePass
            } else if (!check.unchangedByFirstPass &&
                       !readFileAt(scratch.fd(), check.scratchName, &settled, &error)) {
                m_report.message(check.path + ": cannot read the formatted copy: " + errnoText(error));
                return false;
            }
            if (check.state != Source::State::Copied || check.unsettled || !selection.accepts(settled)) {
                if (round == MaxRounds || !selection.widen(settled))
                    selection.takeEverything();
                if (!selection.takesEverything())
                    continue;
            }
            pending.remove(index);
        }
    }
    return true;
}

// One pass of indent over the copies of these sources, each with its style's options.
bool FormatRun::runPass(std::vector<Source> &sources, PrivateDirectory &scratch,
                        const QList<std::size_t> &indices, int pass)
{
    for (int style = 0; style < int(m_styles.size()); ++style) {
        if (!runStylePass(sources, scratch, indices, pass, style))
            return false;
    }
    return true;
}

bool FormatRun::runStylePass(std::vector<Source> &sources, PrivateDirectory &scratch,
                             const QList<std::size_t> &indices, int pass, int style)
{
    FormatterRequest request;
    request.formatterPath = m_formatterPath;
    // every option is on the command line: no profile in the user's home or the working directory
    // changes the result, whoever runs it and wherever
    request.parameterText = QStringLiteral("-npro ") + m_styles[std::size_t(style)].parameterText;
    request.directoryDescriptor = scratch.fd();
    request.timeLimitMilliseconds = qint64(m_options.timeLimitSeconds) * 1000;
    QHash<QString, std::size_t> byName;
    for (const std::size_t index : indices) {
        if (sources[index].style != style)
            continue;
        const QString name = QString::fromLatin1(sources[index].scratchName);
        request.files.append(name);
        byName.insert(name, index);
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
    if (pass == 1) {
        for (const QString &name : result.mixedLineEnds) {
            m_report.message(m_sources[byName.value(name)].path +
                             ": warning: CRLF and LF line ends mixed; formatted as it is, indent leaves "
                             "each \\r at the start of the next line, check the result");
        }
    }

    using Outcome = FormatterProcessResult::Outcome;
    for (const FormatterProcessResult &run : result.runs) {
        const bool finished = run.outcome == Outcome::Finished;
        if (finished && run.exitCode == 0)
            continue;
        if (finished && run.exitCode == 2) {
            // later passes read indent's own output: its line numbers would only confuse
            if (pass == 1)
                showFormatterOutput(run, byName);
            warnOfParseProblems(run, byName);
            continue;
        }
        showFormatterOutput(run, byName);
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
        case Outcome::FileFailed:
            why = run.errorString.toUtf8();
            break;
        }
        const QByteArray timedOutPath =
            run.timedOutFile.isEmpty() ? QByteArray() : m_sources[byName.value(run.timedOutFile)].path;
        for (const QString &name : run.files) {
            Source &source = sources[byName.value(name)];
            source.state = Source::State::NotFormatted;
            m_report.message(
                source.path + ": not formatted: " +
                (run.timedOut ? timeOutText(m_options.timeLimitSeconds,
                                            run.files.size() == 1 || name == run.timedOutFile, timedOutPath)
                              : why));
        }
        m_failed = true;
    }
    return true;
}

// indent names the copies; its messages name the sources instead
void FormatRun::showFormatterOutput(const FormatterProcessResult &run,
                                    const QHash<QString, std::size_t> &byName)
{
    QStringList names = run.files;
    std::sort(names.begin(), names.end(),
              [](const QString &a, const QString &b) { return a.size() > b.size(); });
    // split before the names go in: a name may hold a line feed
    for (QByteArray line : run.standardError.split('\n')) {
        for (const QString &name : names)
            line.replace(name.toLatin1(), m_sources[byName.value(name)].path);
        line = terminalSafe(line);
        if (!line.trimmed().isEmpty() && !m_shownLines.contains(line)) {
            m_shownLines.insert(line);
            m_report.err(line + '\n');
        }
    }
}

void FormatRun::warnOfParseProblems(const FormatterProcessResult &run,
                                    const QHash<QString, std::size_t> &byName)
{
    QList<std::size_t> named;
    for (const QString &name : run.files) {
        if (run.standardError.contains(name.toLatin1()))
            named.append(byName.value(name));
    }
    if (named.isEmpty()) {
        for (const QString &name : run.files)
            named.append(byName.value(name));
    }
    for (const std::size_t index : named) {
        if (m_warned.contains(index))
            continue;
        m_warned.insert(index);
        m_report.message(m_sources[index].path +
                         ": warning: indent could not parse it cleanly (status 2); formatted all the same, "
                         "check the result");
    }
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

    if (!collectSources(m_options, m_report, &m_sources, &m_trees))
        return FormatExit::Error;
    SourceExcludes excludes(m_options.excludes);
    if (m_sources.size() == 1 && m_sources.front().fromStandardInput) {
        const SourceExcludes::Verdict verdict =
            excludes.verdictFor(m_sources.front(), lookAfresh(), m_report);
        if (verdict != SourceExcludes::Verdict::Kept)
            return passStandardInputThrough(verdict == SourceExcludes::Verdict::Excluded ? FormatExit::Success
                                                                                         : FormatExit::Error);
    }
    if (!excludes.dropExcluded(&m_sources, m_trees, m_report))
        return FormatExit::Error;
    if (!chooseStyles())
        return FormatExit::Error;
    reached(FormatStage::SourcesFound);
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

    PrivateDirectory scratch(scratchBaseDirectory(m_setup, totalSize(m_sources)), ScratchPrefix::Format);
    if (!scratch.isValid()) {
        m_report.message("cannot create a scratch directory: " + scratch.errorString().toUtf8());
        return FormatExit::Error;
    }
    if (!copyIntoScratch(scratch) || !limitToChangedLines() || !format(scratch))
        return stopped() ? stopStatus() : FormatExit::Error;
    reached(FormatStage::Formatted);
    const int status = deliver(scratch, outputFd.get());
    const QString diffProblem = lineDiffProblem();
    if (!diffProblem.isEmpty())
        m_report.message("warning: libgit2 could not be loaded (" + diffProblem.toLocal8Bit() +
                         "); diffs and changed lines took whole files");
    return status;
}

// An excluded buffer goes back as it came, so that an editor may format every file alike; so does one
// whose ignore file cannot be read, with status.
int FormatRun::passStandardInputThrough(int status)
{
    QByteArray bytes;
    if (!takeStandardInput(m_sources.front(), &bytes))
        return FormatExit::Error;
    if (m_options.mode == FormatOptions::Mode::StandardOutput)
        m_report.out(bytes);
    return stopped() ? stopStatus() : status;
}
