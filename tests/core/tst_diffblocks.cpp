#include "DiffBlocks.h"

#include <QTest>

class TestDiffBlocks : public QObject
{
    Q_OBJECT

private slots:
    void commonLinesShareTheirRow_data();
    void commonLinesShareTheirRow();
};

namespace {

// The row each line of one side is shown on, fillers counted; a filler after line -1 comes first.
QVector<int> rowsOf(int lineCount, const QVector<Filler> &fillers)
{
    QVector<int> rows(lineCount);
    int row = 0;
    int next = 0;
    const auto pad = [&](int afterLine) {
        while (next < fillers.size() && fillers.at(next).afterLine == afterLine)
            row += fillers.at(next++).count;
    };
    pad(-1);
    for (int line = 0; line < lineCount; ++line) {
        rows[line] = row++;
        pad(line);
    }
    return rows;
}

int totalRows(int lineCount, const QVector<Filler> &fillers)
{
    int rows = lineCount;
    for (const Filler &filler : fillers)
        rows += filler.count;
    return rows;
}

} // namespace

void TestDiffBlocks::commonLinesShareTheirRow_data()
{
    QTest::addColumn<QByteArray>("oldText");
    QTest::addColumn<QByteArray>("newText");
    QTest::addColumn<int>("blocks");
    QTest::newRow("2 lines become 5") << QByteArray("a\nb\nif(x){y();}\nz();\nc\nd\n")
                                      << QByteArray("a\nb\nif (x)\n  {\n    y ();\n  }\nz ();\nc\nd\n") << 1;
    QTest::newRow("5 lines become 2")
        << QByteArray("a\nif (x)\n{\ny ();\n}\nc\n") << QByteArray("a\nif(x){y();}\nc\n") << 1;
    QTest::newRow("lines added above the first") << QByteArray("a\nb\n") << QByteArray("x\ny\na\nb\n") << 1;
    QTest::newRow("lines removed from the top") << QByteArray("x\ny\na\nb\n") << QByteArray("a\nb\n") << 1;
    QTest::newRow("lines added at the end") << QByteArray("a\nb\n") << QByteArray("a\nb\nc\nd\n") << 1;
    QTest::newRow("several changes") << QByteArray("a\nb\nc\nd\ne\nf\ng\n")
                                     << QByteArray("a\nB\nB2\nc\ne\nf\nG\n") << 3;
    QTest::newRow("every line changed") << QByteArray("a\nb\n") << QByteArray("x\ny\nz\n") << 1;
    QTest::newRow("equal") << QByteArray("a\nb\n") << QByteArray("a\nb\n") << 0;
    QTest::newRow("empty to text") << QByteArray() << QByteArray("a\n") << 1;
}

void TestDiffBlocks::commonLinesShareTheirRow()
{
    QFETCH(QByteArray, oldText);
    QFETCH(QByteArray, newText);
    QFETCH(int, blocks);
    const QVector<DiffLine> lines = diffLines(oldText, newText);
    const QVector<DiffBlock> changes = diffBlocks(lines);
    QCOMPARE(changes.size(), blocks);
    const SideBySideLayout layout = sideBySideLayout(changes);
    const int oldCount = int(splitLines(oldText).size());
    const int newCount = int(splitLines(newText).size());
    const QVector<int> oldRows = rowsOf(oldCount, layout.oldFillers);
    const QVector<int> newRows = rowsOf(newCount, layout.newFillers);
    for (const DiffLine &line : lines) {
        if (line.kind == DiffLine::Kind::Common)
            QCOMPARE(oldRows.at(line.oldLine - 1), newRows.at(line.newLine - 1));
    }
    QCOMPARE(totalRows(oldCount, layout.oldFillers), totalRows(newCount, layout.newFillers));
    // each change begins on the row of its first line, on whichever side has lines
    QCOMPARE(layout.blockRows.size(), changes.size());
    for (int i = 0; i < changes.size(); ++i) {
        const DiffBlock &block = changes.at(i);
        if (block.oldCount > 0)
            QCOMPARE(layout.blockRows.at(i), oldRows.at(block.oldStart));
        if (block.newCount > 0)
            QCOMPARE(layout.blockRows.at(i), newRows.at(block.newStart));
    }
}

QTEST_GUILESS_MAIN(TestDiffBlocks)
#include "tst_diffblocks.moc"
