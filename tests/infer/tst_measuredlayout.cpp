#include "FormatterDeployment.h"
#include "MeasuredLayout.h"

#include <QFile>
#include <QProcess>
#include <QTemporaryDir>
#include <QTest>

namespace {

QVector<SourceText> sourcesOf(const QByteArray &text)
{
    return {SourceText{"a.c", text, false}};
}

QByteArray fixture(const char *name)
{
    QFile file(qEnvironmentVariable("ZABO_TEST_DATA") + QLatin1Char('/') + QLatin1String(name));
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

} // namespace

// The numbers a search tries for indent's numeric options come from the code's own layout.
class TestMeasuredLayout : public QObject
{
    Q_OBJECT

private Q_SLOTS:
    void theCodesOwnNumbersAreFound_data()
    {
        QTest::addColumn<QByteArray>("text");
        QTest::addColumn<QVector<int>>("indentSteps");
        QTest::addColumn<QVector<int>>("commentColumns");
        QTest::addColumn<QVector<int>>("lineLengths");
        QTest::newRow("four columns, two comment columns seen once each")
            << QByteArray("int f(void)\n{\n    int a; /* x */\n    if (a) {\n        a = 1;"
                          "                 /* y */\n    }\n    return a;\n}\n")
            << QVector<int>{4} << QVector<int>{} << QVector<int>{38};
        QTest::newRow("tabs step eight, a comment column seen twice")
            << QByteArray("int f(void)\n{\n\tint a;\t\t\t/* x */\n\tif (a) {\n\t\ta = 1;\t\t/* y */\n"
                          "\t}\n\treturn a;\n}\n")
            << QVector<int>{8} << QVector<int>{33} << QVector<int>{39};
        QTest::newRow("comment marks in strings, directives and comment bodies count for nothing")
            << QByteArray("int f(void)\n{\n  puts(\"/* no */\");\n#define X \\\n        1\n"
                          "  /*\n   * body\n   */\n  if (x) {\n    x = 0;\n  }\n  return 0;\n}\n")
            << QVector<int>{2} << QVector<int>{} << QVector<int>{19};
        QTest::newRow("no code") << QByteArray("\n\n") << QVector<int>{} << QVector<int>{} << QVector<int>{};
    }

    void theCodesOwnNumbersAreFound()
    {
        QFETCH(QByteArray, text);
        QFETCH(QVector<int>, indentSteps);
        QFETCH(QVector<int>, commentColumns);
        QFETCH(QVector<int>, lineLengths);
        const MeasuredLayout layout = measureLayout(sourcesOf(text));
        QCOMPARE(layout.indentSteps, indentSteps);
        QCOMPARE(layout.commentColumns, commentColumns);
        QCOMPARE(layout.lineLengths, lineLengths);
    }

    void whatIndentWasAskedForIsMeasuredBack_data()
    {
        QTest::addColumn<QString>("options");
        QTest::addColumn<int>("indentStep");
        QTest::addColumn<int>("commentColumn");
        QTest::newRow("-i5 -c41") << "-i5 -c41 -cd41 -nut" << 5 << 41;
        QTest::newRow("-kr -i8 -c49") << "-kr -i8 -c49 -cd49 -ut" << 8 << 49;
    }

    void whatIndentWasAskedForIsMeasuredBack()
    {
        // real code in a layout the real indent made: its numbers are among the measured ones
        QFETCH(QString, options);
        QFETCH(int, indentStep);
        QFETCH(int, commentColumn);
        QTemporaryDir directory;
        const FormatterDeployment deployment = DeployFormatter(directory.path());
        QVERIFY2(deployment.ok, qPrintable(deployment.error));
        QFile copy(directory.filePath("copy.c"));
        QVERIFY(copy.open(QIODevice::WriteOnly) && copy.write(fixture("options_sample.c")) > 0);
        copy.close();
        QProcess indent;
        indent.setWorkingDirectory(directory.path());
        indent.start(deployment.formatterPath, QStringList{"-npro", "copy.c", "-st"} + options.split(' '));
        QVERIFY(indent.waitForFinished(60000));
        const MeasuredLayout layout = measureLayout(sourcesOf(indent.readAllStandardOutput()));
        QVERIFY2(layout.indentSteps.contains(indentStep),
                 qPrintable(QString::number(layout.indentSteps.value(0))));
        QVERIFY2(layout.commentColumns.contains(commentColumn),
                 qPrintable(QString::number(layout.commentColumns.value(0))));
    }
};

QTEST_GUILESS_MAIN(TestMeasuredLayout)
#include "tst_measuredlayout.moc"
