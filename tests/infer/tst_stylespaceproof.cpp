// Proves the search's notion of "formats alike" against the real indent: wherever two selections share
// a key (overridden rows, indent's defaults, values indent derives, settings it never looks at, settings a
// source cannot show), indent's results are byte for byte the same.
#include "CellTable.h"
#include "FormatterDeployment.h"
#include "InferenceInput.h"
#include "StyleEvaluator.h"
#include "StyleSpace.h"
#include "TestFiles.h"

#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

namespace {

// Starting points with different presets, brace rules and comment handling, and a few drawn at random.
QVector<CheckStates> contexts()
{
    QVector<CheckStates> bases;
    for (const char *options :
         {"", "-kr", "-orig -nut", "-br -fca -sc -i4 -l100 -ci4",
          "-bl -bli4 -nlp -ci4 -cli4 -lc120 -fca -fc1", "-gnu -brs -sbi4 -nlp -i4 -pi2 -ts4"})
        bases.append(checkStatesFor(QString::fromLatin1(options)));
    QRandomGenerator random(1817);
    for (int round = 0; round < 3; ++round) {
        CheckStates checks{};
        for (const int row : proposableRows())
            checks[size_t(row)] = random.bounded(7) == 0;
        bases.append(checks);
    }
    return bases;
}

} // namespace

class TestStyleSpaceProof : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void initTestCase()
    {
        QVERIFY(m_scratch.isValid());
        const FormatterDeployment deployment = DeployFormatter(m_scratch.path());
        QVERIFY2(deployment.ok, qPrintable(deployment.error));
        m_formatter = deployment.formatterPath;
        // no profile of the machine's may take part
        qputenv("INDENT_PROFILE", "/dev/null");
    }

    void selectionsWithOneKeyFormatAlike_data()
    {
        QTest::addColumn<QString>("fixture");
        QTest::newRow("every construct") << "options_sample.c";
        QTest::newRow("no switch, no do, no else, no preprocessor space") << "untidy.c";
        QTest::newRow("tabs") << "tabs.c";
    }

    void selectionsWithOneKeyFormatAlike()
    {
        QFETCH(QString, fixture);
        const QByteArray text = readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + fixture);
        QVERIFY(!text.isEmpty());
        const StyleKeys keys(settingsTheSourcesCannotShow({text}));

        // each context and each of its one-row changes that keeps the key
        QVector<QPair<CheckStates, CheckStates>> claims;
        for (const CheckStates &base : contexts()) {
            const QByteArray key = keys.key(base);
            for (const int row : proposableRows()) {
                CheckStates changed = base;
                changed[size_t(row)] = !changed[size_t(row)];
                if (keys.key(changed) == key)
                    claims.append({base, changed});
            }
        }
        QVERIFY(claims.size() > 100);
        QStringList texts;
        for (const auto &claim : claims)
            texts << ParameterTextFor(claim.first) << ParameterTextFor(claim.second);
        texts.removeDuplicates();

        EvaluatorSetup setup;
        setup.formatterPath = m_formatter;
        setup.scratchBase = m_scratch.path();
        StyleEvaluator evaluator({{fixture.toLatin1(), text, false}}, setup);
        QVERIFY2(evaluator.isReady(), qPrintable(evaluator.setupError()));
        const std::atomic_bool cancel{false};
        const QVector<StyleScore> scores = evaluator.score(texts, cancel);
        QHash<QString, QByteArray> digests;
        for (qsizetype index = 0; index < texts.size(); ++index) {
            QVERIFY2(scores.at(index).scored(), qPrintable(texts.at(index)));
            digests.insert(texts.at(index), scores.at(index).fileDigests.value(0));
        }
        QStringList broken;
        for (const auto &claim : claims) {
            const QString first = ParameterTextFor(claim.first);
            const QString second = ParameterTextFor(claim.second);
            if (digests.value(first) != digests.value(second))
                broken.append(QStringLiteral("\"%1\" and \"%2\"").arg(first.trimmed(), second.trimmed()));
        }
        QVERIFY2(broken.isEmpty(), qPrintable(broken.join(QLatin1Char('\n'))));
    }

private:
    QTemporaryDir m_scratch;
    QString m_formatter;
};

QTEST_GUILESS_MAIN(TestStyleSpaceProof)
#include "tst_stylespaceproof.moc"
