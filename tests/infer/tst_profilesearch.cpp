#include "CellTable.h"
#include "ChildProcesses.h"
#include "FormatterDeployment.h"
#include "IndentOptions.h"
#include "ProfileSearch.h"
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

// The search over indent's whole profile, with the real indent: what it starts from formats as the rows
// do, what it offers is layout and the code's own numbers, and its answer beats the rows where an option
// outside them helps and is a local optimum that no change of one option or of two of one concern beats.
class TestProfileSearch : public QObject
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
        return evaluator.format(parameterText, cancel, &score).value(0);
    }

    QTemporaryDir m_deployed;
    QString m_formatter;
    std::unique_ptr<QTemporaryDir> m_scratch;
};

QTEST_GUILESS_MAIN(TestProfileSearch)
#include "tst_profilesearch.moc"
