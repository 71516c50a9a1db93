#include "CellTable.h"
#include "ChildProcesses.h"
#include "FormatterDeployment.h"
#include "IndentOptions.h"
#include "ProfileSearch.h"
#include "SmallFileSystem.h"
#include "StyleEvaluator.h"
#include "StyleSearch.h"
#include "StyleSpace.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QDir>
#include <QSet>
#include <QTemporaryDir>
#include <QTest>

namespace {

QByteArray fixture(const char *name)
{
    return readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + QLatin1String(name));
}

QVector<SourceText> benchSources()
{
    QVector<SourceText> sources;
    const QDir data(QStringLiteral(ZABO_BENCH_DATA));
    for (const QString &name : data.entryList({QStringLiteral("*.c")}, QDir::Files, QDir::Name))
        sources.append({QFile::encodeName(name), readAll(data.filePath(name)), false});
    return sources;
}

QStringList entriesIn(const QString &directory)
{
    return QDir(directory).entryList(QDir::AllEntries | QDir::Hidden | QDir::System | QDir::NoDotAndDotDot);
}

} // namespace

// The searches with the real indent: the rows' gives back a style a text was formatted in, says the same
// every time, and stops cleanly when asked or when indent or the scratch space fails; the whole profile's
// beats the rows where they fall short and proves its answer.
class TestStyleSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_deployed.isValid());
        const FormatterDeployment deployment = DeployFormatter(m_deployed.path());
        QVERIFY2(deployment.ok, qPrintable(deployment.error));
        m_formatter = deployment.formatterPath;
        qputenv("INDENT_PROFILE", "/dev/null");
    }

    void init()
    {
        m_scratch.reset(new QTemporaryDir);
        QVERIFY(m_scratch->isValid());
    }

    void cleanup() { QCOMPARE(childProcessCount(), 0); }

    void aTextFormattedInAStyleGivesThatStyleBack_data()
    {
        QTest::addColumn<QString>("style");
        QTest::newRow("K&R-like") << "-kr -bad -ncs -cli4";
        QTest::newRow("GNU") << "-gnu";
        QTest::newRow("spaces, four, a hundred columns") << "-nut -i4 -l100";
    }

    void aTextFormattedInAStyleGivesThatStyleBack()
    {
        QFETCH(QString, style);
        const QByteArray formatted = formatWith(fixture("options_sample.c"), style);
        QVERIFY(!formatted.isEmpty());

        StyleEvaluator evaluator({{"sample.c", formatted, false}}, setup());
        const std::atomic_bool cancel{false};
        const SearchResult result = StyleSearch(evaluator).run(std::nullopt, cancel);
        QCOMPARE(result.outcome, SearchResult::Outcome::Found);
        const QString proposal = ParameterTextFor(result.selection);
        QVERIFY2(result.score.changedLines == 0, qPrintable(proposal));
        // the proposal reproduces the text, and needs no more rows than the style it was made with
        QCOMPARE(formatWith(formatted, proposal), formatted);
        QVERIFY2(tickedRowCount(result.selection) <= tickedRowCount(checkStatesFor(style)),
                 qPrintable(proposal));
        QCOMPARE(result.builtIns.size(), 4);
    }

    void theSameSourcesGiveTheSameAnswer()
    {
        const QByteArray text = fixture("untidy.c");
        SearchResult first;
        SearchResult second;
        for (SearchResult *result : {&first, &second}) {
            StyleEvaluator evaluator({{"untidy.c", text, false}}, setup());
            const std::atomic_bool cancel{false};
            *result = StyleSearch(evaluator).run(checkStatesFor("-kr"), cancel);
            QCOMPARE(result->outcome, SearchResult::Outcome::Found);
        }
        QCOMPARE(ParameterTextFor(second.selection), ParameterTextFor(first.selection));
        QCOMPARE(second.score.changedLines, first.score.changedLines);
        QCOMPARE(second.selectionsScored, first.selectionsScored);
        QCOMPARE(second.rounds, first.rounds);
        QVERIFY(first.start);
        QCOMPARE(ParameterTextFor(first.start->checks), QString("-kr "));
        QVERIFY(first.score.changedLines <= first.start->score.changedLines);
    }

    void aCancelledSearchLeavesNoProcessAndNoScratchFile()
    {
        std::atomic_bool cancel{false};
        int reports = 0;
        SearchResult result;
        {
            StyleEvaluator evaluator({{"sample.c", fixture("options_sample.c"), false}}, setup());
            QCOMPARE(entriesIn(m_scratch->path()).size(), 1);
            result = StyleSearch(evaluator).run(std::nullopt, cancel, [&](const SearchProgress &progress) {
                QVERIFY(progress.indentRuns > 0);
                if (++reports == 3)
                    cancel = true;
            });
            QCOMPARE(childProcessCount(), 0);
        }
        QCOMPARE(result.outcome, SearchResult::Outcome::Cancelled);
        QCOMPARE(reports, 3);
        QCOMPARE(entriesIn(m_scratch->path()), QStringList());
    }

    void aFormatterThatFailsStopsTheSearchWithItsWords_data()
    {
        QTest::addColumn<QString>("mode");
        QTest::addColumn<int>("outcome");
        QTest::newRow("crash") << "crash" << int(StyleScore::Outcome::FormatterFailed);
        QTest::newRow("failure status") << "exit:1" << int(StyleScore::Outcome::FormatterFailed);
        QTest::newRow("hang") << "hang" << int(StyleScore::Outcome::TimedOut);
        QTest::newRow("missing") << "" << int(StyleScore::Outcome::FailedToStart);
    }

    void aFormatterThatFailsStopsTheSearchWithItsWords()
    {
        QFETCH(QString, mode);
        QFETCH(int, outcome);
        qputenv("FAKE_INDENT_MODE", mode.toLatin1());
        EvaluatorSetup broken = setup();
        broken.formatterPath =
            mode.isEmpty() ? m_scratch->filePath("no-indent") : QStringLiteral(FAKE_INDENT_PATH);
        // short only where the formatter hangs for real; a loaded machine may start any other one slowly
        if (mode == "hang")
            broken.timeLimitMilliseconds = 300;
        SearchResult result;
        {
            StyleEvaluator evaluator({{"untidy.c", fixture("untidy.c"), false}}, broken);
            const std::atomic_bool cancel{false};
            result = StyleSearch(evaluator).run(std::nullopt, cancel);
        }
        qunsetenv("FAKE_INDENT_MODE");
        QCOMPARE(result.outcome, SearchResult::Outcome::Failed);
        QCOMPARE(int(result.failure.outcome), outcome);
        if (mode == "exit:1")
            QVERIFY(result.failure.messages.contains("fake indent: failed"));
        QCOMPARE(entriesIn(m_scratch->path()), QStringList());
    }

    void aScratchSpaceThatRunsFullStopsTheSearchInsteadOfMisleadingIt()
    {
        const QString mountPoint = m_scratch->filePath("small");
        QVERIFY(QDir().mkdir(mountPoint));
        // in a mount namespace of the test's own: a killed test leaks no mount
        const SmallFileSystem small(mountPoint, 20 * 1024 * 1024);
        if (!small.isMounted())
            QSKIP("cannot mount a small tmpfs here");
        EvaluatorSetup onSmall = setup();
        onSmall.scratchBase = mountPoint;
        StyleEvaluator evaluator({{"untidy.c", fixture("untidy.c"), false}}, onSmall);
        QVERIFY2(evaluator.isReady(), qPrintable(evaluator.setupError()));
        // another program fills the file system while the search runs
        QFile filler(mountPoint + "/filler");
        QVERIFY(filler.open(QIODevice::WriteOnly));
        const QByteArray block(64 * 1024, 'x');
        while (filler.write(block) == block.size() && filler.flush()) {
        }
        filler.close();
        const std::atomic_bool cancel{false};
        const SearchResult result = StyleSearch(evaluator).run(std::nullopt, cancel);
        QCOMPARE(result.outcome, SearchResult::Outcome::Failed);
        QCOMPARE(result.failure.outcome, StyleScore::Outcome::OutOfSpace);
    }

    void aScratchSpaceWithoutRoomIsRefusedBeforeAnyRun()
    {
        const QString mountPoint = m_scratch->filePath("tiny");
        QVERIFY(QDir().mkdir(mountPoint));
        // in a mount namespace of the test's own: a killed test leaks no mount
        const SmallFileSystem small(mountPoint, 1024 * 1024);
        if (!small.isMounted())
            QSKIP("cannot mount a small tmpfs here");
        EvaluatorSetup onTiny = setup();
        onTiny.scratchBase = mountPoint;
        StyleEvaluator evaluator({{"untidy.c", fixture("untidy.c"), false}}, onTiny);
        QVERIFY(!evaluator.isReady());
        QVERIFY2(evaluator.setupError().contains("not enough free space"),
                 qPrintable(evaluator.setupError()));
        const std::atomic_bool cancel{false};
        const SearchResult result = StyleSearch(evaluator).run(std::nullopt, cancel);
        QCOMPARE(result.outcome, SearchResult::Outcome::Failed);
        QCOMPARE(result.failure.outcome, StyleScore::Outcome::ScratchFailed);
        QCOMPARE(evaluator.indentRuns(), 0);
        QCOMPARE(entriesIn(mountPoint), QStringList());
    }

    // The whole profile: what it starts from formats as the rows do, what it offers is layout and the
    // code's own numbers, and its answer beats the rows where an option outside them helps and is a local
    // optimum that no change of one option or of two of one concern beats.
    // the search starts from the rows' answer spelled out: it must format every file as the rows do,
    // or the whole profile could end worse than the rows
    void aSelectionSpelledOutFormatsAsTheSelection()
    {
        QVector<CheckStates> selections;
        for (const StyleRecord &record : builtInStyles())
            selections.append(checkStatesOf(record));
        for (const char *rows : {"-gnu", "-kr", "-orig", "-kr -i2 -bl -l100 -nip", "-orig -di20 -nut -ts4"})
            selections.append(checkStatesFor(QLatin1String(rows)));
        StyleEvaluator evaluator(benchSources(), setup());
        const std::atomic_bool cancel{false};
        for (const CheckStates &checks : selections) {
            const QString rows = ParameterTextFor(checks);
            const QString profile = profileParameterText(profileOfSelection(checks));
            StyleScore score;
            const QVector<QByteArray> asRows = evaluator.format(rows, cancel, &score);
            QVERIFY2(score.scored(), qPrintable(rows));
            QCOMPARE(evaluator.format(profile, cancel, &score), asRows);
        }
    }

    void theChoicesAreLayoutAndTheCodesOwnNumbers()
    {
        MeasuredLayout measured;
        measured.indentSteps = {8};
        measured.commentColumns = {49};
        measured.lineLengths = {90};
        QStringList offered;
        for (const SettingChoice &choice : profileChoices(measured)) {
            for (const QString &option : choice.options) {
                const OptionMatch match = matchShortOption(option);
                QVERIFY2(match.option && isLayoutOption(*match.option), qPrintable(option));
                QCOMPARE(QLatin1String(match.option->what), choice.setting);
                offered.append(option);
            }
        }
        for (const char *wanted :
             {"-i8", "-ci16", "-c49", "-cd49", "-l90", "-lc90", "-c0", "-di0", "-brf", "-ntac"})
            QVERIFY2(offered.contains(QLatin1String(wanted)), wanted);
        for (const char *never :
             {"-st", "-npro", "-v", "-nv", "-pmt", "-npmt", "-T", "-gnu", "-kr", "-orig", "-nip"})
            QVERIFY2(!offered.contains(QLatin1String(never)), never);
        QCOMPARE(offered.size(), QSet<QString>(offered.cbegin(), offered.cend()).size());
    }

    // Code laid out with eight columns, which no row holds: the whole profile finds it, and then no
    // change of one option, nor of two options of one concern, does better, scored one by one as indent
    // formats them without the search's knowledge of which profiles format alike.
    void theAnswerBeatsTheRowsAndNoNeighbourBeatsIt()
    {
        const QByteArray text = formatWith(fixture("options_sample.c"), QStringLiteral("-kr -i8 -nut -c49"));
        QVERIFY(!text.isEmpty());
        StyleEvaluator evaluator({{"sample.c", text, false}}, setup());
        const std::atomic_bool cancel{false};
        const SearchResult rows = StyleSearch(evaluator).run(std::nullopt, cancel);
        QCOMPARE(rows.outcome, SearchResult::Outcome::Found);
        const ProfileSearchResult whole =
            ProfileSearch(evaluator).run({profileOfSelection(rows.selection)}, cancel);
        QCOMPARE(whole.outcome, SearchResult::Outcome::Found);
        QVERIFY2(whole.score.changedLines < rows.score.changedLines, qPrintable(whole.parameterText));
        QCOMPARE(whole.profile.value(QStringLiteral("i")), QStringLiteral("-i8"));
        QVERIFY(whole.proofIndentRuns > 0);

        const QVector<SettingChoice> choices = profileChoices(measureLayout({{"sample.c", text, false}}));
        const QStringList neighbours = neighbourTexts(whole.profile, choices);
        QVERIFY(neighbours.size() > 100);
        StyleEvaluator plain({{"sample.c", text, false}}, setup());
        const QVector<StyleScore> scores = plain.score(neighbours, cancel);
        for (qsizetype index = 0; index < neighbours.size(); ++index) {
            const StyleScore &score = scores.at(index);
            const qsizetype options = neighbours.at(index).split(u' ', Qt::SkipEmptyParts).size();
            const bool better =
                score.scored() &&
                (score.changedLines < whole.score.changedLines ||
                 (score.changedLines == whole.score.changedLines && options < whole.profile.size()));
            QVERIFY2(!better,
                     qPrintable(neighbours.at(index) + QStringLiteral(" beats ") + whole.parameterText));
        }
    }

    void theSameSourcesGiveTheSameAnswerAndACancelStopsCleanly()
    {
        const QVector<SourceText> sources{{"untidy.c", fixture("untidy.c"), false}};
        ProfileSearchResult first;
        ProfileSearchResult second;
        for (ProfileSearchResult *result : {&first, &second}) {
            StyleEvaluator evaluator(sources, setup());
            const std::atomic_bool cancel{false};
            *result = ProfileSearch(evaluator).run({profileOfSelection(checkStatesFor("-kr"))}, cancel);
            QCOMPARE(result->outcome, SearchResult::Outcome::Found);
        }
        QCOMPARE(second.parameterText, first.parameterText);
        QCOMPARE(second.score.changedLines, first.score.changedLines);
        QCOMPARE(second.profilesScored, first.profilesScored);

        std::atomic_bool cancel{false};
        int reports = 0;
        ProfileSearchResult stopped;
        {
            StyleEvaluator evaluator({{"sample.c", fixture("options_sample.c"), false}}, setup());
            stopped = ProfileSearch(evaluator).run({}, cancel, [&](const SearchProgress &progress) {
                QVERIFY(progress.wholeProfile);
                if (++reports == 3)
                    cancel = true;
            });
            QCOMPARE(childProcessCount(), 0);
        }
        QCOMPARE(stopped.outcome, SearchResult::Outcome::Cancelled);
        QCOMPARE(entriesIn(m_scratch->path()), QStringList());
    }

private:
    EvaluatorSetup setup() const
    {
        EvaluatorSetup setup;
        setup.formatterPath = m_formatter;
        setup.scratchBase = m_scratch->path();
        return setup;
    }

    QByteArray formatWith(const QByteArray &text, const QString &parameterText) const
    {
        StyleEvaluator evaluator({{"sample.c", text, false}}, setup());
        const std::atomic_bool cancel{false};
        StyleScore score;
        const QVector<QByteArray> formatted = evaluator.format(parameterText, cancel, &score);
        return formatted.value(0);
    }

    QTemporaryDir m_deployed;
    QString m_formatter;
    std::unique_ptr<QTemporaryDir> m_scratch;
};

QTEST_GUILESS_MAIN(TestStyleSearch)
#include "tst_stylesearch.moc"
