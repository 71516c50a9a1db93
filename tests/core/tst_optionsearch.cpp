#include "OptionSearch.h"

#include <QTest>

namespace {

using Spans = QVector<QPair<int, int>>;

QStringList shownOptions(const RowVisibility &rows)
{
    QStringList options;
    for (int row = 0; row < OptionCount; ++row) {
        if (rows[size_t(row)])
            options.append(QString::fromUtf8(OptionCatalogue[size_t(row)].optionText));
    }
    return options;
}

} // namespace

class TestOptionSearch : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void search_data();
    void search();
    void topics();
    void matchesAreFound_data();
    void matchesAreFound();
};

void TestOptionSearch::search_data()
{
    QTest::addColumn<QString>("text");
    QTest::addColumn<QStringList>("shown");

    QTest::newRow("option with its dash") << "-bap" << QStringList{"-bap", "-nbap"};
    QTest::newRow("option without") << "bap" << QStringList{"-bap", "-nbap"};
    QTest::newRow("case blind") << "-BAP" << QStringList{"-bap", "-nbap"};
    QTest::newRow("long name") << "--blank-lines-after-procedures" << QStringList{"-bap", "-nbap"};
    // "--else-endif-column" is written "--else-endif-columnn" in the row's own text
    QTest::newRow("long name from the table, with the row's number")
        << "--else-endif-column41" << QStringList{"-cp41"};
    QTest::newRow("Chinese") << QString::fromUtf8("合并") << QStringList{"-nsob", "-sob"};
    QTest::newRow("number") << "120" << QStringList{"-l120", "-lc120"};
    QTest::newRow("every word") << QString::fromUtf8("行最长 注释")
                                << QStringList{"-lc74", "-lc80", "-lc100", "-lc120"};
    QTest::newRow("nothing") << "zzz" << QStringList{};
    QTest::newRow("blank shows all") << "   " << shownOptions(matchingRows(QString()));
    QTest::newRow("a bare dash shows all") << "-" << shownOptions(matchingRows(QString()));
}

void TestOptionSearch::search()
{
    QFETCH(QString, text);
    QFETCH(QStringList, shown);
    QCOMPARE(shownOptions(matchingRows(text)), shown);
}

void TestOptionSearch::topics()
{
    QCOMPARE(visibleRowCount(matchingRows(QString())), OptionCount);
    int all = 0;
    for (int topic = 0; topic < OptionTopicCount; ++topic) {
        const int count = visibleRowCount(matchingRows(QString(), OptionTopic(topic)));
        QCOMPARE(count, rowsPerTopic()[size_t(topic)]);
        all += count;
    }
    QCOMPARE(all, OptionCount); // every row in exactly one topic
    QCOMPARE(shownOptions(matchingRows(QString(), OptionTopic::BlankLines)),
             (QStringList{"-bad", "-bap", "-bbb", "-nbad", "-nbap", "-nsob", "-sob"}));
    QCOMPARE(shownOptions(matchingRows(QStringLiteral("n"), OptionTopic::BlankLines)),
             (QStringList{"-bad", "-bap", "-bbb", "-nbad", "-nbap", "-nsob", "-sob"})); // "lines", "-nbad"…
    QCOMPARE(shownOptions(matchingRows(QStringLiteral("-nbad"), OptionTopic::Comments)), QStringList{});
}

void TestOptionSearch::matchesAreFound_data()
{
    QTest::addColumn<QString>("cell");
    QTest::addColumn<QString>("text");
    QTest::addColumn<Spans>("spans");

    QTest::newRow("dash dropped") << "-nbap"
                                  << "-bap" << Spans{{2, 3}};
    QTest::newRow("every place") << "aXaXa"
                                 << "a" << Spans{{0, 1}, {2, 1}, {4, 1}};
    QTest::newRow("overlapping words merge") << "blank-lines"
                                             << "blank k-li" << Spans{{0, 8}};
    QTest::newRow("case blind") << "--Bill"
                                << "bill" << Spans{{2, 4}};
    QTest::newRow("no words") << "-bap"
                              << "" << Spans{};
}

void TestOptionSearch::matchesAreFound()
{
    QFETCH(QString, cell);
    QFETCH(QString, text);
    QFETCH(Spans, spans);
    QCOMPARE(matchedSpans(cell, text), spans);
}

QTEST_GUILESS_MAIN(TestOptionSearch)
#include "tst_optionsearch.moc"
