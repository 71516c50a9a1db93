#include "Startup.h"

#include <QTest>

class TestStartup : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void versionSuffix_data();
    void versionSuffix();
    void paths();
};

void TestStartup::versionSuffix_data()
{
    QTest::addColumn<quint32>("value");
    QTest::addColumn<QString>("expected");
    QTest::newRow("no version compiled in") << 0xFFFFFFFFu << QStringLiteral(" V65535.65535");
    QTest::newRow("1.1") << 0x00010001u << QStringLiteral(" V1.1");
    QTest::newRow("2.10") << ((2u << 16) | 10u) << QStringLiteral(" V2.10");
}

void TestStartup::versionSuffix()
{
    QFETCH(quint32, value);
    QFETCH(QString, expected);
    QCOMPARE(::versionSuffix(value), expected);
}

void TestStartup::paths()
{
    QCOMPARE(programDirectoryOf(QStringLiteral("/opt/zabo/zabo")), QStringLiteral("/opt/zabo/"));
    QCOMPARE(configPathIn(QStringLiteral("/opt/zabo/")), QStringLiteral("/opt/zabo/Zabocfg.dat"));
    QVERIFY(ProgramDirectory().endsWith(QLatin1Char('/')));
    QCOMPARE(programVersionValue(), 0x00010001u);
}

QTEST_GUILESS_MAIN(TestStartup)
#include "tst_startup.moc"
