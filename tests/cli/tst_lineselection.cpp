#include "LineSelection.h"

#include <QTest>

Q_DECLARE_METATYPE(QList<LineRange>)

// Partial formatting: which of indent's changes a range of input lines keeps, and which lines a
// revision changed.
class TestLineSelection : public QObject
{
    Q_OBJECT

private slots:
    void keepsOnlyTheChangesThatTouchTheRanges_data()
    {
        QTest::addColumn<QByteArray>("original");
        QTest::addColumn<QByteArray>("formatted");
        QTest::addColumn<QList<LineRange>>("ranges");
        QTest::addColumn<QByteArray>("kept");

        const QByteArray original = "int  a;\nint b;\nint  c;\nint d;\nint  e;\n";
        const QByteArray formatted = "int a;\nint b;\nint c;\nint d;\nint e;\n";
        QTest::newRow("one line") << original << formatted << QList<LineRange>{{3, 3}}
                                  << QByteArray("int  a;\nint b;\nint c;\nint d;\nint  e;\n");
        QTest::newRow("a range over two changes") << original << formatted << QList<LineRange>{{1, 3}}
                                                  << QByteArray("int a;\nint b;\nint c;\nint d;\nint  e;\n");
        QTest::newRow("two ranges") << original << formatted << QList<LineRange>{{1, 1}, {5, 5}}
                                    << QByteArray("int a;\nint b;\nint  c;\nint d;\nint e;\n");
        QTest::newRow("unchanged lines only")
            << original << formatted << QList<LineRange>{{2, 2}, {4, 4}} << original;
        QTest::newRow("past the end") << original << formatted << QList<LineRange>{{9, 12}} << original;
        QTest::newRow("everything") << original << formatted << QList<LineRange>{{1, 1000}} << formatted;

        // one statement spread over lines, as indent breaks it: the whole change goes or stays
        const QByteArray joined = "x();\nif(a){b();}\ny();\n";
        const QByteArray broken = "x();\nif (a) {\n    b();\n}\ny();\n";
        QTest::newRow("a line that becomes three") << joined << broken << QList<LineRange>{{2, 2}} << broken;
        QTest::newRow("its neighbour") << joined << broken << QList<LineRange>{{1, 1}} << joined;

        // lines only added: they touch the lines on both sides
        const QByteArray dense = "int a;\nint f(void);\n";
        const QByteArray spaced = "int a;\n\nint f(void);\n";
        QTest::newRow("added, line before") << dense << spaced << QList<LineRange>{{1, 1}} << spaced;
        QTest::newRow("added, line after") << dense << spaced << QList<LineRange>{{2, 2}} << spaced;
        QTest::newRow("removed") << spaced << dense << QList<LineRange>{{2, 2}} << dense;
        QTest::newRow("removed, elsewhere") << QByteArray("a;\n\n\nb;\nc;\n") << QByteArray("a;\n\nb;\nc;\n")
                                            << QList<LineRange>{{5, 5}} << QByteArray("a;\n\n\nb;\nc;\n");
        // the diff pairs the "}" of line 2 with the result's line 3: one hunk adds "} x" before it and
        // another removes "x }" after it; either alone would repeat or delete the x
        const QByteArray paired = "y;\n}\nx }\nz;\n";
        const QByteArray repaired = "y;\n} x\n}\nz;\n";
        QTest::newRow("a brace paired with another, the added line")
            << paired << repaired << QList<LineRange>{{2, 2}} << repaired;
        QTest::newRow("a brace paired with another, the removed line")
            << paired << repaired << QList<LineRange>{{3, 3}} << repaired;
        QTest::newRow("a brace paired with another, elsewhere")
            << paired << repaired << QList<LineRange>{{4, 4}} << paired;
        QTest::newRow("no final line feed")
            << QByteArray("int  a;\nint b;\nint  c;") << QByteArray("int a;\nint b;\nint c;\n")
            << QList<LineRange>{{1, 1}} << QByteArray("int a;\nint b;\nint  c;");
    }

    void keepsOnlyTheChangesThatTouchTheRanges()
    {
        QFETCH(QByteArray, original);
        QFETCH(QByteArray, formatted);
        QFETCH(QList<LineRange>, ranges);
        QFETCH(QByteArray, kept);
        QCOMPARE(keepChangesTouching(original, formatted, ranges), kept);
    }

    // The check and what follows a failed one: the change the check went wrong at is taken with the
    // nearest chosen one; a chosen change that itself formats otherwise, with its neighbours.
    void widensWhereTheCheckFails_data()
    {
        QTest::addColumn<QByteArray>("settled"); // what formatting the first result gave
        QTest::addColumn<bool>("widened");
        QTest::addColumn<QByteArray>("kept");
        QTest::addColumn<QList<LineRange>>("joined");

        const QByteArray formatted = "int a;\nint x;\nint b;\nint y;\nint c;\n";
        QTest::newRow("passes") << formatted << false
                                << QByteArray("int  a;\nint x;\nint b;\nint y;\nint  c;\n")
                                << QList<LineRange>{};
        QTest::newRow("wrong at a change not chosen")
            << QByteArray("int a;\nint x;\nint b;\nint y;\nint  c;\n") << true
            << QByteArray("int  a;\nint x;\nint b;\nint y;\nint c;\n") << QList<LineRange>{{3, 5}};
        QTest::newRow("wrong at the chosen change") << QByteArray("int a;\nint x;\nint  b;\nint y;\nint c;\n")
                                                    << true << formatted << QList<LineRange>{{1, 5}};
    }

    void widensWhereTheCheckFails()
    {
        QFETCH(QByteArray, settled);
        QFETCH(bool, widened);
        QFETCH(QByteArray, kept);
        QFETCH(QList<LineRange>, joined);
        const QByteArray original = "int  a;\nint x;\nint  b;\nint y;\nint  c;\n";
        const QByteArray formatted = "int a;\nint x;\nint b;\nint y;\nint c;\n";
        ChangeSelection selection(original, formatted, {{3, 3}});
        QCOMPARE(selection.accepts(settled), !widened);
        if (!widened)
            QVERIFY(!selection.widen(settled));
        else
            QVERIFY(selection.widen(settled));
        QCOMPARE(selection.result(), kept);
        QCOMPARE(selection.joined(), joined);
        QVERIFY(selection.accepts(formatted));
    }

    void changedLines_data()
    {
        QTest::addColumn<QByteArray>("before");
        QTest::addColumn<QByteArray>("now");
        QTest::addColumn<QList<LineRange>>("changed");

        const QByteArray text = "a\nb\nc\nd\ne\n";
        QTest::newRow("same") << text << text << QList<LineRange>{};
        QTest::newRow("one changed") << text << QByteArray("a\nb\nC\nd\ne\n") << QList<LineRange>{{3, 3}};
        QTest::newRow("two apart") << text << QByteArray("A\nb\nc\nd\nE\n")
                                   << QList<LineRange>{{1, 1}, {5, 5}};
        QTest::newRow("neighbours join") << text << QByteArray("a\nB\nC\nd\ne\n") << QList<LineRange>{{2, 3}};
        QTest::newRow("added") << text << QByteArray("a\nb\nnew\nnew\nc\nd\ne\n") << QList<LineRange>{{3, 4}};
        QTest::newRow("removed: the line after")
            << text << QByteArray("a\nb\nd\ne\n") << QList<LineRange>{{3, 3}};
        QTest::newRow("removed at the end") << text << QByteArray("a\nb\nc\n") << QList<LineRange>{{3, 3}};
        QTest::newRow("all removed") << text << QByteArray() << QList<LineRange>{};
        QTest::newRow("new") << QByteArray() << QByteArray("a\nb\n") << QList<LineRange>{{1, 2}};
    }

    void changedLines()
    {
        QFETCH(QByteArray, before);
        QFETCH(QByteArray, now);
        QFETCH(QList<LineRange>, changed);
        QCOMPARE(changedLineRanges(before, now), changed);
    }
};

QTEST_GUILESS_MAIN(TestLineSelection)
#include "tst_lineselection.moc"
