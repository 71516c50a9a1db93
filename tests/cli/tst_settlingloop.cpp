#include "SettlingLoop.h"

#include <QTest>

// When a file's passes settle: on a text seen before, which is then its settled form.
class TestSettlingLoop : public QObject
{
    Q_OBJECT

private slots:
    void passHistory_data()
    {
        QTest::addColumn<QByteArrayList>("texts"); // the original, then one text per pass
        QTest::addColumn<int>("settlesAfter");     // passes; 0: never within these texts

        QTest::newRow("already in the style") << QByteArrayList{"a", "a"} << 1;
        QTest::newRow("one pass") << QByteArrayList{"u", "a", "a"} << 2;
        QTest::newRow("a second pass") << QByteArrayList{"u", "a", "b", "b"} << 3;
        QTest::newRow("flips") << QByteArrayList{"u", "a", "b", "a"} << 3;
        QTest::newRow("flips back to the original") << QByteArrayList{"a", "b", "a"} << 2;
        QTest::newRow("a longer cycle") << QByteArrayList{"u", "a", "b", "c", "a"} << 4;
        QTest::newRow("grows") << QByteArrayList{"u", "uu", "uuu", "uuuu", "uuuuu"} << 0;
    }

    void passHistory()
    {
        QFETCH(QByteArrayList, texts);
        QFETCH(int, settlesAfter);
        PassHistory history(texts.first());
        int settled = 0;
        for (qsizetype pass = 1; pass < texts.size() && settled == 0; ++pass) {
            if (history.settlesWith(texts.at(pass)))
                settled = int(pass);
        }
        QCOMPARE(settled, settlesAfter);
    }

    // Where a file that never settles keeps changing, in indent's output and in the file itself.
    void firstChangingLine_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("after");
        QTest::addColumn<int>("output");
        QTest::addColumn<int>("originalLine");

        QTest::newRow("same texts") << QByteArray("a\n") << QByteArray("a\n") << QByteArray("a\n") << 0 << 0;
        QTest::newRow("a line changes") << QByteArray("x;\ny;\nz;\n") << QByteArray("x;\ny;\nz;\n")
                                        << QByteArray("x;\n  y;\nz;\n") << 2 << 2;
        QTest::newRow("grows at the end")
            << QByteArray("a\nb\n") << QByteArray("a\n\nb\n\n") << QByteArray("a\n\nb\n\n\n") << 5 << 2;
        QTest::newRow("grows in the middle, after lines indent added")
            << QByteArray("p\nq\nr\n") << QByteArray("p\n\n\nq\nr\n") << QByteArray("p\n\n\n\nq\nr\n") << 4
            << 2;
    }

    void firstChangingLine()
    {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, after);
        QFETCH(int, output);
        QFETCH(int, originalLine);
        const ChangingLine line = ::firstChangingLine(original, before, after);
        QCOMPARE(line.output, output);
        QCOMPARE(line.original, originalLine);
    }
};

QTEST_GUILESS_MAIN(TestSettlingLoop)
#include "tst_settlingloop.moc"
