#include "SideBySideView.h"

#include <Qsci/qsciscintilla.h>
#include <Qsci/qscistyle.h>

#include <QScrollBar>

#include <algorithm>

namespace {

const QColor FillerPaper(0xee, 0xee, 0xee);

// Filler rows are blank annotation lines: one line of text per row.
QByteArray fillerText(int rows)
{
    QByteArray text;
    text.reserve(rows * 2);
    for (int row = 0; row < rows; ++row)
        text += row ? "\n " : " ";
    return text;
}

// The widest line of a view in pixels, tabs expanded: the line with the most columns, measured.
int longestLineWidth(QsciScintilla *view)
{
    const QString text = view->text();
    const int tabWidth = std::max(1, view->tabWidth());
    qsizetype widestStart = 0;
    qsizetype widestEnd = 0;
    int widestColumns = -1;
    int columns = 0;
    qsizetype start = 0;
    for (qsizetype at = 0; at <= text.size(); ++at) {
        const QChar c = at < text.size() ? text.at(at) : QLatin1Char('\n');
        if (c == QLatin1Char('\n')) {
            if (columns > widestColumns) {
                widestColumns = columns;
                widestStart = start;
                widestEnd = at;
            }
            columns = 0;
            start = at + 1;
        } else {
            columns = c == QLatin1Char('\t') ? (columns / tabWidth + 1) * tabWidth : columns + 1;
        }
    }
    QString widest;
    for (const QChar c : QStringView(text).mid(widestStart, widestEnd - widestStart)) {
        if (c == QLatin1Char('\t'))
            widest += QString(tabWidth - int(widest.size()) % tabWidth, QLatin1Char(' '));
        else if (c != QLatin1Char('\r'))
            widest += c;
    }
    widest += QLatin1Char(' '); // room for the caret after the last character
    return int(view->SendScintilla(QsciScintillaBase::SCI_TEXTWIDTH, QsciScintillaBase::STYLE_DEFAULT,
                                   widest.toUtf8().constData()));
}

} // namespace

SideBySideView::SideBySideView(QsciScintilla *oldView, QsciScintilla *newView, QObject *parent)
    : QObject(parent)
    , m_old(oldView)
    , m_new(newView)
{
    QsciStyle filler;
    filler.setPaper(FillerPaper);
    filler.setColor(FillerPaper);
    m_fillerStyle = filler.style();
    for (QsciScintilla *view : {m_old, m_new}) {
        filler.apply(view);
        view->setAnnotationDisplay(QsciScintilla::AnnotationStandard);
    }
    // Scintilla reports every vertical scroll, by bar, wheel, keyboard or call, as an update of its
    // view; a horizontal one always moves the scroll bar, whose signal comes at once
    connect(m_old, &QsciScintillaBase::SCN_UPDATEUI, this,
            [this](int updated) { sync(m_old, m_new, updated & QsciScintillaBase::SC_UPDATE_V_SCROLL); });
    connect(m_new, &QsciScintillaBase::SCN_UPDATEUI, this,
            [this](int updated) { sync(m_new, m_old, updated & QsciScintillaBase::SC_UPDATE_V_SCROLL); });
    connect(m_old->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { sync(m_old, m_new, QsciScintillaBase::SC_UPDATE_H_SCROLL); });
    connect(m_new->horizontalScrollBar(), &QScrollBar::valueChanged, this,
            [this] { sync(m_new, m_old, QsciScintillaBase::SC_UPDATE_H_SCROLL); });
}

void SideBySideView::setDiff(const QVector<DiffLine> &lines)
{
    const SideBySideLayout layout = sideBySideLayout(diffBlocks(lines));
    const int top = alignedTop(m_old);
    clear();
    replaceFillers(m_old, m_oldFillers, layout.oldFillers);
    replaceFillers(m_new, m_newFillers, layout.newFillers);
    const auto above = [](const QVector<Filler> &fillers) {
        return fillers.isEmpty() || fillers.first().afterLine >= 0 ? 0 : fillers.first().count;
    };
    m_oldTopFillers = above(layout.oldFillers);
    m_newTopFillers = above(layout.newFillers);
    m_blockRows = layout.blockRows;
    // Scintilla's scroll range is a fixed 2000 pixels otherwise; both views scroll as far as the wider
    const int scrollWidth = std::max(longestLineWidth(m_old), longestLineWidth(m_new));
    for (QsciScintilla *view : {m_old, m_new}) {
        view->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTHTRACKING, false);
        view->SendScintilla(QsciScintillaBase::SCI_SETSCROLLWIDTH, std::max(1, scrollWidth));
    }
    m_old->setFirstVisibleLine(std::max(0, top - m_oldTopFillers));
    sync(m_old, m_new, QsciScintillaBase::SC_UPDATE_V_SCROLL | QsciScintillaBase::SC_UPDATE_H_SCROLL);
}

void SideBySideView::clear()
{
    replaceFillers(m_old, m_oldFillers, {});
    replaceFillers(m_new, m_newFillers, {});
    m_oldTopFillers = 0;
    m_newTopFillers = 0;
    m_blockRows.clear();
    m_current = -1;
    m_currentTop = -1;
}

void SideBySideView::replaceFillers(QsciScintilla *view, QVector<Filler> &shown,
                                    const QVector<Filler> &fillers)
{
    if (shown.isEmpty() && fillers.isEmpty())
        return;
    // a shown view recomputes its scroll bars on every change of an annotation; hidden meanwhile, it
    // counts the rows once when they are shown again. Only the lines that carry fillers are touched:
    // clearing all of a big file's lines costs as much as a notification per line.
    view->SendScintilla(QsciScintillaBase::SCI_ANNOTATIONSETVISIBLE, QsciScintillaBase::ANNOTATION_HIDDEN);
    const int lines = view->lines();
    for (const Filler &filler : std::as_const(shown)) {
        if (filler.afterLine >= 0 && filler.afterLine < lines)
            view->SendScintilla(QsciScintillaBase::SCI_ANNOTATIONSETTEXT,
                                static_cast<unsigned long>(filler.afterLine),
                                static_cast<const char *>(nullptr));
    }
    for (const Filler &filler : fillers) {
        if (filler.afterLine < 0 || filler.afterLine >= lines)
            continue;
        const auto line = static_cast<unsigned long>(filler.afterLine);
        view->SendScintilla(QsciScintillaBase::SCI_ANNOTATIONSETTEXT, line,
                            fillerText(filler.count).constData());
        view->SendScintilla(QsciScintillaBase::SCI_ANNOTATIONSETSTYLE, line,
                            static_cast<long>(m_fillerStyle));
    }
    shown = fillers;
    view->SendScintilla(QsciScintillaBase::SCI_ANNOTATIONSETVISIBLE, QsciScintillaBase::ANNOTATION_STANDARD);
}

int SideBySideView::topFillers(QsciScintilla *view) const
{
    return view == m_old ? m_oldTopFillers : m_newTopFillers;
}

int SideBySideView::alignedTop(QsciScintilla *view) const
{
    return view->firstVisibleLine() + topFillers(view);
}

void SideBySideView::sync(QsciScintilla *from, QsciScintilla *to, int updated)
{
    if (m_syncing)
        return;
    m_syncing = true;
    if (updated & QsciScintillaBase::SC_UPDATE_V_SCROLL)
        to->setFirstVisibleLine(std::max(0, alignedTop(from) - topFillers(to)));
    if (updated & QsciScintillaBase::SC_UPDATE_H_SCROLL)
        to->SendScintilla(QsciScintillaBase::SCI_SETXOFFSET,
                          from->SendScintilla(QsciScintillaBase::SCI_GETXOFFSET));
    m_syncing = false;
}

bool SideBySideView::goToChange(int direction)
{
    const int top = alignedTop(m_old);
    // from the change gone to last while the view stays there; else from what is in view, at the very
    // top from before the first row
    int anchor = top == 0 ? -1 : top + ContextRows - 1;
    if (m_current >= 0 && top == m_currentTop)
        anchor = m_blockRows.at(m_current);
    const int next = changeAfter(m_blockRows, anchor, direction);
    if (next < 0)
        return false;
    m_current = next;
    m_old->setFirstVisibleLine(std::max(0, m_blockRows.at(next) - ContextRows - m_oldTopFillers));
    sync(m_old, m_new, QsciScintillaBase::SC_UPDATE_V_SCROLL);
    m_currentTop = alignedTop(m_old);
    return true;
}

int changeAfter(const QVector<int> &rows, int anchor, int direction)
{
    if (direction > 0) {
        const auto after = std::upper_bound(rows.cbegin(), rows.cend(), anchor);
        return after == rows.cend() ? -1 : int(after - rows.cbegin());
    }
    const auto before = std::lower_bound(rows.cbegin(), rows.cend(), anchor);
    return before == rows.cbegin() ? -1 : int(before - rows.cbegin()) - 1;
}
