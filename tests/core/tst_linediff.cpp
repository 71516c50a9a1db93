#include "LineDiff.h"
#include "TestFiles.h"

#include <QProcess>
#include <QRandomGenerator>
#include <QTemporaryDir>
#include <QTest>

class TestLineDiff : public QObject
{
    Q_OBJECT

private slots:
    void linesKeepTheirOrderAndNumbers();
    void unifiedDiffMatchesDiffU_data();
    void unifiedDiffMatchesDiffU();
    void randomEditsPatchBack();
};

namespace {

// What "diff -u" itself says, without its two header lines.
QByteArray systemDiff(const QByteArray &oldText, const QByteArray &newText)
{
    QTemporaryDir dir;
    writeAll(dir.filePath("old"), oldText);
    writeAll(dir.filePath("new"), newText);
    QProcess diff;
    diff.start("diff", {"-u", dir.filePath("old"), dir.filePath("new")});
    diff.waitForFinished(-1);
    QByteArray out = diff.readAllStandardOutput();
    for (int header = 0; header < 2 && !out.isEmpty(); ++header)
        out = out.mid(out.indexOf('\n') + 1);
    return out;
}

QByteArray withoutHeader(QByteArray diff)
{
    for (int header = 0; header < 2 && !diff.isEmpty(); ++header)
        diff = diff.mid(diff.indexOf('\n') + 1);
    return diff;
}

QByteArray patched(const QByteArray &oldText, const QByteArray &diff)
{
    QTemporaryDir dir;
    writeAll(dir.filePath("f.c"), oldText);
    QProcess patch;
    patch.setWorkingDirectory(dir.path());
    patch.start("patch", {"-p1", "--quiet", "--force"});
    patch.write(diff);
    patch.closeWriteChannel();
    patch.waitForFinished(-1);
    return patch.exitCode() == 0 ? readAll(dir.filePath("f.c"))
                                 : QByteArray("patch failed: ") + patch.readAll();
}

} // namespace

void TestLineDiff::linesKeepTheirOrderAndNumbers()
{
    using Kind = DiffLine::Kind;
    const QVector<DiffLine> lines = diffLines("a\nb\nc\nd\n", "a\nB\nC\nd\ne\n");
    const QVector<DiffLine> expected = {{Kind::Common, 1, 1}, {Kind::Removed, 2, 0}, {Kind::Removed, 3, 0},
                                        {Kind::Added, 0, 2},  {Kind::Added, 0, 3},   {Kind::Common, 4, 4},
                                        {Kind::Added, 0, 5}};
    QCOMPARE(lines.size(), expected.size());
    for (int i = 0; i < lines.size(); ++i) {
        QCOMPARE(lines.at(i).kind, expected.at(i).kind);
        QCOMPARE(lines.at(i).oldLine, expected.at(i).oldLine);
        QCOMPARE(lines.at(i).newLine, expected.at(i).newLine);
    }
    QCOMPARE(changedLineCount(lines), 5);
    QVERIFY(diffHunks("same\n", "same\n").isEmpty());
    QVERIFY(unifiedDiff("same\n", "same\n", "a/x", "b/x").isEmpty());
}

void TestLineDiff::unifiedDiffMatchesDiffU_data()
{
    QTest::addColumn<QByteArray>("oldText");
    QTest::addColumn<QByteArray>("newText");

    QByteArray twenty;
    for (int i = 1; i <= 20; ++i)
        twenty += QByteArray::number(i) + '\n';
    QByteArray twentyEdited = twenty;
    twentyEdited.replace("2\n", "two\n").replace("18\n", "eighteen\n");
    QByteArray twentyClose = twenty;
    twentyClose.replace("5\n", "five\n").replace("11\n", "eleven\n");

    QTest::newRow("from empty") << QByteArray() << QByteArray("a\nb\n");
    QTest::newRow("to empty") << QByteArray("a\nb\n") << QByteArray();
    QTest::newRow("no final newline, old") << QByteArray("a\nb") << QByteArray("a\nb\n");
    QTest::newRow("no final newline, new") << QByteArray("a\nb\n") << QByteArray("a\nc");
    QTest::newRow("two hunks far apart") << twenty << twentyEdited;
    QTest::newRow("two changes sharing context") << twenty << twentyClose;
    QTest::newRow("insert at start") << twenty << QByteArray("zero\n") + twenty;
    QTest::newRow("not UTF-8") << QByteArray("int \xff;\n") << QByteArray("int \xfe;\n");
}

void TestLineDiff::unifiedDiffMatchesDiffU()
{
    QFETCH(QByteArray, oldText);
    QFETCH(QByteArray, newText);
    QCOMPARE(withoutHeader(unifiedDiff(oldText, newText, "a/f.c", "b/f.c")), systemDiff(oldText, newText));
}

void TestLineDiff::randomEditsPatchBack()
{
    QRandomGenerator random(7);
    for (int round = 0; round < 40; ++round) {
        QByteArray oldText;
        QByteArray newText;
        const int count = int(random.bounded(1, 60));
        for (int i = 0; i < count; ++i) {
            const QByteArray line = "line " + QByteArray::number(random.bounded(8)) + '\n';
            const int what = int(random.bounded(6));
            if (what != 0)
                oldText += line;
            if (what != 1)
                newText += what == 2 ? QByteArray("changed\n") : line;
        }
        const QByteArray diff = unifiedDiff(oldText, newText, "a/f.c", "b/f.c");
        if (oldText == newText) {
            QVERIFY(diff.isEmpty());
            continue;
        }
        QCOMPARE(patched(oldText, diff), newText);
    }
}

QTEST_GUILESS_MAIN(TestLineDiff)
#include "tst_linediff.moc"
