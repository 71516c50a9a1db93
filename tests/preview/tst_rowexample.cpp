#include "CellTable.h"
#include "FormatterDeployment.h"
#include "FormatterRun.h"
#include "RowExample.h"
#include "StyleStore.h"
#include "TestFiles.h"

#include <QProcess>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>

// Row examples made with the real embedded indent: every example shown is what indent itself makes of
// its part without and with the row, and a row without one says why.
Q_DECLARE_METATYPE(CheckStates)

class TestRowExample : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase();
    void corpusPartsSmallestFirst();
    void everyRowUnderBuiltInSelections_data();
    void everyRowUnderBuiltInSelections();
    void answersAreCached();
    void changedCharacters_data();
    void changedCharacters();

private:
    RowExample exampleOf(RowExampleMaker &maker, int row, const CheckStates &checks);
    QByteArray formatDirectly(const QByteArray &source, const QString &parameterText);

    QTemporaryDir m_scratch;
    QString m_formatter;
    int m_nextFile = 0;
};

void TestRowExample::initTestCase()
{
    QVERIFY(m_scratch.isValid());
    QVERIFY(isolateFromIndentSettings(m_scratch.path()));
    const FormatterDeployment deployment = DeployFormatter(m_scratch.path());
    QVERIFY2(deployment.ok, qPrintable(deployment.error));
    m_formatter = deployment.formatterPath;
}

RowExample TestRowExample::exampleOf(RowExampleMaker &maker, int row, const CheckStates &checks)
{
    QSignalSpy ready(&maker, &RowExampleMaker::ready);
    maker.request(row, checks);
    if (!ready.wait(60000))
        return {};
    return ready.first().first().value<RowExample>();
}

QByteArray TestRowExample::formatDirectly(const QByteArray &source, const QString &parameterText)
{
    const QString file = m_scratch.filePath(QStringLiteral("direct%1.c").arg(m_nextFile++));
    if (!writeAll(file, source))
        return {};
    QProcess indent;
    indent.setProcessEnvironment(formatterEnvironment());
    indent.start(m_formatter,
                 formatterArguments({file}, standardOutputOptions(QStringList{QStringLiteral("-npro")} +
                                                                  formatterOptions(parameterText))));
    if (!indent.waitForFinished(30000))
        return {};
    return indent.readAllStandardOutput();
}

void TestRowExample::corpusPartsSmallestFirst()
{
    const QList<QByteArray> parts = exampleParts();
    QVERIFY(parts.size() > 1);
    for (qsizetype at = 0; at < parts.size(); ++at) {
        QVERIFY(!parts.at(at).trimmed().isEmpty());
        QVERIFY(!parts.at(at).contains("//@@"));
        if (at > 0)
            QVERIFY(parts.at(at - 1).size() <= parts.at(at).size());
    }
}

void TestRowExample::everyRowUnderBuiltInSelections_data()
{
    QTest::addColumn<CheckStates>("checks");
    QTest::newRow("nothing ticked") << CheckStates{};
    const QVector<StyleRecord> styles = builtInStyles();
    QTest::newRow("the recommended style") << checkStatesOf(styles.last());
}

void TestRowExample::everyRowUnderBuiltInSelections()
{
    QFETCH(CheckStates, checks);
    RowExampleMaker maker(m_formatter);
    for (int row = 0; row < OptionCount; ++row) {
        const RowExample example = exampleOf(maker, row, checks);
        const QString what = QString::fromUtf8(OptionCatalogue[size_t(row)].optionText);
        QCOMPARE(example.row, row);
        if (!example.found) {
            QVERIFY2(!example.reason.isEmpty(), qPrintable(what));
            continue;
        }
        QVERIFY2(example.before != example.after, qPrintable(what));
        QVERIFY2(exampleParts().contains(example.source), qPrintable(what));
        // a row that makes indent fail shows its messages, which a direct run does not give
        if (example.before.startsWith('\0') || example.after.startsWith('\0'))
            continue;
        QCOMPARE(example.before, formatDirectly(example.source, parameterTextWith(checks, row, false)));
        QCOMPARE(example.after, formatDirectly(example.source, parameterTextWith(checks, row, true)));
    }
}

void TestRowExample::answersAreCached()
{
    RowExampleMaker maker(m_formatter);
    const RowExample first = exampleOf(maker, 10, CheckStates{}); // "-br"
    QVERIFY(first.found);
    QVERIFY(first.after.contains(") {"));
    QSignalSpy ready(&maker, &RowExampleMaker::ready);
    maker.request(10, CheckStates{});
    QCOMPARE(ready.size(), 0); // from the event loop, never within the call
    QVERIFY(ready.wait(1000));
    QCOMPARE(ready.first().first().value<RowExample>().after, first.after);

    CheckStates withBr{};
    withBr[10] = true;
    const RowExample overridden = exampleOf(maker, 5, withBr); // "-bl" before "-br": overridden
    QVERIFY(!overridden.found);
    QCOMPARE(overridden.reason, QString::fromUtf8("被 -br 覆盖"));
}

using Spans = QVector<QVector<int>>; // line, start, length

Spans spansOf(const QVector<ChangedSpan> &spans)
{
    Spans plain;
    for (const ChangedSpan &span : spans)
        plain.append({span.line, span.start, span.length});
    return plain;
}

void TestRowExample::changedCharacters_data()
{
    QTest::addColumn<QByteArray>("before");
    QTest::addColumn<QByteArray>("after");
    QTest::addColumn<Spans>("beforeSpans");
    QTest::addColumn<Spans>("afterSpans");

    QTest::newRow("a blank") << QByteArray("if(x)\n") << QByteArray("if (x)\n") << Spans{{0, 2, 0}}
                             << Spans{{0, 2, 1}};
    QTest::newRow("a brace moves") << QByteArray("a\nif (x) {\nb\n") << QByteArray("a\nif (x)\n{\nb\n")
                                   << Spans{{1, 0, 8}} << Spans{{1, 0, 6}, {2, 0, 1}};
    QTest::newRow("same") << QByteArray("a\n") << QByteArray("a\n") << Spans{} << Spans{};
}

void TestRowExample::changedCharacters()
{
    QFETCH(QByteArray, before);
    QFETCH(QByteArray, after);
    QFETCH(Spans, beforeSpans);
    QFETCH(Spans, afterSpans);
    const ExampleChanges changes = exampleChanges(before.split('\n'), after.split('\n'));
    QCOMPARE(spansOf(changes.before), beforeSpans);
    QCOMPARE(spansOf(changes.after), afterSpans);
}

QTEST_GUILESS_MAIN(TestRowExample)
#include "tst_rowexample.moc"
