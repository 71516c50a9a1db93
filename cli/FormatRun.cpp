#include "FormatRun.h"

#include "Descriptor.h"
#include "DiffNames.h"
#include "FormatStyles.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "IndentProfile.h"
#include "LineDiff.h"
#include "PrivateDirectory.h"
#include "ResultFiles.h"
#include "ScratchDirectory.h"
#include "SourceAccess.h"
#include "SourceFiles.h"

#include <QFile>
#include <QHash>
#include <QSet>

#include <algorithm>
#include <cerrno>
#include <climits>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// Originals kept in memory for the comparison after formatting; beyond this they are read again.
constexpr qint64 KeptBytesLimit = 256 * 1024 * 1024;

} // namespace

bool FormatRun::readSource(SourceDirectories &directories, Source &source, QByteArray *bytes,
                           std::optional<Identity> *link)
{
    QByteArray name;
    QByteArray problem;
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
    SourceDirectories directories(m_trees);
    QSet<Identity> seen;
    QList<QPair<std::size_t, Identity>> links;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        if (stopped())
            return false;
        Source &source = m_sources[index];
        m_report.progress("reading", int(index), int(m_sources.size()));
        QByteArray bytes;
        std::optional<Identity> link;
        if (!readSource(directories, source, &bytes, &link)) {
            if (link)
                links.append({index, *link});
            continue;
        }
        // the same file named twice (a directory and a file in it) is formatted once
        const Identity identity{quint64(source.status.st_dev), quint64(source.status.st_ino)};
        if (seen.contains(identity))
            continue;
        seen.insert(identity);
        if (!writeScratchCopy(scratch, index, bytes))
            return false;
    }
    for (const auto &link : std::as_const(links)) {
        if (!seen.contains(link.second))
            m_report.message(m_sources[link.first].path +
                             ": warning: a symbolic link; --in-place does not write through it "
                             "(name the file it leads to)");
    }
    return true;
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
    if (m_keptBytes + bytes.size() <= KeptBytesLimit) {
        m_keptBytes += bytes.size();
        source.original = std::move(bytes);
    }
    source.state = Source::State::Copied;
    return true;
}

bool FormatRun::format(const ChosenStyle &style, PrivateDirectory &scratch)
{
    const FormatterDeployment deployment = DeployFormatter(QFile::decodeName(privateTemporaryRoot()));
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
    if (!result.profile.usable()) {
        // said once, not once a file: every file stays as it is
        m_report.message(result.profile.problem().toUtf8());
        for (const QString &name : request.files)
            m_sources[byScratchName.value(name)].state = Source::State::NotFormatted;
        m_failed = true;
        return true;
    }
    for (const QString &name : result.mixedLineEnds) {
        m_report.message(m_sources[byScratchName.value(name)].path +
                         ": warning: CRLF and LF line ends mixed; formatted as it is, indent leaves each "
                         "\\r at the start of the next line, check the result");
    }

    // indent names the copies; its messages name the sources instead
    QList<QByteArray> shownLines;
    const auto showOutput = [&](const FormatterProcessResult &run) {
        QStringList names = run.files;
        std::sort(names.begin(), names.end(),
                  [](const QString &a, const QString &b) { return a.size() > b.size(); });
        // split before the names go in: a name may hold a line feed
        for (QByteArray line : run.standardError.split('\n')) {
            for (const QString &name : names)
                line.replace(name.toLatin1(), m_sources[byScratchName.value(name)].path);
            line = terminalSafe(line);
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
        case Outcome::FileFailed:
            why = run.errorString.toUtf8();
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

bool FormatRun::originalOf(SourceDirectories &directories, Source &source, QByteArray *original)
{
    if (source.original) {
        *original = *source.original;
        return true;
    }
    // the original once more, from the same file as before
    const struct stat before = source.status;
    if (!readSource(directories, source, original, nullptr))
        return false;
    if (!sameFileState(source.status, before)) {
        m_report.message(source.path + ": changed while being formatted; left as it is");
        m_failed = true;
        return false;
    }
    return true;
}

int FormatRun::deliver(const ChosenStyle &style, PrivateDirectory &scratch, int outputFd)
{
    SourceDirectories directories(m_trees);
    Delivered delivered;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        Source &source = m_sources[index];
        const bool toOutput = m_options.mode == FormatOptions::Mode::Output;
        if (source.state != Source::State::Copied &&
            !(toOutput && source.state == Source::State::NotFormatted))
            continue;
        if (stopped())
            return stopStatus();
        m_report.progress("writing", int(index), int(m_sources.size()));
        deliverOne(style, directories, source, scratch, outputFd, &delivered);
    }
    m_report.clearProgress();
    summarize(style, delivered);
    if (stopped())
        return stopStatus();
    if (m_failed)
        return FormatExit::Error;
    return m_options.mode == FormatOptions::Mode::Check && delivered.changed > 0 ? FormatExit::WouldChange
                                                                                 : FormatExit::Success;
}

void FormatRun::deliverOne(const ChosenStyle &style, SourceDirectories &directories, Source &source,
                           PrivateDirectory &scratch, int outputFd, Delivered *delivered)
{
    QByteArray problem;
    const bool toOutput = m_options.mode == FormatOptions::Mode::Output;
    const QByteArray outputPath = joinedPath(m_options.outputDirectory, source.outputName);
    if (source.state == Source::State::NotFormatted) {
        // an intact copy, as the window's job leaves one for a file indent failed on
        QByteArray original;
        if (originalOf(directories, source, &original) &&
            !writeNewFileAt(outputFd, source.outputName, original, source.status, style.keepsModificationTime,
                            &problem))
            m_report.message(outputPath + ": " + problem);
        return;
    }
    QByteArray result;
    int error = 0;
    if (!readFileAt(scratch.fd(), source.scratchName, &result, &error)) {
        m_report.message(source.path + ": cannot read the formatted copy: " + errnoText(error));
        m_failed = true;
        return;
    }
    ++delivered->formatted;
    if (m_options.mode == FormatOptions::Mode::StandardOutput) {
        m_report.out(result);
        return;
    }
    if (toOutput && !writeNewFileAt(outputFd, source.outputName, result, source.status,
                                    style.keepsModificationTime, &problem)) {
        m_report.message(outputPath + ": " + problem);
        m_failed = true;
    }

    QByteArray original;
    if (!originalOf(directories, source, &original) || original == result)
        return;
    ++delivered->changed;
    if (m_options.mode == FormatOptions::Mode::Check) {
        m_report.message("would reformat " + source.path);
        if (m_options.diff)
            showDiff(source, original, result);
    } else if (m_options.mode == FormatOptions::Mode::InPlace) {
        rewrite(style, directories, source, result);
    }
}

void FormatRun::showDiff(const Source &source, const QByteArray &original, const QByteArray &result)
{
    if (m_workingDirectory.isNull()) {
        char directory[PATH_MAX];
        m_workingDirectory = ::getcwd(directory, sizeof directory) ? QByteArray(directory) : QByteArray("");
    }
    const std::optional<QByteArray> name = patchPath(source.path, m_workingDirectory);
    if (!name) {
        m_report.message(source.path + ": warning: outside the working directory, where `patch -p1` cannot "
                                       "reach it; its diff is left out");
        return;
    }
    const QByteArray diff =
        unifiedDiff(original, result, diffHeaderName("a/", *name), diffHeaderName("b/", *name));
    m_report.out(m_report.colours() ? coloured(diff) : diff);
}

void FormatRun::rewrite(const ChosenStyle &style, SourceDirectories &directories, const Source &source,
                        const QByteArray &result)
{
    QByteArray name;
    QByteArray problem;
    QList<QByteArray> losses;
    const int directoryFd = directories.directoryOf(source, &name, &problem);
    const ReplaceRules rules{m_options.forceReadOnly, style.keepsModificationTime};
    if (directoryFd < 0 ||
        !replaceFileAt(directoryFd, name, result, source.status, rules, &problem, &losses)) {
        m_report.message(source.path + ": not rewritten: " + problem);
        m_failed = true;
        return;
    }
    m_report.message("reformatted " + source.path);
    for (const QByteArray &loss : std::as_const(losses))
        m_report.message(source.path + ": warning: " + loss);
}

void FormatRun::summarize(const ChosenStyle &style, const Delivered &delivered)
{
    const QByteArray styleShown = " (style \"" + style.name.toUtf8() + "\")";
    switch (m_options.mode) {
    case FormatOptions::Mode::Check:
        if (delivered.changed > 0)
            m_report.message(QByteArray::number(delivered.changed) + " of " + filesWord(delivered.formatted) +
                             " would be reformatted" + styleShown);
        break;
    case FormatOptions::Mode::Output:
        m_report.out(terminalSafe(m_options.outputDirectory) + '\n');
        m_report.out(filesWord(delivered.formatted) + " formatted, " + QByteArray::number(delivered.changed) +
                     " of them changed" + styleShown + '\n');
        break;
    default:
        break;
    }
}

int FormatRun::run()
{
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
    if (m_options.mode == FormatOptions::Mode::PrintProfile) {
        m_report.out(indentProfileText(style->name, style->parameterText));
        return m_report.outputComplete() ? FormatExit::Success : FormatExit::Error;
    }

    if (!collectSources(m_options, m_report, &m_sources, &m_trees))
        return FormatExit::Error;
    if (m_setup.stageReached)
        m_setup.stageReached(FormatStage::SourcesFound);
    const bool toOutput = m_options.mode == FormatOptions::Mode::Output;
    if (toOutput && !outputNamesAreDistinct(m_sources, m_options.outputDirectory, m_report))
        return FormatExit::Error;
    Descriptor outputFd;
    if (toOutput) {
        outputFd = prepareOutputDirectory(m_options.outputDirectory, m_report);
        if (outputFd.get() < 0)
            return FormatExit::Error;
    }

    PrivateDirectory scratch(scratchBaseDirectory(m_setup, totalSize(m_sources)), ScratchPrefix);
    if (!scratch.isValid()) {
        m_report.message("cannot create a scratch directory: " + scratch.errorString().toUtf8());
        return FormatExit::Error;
    }
    if (!copyIntoScratch(scratch) || !format(*style, scratch))
        return stopped() ? stopStatus() : FormatExit::Error;
    if (m_setup.stageReached)
        m_setup.stageReached(FormatStage::Formatted);
    return deliver(*style, scratch, outputFd.get());
}
