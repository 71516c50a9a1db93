#include "ChangeMarking.h"

#include <Qsci/qsciscintilla.h>

#include <algorithm>

using namespace PreviewViews;

ChangeMarking::ChangeMarking(const QList<QsciScintilla *> &oldViews, const QList<QsciScintilla *> &newViews,
                             QObject *parent)
    : QObject(parent)
{
    m_old.views = oldViews;
    m_old.background = RemovedLine;
    m_old.margin = RemovedMargin;
    m_new.views = newViews;
    m_new.background = AddedLine;
    m_new.margin = AddedMargin;
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &ChangeMarking::markSlice);
    for (QsciScintilla *view : oldViews + newViews) {
        // sent as a view is painted after a scroll, before it draws its margins and lines
        connect(view, &QsciScintillaBase::SCN_UPDATEUI, this, [this] {
            if (!isComplete())
                markInView();
        });
        // markers still to be set belong to the text the view held
        connect(view, &QsciScintilla::textChanged, this, &ChangeMarking::dropPending);
    }
}

void ChangeMarking::mark(const QVector<DiffLine> &lines)
{
    clear();
    for (const DiffLine &line : lines) {
        if (line.kind == DiffLine::Kind::Removed)
            m_old.lines.append(line.oldLine - 1);
        else if (line.kind == DiffLine::Kind::Added)
            m_new.lines.append(line.newLine - 1);
    }
    for (Side *side : {&m_old, &m_new}) {
        side->marked = QVector<bool>(side->lines.size(), false);
        side->left = int(side->lines.size());
    }
    markInView();
    if (!isComplete())
        m_slices.start();
}

void ChangeMarking::clear()
{
    dropPending();
    const BulkMarking bulk(m_old.views + m_new.views);
    m_old.views.first()->markerDeleteAll();
    m_new.views.first()->markerDeleteAll();
}

bool ChangeMarking::isComplete() const
{
    return m_old.left == 0 && m_new.left == 0;
}

void ChangeMarking::dropPending()
{
    m_slices.stop();
    for (Side *side : {&m_old, &m_new}) {
        side->lines.clear();
        side->marked.clear();
        side->next = 0;
        side->left = 0;
    }
}

void ChangeMarking::markInView()
{
    // a view being painted draws what is marked here; one more paint would be wasted
    const BulkMarking bulk(m_old.views + m_new.views, BulkMarking::Repaints::Kept);
    for (Side *side : {&m_old, &m_new}) {
        for (QsciScintilla *view : std::as_const(side->views)) {
            const int top = int(view->SendScintilla(QsciScintillaBase::SCI_DOCLINEFROMVISIBLE,
                                                    static_cast<unsigned long>(view->firstVisibleLine())));
            const int screen = int(view->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN));
            markRange(*side, top - screen, top + 2 * screen);
        }
    }
}

void ChangeMarking::markSlice()
{
    // the lines in view are marked already: repainting them would be wasted
    const BulkMarking bulk(m_old.views + m_new.views, BulkMarking::Repaints::Kept);
    int budget = SliceLines;
    for (Side *side : {&m_old, &m_new}) {
        for (; budget > 0 && side->next < side->lines.size(); ++side->next) {
            if (side->marked.at(side->next))
                continue;
            markLine(side->views.first(), side->lines.at(side->next), side->background, side->margin);
            side->marked[side->next] = true;
            --side->left;
            --budget;
        }
    }
    if (isComplete())
        m_slices.stop();
}

void ChangeMarking::markRange(Side &side, int first, int last)
{
    const auto from = std::lower_bound(side.lines.cbegin(), side.lines.cend(), first);
    for (auto index = from - side.lines.cbegin(); index < side.lines.size() && side.lines.at(index) <= last;
         ++index) {
        if (side.marked.at(index))
            continue;
        markLine(side.views.first(), side.lines.at(index), side.background, side.margin);
        side.marked[index] = true;
        --side.left;
    }
}
