#include "CellTable.h"
#include "StyleStore.h"

#include <QSet>
#include <QTest>

class TestOptionCatalogue : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void catalogueTexts();
    void parameterText_data();
    void parameterText();
    void showStyleReadsAnyNonZeroByteAsChecked();
    void cellsAreStoredRowByRow();
    void recommendedStyle();
    void toggleChangesOnlyTheWorkingSelection();
};

void TestOptionCatalogue::catalogueTexts()
{
    QCOMPARE(OptionCatalogue.size(), size_t(93));
    QSet<QString> seen;
    for (const OptionRow &row : OptionCatalogue) {
        const QString option = QString::fromUtf8(row.optionText);
        QVERIFY2(option.startsWith(QLatin1Char('-')), row.optionText);
        QVERIFY2(!seen.contains(option), row.optionText);
        seen.insert(option);
    }
    QCOMPARE(OptionCatalogue[0].optionText, "-bad");
    QCOMPARE(QString::fromUtf8(OptionCatalogue[12].descriptionText),
             QString::fromUtf8("--Bill-Shannon, --blank-before-sizeof,在 sizeof 和它的参数之间插入空格"));
    QCOMPARE(OptionCatalogue[30].optionText, "-gnu");
    QCOMPARE(OptionCatalogue[31].descriptionText,
             "Prefer to break long lines at the position of newlines in the input");
    QCOMPARE(QString::fromUtf8(OptionCatalogue[67].descriptionText),
             QString::fromUtf8("-leave-optional-blank-lines,保留原始空行，不将多个连续的空行合并为单个空行"));
    QCOMPARE(OptionCatalogue[75].optionText, "-pmt");
    QCOMPARE(OptionCatalogue[88].optionText, "-T");
    QCOMPARE(OptionCatalogue[92].optionText, "-v");
}

void TestOptionCatalogue::parameterText_data()
{
    QTest::addColumn<QList<int>>("rows");
    QTest::addColumn<QString>("expected");

    QTest::newRow("nothing selected") << QList<int>{} << QString();
    QTest::newRow("only -gnu") << QList<int>{30} << QStringLiteral("-gnu ");
    QTest::newRow("catalogue order, not selection order")
        << QList<int>{40, 36} << QStringLiteral("-l74 -lc74 ");
    QTest::newRow("pairs are not de-duplicated") << QList<int>{16, 51} << QStringLiteral("-cdb -ncdb ");
    QTest::newRow("first and last rows") << QList<int>{92, 0} << QStringLiteral("-bad -v ");
}

void TestOptionCatalogue::parameterText()
{
    QFETCH(QList<int>, rows);
    QFETCH(QString, expected);
    CellTable cells;
    StyleFlags flags{};
    for (int row : rows)
        flags[row] = 1;
    QCOMPARE(cells.ShowStyle(flags), expected);
    QCOMPARE(cells.ComposeParameterText(), expected);

    CheckStates checks{};
    for (int row : rows)
        checks[row] = true;
    QCOMPARE(ParameterTextFor(checks), expected);
}

void TestOptionCatalogue::showStyleReadsAnyNonZeroByteAsChecked()
{
    CellTable cells;
    StyleFlags flags{};
    flags[5] = 2;
    flags[6] = 0xFF;
    QCOMPARE(cells.ShowStyle(flags), QStringLiteral("-bl -bli0 "));
    QVERIFY(cells.isChecked(5));
    QCOMPARE(cells.cell(5, CellTable::CheckColumn), QVariant(true));
    QCOMPARE(cells.checkFlags()[5], quint8(1));
}

void TestOptionCatalogue::cellsAreStoredRowByRow()
{
    CellTable cells;
    QCOMPARE(cells.cell(36, CellTable::ParamStringColumn).toString(), QStringLiteral("-l74"));
    QCOMPARE(cells.cell(36, CellTable::DescriptionStringColumn).toString(),
             QString::fromUtf8("--line-length74,设置代码行最长为 74 个字符"));
    QCOMPARE(cells.cell(0, CellTable::CheckColumn), QVariant(false));
    QVERIFY(!cells.cell(93, 0).isValid());
    QVERIFY(!cells.cell(0, 3).isValid());
}

void TestOptionCatalogue::recommendedStyle()
{
    const StyleRecord recommended = builtInStyles().at(3);
    StyleFlags flags;
    std::copy(std::begin(recommended.Flags), std::end(recommended.Flags), flags.begin());
    CellTable cells;
    QCOMPARE(cells.ShowStyle(flags),
             QStringLiteral(
                 "-bap -bbb -bbo -bli0 -br -brs -bs -c41 -cbi4 -cd41 -cdb -cdw -ce -ci0 -cs -fc1 -i4 -ip4 "
                 "-l120 -lc120 -lp -nbc -nbfda -ncdb -npsl -nut -pcs -saf -sai -saw -sbi4 -sc -sob -ss "
                 "-T -ts4 "));
}

void TestOptionCatalogue::toggleChangesOnlyTheWorkingSelection()
{
    CellTable cells;
    StyleFlags gnu{};
    gnu[30] = 1;
    cells.ShowStyle(gnu);
    cells.toggle(33);
    QCOMPARE(cells.ComposeParameterText(), QStringLiteral("-gnu -i4 "));
    cells.toggle(33);
    QCOMPARE(cells.ComposeParameterText(), QStringLiteral("-gnu "));
    cells.toggle(30);
    QCOMPARE(cells.ComposeParameterText(), QString());
    QCOMPARE(cells.ShowStyle(gnu), QStringLiteral("-gnu "));
}

QTEST_GUILESS_MAIN(TestOptionCatalogue)
#include "tst_optioncatalogue.moc"
