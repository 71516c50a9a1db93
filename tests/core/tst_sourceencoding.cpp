#include "LineEnds.h"
#include "SourceEncoding.h"
#include "TestFiles.h"

#include <QTest>

class TestSourceEncoding : public QObject
{
    Q_OBJECT

private slots:
    void detectsAndDecodes_data();
    void detectsAndDecodes();
    void lineEnds_data();
    void lineEnds();
};

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

} // namespace

void TestSourceEncoding::detectsAndDecodes_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<SourceEncoding>("encoding");
    QTest::addColumn<QString>("name");
    QTest::addColumn<QString>("shownStart");

    const QByteArray gbk =
        readAll(qEnvironmentVariable("ZABO_TEST_DATA") + QStringLiteral("/gbk_comments.c"));
    QTest::newRow("ASCII") << QByteArray("int x;\n") << SourceEncoding::Utf8 << text("UTF-8")
                           << text("int x;\n");
    QTest::newRow("empty") << QByteArray() << SourceEncoding::Utf8 << text("UTF-8") << QString();
    QTest::newRow("UTF-8") << QByteArray("/* \xe4\xb8\xad\xe6\x96\x87 */\n") << SourceEncoding::Utf8
                           << text("UTF-8") << text("/* 中文 */\n");
    QTest::newRow("UTF-8 with BOM") << QByteArray("\xef\xbb\xbfint x; /* \xc3\xa9 */\n")
                                    << SourceEncoding::Utf8Bom << text("UTF-8 (BOM)")
                                    << text("int x; /* é */\n");
    QTest::newRow("GBK fixture")
        << gbk << SourceEncoding::Gb18030 << text("GB18030")
        << text("/* 链表操作：插入与查找 */\n#include <stdio.h>\n\nstruct node {int key;"
                "struct node *next;};  /* 节点 */\n");
    QTest::newRow("Latin-1, letters that pair up as GBK")
        << QByteArray("/* M\xfcller, Stra\xdf"
                      "e */\n")
        << SourceEncoding::Latin1 << text("Latin-1") << text("/* Müller, Straße */\n");
    QTest::newRow("UTF-8 cut inside its last character")
        << QByteArray("int x; /* caf\xc3") << SourceEncoding::Latin1 << text("Latin-1")
        << text("int x; /* caf\u00c3");
    QTest::newRow("Latin-1, invalid as GBK")
        << QByteArray("char *s = \"caf\xe9\";\n") << SourceEncoding::Latin1 << text("Latin-1")
        << text("char *s = \"café\";\n");
}

void TestSourceEncoding::detectsAndDecodes()
{
    QFETCH(QByteArray, bytes);
    QFETCH(SourceEncoding, encoding);
    QFETCH(QString, name);
    QFETCH(QString, shownStart);
    QCOMPARE(detectSourceEncoding(bytes), encoding);
    QCOMPARE(sourceEncodingName(encoding), name);
    const QString shown = decodeSource(bytes, encoding);
    QVERIFY2(shown.startsWith(shownStart), qPrintable(shown));
    QVERIFY(!shown.contains(QChar::ReplacementCharacter));
    // the screen has as many lines as the bytes: markers and line numbers stay where they belong
    QCOMPARE(shown.count(QLatin1Char('\n')), bytes.count('\n'));
}

void TestSourceEncoding::lineEnds_data()
{
    QTest::addColumn<QByteArray>("bytes");
    QTest::addColumn<LineEnds>("ends");
    QTest::newRow("none") << QByteArray("int x;") << LineEnds::None;
    QTest::newRow("LF") << QByteArray("a\nb\n") << LineEnds::Lf;
    QTest::newRow("CRLF") << QByteArray("a\r\nb\r\n") << LineEnds::CrLf;
    QTest::newRow("CRLF, last line without") << QByteArray("a\r\nb") << LineEnds::CrLf;
    QTest::newRow("both") << QByteArray("a\r\nb\n") << LineEnds::Mixed;
}

void TestSourceEncoding::lineEnds()
{
    QFETCH(QByteArray, bytes);
    QFETCH(LineEnds, ends);
    QCOMPARE(lineEndsOf(bytes), ends);
}

QTEST_GUILESS_MAIN(TestSourceEncoding)
#include "tst_sourceencoding.moc"
