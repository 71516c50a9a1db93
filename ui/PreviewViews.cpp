#include "PreviewViews.h"

#include "LineDecorations.h"

#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciscintilla.h>

#include <numeric>

namespace PreviewViews {

namespace {

constexpr int NumberMargin = 0;
constexpr int MarkerMargin = 1;
const QColor AddedColour(0xd7, 0xf5, 0xd7);
const QColor RemovedColour(0xfa, 0xd8, 0xd8);
const QColor HeaderColour(0xdd, 0xe6, 0xf0);

} // namespace

void setupCodeView(QsciScintilla *editor, bool numbersAsText)
{
    editor->setUtf8(true);
    editor->setReadOnly(true);
    auto *lexer = new QsciLexerCPP(editor);
    lexer->setFont(QFont(QStringLiteral("Consolas"), 10));
    lexer->setDefaultFont(QFont(QStringLiteral("Consolas"), 10));
    editor->setLexer(lexer);
    editor->setTabWidth(8); // as indent itself counts a tab
    if (numbersAsText)      // old and new line numbers, set line by line
        editor->setMarginType(NumberMargin, QsciScintilla::TextMarginRightJustified);
    else
        editor->setMarginLineNumbers(NumberMargin, true);
    editor->setMarginWidth(NumberMargin,
                           numbersAsText ? QStringLiteral("000000 000000 ") : QStringLiteral("000000"));
    editor->setMarginType(MarkerMargin, QsciScintilla::SymbolMargin);
    editor->setMarginWidth(MarkerMargin, 6);
    editor->setMarginMarkerMask(MarkerMargin, (1 << AddedMargin) | (1 << RemovedMargin));
    editor->setMarginMarkerMask(NumberMargin, 0);
    editor->markerDefine(QsciScintilla::Background, AddedLine);
    editor->setMarkerBackgroundColor(AddedColour, AddedLine);
    editor->markerDefine(QsciScintilla::Background, RemovedLine);
    editor->setMarkerBackgroundColor(RemovedColour, RemovedLine);
    editor->markerDefine(QsciScintilla::Background, HunkHeader);
    editor->setMarkerBackgroundColor(HeaderColour, HunkHeader);
    editor->markerDefine(QsciScintilla::FullRectangle, AddedMargin);
    editor->setMarkerBackgroundColor(QColor(0x2e, 0xa0, 0x43), AddedMargin);
    editor->markerDefine(QsciScintilla::FullRectangle, RemovedMargin);
    editor->setMarkerBackgroundColor(QColor(0xcf, 0x22, 0x2e), RemovedMargin);
    // drops go to the window, which opens the file instead of pasting a URL
    editor->setAcceptDrops(false);
    editor->viewport()->setAcceptDrops(false);
}

void setViewText(QsciScintilla *editor, const QByteArray &bytes, SourceEncoding encoding)
{
    const int firstLine = editor->firstVisibleLine();
    editor->setText(decodeSource(bytes, encoding));
    editor->markerDeleteAll();
    editor->setFirstVisibleLine(firstLine);
}

void markLine(QsciScintilla *editor, int line, Marker background, Marker margin)
{
    editor->SendScintilla(QsciScintillaBase::SCI_MARKERADDSET, static_cast<unsigned long>(line),
                          static_cast<long>((1 << background) | (1 << margin)));
}

BulkMarking::BulkMarking(const QList<QsciScintilla *> &editors, Repaints repaints)
{
    for (QsciScintilla *editor : editors) {
        const long mask = editor->SendScintilla(QsciScintillaBase::SCI_GETMODEVENTMASK);
        m_held.append({editor, mask, editor->viewport()->updatesEnabled()});
        editor->SendScintilla(
            QsciScintillaBase::SCI_SETMODEVENTMASK,
            static_cast<unsigned long>(mask & ~(QsciScintillaBase::SC_MOD_CHANGEMARKER |
                                                QsciScintillaBase::SC_MOD_CHANGEANNOTATION)));
        if (repaints == Repaints::Held)
            editor->viewport()->setUpdatesEnabled(false);
    }
}

BulkMarking::~BulkMarking()
{
    for (const Held &held : std::as_const(m_held)) {
        held.editor->SendScintilla(QsciScintillaBase::SCI_SETMODEVENTMASK,
                                   static_cast<unsigned long>(held.eventMask));
        if (held.editor->viewport()->updatesEnabled() != held.updatesEnabled)
            held.editor->viewport()->setUpdatesEnabled(held.updatesEnabled);
    }
}

namespace {

// Where each line of text starts, and the text's end after the last.
QVector<qsizetype> lineStarts(const QByteArray &text)
{
    QVector<qsizetype> starts{0};
    for (qsizetype end = text.indexOf('\n'); end >= 0; end = text.indexOf('\n', end + 1))
        starts.append(end + 1);
    if (starts.last() != text.size())
        starts.append(text.size());
    return starts;
}

QByteArray lineOf(const QByteArray &text, const QVector<qsizetype> &starts, int line)
{
    return text.mid(starts.at(line - 1), starts.at(line) - starts.at(line - 1));
}

// One row of the listing: an "@@" line (no numbers) or a line of the diff.
struct ListingRow
{
    DiffLine::Kind kind = DiffLine::Kind::Common;
    int oldLine = 0;
    int newLine = 0;
    bool header = false;
};

void decorateRow(QsciScintilla *editor, int row, const ListingRow &listed)
{
    if (listed.header) {
        markLine(editor, row, HunkHeader, HunkHeader);
        return;
    }
    const auto column = [](int line) {
        return line ? QString::number(line).rightJustified(6) : QString(6, QLatin1Char(' '));
    };
    editor->setMarginText(
        row, column(listed.oldLine) + QLatin1Char(' ') + column(listed.newLine) + QLatin1Char(' '),
        QsciScintillaBase::STYLE_LINENUMBER);
    if (listed.kind == DiffLine::Kind::Removed)
        markLine(editor, row, RemovedLine, RemovedMargin);
    else if (listed.kind == DiffLine::Kind::Added)
        markLine(editor, row, AddedLine, AddedMargin);
}

} // namespace

QVector<int> showHunks(QsciScintilla *editor, LineDecorations &decorations, const QVector<DiffLine> &diff,
                       const QByteArray &before, const QByteArray &after, SourceEncoding encoding)
{
    const QVector<qsizetype> beforeStarts = lineStarts(before);
    const QVector<qsizetype> afterStarts = lineStarts(after);
    QByteArray shown;
    QVector<ListingRow> rows;
    QVector<int> hunkRows;
    for (const DiffHunk &hunk : groupHunks(diff)) {
        hunkRows.append(int(rows.size()));
        shown += "@@ -" + QByteArray::number(hunk.oldStart) + ',' + QByteArray::number(hunk.oldCount) + " +" +
                 QByteArray::number(hunk.newStart) + ',' + QByteArray::number(hunk.newCount) + " @@\n";
        rows.append({DiffLine::Kind::Common, 0, 0, true});
        for (const DiffLine &line : hunk.lines) {
            shown += line.kind == DiffLine::Kind::Removed ? lineOf(before, beforeStarts, line.oldLine)
                                                          : lineOf(after, afterStarts, line.newLine);
            if (!shown.endsWith('\n'))
                shown += '\n';
            rows.append({line.kind, line.oldLine, line.newLine, false});
        }
    }
    editor->clearMarginText();
    editor->setText(
        decodeSource(shown, encoding == SourceEncoding::Utf8Bom ? SourceEncoding::Utf8 : encoding));
    editor->markerDeleteAll();
    // numbers and colours for the rows in view first: a big file's listing has thousands of rows
    QVector<int> lines(rows.size());
    std::iota(lines.begin(), lines.end(), 0);
    decorations.setLines(0, lines, [editor, rows](int row) { decorateRow(editor, row, rows.at(row)); });
    decorations.start();
    return hunkRows;
}

} // namespace PreviewViews
