#include "SourceExcludes.h"

#include <QTest>

#include <clocale>

// Which paths --exclude leaves out: the same globs for a tree (-r .) and for the files a hook names.
class TestSourceExcludes : public QObject
{
    Q_OBJECT

private slots:
    void globs_data()
    {
        QTest::addColumn<QByteArrayList>("globs");
        QTest::addColumn<QByteArray>("path");
        QTest::addColumn<bool>("excluded");

        QTest::newRow("a directory") << QByteArrayList{"vendor"} << QByteArray("vendor/zlib/inflate.c")
                                     << true;
        QTest::newRow("a directory with a slash")
            << QByteArrayList{"vendor/"} << QByteArray("vendor/a.c") << true;
        QTest::newRow("everything below")
            << QByteArrayList{"vendor/*"} << QByteArray("vendor/zlib/x.h") << true;
        QTest::newRow("only from the start")
            << QByteArrayList{"vendor"} << QByteArray("src/vendor/a.c") << false;
        QTest::newRow("a name alike") << QByteArrayList{"vendor"} << QByteArray("vendors/a.c") << false;
        QTest::newRow("any depth") << QByteArrayList{"*.pb.c"} << QByteArray("proto/gen/m.pb.c") << true;
        QTest::newRow("a file") << QByteArrayList{"src/config.h"} << QByteArray("src/config.h") << true;
        QTest::newRow("another file")
            << QByteArrayList{"src/config.h"} << QByteArray("src/config.c") << false;
        QTest::newRow("leading ./") << QByteArrayList{"./gen"} << QByteArray("./gen/a.c") << true;
        QTest::newRow("classes") << QByteArrayList{"test[0-9]*"} << QByteArray("test3/x.c") << true;
        QTest::newRow("one of several") << QByteArrayList{"a", "b/*.h"} << QByteArray("b/x.h") << true;
        QTest::newRow("none") << QByteArrayList{} << QByteArray("a.c") << false;
        QTest::newRow("undecodable") << QByteArrayList{"caf\xe9"} << QByteArray("caf\xe9/a.c") << true;
        QTest::newRow("undecodable, any byte") << QByteArrayList{"caf*.c"} << QByteArray("caf\xe9.c") << true;
    }

    void globs()
    {
        ::setlocale(LC_ALL, "C.UTF-8"); // as a user's terminal has it
        QFETCH(QByteArrayList, globs);
        QFETCH(QByteArray, path);
        QFETCH(bool, excluded);
        QCOMPARE(isExcluded(globs, path), excluded);
    }
};

QTEST_GUILESS_MAIN(TestSourceExcludes)
#include "tst_sourceexcludes.moc"
