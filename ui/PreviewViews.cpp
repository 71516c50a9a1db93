#include "PreviewViews.h"

#include <Qsci/qscilexercpp.h>
#include <Qsci/qsciscintilla.h>

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

QVector<int> showHunks(QsciScintilla *editor, const QVector<DiffLine> &diff, const QByteArray &before,
                       const QByteArray &after, SourceEncoding encoding)
{
    const QVector<QByteArray> beforeLines = splitLines(before);
    const QVector<QByteArray> afterLines = splitLines(after);
    QByteArray shown;
    struct Mark
    {
        Marker background;
        Marker margin;
        QString number;
    };
    QVector<Mark> marks;
    QVector<int> hunkRows;
    for (const DiffHunk &hunk : groupHunks(diff)) {
        hunkRows.append(int(marks.size()));
        shown += QStringLiteral("@@ -%1,%2 +%3,%4 @@\n")
                     .arg(hunk.oldStart)
                     .arg(hunk.oldCount)
                     .arg(hunk.newStart)
                     .arg(hunk.newCount)
                     .toLatin1();
        marks.append({HunkHeader, HunkHeader, QString()});
        for (const DiffLine &line : hunk.lines) {
            QByteArray lineText = line.kind == DiffLine::Kind::Removed ? beforeLines.at(line.oldLine - 1)
                                                                       : afterLines.at(line.newLine - 1);
            if (!lineText.endsWith('\n'))
                lineText += '\n';
            shown += lineText;
            const QString oldNumber = line.oldLine ? QString::number(line.oldLine) : QString();
            const QString newNumber = line.newLine ? QString::number(line.newLine) : QString();
            const QString number = QStringLiteral("%1 %2 ").arg(oldNumber, 6).arg(newNumber, 6);
            switch (line.kind) {
            case DiffLine::Kind::Common:
                marks.append({HunkHeader, HunkHeader, number});
                break;
            case DiffLine::Kind::Removed:
                marks.append({RemovedLine, RemovedMargin, number});
                break;
            case DiffLine::Kind::Added:
                marks.append({AddedLine, AddedMargin, number});
                break;
            }
        }
    }
    editor->clearMarginText();
    editor->setText(
        decodeSource(shown, encoding == SourceEncoding::Utf8Bom ? SourceEncoding::Utf8 : encoding));
    editor->markerDeleteAll();
    for (int line = 0; line < marks.size(); ++line) {
        const Mark &mark = marks.at(line);
        editor->setMarginText(line, mark.number, QsciScintillaBase::STYLE_LINENUMBER);
        if (mark.number.isEmpty() || mark.background != HunkHeader)
            markLine(editor, line, mark.background, mark.margin);
    }
    return hunkRows;
}

} // namespace PreviewViews
