#include "IndentOptions.h"
#include "IndentProfile.h"
#include "OptionEffects.h"

#include <QSet>
#include <QTest>

// The option table's own consistency and how the catalogue reads through it; what indent makes of each
// entry is proven against the real indent in tst_indentoptionsproof.
class TestIndentOptions : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void everyRowCarriesOneOption();
    void namesAreUnique();
    void matching_data();
    void matching();
    void pairsShareTheirSetting();
    void rowsOfAnOption();
};

void TestIndentOptions::everyRowCarriesOneOption()
{
    for (int row = 0; row < OptionCount; ++row) {
        const IndentOption &option = indentOptionOfRow(row);
        const QString text = QString::fromUtf8(OptionCatalogue[size_t(row)].optionText);
        QCOMPARE(QLatin1Char('-') + QLatin1String(option.shortName) + numberOfRow(row), text);
        QCOMPARE(!numberOfRow(row).isEmpty(), option.numeric);
        QVERIFY2(catalogueRowsOf(option).contains(row), qPrintable(text));
    }
}

void TestIndentOptions::namesAreUnique()
{
    QSet<QString> shortNames;
    QSet<QString> longNames;
    for (const IndentOption &option : IndentOptions) {
        QVERIFY2(!shortNames.contains(QLatin1String(option.shortName)), option.shortName);
        shortNames.insert(QLatin1String(option.shortName));
        for (const QString &name : longNamesOf(option)) {
            QVERIFY2(!longNames.contains(name), qPrintable(name));
            longNames.insert(name);
        }
        QVERIFY2(option.kind != OptionKind::Setting || *option.what, option.shortName);
    }
}

void TestIndentOptions::matching_data()
{
    QTest::addColumn<QString>("written");
    QTest::addColumn<QString>("shortForm"); // empty: indent has no such option

    QTest::newRow("switch") << "-br"
                            << "-br";
    QTest::newRow("the longest numeric name") << "-cd41"
                                              << "-cd41";
    QTest::newRow("one letter") << "-c41"
                                << "-c41";
    QTest::newRow("a switch that ends in a digit") << "-nfc1"
                                                   << "-nfc1";
    QTest::newRow("not a number") << "-l8x"
                                  << "";
    QTest::newRow("no digits beyond ASCII") << QString::fromUtf8("-l８０") << "";
    QTest::newRow("unknown") << "-xyz"
                             << "";
    QTest::newRow("long") << "--braces-on-if-line"
                          << "-br";
    QTest::newRow("long with a number") << "--line-length80"
                                        << "-l80";
    QTest::newRow("plus") << "+line-length80"
                          << "-l80";
    QTest::newRow("second long name") << "--Bill-Shannon"
                                      << "-bs";
    QTest::newRow("the manual's -end form") << "--break-function-decl-args-end"
                                            << "-bfda";
    QTest::newRow("long with a number that a switch cannot take") << "--cuddle-else2"
                                                                  << "";
}

void TestIndentOptions::matching()
{
    QFETCH(QString, written);
    QFETCH(QString, shortForm);
    QCOMPARE(written.startsWith(QLatin1Char('-')) && !written.startsWith(QLatin1String("--"))
                 ? (matchShortOption(written).option ? written : QString())
                 : shortOptionForm(written),
             shortForm);
}

void TestIndentOptions::pairsShareTheirSetting()
{
    QCOMPARE(settingOfOption(QStringLiteral("-bl")), settingOfOption(QStringLiteral("-br")));
    QCOMPARE(settingOfOption(QStringLiteral("-nsob")), QStringLiteral("sob"));
    QCOMPARE(settingOfOption(QStringLiteral("-pal")), settingOfOption(QStringLiteral("-par")));
    QCOMPARE(settingOfOption(QStringLiteral("-gnu")), QString()); // a preset sets many
}

void TestIndentOptions::rowsOfAnOption()
{
    QCOMPARE(catalogueRowsOf(*indentOptionNamed(u"l")), (QVector<int>{36, 37, 38, 39}));
    QCOMPARE(catalogueRowsOf(*indentOptionNamed(u"T")), QVector<int>{88});
    QVERIFY(catalogueRowsOf(*indentOptionNamed(u"nbbb")).isEmpty());
    QCOMPARE(indentOptionOfRow(30).kind, OptionKind::Preset);
    QCOMPARE(indentOptionOfRow(30).topic, OptionTopic::Other);
    QCOMPARE(indentOptionOfRow(0).topic, OptionTopic::BlankLines);
}

QTEST_GUILESS_MAIN(TestIndentOptions)
#include "tst_indentoptions.moc"
