#include "LineDiff.h"
#include "ResidualChanges.h"
#include "StyleEvaluator.h"

#include <QRandomGenerator>

#include <QTest>

using Kind = ResidualChanges::Kind;

// What a proposal still changes, sorted by kind, as the report lists it.
class TestResidualChanges : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void eachChangeIsSortedByItsKind_data()
    {
        QTest::addColumn<QByteArray>("source");
        QTest::addColumn<QByteArray>("formatted");
        QTest::addColumn<int>("kind");
        QTest::addColumn<int>("lines");
        QTest::newRow("a blank line added") << QByteArray("int a;\nint b;\n")
                                            << QByteArray("int a;\n\nint b;\n") << int(Kind::BlankLines) << 1;
        QTest::newRow("indented deeper")
            << QByteArray("{\n  x();\n  y();\n}\n") << QByteArray("{\n    x();\n    y();\n}\n")
            << int(Kind::Indentation) << 4;
        QTest::newRow("blanks inside a line")
            << QByteArray("f(a,b);\n") << QByteArray("f (a, b);\n") << int(Kind::Spacing) << 2;
        QTest::newRow("a brace moved to its own line")
            << QByteArray("if (a) {\n  b();\n}\n") << QByteArray("if (a)\n  {\n  b();\n}\n")
            << int(Kind::LineBreaks) << 3;
        QTest::newRow("a comment refilled")
            << QByteArray("/* one two */\n") << QByteArray("/* one\n   two */\n") << int(Kind::Comments) << 3;
        QTest::newRow("words changed")
            << QByteArray("int a;\n") << QByteArray("long a;\n") << int(Kind::Other) << 2;
        QTest::newRow("nothing") << QByteArray("int a;\n") << QByteArray("int a;\n") << int(Kind::Other) << 0;
    }

    void eachChangeIsSortedByItsKind()
    {
        QFETCH(QByteArray, source);
        QFETCH(QByteArray, formatted);
        QFETCH(int, kind);
        QFETCH(int, lines);
        const ResidualChanges changes = residualChanges(source, formatted);
        QCOMPARE(changes.total(), lines);
        QCOMPARE(changes.lines[kind], lines);
    }

    void theSearchCountsChangedLinesAsTheLineDiffDoes()
    {
        // texts made of a few kinds of line, shuffled and edited, with and without a final line feed
        QRandomGenerator random(4242);
        const QList<QByteArray> pool{"int a;\n",      "{\n",      "}\n",      "\n",
                                     "  return 0;\n", "x = y;\n", "/* c */\n"};
        for (int round = 0; round < 300; ++round) {
            QByteArray before;
            QByteArray after;
            for (int line = random.bounded(40); line > 0; --line) {
                const QByteArray chosen = pool.at(random.bounded(pool.size()));
                before += chosen;
                switch (random.bounded(5)) {
                case 0:
                    break; // dropped
                case 1:
                    after += QByteArray::number(random.bounded(3)) + chosen; // changed
                    break;
                case 2:
                    after += chosen + pool.at(random.bounded(pool.size())); // one added
                    break;
                default:
                    after += chosen;
                }
            }
            if (round % 3 == 0)
                after.chop(1);
            QCOMPARE(changedLinesBetween(before, after), changedLineCount(diffLines(before, after)));
        }
    }

    void changesAddUpOverFiles()
    {
        ResidualChanges all = residualChanges("int a;\n", "int a;\n\n");
        all.add(residualChanges("f(a,b);\n", "f (a, b);\n"));
        QCOMPARE(all.total(), 3);
        QCOMPARE(all.lines[int(Kind::BlankLines)], 1);
        QCOMPARE(all.lines[int(Kind::Spacing)], 2);
        QVERIFY(!residualKindName(Kind::Indentation).isEmpty());
        QVERIFY(residualKindRows(Kind::Indentation).contains("-i2/-i4"));
    }
};

QTEST_GUILESS_MAIN(TestResidualChanges)
#include "tst_residualchanges.moc"
