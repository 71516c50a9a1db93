// The style search on real C files against the built-in styles and a plain greedy search over single
// rows, run in the same process on the same machine, and the whole-profile search on top of it; then,
// outside the timed part, a check that no one-row and no two-row change of the rows' answer does better,
// and none of one or two options of the whole profile's (README, Learning a style).
//
//     infer_bench [--no-check] [FILE...]     (default: the zlib examples in bench/data)
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "InferenceInput.h"
#include "ProfileSearch.h"
#include "StyleEvaluator.h"
#include "StyleSearch.h"
#include "StyleSpace.h"

#include <QCoreApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QHash>
#include <QTemporaryDir>
#include <QThread>

#include <cstdio>

#include <sys/resource.h>

namespace {

// CPU seconds of this process and of the children it has waited for: what the runs cost, whatever
// else keeps the machine busy.
double cpuSeconds()
{
    double total = 0;
    for (const int who : {RUSAGE_SELF, RUSAGE_CHILDREN}) {
        struct rusage usage;
        ::getrusage(who, &usage);
        total += double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
                 double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
    }
    return total;
}

struct Outcome
{
    QString parameterText;
    qint64 lines = -1;
    int rows = 0;
    int runs = 0;
    double seconds = 0;
    double cpu = 0;
};

// fewer changed lines, then fewer rows, then the first parameter text
bool better(qint64 lines, int rows, const QString &text, const Outcome &than)
{
    if (than.lines < 0)
        return lines >= 0;
    if (lines < 0)
        return false;
    if (lines != than.lines)
        return lines < than.lines;
    if (rows != than.rows)
        return rows < than.rows;
    return text < than.parameterText;
}

// What a plain search does without knowing what the rows mean: from nothing ticked, try toggling each
// row, take the best toggle while it helps. Scores are kept by parameter text, and a round's runs go to
// both cores as the search's do.
Outcome greedy(const QVector<SourceText> &sources, const EvaluatorSetup &setup)
{
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    StyleEvaluator evaluator(sources, setup);
    const std::atomic_bool cancel{false};
    QHash<QString, qint64> known;
    CheckStates current{};
    Outcome best;
    best.parameterText = ParameterTextFor(current);
    best.lines = evaluator.score({best.parameterText}, cancel).first().changedLines;
    for (;;) {
        QStringList texts;
        QVector<CheckStates> candidates;
        for (const int row : proposableRows()) {
            CheckStates next = current;
            next[size_t(row)] = !next[size_t(row)];
            candidates.append(next);
            const QString text = ParameterTextFor(next);
            if (!known.contains(text) && !texts.contains(text))
                texts.append(text);
        }
        const QVector<StyleScore> scores = evaluator.score(texts, cancel);
        for (qsizetype index = 0; index < texts.size(); ++index)
            known.insert(texts.at(index), scores.at(index).scored() ? scores.at(index).changedLines : -1);
        Outcome round = best;
        CheckStates chosen = current;
        for (const CheckStates &candidate : candidates) {
            const QString text = ParameterTextFor(candidate);
            if (better(known.value(text), tickedRowCount(candidate), text, round)) {
                round = {text, known.value(text), tickedRowCount(candidate), 0, 0};
                chosen = candidate;
            }
        }
        if (round.parameterText == best.parameterText)
            break;
        best = round;
        current = chosen;
    }
    best.rows = tickedRowCount(current);
    best.runs = evaluator.indentRuns();
    best.seconds = double(clock.nsecsElapsed()) / 1e9;
    best.cpu = cpuSeconds() - cpuBefore;
    return best;
}

// Every one-row and two-row change of the answer, scored as indent formats it, without the search's
// knowledge of which selections format alike; how many do better than the answer.
int improvingNeighbours(const QVector<SourceText> &sources, const EvaluatorSetup &setup,
                        const CheckStates &answer, qint64 answerLines, int *tried)
{
    const QVector<int> rows = proposableRows();
    QVector<CheckStates> neighbours;
    for (qsizetype i = 0; i < rows.size(); ++i) {
        CheckStates one = answer;
        one[size_t(rows.at(i))] = !one[size_t(rows.at(i))];
        neighbours.append(one);
        for (qsizetype j = i + 1; j < rows.size(); ++j) {
            CheckStates two = one;
            two[size_t(rows.at(j))] = !two[size_t(rows.at(j))];
            neighbours.append(two);
        }
    }
    QStringList texts;
    for (const CheckStates &neighbour : neighbours)
        texts.append(ParameterTextFor(neighbour));
    texts.removeDuplicates();
    StyleEvaluator evaluator(sources, setup);
    const std::atomic_bool cancel{false};
    const QVector<StyleScore> scores = evaluator.score(texts, cancel);
    QHash<QString, qint64> lines;
    for (qsizetype index = 0; index < texts.size(); ++index)
        lines.insert(texts.at(index), scores.at(index).scored() ? scores.at(index).changedLines : -1);
    int improving = 0;
    const int answerRows = tickedRowCount(answer);
    for (const CheckStates &neighbour : neighbours) {
        const qint64 found = lines.value(ParameterTextFor(neighbour));
        if (found >= 0 &&
            (found < answerLines || (found == answerLines && tickedRowCount(neighbour) < answerRows)))
            ++improving;
    }
    *tried = int(neighbours.size());
    return improving;
}

// The whole-profile search on top of the row search, on the same evaluator as the window and
// zabo-format run it: its time added to the row search's against the row search's alone.
// Every one-option and two-option change of the whole profile's answer that the search looked through,
// scored one by one without its knowledge of which profiles format alike; how many do better.
int improvingProfiles(const QVector<SourceText> &sources, const EvaluatorSetup &setup,
                      const ProfileSearchResult &answer, int *tried)
{
    const QStringList texts = neighbourTexts(answer.profile, profileChoices(measureLayout(sources)));
    StyleEvaluator evaluator(sources, setup);
    const std::atomic_bool cancel{false};
    const QVector<StyleScore> scores = evaluator.score(texts, cancel);
    int improving = 0;
    for (qsizetype index = 0; index < texts.size(); ++index) {
        const StyleScore &score = scores.at(index);
        const qsizetype options = texts.at(index).split(u' ', Qt::SkipEmptyParts).size();
        if (score.scored() &&
            (score.changedLines < answer.score.changedLines ||
             (score.changedLines == answer.score.changedLines && options < answer.profile.size())))
            ++improving;
    }
    *tried = int(texts.size());
    return improving;
}

ProfileSearchResult wholeProfile(StyleEvaluator &evaluator, const SearchResult &rows, double rowSeconds,
                                 double rowCpu)
{
    QElapsedTimer clock;
    clock.start();
    const double cpuBefore = cpuSeconds();
    const std::atomic_bool cancel{false};
    const ProfileSearchResult whole =
        ProfileSearch(evaluator).run({profileOfSelection(rows.selection)}, cancel);
    const double seconds = double(clock.nsecsElapsed()) / 1e9;
    const double cpu = cpuSeconds() - cpuBefore;
    if (whole.outcome != SearchResult::Outcome::Found) {
        std::printf("  whole profile: the search failed\n");
        return whole;
    }
    std::printf("  %-28s %6lld changed lines, %2d options, %5d indent runs, %6.2f s (CPU %.2f s), "
                "%d rounds\n",
                "whole profile:", whole.score.changedLines, int(whole.profile.size()), whole.indentRuns,
                seconds, cpu, whole.rounds);
    std::printf("  whole profile against rows: changed lines %lld / %lld, time with the rows' %.2f "
                "(CPU %.2f); the proof: %d runs over %d neighbours\n",
                whole.score.changedLines, rows.score.changedLines, (rowSeconds + seconds) / rowSeconds,
                (rowCpu + cpu) / rowCpu, whole.proofIndentRuns, whole.neighbours);
    std::printf("  profile:  %s\n", qPrintable(whole.parameterText));
    std::fflush(stdout);
    return whole;
}

int lineCount(const QVector<SourceText> &sources)
{
    int lines = 0;
    for (const SourceText &source : sources)
        lines += int(source.text.count('\n'));
    return lines;
}

} // namespace

int main(int argc, char *argv[])
{
    QCoreApplication application(argc, argv);
    QList<QByteArray> files;
    bool checkOptimum = true;
    for (int index = 1; index < argc; ++index) {
        if (QByteArray(argv[index]) == "--no-check")
            checkOptimum = false;
        else
            files.append(QByteArray(argv[index]));
    }
    if (files.isEmpty()) {
        const QDir data(QStringLiteral(ZABO_BENCH_DATA));
        for (const QString &name : data.entryList({QStringLiteral("*.c")}, QDir::Files, QDir::Name))
            files.append(QFile::encodeName(data.filePath(name)));
    }
    QTemporaryDir deployDirectory;
    const FormatterDeployment deployment = DeployFormatter(deployDirectory.path());
    if (!deployment.ok) {
        std::fprintf(stderr, "infer_bench: %s\n", qPrintable(deployment.error));
        return 1;
    }
    EvaluatorSetup setup;
    setup.formatterPath = deployment.formatterPath;
    std::printf("%d cores; proposable rows: %d\n\n", QThread::idealThreadCount(),
                int(proposableRows().size()));

    for (const QByteArray &file : files) {
        const InferenceInput input = collectInferenceInput({file}, false);
        if (input.files.isEmpty()) {
            std::fprintf(stderr, "infer_bench: %s: cannot read\n", file.constData());
            return 1;
        }
        std::printf("%s, %d lines\n", file.mid(file.lastIndexOf('/') + 1).constData(),
                    lineCount(input.files));

        QElapsedTimer clock;
        clock.start();
        const double cpuBefore = cpuSeconds();
        StyleEvaluator evaluator(input.files, setup);
        const std::atomic_bool cancel{false};
        const SearchResult result = StyleSearch(evaluator).run(std::nullopt, cancel);
        const double searchSeconds = double(clock.nsecsElapsed()) / 1e9;
        const double searchCpu = cpuSeconds() - cpuBefore;
        if (result.outcome != SearchResult::Outcome::Found) {
            std::fprintf(stderr, "infer_bench: the search failed\n");
            return 1;
        }
        for (const ScoredStyle &style : result.builtIns)
            std::printf("  %-28s %6lld changed lines\n", qPrintable(style.name + QStringLiteral(":")),
                        style.score.scored() ? style.score.changedLines : -1LL);
        const Outcome plain = greedy(input.files, setup);
        std::printf("  %-28s %6lld changed lines, %2d rows, %5d indent runs, %6.2f s (CPU %.2f s)\n",
                    "greedy single rows:", plain.lines, plain.rows, plain.runs, plain.seconds, plain.cpu);
        std::printf(
            "  %-28s %6lld changed lines, %2d rows, %5d indent runs, %6.2f s (CPU %.2f s), %d rounds\n",
            "search:", result.score.changedLines, tickedRowCount(result.selection), result.indentRuns,
            searchSeconds, searchCpu, result.rounds);
        std::printf("  search / greedy: wall time %.2f, CPU time %.2f\n", searchSeconds / plain.seconds,
                    searchCpu / plain.cpu);
        std::printf("  proposal: %s\n", qPrintable(ParameterTextFor(result.selection).trimmed()));
        std::printf("  greedy:   %s\n", qPrintable(plain.parameterText.trimmed()));
        std::fflush(stdout);
        const ProfileSearchResult whole = wholeProfile(evaluator, result, searchSeconds, searchCpu);
        if (!checkOptimum) {
            std::printf("\n");
            continue;
        }
        int tried = 0;
        const int improving =
            improvingNeighbours(input.files, setup, result.selection, result.score.changedLines, &tried);
        std::printf("  local optimum check: %d of %d one-row and two-row changes improve the score\n",
                    improving, tried);
        if (whole.outcome == SearchResult::Outcome::Found) {
            const int better = improvingProfiles(input.files, setup, whole, &tried);
            std::printf("  whole profile's check: %d of %d one-option and two-option changes improve it\n",
                        better, tried);
        }
        std::printf("\n");
        std::fflush(stdout);
    }
    return 0;
}
