#include "ChangeMarking.h"
#include "HangLimit.h"
#include "LineDecorations.h"
#include "LineDiff.h"
#include "PreviewViews.h"

#include <Qsci/qsciscintilla.h>

#include <QApplication>
#include <QImage>
#include <QScrollBar>
#include <QTest>

#include <memory>

namespace {

using namespace PreviewViews;

constexpr unsigned RemovedMask = (1u << RemovedLine) | (1u << RemovedMargin);
constexpr unsigned AddedMask = (1u << AddedLine) | (1u << AddedMargin);

// 20,000 lines of which every third changes and every seventh gains a line after it: far more changed
// lines than one slice marks.
QByteArray oldText()
{
    QByteArray text;
    for (int line = 0; line < 20000; ++line)
        text += "int line" + QByteArray::number(line) + ";\n";
    return text;
}

QByteArray newText()
{
    QByteArray text;
    for (int line = 0; line < 20000; ++line) {
        text += line % 3 ? "int line" + QByteArray::number(line) + ";\n"
                         : "long line" + QByteArray::number(line) + ";\n";
        if (line % 7 == 0)
            text += "/* added */\n";
    }
    return text;
}

// What every line of a view's document should carry once marking is complete.
QVector<unsigned> expectedMarks(const QVector<DiffLine> &diff, bool oldSide, int lines)
{
    QVector<unsigned> marks(lines, 0);
    for (const DiffLine &line : diff) {
        if (oldSide && line.kind == DiffLine::Kind::Removed)
            marks[line.oldLine - 1] = RemovedMask;
        if (!oldSide && line.kind == DiffLine::Kind::Added)
            marks[line.newLine - 1] = AddedMask;
    }
    return marks;
}

unsigned marksAt(QsciScintilla *view, int line)
{
    return unsigned(view->markersAtLine(line)) & (RemovedMask | AddedMask);
}

// The document lines a view shows now.
QPair<int, int> linesInView(QsciScintilla *view)
{
    const int first = int(view->SendScintilla(QsciScintillaBase::SCI_DOCLINEFROMVISIBLE,
                                              static_cast<unsigned long>(view->firstVisibleLine())));
    const int onScreen = int(view->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN));
    return {first, std::min(view->lines() - 1, first + onScreen)};
}

} // namespace

class TestChangeMarking : public QObject
{
    Q_OBJECT

private slots:
    void init();
    void cleanup();
    void linesInViewComeAtOnceAndTheRestSoon();
    void aViewScrolledToIsPaintedMarked();
    void marksStillToComeAreDropped_data();
    void marksStillToComeAreDropped();
    void theChangesListingIsNumberedAndColouredToItsEnd();

private:
    void showTexts();
    bool inViewMatches(QsciScintilla *view, const QVector<unsigned> &expected);
    int markedLines(QsciScintilla *view);

    std::unique_ptr<QWidget> m_window;
    QsciScintilla *m_old = nullptr;
    QsciScintilla *m_new = nullptr;
    QsciScintilla *m_newBeside = nullptr; // a second view of the new document
    QVector<DiffLine> m_diff;
};

void TestChangeMarking::init()
{
    m_window = std::make_unique<QWidget>();
    m_window->resize(900, 400);
    m_old = new QsciScintilla(m_window.get());
    m_new = new QsciScintilla(m_window.get());
    m_newBeside = new QsciScintilla(m_window.get());
    for (QsciScintilla *view : {m_old, m_new, m_newBeside}) {
        setupCodeView(view);
        view->resize(300, 400);
    }
    m_new->move(300, 0);
    m_newBeside->move(600, 0);
    m_newBeside->setDocument(m_new->document());
    showTexts();
    m_window->show();
    QVERIFY(QTest::qWaitForWindowExposed(m_window.get()));
}

void TestChangeMarking::cleanup()
{
    m_window.reset();
}

void TestChangeMarking::showTexts()
{
    const QByteArray before = oldText();
    const QByteArray after = newText();
    setViewText(m_old, before, SourceEncoding::Utf8);
    setViewText(m_new, after, SourceEncoding::Utf8);
    m_diff = diffLines(before, after);
}

bool TestChangeMarking::inViewMatches(QsciScintilla *view, const QVector<unsigned> &expected)
{
    const auto [first, last] = linesInView(view);
    for (int line = first; line <= last; ++line) {
        if (marksAt(view, line) != expected.at(line))
            return false;
    }
    return last > first;
}

int TestChangeMarking::markedLines(QsciScintilla *view)
{
    int marked = 0;
    for (int line = 0; line < view->lines(); ++line)
        marked += marksAt(view, line) ? 1 : 0;
    return marked;
}

void TestChangeMarking::linesInViewComeAtOnceAndTheRestSoon()
{
    ChangeMarking marking({m_old}, {m_new, m_newBeside});
    m_newBeside->setFirstVisibleLine(12000);
    const QVector<unsigned> oldMarks = expectedMarks(m_diff, true, m_old->lines());
    const QVector<unsigned> newMarks = expectedMarks(m_diff, false, m_new->lines());

    marking.mark(m_diff);
    // before the event loop runs: what every view shows, and not yet the rest
    QVERIFY(inViewMatches(m_old, oldMarks));
    QVERIFY(inViewMatches(m_new, newMarks));
    QVERIFY(inViewMatches(m_newBeside, newMarks));
    QVERIFY(!marking.isComplete());
    QVERIFY(markedLines(m_new) < newMarks.count(AddedMask));

    QTRY_VERIFY_WITH_TIMEOUT(marking.isComplete(), HangMilliseconds);
    for (int line = 0; line < m_old->lines(); ++line)
        QCOMPARE(marksAt(m_old, line), oldMarks.at(line));
    for (int line = 0; line < m_new->lines(); ++line)
        QCOMPARE(marksAt(m_new, line), newMarks.at(line));
}

void TestChangeMarking::aViewScrolledToIsPaintedMarked()
{
    ChangeMarking marking({m_old}, {m_new, m_newBeside});
    marking.mark(m_diff);
    QVERIFY(!marking.isComplete());
    // by the bar, as a drag moves it, and by a call, as the side-by-side sync and F7 do; an added line
    // at the top of the second view
    const QVector<unsigned> newMarks = expectedMarks(m_diff, false, m_new->lines());
    const int added = int(newMarks.indexOf(AddedMask, 15000));
    m_old->verticalScrollBar()->setValue(m_old->verticalScrollBar()->maximum());
    m_newBeside->setFirstVisibleLine(added);

    // the first paint after the scroll, with no event handled in between
    const QImage painted = m_newBeside->viewport()->grab().toImage();
    QVERIFY(!marking.isComplete());
    m_old->viewport()->grab();
    QVERIFY(inViewMatches(m_old, expectedMarks(m_diff, true, m_old->lines())));
    QVERIFY(inViewMatches(m_newBeside, newMarks));
    const int lineHeight = int(m_newBeside->SendScintilla(QsciScintillaBase::SCI_TEXTHEIGHT, 0ul));
    const QColor top = painted.pixelColor(painted.width() - 20, lineHeight / 2);
    QCOMPARE(top, QColor(0xd7, 0xf5, 0xd7)); // the added line's background
}

void TestChangeMarking::marksStillToComeAreDropped_data()
{
    QTest::addColumn<bool>("newText");
    QTest::newRow("cleared") << false;
    QTest::newRow("new texts") << true;
}

void TestChangeMarking::marksStillToComeAreDropped()
{
    QFETCH(bool, newText);
    ChangeMarking marking({m_old}, {m_new, m_newBeside});
    marking.mark(m_diff);
    QVERIFY(!marking.isComplete());
    if (newText)
        showTexts(); // the same texts again: only the markers of the old diff could mark them
    else
        marking.clear();
    QVERIFY(marking.isComplete());
    QTest::qWait(200);
    QCOMPARE(markedLines(m_old), 0);
    QCOMPARE(markedLines(m_new), 0);
}

QByteArray marginText(QsciScintilla *view, int line)
{
    QByteArray text(64, '\0');
    const long length =
        view->SendScintilla(QsciScintillaBase::SCI_MARGINGETTEXT, static_cast<unsigned long>(line),
                            static_cast<void *>(text.data()));
    return text.left(length);
}

void TestChangeMarking::theChangesListingIsNumberedAndColouredToItsEnd()
{
    auto *listing = new QsciScintilla(m_window.get());
    setupCodeView(listing, true);
    listing->resize(900, 400);
    listing->show();
    LineDecorations decorations({{listing}});
    const QByteArray before = oldText();
    const QByteArray after = newText();
    const QVector<int> hunkRows =
        showHunks(listing, decorations, m_diff, before, after, SourceEncoding::Utf8);
    QVERIFY(!decorations.isComplete()); // thousands of rows: the rest come between events
    QTRY_VERIFY_WITH_TIMEOUT(decorations.isComplete(), HangMilliseconds);

    const QVector<QByteArray> beforeLines = splitLines(before);
    const QVector<QByteArray> afterLines = splitLines(after);
    const QVector<DiffHunk> hunks = groupHunks(m_diff);
    QCOMPARE(hunkRows.size(), hunks.size());
    const auto column = [](int line) {
        return line ? QByteArray::number(line).rightJustified(6) : QByteArray(6, ' ');
    };
    int row = 0;
    for (int hunk = 0; hunk < hunks.size(); ++hunk) {
        QCOMPARE(hunkRows.at(hunk), row);
        QVERIFY(listing->text(row).startsWith(QLatin1String("@@ -")));
        QCOMPARE(unsigned(listing->markersAtLine(row)), (1u << HunkHeader));
        ++row;
        for (const DiffLine &line : hunks.at(hunk).lines) {
            const bool removed = line.kind == DiffLine::Kind::Removed;
            QCOMPARE(listing->text(row).toUtf8(),
                     removed ? beforeLines.at(line.oldLine - 1) : afterLines.at(line.newLine - 1));
            QCOMPARE(marginText(listing, row), column(line.oldLine) + ' ' + column(line.newLine) + ' ');
            const unsigned expected = removed                              ? RemovedMask
                                      : line.kind == DiffLine::Kind::Added ? AddedMask
                                                                           : 0u;
            QCOMPARE(marksAt(listing, row), expected);
            ++row;
        }
    }
    QCOMPARE(row + 1, listing->lines()); // and the empty line after the last line feed
}

QTEST_MAIN(TestChangeMarking)
#include "tst_changemarking.moc"
