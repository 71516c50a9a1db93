#include "CellTable.h"
#include "Neighbourhood.h"
#include "OptionCatalogue.h"
#include "StyleSpace.h"

#include <QRandomGenerator>
#include <QTest>

namespace {

CheckStates selection(const char *options)
{
    return checkStatesFor(QString::fromLatin1(options));
}

int row(const char *option)
{
    return catalogueRowOf(option);
}

} // namespace

// Which selections a search may propose, which of them indent formats alike, and the changes it looks at.
class TestStyleSpace : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void aProposalNeverTicksTheRowsThatAreNoLayout()
    {
        const QVector<int> rows = proposableRows();
        QCOMPARE(rows.size(), OptionCount - 5);
        for (const char *option : {"-st", "-npro", "-v", "-pmt", "-T"}) {
            QVERIFY2(!rows.contains(row(option)), option);
            QVERIFY(!isProposableRow(row(option)));
        }
        QVERIFY(isProposableRow(row("-nv")));
        const CheckStates recommended = selection("-bap -T -ts4 -v -st -npro -pmt");
        QCOMPARE(proposableSelection(recommended), selection("-bap -ts4"));
    }

    void selectionsThatFormatAlikeShareAKey_data()
    {
        QTest::addColumn<QString>("first");
        QTest::addColumn<QString>("second");
        QTest::addColumn<QStringList>("idle");
        QTest::addColumn<bool>("alike");
        const QStringList none;
        QTest::newRow("an overridden row") << "-bl -br"
                                           << "-br" << none << true;
        QTest::newRow("the other member wins") << "-bl -br"
                                               << "-bl" << none << false;
        QTest::newRow("the GNU preset is indent's default") << "-gnu"
                                                            << "" << none << true;
        QTest::newRow("a row restating the default") << "-bap -nbad -lp"
                                                     << "" << none << true;
        QTest::newRow("a row restating the preset") << "-kr -br -i4"
                                                    << "-kr" << none << true;
        QTest::newRow("an explicit row beats the preset") << "-kr -i2"
                                                          << "-kr" << none << false;
        QTest::newRow("comment length follows the line length") << "-l80 -lc80"
                                                                << "-l80" << none << true;
        QTest::newRow("a comment length of its own") << "-fca -l80 -lc100"
                                                     << "-fca -l80" << none << false;
        QTest::newRow("continuation indent 0 is the indentation") << "-kr -ci0"
                                                                  << "-kr" << none << true;
        QTest::newRow("brace indent with braces on the if line") << "-br -bli4"
                                                                 << "-br" << none << true;
        QTest::newRow("brace indent with braces below") << "-bl -bli4"
                                                        << "-bl" << none << false;
        QTest::newRow("paren indent while lining up") << "-pi2"
                                                      << "" << none << true;
        QTest::newRow("paren indent without lining up") << "-i4 -nlp -pi2"
                                                        << "-i4 -nlp" << none << false;
        QTest::newRow("paren indent as derived") << "-nlp -pi2"
                                                 << "-nlp" << none << true;
        QTest::newRow("struct brace indent on the struct line") << "-brs -sbi4"
                                                                << "-brs" << none << true;
        QTest::newRow("comment length when no comment is formatted") << "-lc120"
                                                                     << "" << none << true;
        QTest::newRow("comment length when comments are formatted") << "-fca -lc120"
                                                                    << "-fca" << none << false;
        QTest::newRow("verbosity is no layout") << "-nv -bad"
                                                << "-bad" << none << true;
        QTest::newRow("an idle setting") << "-nsaf"
                                         << "" << QStringList{"saf"} << true;
        QTest::newRow("another setting is not idle") << "-nsai"
                                                     << "" << QStringList{"saf"} << false;
    }

    void selectionsThatFormatAlikeShareAKey()
    {
        QFETCH(QString, first);
        QFETCH(QString, second);
        QFETCH(QStringList, idle);
        QFETCH(bool, alike);
        const StyleKeys keys(idle);
        QCOMPARE(keys.key(checkStatesFor(first)) == keys.key(checkStatesFor(second)), alike);
        QCOMPARE(effectiveSettings(checkStatesFor(first), idle) ==
                     effectiveSettings(checkStatesFor(second), idle),
                 alike);
    }

    void theFastKeyReadsBackAsTheEffectiveSettings()
    {
        // the compact key against the plain reading of the option effects, over selections of every density
        QRandomGenerator random(20240518);
        const QStringList idle{"cli", "lps"};
        const StyleKeys keys(idle);
        for (int round = 0; round < 2000; ++round) {
            CheckStates checks{};
            const int density = 2 + round % 12;
            for (const int candidate : proposableRows())
                checks[size_t(candidate)] = random.bounded(density) == 0;
            QCOMPARE(keys.describe(keys.key(checks)), effectiveSettings(checks, idle));
        }
    }

    void theEffectiveSettingsSpellOutWhatIndentUses()
    {
        const QMap<QString, QString> plain = effectiveSettings({});
        QCOMPARE(plain.value("br"), QString("-bl"));
        QCOMPARE(plain.value("l"), QString("-l78"));
        QCOMPARE(plain.value("lc"), QString("*")); // no comment is formatted
        QCOMPARE(plain.value("pi"), QString("*")); // lined up at parentheses
        QCOMPARE(plain.value("ci"), QString("-ci2"));
        QCOMPARE(plain.value("cbi"), QString("-cbi2"));
        QVERIFY(!plain.contains("v"));
        QVERIFY(!plain.contains("pmt"));
        const QMap<QString, QString> kr = effectiveSettings(selection("-kr -fca -nlp -l100"));
        QCOMPARE(kr.value("br"), QString("-br"));
        QCOMPARE(kr.value("bli"), QString("*"));
        QCOMPARE(kr.value("lc"), QString("-lc100"));
        QCOMPARE(kr.value("pi"), QString("-pi4"));
        QCOMPARE(kr.value("c"), QString("-c33"));
    }

    void settingsTheSourcesCannotShow_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QStringList>("idle");
        QTest::newRow("nothing") << QByteArray() << QStringList{"saf", "sai", "saw", "ss",  "cdw",
                                                                "ce",  "cli", "cp",  "lps", "bbo"};
        QTest::newRow("every construct")
            << QByteArray("#  define X\nint f(void) { for (;;) ; while (a && b) ; do x(); while (0);\n"
                          " if (a) ; else switch (x) { }\n#if 1\n#else\n#endif\n}\n")
            << QStringList();
        QTest::newRow("words inside longer names do not count")
            << QByteArray("int format, iffy, doit, elsewhere, switcher, forward, whiley;\n")
            << QStringList{"saf", "sai", "saw", "ss", "cdw", "ce", "cli", "cp", "lps", "bbo"};
        QTest::newRow("a word in a comment counts") << QByteArray("/* for while */\n#\tinclude <x.h>\n")
                                                    << QStringList{"sai", "cdw", "ce", "cli", "cp", "bbo"};
    }

    void settingsTheSourcesCannotShow()
    {
        QFETCH(QByteArray, text);
        QFETCH(QStringList, idle);
        QCOMPARE(::settingsTheSourcesCannotShow({text}), idle);
    }

    void theNeighbourhoods()
    {
        const CheckStates start = selection("-br -brs -i4 -l80 -npcs -npsl -nut -ce -T");
        const int rows = int(proposableRows().size());
        QCOMPARE(singleRowChanges(start).size(), rows);
        QCOMPARE(twoRowChanges(start).size(), rows * (rows - 1) / 2);
        for (const SelectionChange &change : twoRowChanges(start)) {
            QCOMPARE(change.rows.size(), 2);
            QVERIFY(change.checks[size_t(change.rows.at(0))] != start[size_t(change.rows.at(0))]);
            QVERIFY(change.checks[size_t(change.rows.at(1))] != start[size_t(change.rows.at(1))]);
        }

        QStringList swaps;
        for (const SelectionChange &change : choiceSwaps(start))
            swaps.append(ParameterTextFor(change.checks).trimmed());
        // the other member of "-br", "-brs", "-ce", "-i4", "-npcs", "-npsl" and "-nut", three line lengths
        QCOMPARE(swaps.size(), 7 + 3);
        QVERIFY(swaps.contains("-bl -brs -ce -i4 -l80 -npcs -npsl -nut -T"));
        QVERIFY(swaps.contains("-br -brs -ce -i4 -l120 -npcs -npsl -nut -T"));
        QCOMPARE(choiceOf(row("-l74")), choiceOf(row("-l120")));
        QCOMPARE(choiceOf(row("-kr")), choiceOf(row("-orig")));
        QVERIFY(choiceOf(row("-l74")) != choiceOf(row("-lc74")));
        QVERIFY(choiceOf(row("-bbb")) != choiceOf(row("-bs")));
    }

    void aPresetTakesThePlaceOfTheRowsThatRestateIt()
    {
        const CheckStates start = selection("-br -brs -i4 -l80 -ncs -npcs -npsl -nut -ts4");
        QStringList found;
        for (const SelectionChange &change : presetCompactions(start))
            found.append(ParameterTextFor(change.checks).trimmed());
        // -kr restates five of the rows; "-nce" keeps the else where the selection had it
        QVERIFY2(found.contains("-kr -l80 -nce -ncs -nut -ts4"), qPrintable(found.join('\n')));
        for (const SelectionChange &change : presetCompactions(start))
            QVERIFY(tickedRowCount(change.checks) < tickedRowCount(start));
        QVERIFY(presetCompactions(selection("-kr -l80")).isEmpty());
    }
};

QTEST_GUILESS_MAIN(TestStyleSpace)
#include "tst_stylespace.moc"
