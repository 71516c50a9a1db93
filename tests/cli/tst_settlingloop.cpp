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
};

QTEST_GUILESS_MAIN(TestSettlingLoop)
#include "tst_settlingloop.moc"
