#include "InferCommand.h"

#include "CellTable.h"
#include "FormatReporter.h"
#include "FormatterDeployment.h"
#include "IndentProfile.h"
#include "InferenceInput.h"
#include "PrivateDirectory.h"
#include "ProfileSearch.h"
#include "StyleEvaluator.h"
#include "StyleSearch.h"
#include "UnparsableSources.h"

#include <QElapsedTimer>
#include <QFile>
#include <QIODevice>
#include <QScopeGuard>
#include <QThread>

namespace {

// How often a stop request (Ctrl-C) is looked for while the search runs.
constexpr int StopPollMilliseconds = 20;

QByteArray linesWord(qint64 count)
{
    return QByteArray::number(count) + (count == 1 ? " changed line" : " changed lines");
}

class InferRun
{
public:
    InferRun(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams)
        : m_options(options)
        , m_setup(setup)
        , m_streams(streams)
        , m_report(streams)
    {
        m_sinceStart.start();
    }

    int run();

private:
    bool collect(InferenceInput *input);
    SearchResult search(QVector<SourceText> *sources, QString *setupError);
    // With --all-options: the whole profile from the rows' answer, on the same evaluator.
    void searchWholeProfile(StyleEvaluator &evaluator, SearchResult *rows, const std::atomic_bool &cancel);
    void reportUnparsable(const ParseScreening &screening);
    int print(const SearchResult &result, const InferenceInput &input);
    QByteArray scoreLine(const SearchResult &result, const InferenceInput &input) const;
    // the lines the proposal printed still changes: the whole profile's, else the rows'
    qint64 proposedLines(const SearchResult &result) const
    {
        return m_wholeProfile ? m_wholeProfile->score.changedLines : result.score.changedLines;
    }

    // through the shared reporter, which escapes control characters in names
    void message(const QByteArray &line)
    {
        clearProgress();
        m_report.message(line);
    }
    // indent's own lines, each escaped
    void formatterMessages(const QByteArray &messages)
    {
        for (const QByteArray &line : messages.split('\n')) {
            if (!line.trimmed().isEmpty())
                m_report.err(terminalSafe(line) + '\n');
        }
    }
    void progress(const SearchProgress &progress);
    void clearProgress()
    {
        if (m_progressShown)
            m_streams.err.write("\r\033[K");
        m_progressShown = false;
    }
    bool stopRequested() const { return m_setup.stopRequested && m_setup.stopRequested(); }

    const FormatOptions &m_options;
    const FormatSetup &m_setup;
    FormatStreams &m_streams;
    Reporter m_report;
    QElapsedTimer m_sinceStart;
    QElapsedTimer m_sinceShown;
    bool m_progressShown = false;
    std::optional<ProfileSearchResult> m_wholeProfile; // with --all-options, when found
};

bool InferRun::collect(InferenceInput *input)
{
    *input = collectInferenceInput(m_options.paths, m_options.recursive);
    bool ok = true;
    for (const InputProblem &problem : input->problems) {
        switch (problem.kind) {
        case InputProblem::Kind::Missing:
        case InputProblem::Kind::Unreadable:
            message(problem.path + ": " + errnoText(problem.error));
            ok = false;
            break;
        case InputProblem::Kind::UnreadableDirectory:
            message(problem.path + ": cannot read the directory");
            ok = false;
            break;
        case InputProblem::Kind::NotRegularFile:
            message(problem.path + ": warning: not a regular file, skipped");
            break;
        case InputProblem::Kind::TooLarge:
            message(problem.path + ": warning: larger than " +
                    QByteArray::number(MaximumSourceBytes / (1024 * 1024)) + " MB, skipped");
            break;
        case InputProblem::Kind::NoSourceFiles:
            message(problem.path + ": warning: no .c, .h, .cpp or .hpp file found" +
                    (m_options.recursive ? "" : " (-r descends into subdirectories)"));
            break;
        }
    }
    if (ok && input->files.isEmpty()) {
        message("no source file to learn a style from");
        ok = false;
    }
    if (ok && input->sampled)
        message("learning from " + QByteArray::number(input->files.size()) + " of " +
                QByteArray::number(input->filesFound) + " files, chosen by their bytes and spread over them");
    return ok;
}

void InferRun::progress(const SearchProgress &progress)
{
    // a quick run stays quiet, and a line every tenth of a second is enough to read
    if (!m_streams.errIsTerminal || m_sinceStart.elapsed() < 1000 ||
        (m_sinceShown.isValid() && m_sinceShown.elapsed() < 100))
        return;
    m_sinceShown.start();
    m_streams.err.write("\r\033[K" + ProgramName +
                        (progress.wholeProfile ? ": learning all options: round " : ": learning: round ") +
                        QByteArray::number(progress.rounds) + ", best " +
                        linesWord(progress.bestChangedLines) + ", " +
                        QByteArray::number(progress.indentRuns) + " indent runs");
    m_progressShown = true;
}

void InferRun::reportUnparsable(const ParseScreening &screening)
{
    for (const QByteArray &line : screening.messages)
        message(line);
    for (const QByteArray &path : screening.unparsable)
        message(path + (screening.keptAll
                            ? ": warning: indent could not parse it cleanly; learnt from all the same, "
                              "as no file parsed cleanly"
                            : ": warning: indent could not parse it cleanly; left out of what is learnt"));
}

SearchResult InferRun::search(QVector<SourceText> *sources, QString *setupError)
{
    const FormatterDeployment deployment = DeployFormatter(QFile::decodeName(privateTemporaryRoot()));
    if (!deployment.ok) {
        *setupError = QStringLiteral("cannot put the formatter in place: %1").arg(deployment.error);
        return {};
    }
    EvaluatorSetup evaluatorSetup;
    evaluatorSetup.formatterPath = deployment.formatterPath;
    evaluatorSetup.scratchBase = m_setup.scratchBase;
    // a stop request (a signal) is only a flag: turn it into a cancel while the check and search run
    std::atomic_bool cancel{false};
    std::atomic_bool done{false};
    std::unique_ptr<QThread> watcher(QThread::create([&] {
        while (!done.load() && !cancel.load()) {
            if (stopRequested())
                cancel = true;
            QThread::msleep(StopPollMilliseconds);
        }
    }));
    watcher->start();
    const auto stopWatching = qScopeGuard([&] {
        done = true;
        watcher->wait();
    });
    reportUnparsable(leaveOutUnparsable(sources, evaluatorSetup, cancel));
    StyleEvaluator evaluator(*sources, evaluatorSetup);
    if (!evaluator.isReady()) {
        *setupError = evaluator.setupError();
        return {};
    }
    SearchResult result = StyleSearch(evaluator).run(std::nullopt, cancel,
                                                     [this](const SearchProgress &now) { progress(now); });
    if (m_options.allOptions && result.outcome == SearchResult::Outcome::Found)
        searchWholeProfile(evaluator, &result, cancel);
    clearProgress();
    return result;
}

void InferRun::searchWholeProfile(StyleEvaluator &evaluator, SearchResult *rows,
                                  const std::atomic_bool &cancel)
{
    const ProfileSearchResult whole = ProfileSearch(evaluator).run(
        {profileOfSelection(rows->selection)}, cancel, [this](const SearchProgress &now) { progress(now); });
    switch (whole.outcome) {
    case SearchResult::Outcome::Found:
        m_wholeProfile = whole;
        break;
    case SearchResult::Outcome::Cancelled:
        rows->outcome = SearchResult::Outcome::Cancelled;
        break;
    case SearchResult::Outcome::Failed:
        rows->outcome = SearchResult::Outcome::Failed;
        rows->failure = whole.failure;
        break;
    }
}

QByteArray InferRun::scoreLine(const SearchResult &result, const InferenceInput &input) const
{
    const ScoredStyle *best = nullptr;
    for (const ScoredStyle &style : result.builtIns) {
        if (style.score.scored() && (!best || style.score.changedLines < best->score.changedLines))
            best = &style;
    }
    QByteArray score = linesWord(proposedLines(result)) + " in " + QByteArray::number(input.files.size()) +
                       (input.files.size() == 1 ? " file" : " files");
    QByteArrayList others;
    if (m_wholeProfile)
        others.append("catalogue rows: " + QByteArray::number(result.score.changedLines));
    if (best)
        others.append("best built-in style \"" + best->name.toUtf8() +
                      "\": " + QByteArray::number(best->score.changedLines));
    if (!others.isEmpty())
        score += " (" + others.join("; ") + ")";
    return score;
}

int InferRun::print(const SearchResult &result, const InferenceInput &input)
{
    const QString parameterText =
        m_wholeProfile ? m_wholeProfile->parameterText : ParameterTextFor(result.selection).trimmed();
    const QByteArray score = scoreLine(result, input);
    if (m_options.printProfile) {
        const QString name = m_wholeProfile
                                 ? wholeProfileName(m_wholeProfile->score.changedLines)
                                 : QString::fromUtf8("从代码推断，改动 %1 行").arg(result.score.changedLines);
        m_report.out(indentProfileText(name, parameterText));
        message(score);
    } else {
        m_report.out(parameterText.toUtf8() + '\n' + score + '\n');
    }
    return m_report.outputComplete() ? FormatExit::Success : FormatExit::Error;
}

int InferRun::run()
{
    InferenceInput input;
    if (!collect(&input))
        return FormatExit::Error;
    QString setupError;
    const SearchResult result = search(&input.files, &setupError);
    if (!setupError.isEmpty()) {
        message(setupError.toUtf8());
        return FormatExit::Error;
    }
    switch (result.outcome) {
    case SearchResult::Outcome::Found:
        return print(result, input);
    case SearchResult::Outcome::Cancelled:
        message("interrupted; nothing was learnt");
        return stopRequested() ? FormatExit::Interrupted : FormatExit::Error;
    case SearchResult::Outcome::Failed:
        break;
    }
    const StyleScore &failure = result.failure;
    using Outcome = StyleScore::Outcome;
    switch (failure.outcome) {
    case Outcome::FailedToStart:
        message("indent could not start: " + failure.errorString.toUtf8());
        break;
    case Outcome::FormatterFailed:
        formatterMessages(failure.messages);
        message(failure.exitCode < 0 ? QByteArray("indent crashed")
                                     : "indent failed with status " + QByteArray::number(failure.exitCode));
        break;
    case Outcome::TimedOut:
        formatterMessages(failure.messages);
        message("indent did not finish in time");
        break;
    case Outcome::OutOfSpace:
        message("the scratch space ran full; what indent wrote cannot be trusted, so nothing was learnt");
        break;
    case Outcome::ScratchFailed:
        message("cannot use the scratch space: " +
                (failure.errorString.isEmpty() ? errnoText(failure.error) : failure.errorString.toUtf8()));
        break;
    case Outcome::Scored:
    case Outcome::Cancelled:
        break;
    }
    return FormatExit::Error;
}

} // namespace

int runInferCommand(const FormatOptions &options, const FormatSetup &setup, FormatStreams &streams)
{
    return InferRun(options, setup, streams).run();
}
