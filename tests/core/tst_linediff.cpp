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
    void patchAppliesTheDiff_data();
    void patchAppliesTheDiff();
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

void TestLineDiff::patchAppliesTheDiff_data()
{
    QTest::addColumn<QByteArray>("oldText");
    QTest::addColumn<QByteArray>("newText");

    QByteArray every;
    QByteArray everyChanged;
    QByteArray crlf;
    QByteArray crlfEdited;
    for (int i = 1; i <= 50; ++i) {
        every += "line " + QByteArray::number(i) + '\n';
        everyChanged += "LINE " + QByteArray::number(i) + '\n';
        crlf += "int v" + QByteArray::number(i) + ";\r\n";
        crlfEdited += (i % 7 ? "int v" : "long v") + QByteArray::number(i) + (i % 5 ? ";\r\n" : ";\n");
    }
    // an untidy source against the same code laid out anew: many lines differ, many repeat
    QByteArray large;
    QByteArray largeFormatted;
    for (int i = 0; large.count('\n') < 20000; ++i) {
        const QByteArray n = QByteArray::number(i % 97);
        large += "int f" + n + "(int x){\nif(x>" + n + ") return x;\n  return -x;\n}\n";
        largeFormatted +=
            "int\nf" + n + " (int x)\n{\n  if (x > " + n + ")\n    return x;\n  return -x;\n}\n";
    }

    QTest::newRow("empty to text") << QByteArray() << QByteArray("a\nb\n");
    QTest::newRow("text to empty") << QByteArray("a\nb\n") << QByteArray();
    QTest::newRow("no final newline, either side") << QByteArray("a\nb\nc") << QByteArray("a\nB\nc");
    QTest::newRow("final newline added") << QByteArray("a\nb") << QByteArray("a\nb\n");
    QTest::newRow("every line changed") << every << everyChanged;
    QTest::newRow("CRLF, some line ends changed") << crlf << crlfEdited;
    QTest::newRow("LF to CRLF") << every << QByteArray(every).replace("\n", "\r\n");
    QTest::newRow("NUL bytes") << QByteArray("a\0b\nc\n", 6) << QByteArray("a\0c\nc\n", 6);
    QTest::newRow("20,000 lines") << large << largeFormatted;
}

void TestLineDiff::patchAppliesTheDiff()
{
    QFETCH(QByteArray, oldText);
    QFETCH(QByteArray, newText);
    const QByteArray diff = unifiedDiff(oldText, newText, "a/f.c", "b/f.c");
    QCOMPARE(patched(oldText, diff), newText);

    // the lines name every line of both texts once, in order
    const QVector<DiffLine> lines = diffLines(oldText, newText);
    int oldLine = 0;
    int newLine = 0;
    for (const DiffLine &line : lines) {
        if (line.kind != DiffLine::Kind::Added)
            QCOMPARE(line.oldLine, ++oldLine);
        if (line.kind != DiffLine::Kind::Removed)
            QCOMPARE(line.newLine, ++newLine);
    }
    QCOMPARE(oldLine, int(splitLines(oldText).size()));
    QCOMPARE(newLine, int(splitLines(newText).size()));
    const DiffCounts counts = diffCounts(lines);
    QCOMPARE(counts.removed + counts.added, changedLineCount(lines));
}

QTEST_GUILESS_MAIN(TestLineDiff)
#include "tst_linediff.moc"
