#include "CheckAnnotation.h"

#include <QTest>

// The line --annotate names for a file that would change: where the formatted text first differs.
class TestCheckAnnotation : public QObject
{
    Q_OBJECT

private slots:
    void namesTheFirstChangedLine_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("result");
        QTest::addColumn<QByteArray>("annotation");

        QTest::newRow("first line") << QByteArray("int  a;\nint b;\n") << QByteArray("int a;\nint b;\n")
                                    << QByteArray("src/a.c:1: would reformat (-1 +1 lines)\n");
        QTest::newRow("a line that becomes three") << QByteArray("x();\ny();\nif(a){b();}\nz();\n")
                                                   << QByteArray("x();\ny();\nif (a) {\n    b();\n}\nz();\n")
                                                   << QByteArray("src/a.c:3: would reformat (-1 +3 lines)\n");
        QTest::newRow("two changes, the first named")
            << QByteArray("a;\nb ;\nc;\nd ;\n") << QByteArray("a;\nb;\nc;\nd;\n")
            << QByteArray("src/a.c:2: would reformat (-2 +2 lines)\n");
        // lines only added are named at the line they come before
        QTest::newRow("a blank line added")
            << QByteArray("int a;\nint f(void);\n") << QByteArray("int a;\n\nint f(void);\n")
            << QByteArray("src/a.c:2: would reformat (-0 +1 lines)\n");
        QTest::newRow("added at the end")
            << QByteArray("int a;\nint b;\n") << QByteArray("int a;\nint b;\n\n")
            << QByteArray("src/a.c:2: would reformat (-0 +1 lines)\n");
        QTest::newRow("added to an empty file")
            << QByteArray() << QByteArray("\n") << QByteArray("src/a.c:1: would reformat (-0 +1 lines)\n");
        QTest::newRow("a line removed") << QByteArray("a;\n\n\nb;\n") << QByteArray("a;\n\nb;\n")
                                        << QByteArray("src/a.c:3: would reformat (-1 +0 lines)\n");
        QTest::newRow("only the final line feed") << QByteArray("a;\nb;") << QByteArray("a;\nb;\n")
                                                  << QByteArray("src/a.c:2: would reformat (-1 +1 lines)\n");
        // a file indent never settles on is counted as changing although its text is kept
        QTest::newRow("never settles")
            << QByteArray("a;\n") << QByteArray("a;\n")
            << QByteArray("src/a.c:1: would reformat: indent does not settle on this file\n");
    }
    void namesTheFirstChangedLine()
    {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, result);
        QFETCH(QByteArray, annotation);
        QCOMPARE(checkAnnotation("src/a.c", original, result), annotation);
    }

    // a name cannot start a line of its own in a CI log, nor recolour the terminal
    void escapesControlCharactersInTheName()
    {
        QCOMPARE(checkAnnotation("a\nb\x1b.c", "x ;\n", "x;\n"),
                 QByteArray("a\\nb\\x1b.c:1: would reformat (-1 +1 lines)\n"));
    }
};

QTEST_GUILESS_MAIN(TestCheckAnnotation)
#include "tst_checkannotation.moc"
