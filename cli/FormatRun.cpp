#include "FormatRun.h"

#include "Descriptor.h"
#include "FormatStyles.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "IndentProfile.h"
#include "LineDiff.h"
#include "ResultFiles.h"
#include "ScratchDirectory.h"
#include "SourceFiles.h"

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
            m_report.message(source.path + ": " + errnoText(errno));
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
            m_report.message(source.path + ": " + errnoText(error));
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
                             errnoText(copy.get() < 0 ? errno : error));
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
            m_report.message(source.path + ": cannot read the formatted copy: " + errnoText(error));
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
        m_report.out(terminalSafe(m_options.outputDirectory) + '\n');
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
        m_report.message(scratchBase + ": cannot create a scratch directory: " + errnoText(error));
        return FormatExit::Error;
    }
    if (!copyIntoScratch(scratch) || !format(*style, scratch))
        return stopped() ? stopStatus() : FormatExit::Error;
    return deliver(*style, scratch, outputFd.get());
}
