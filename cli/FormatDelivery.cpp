// The last step of a run: what each source's result becomes in the mode asked for.
#include "FormatRun.h"

#include "CheckAnnotation.h"
#include "DiffNames.h"
#include "LineDiff.h"
#include "PrivateDirectory.h"
#include "ResultFiles.h"

#include <algorithm>
#include <climits>

#include <sys/stat.h>

#include <unistd.h>

// The text a source gets: its settled form (or indent's one pass), or with --lines and --since what
// isolateChanges left in its copy, and the original itself where indent changed nothing or never settled.
bool FormatRun::resultOf(const Source &source, PrivateDirectory &scratch, QByteArray *result)
{
    if (source.unchangedByFirstPass || source.unsettled)
        return originalOf(source, result);
    int error = 0;
    if (!readFileAt(scratch.fd(), source.scratchName, result, &error)) {
        m_report.message(source.path + ": cannot read the formatted copy: " + errnoText(error));
        m_failed = true;
        return false;
    }
    return true;
}

int FormatRun::deliver(PrivateDirectory &scratch, int outputFd)
{
    lookAfresh();
    Delivered delivered;
    for (std::size_t index = 0; index < m_sources.size(); ++index) {
        Source &source = m_sources[index];
        const bool toOutput = m_options.mode == FormatOptions::Mode::Output;
        const bool failed = source.state == Source::State::NotFormatted;
        // standard input is the only copy of an editor's buffer: it always comes back
        if (source.state != Source::State::Copied && !(failed && (toOutput || source.fromStandardInput)))
            continue;
        if (stopped())
            return stopStatus();
        m_report.progress("writing", int(index), int(m_sources.size()));
        if (m_options.mode == FormatOptions::Mode::InPlace)
            removeLeftovers(source);
        if (failed || source.nothingAsked())
            deliverUnformatted(source, outputFd);
        else
            deliverOne(source, scratch, outputFd, &delivered);
    }
    m_report.clearProgress();
    summarize(delivered);
    if (stopped())
        return stopStatus();
    if (m_failed)
        return FormatExit::Error;
    // a file left as it was because it never settled is one --in-place did not format
    const bool unsettledLeft = m_options.mode == FormatOptions::Mode::InPlace &&
                               std::any_of(m_sources.cbegin(), m_sources.cend(),
                                           [](const Source &source) { return source.unsettled; });
    return (m_options.mode == FormatOptions::Mode::Check && delivered.changed > 0) || unsettledLeft
               ? FormatExit::WouldChange
               : FormatExit::Success;
}

// An intact copy, as the window's job leaves one for a file indent failed on; the buffer itself for
// standard input.
void FormatRun::deliverUnformatted(const Source &source, int outputFd)
{
    QByteArray original;
    if (!originalOf(source, &original))
        return;
    QByteArray problem;
    if (m_options.mode == FormatOptions::Mode::StandardOutput)
        m_report.out(original);
    else if (m_options.mode == FormatOptions::Mode::Output &&
             !writeNewFileAt(outputFd, source.outputName, original, source.status,
                             styleOf(source).keepsModificationTime, &problem))
        m_report.message(joinedPath(m_options.outputDirectory, source.outputName) + ": " + problem);
}

void FormatRun::deliverOne(Source &source, PrivateDirectory &scratch, int outputFd, Delivered *delivered)
{
    QByteArray result;
    if (!resultOf(source, scratch, &result))
        return;
    ++delivered->formatted;
    if (m_options.mode == FormatOptions::Mode::StandardOutput) {
        m_report.out(result);
        return;
    }
    QByteArray problem;
    if (m_options.mode == FormatOptions::Mode::Output &&
        !writeNewFileAt(outputFd, source.outputName, result, source.status,
                        styleOf(source).keepsModificationTime, &problem)) {
        m_report.message(joinedPath(m_options.outputDirectory, source.outputName) + ": " + problem);
        m_failed = true;
    }

    QByteArray original;
    if (!originalOf(source, &original) || (original == result && !source.unsettled))
        return;
    ++delivered->changed;
    if (m_options.mode == FormatOptions::Mode::Check) {
        delivered->changedLines += changedLineCount(diffLines(original, result));
        if (m_options.annotate)
            m_report.err(checkAnnotation(annotatedPath(source), original, result));
        else
            m_report.message("would reformat " + source.path);
        if (m_options.diff && original != result)
            showDiff(source, original, result);
    } else if (m_options.mode == FormatOptions::Mode::InPlace && original != result) {
        rewrite(source, result);
    }
}

const QByteArray &FormatRun::workingDirectory()
{
    if (m_workingDirectory.isNull()) {
        char directory[PATH_MAX];
        m_workingDirectory = ::getcwd(directory, sizeof directory) ? QByteArray(directory) : QByteArray("");
    }
    return m_workingDirectory;
}

// The name the diff gives the file, which a CI log viewer finds in the checkout; as given outside it.
QByteArray FormatRun::annotatedPath(const Source &source)
{
    return patchPath(source.path, workingDirectory()).value_or(source.path);
}

void FormatRun::showDiff(const Source &source, const QByteArray &original, const QByteArray &result)
{
    const std::optional<QByteArray> name = patchPath(source.path, workingDirectory());
    if (!name) {
        m_report.message(source.path + ": warning: outside the working directory, where `patch -p1` cannot "
                                       "reach it; its diff is left out");
        return;
    }
    const QByteArray diff =
        unifiedDiff(original, result, diffHeaderName("a/", *name), diffHeaderName("b/", *name));
    m_report.out(m_report.colours(m_options.colour) ? coloured(diff) : diff);
}

void FormatRun::removeLeftovers(const Source &source)
{
    QByteArray name;
    QByteArray problem;
    const int directoryFd = m_directories->directoryOf(source, &name, &problem);
    struct stat directory;
    if (directoryFd < 0 || ::fstat(directoryFd, &directory) != 0)
        return;
    const Identity identity{quint64(directory.st_dev), quint64(directory.st_ino)};
    if (m_cleanedDirectories.contains(identity))
        return;
    m_cleanedDirectories.insert(identity);
    removeLeftoversAt(directoryFd);
}

void FormatRun::rewrite(const Source &source, const QByteArray &result)
{
    QByteArray name;
    QByteArray problem;
    QList<QByteArray> losses;
    const int directoryFd = m_directories->directoryOf(source, &name, &problem);
    const ReplaceRules rules{m_options.forceReadOnly, styleOf(source).keepsModificationTime};
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

void FormatRun::summarize(const Delivered &delivered)
{
    switch (m_options.mode) {
    case FormatOptions::Mode::Check:
        if (delivered.changed > 0)
            m_report.message(QByteArray::number(delivered.changed) + " of " + filesWord(delivered.formatted) +
                             " would be reformatted" + stylesShown(m_styles, m_sources) + ", " +
                             QByteArray::number(delivered.changedLines) +
                             (delivered.changedLines == 1 ? " changed line" : " changed lines"));
        break;
    case FormatOptions::Mode::Output:
        m_report.out(terminalSafe(m_options.outputDirectory) + '\n');
        m_report.out(filesWord(delivered.formatted) + " formatted, " + QByteArray::number(delivered.changed) +
                     " of them changed" + terminalSafe(stylesShown(m_styles, m_sources)) + '\n');
        break;
    default:
        break;
    }
}
