#include "LineDecorations.h"

#include "PreviewViews.h"

#include <Qsci/qsciscintilla.h>

#include <algorithm>

using PreviewViews::BulkMarking;

LineDecorations::LineDecorations(const QList<QList<QsciScintilla *>> &documents, QObject *parent)
    : QObject(parent)
{
    for (const QList<QsciScintilla *> &views : documents)
        m_documents.append({views, {}, {}, {}, 0, 0});
    m_slices.setInterval(0);
    connect(&m_slices, &QTimer::timeout, this, &LineDecorations::decorateSlice);
    for (QsciScintilla *view : allViews()) {
        // sent as a view is painted after a scroll, before it draws its margins and lines
        connect(view, &QsciScintillaBase::SCN_UPDATEUI, this, [this] {
            if (!isComplete())
                decorateInView();
        });
        // decorations still to come belong to the text the view held
        connect(view, &QsciScintilla::textChanged, this, &LineDecorations::dropPending);
    }
}

void LineDecorations::setLines(int document, const QVector<int> &lines, const Decorate &decorate)
{
    Document &target = m_documents[document];
    target.lines = lines;
    target.done = QVector<bool>(lines.size(), false);
    target.decorate = decorate;
    target.next = 0;
    target.left = int(lines.size());
}

void LineDecorations::start()
{
    decorateInView();
    if (!isComplete())
        m_slices.start();
}

void LineDecorations::dropPending()
{
    m_slices.stop();
    for (Document &document : m_documents) {
        document.lines.clear();
        document.done.clear();
        document.decorate = nullptr;
        document.next = 0;
        document.left = 0;
    }
}

bool LineDecorations::isComplete() const
{
    return std::all_of(m_documents.cbegin(), m_documents.cend(),
                       [](const Document &document) { return document.left == 0; });
}

QList<QsciScintilla *> LineDecorations::allViews() const
{
    QList<QsciScintilla *> views;
    for (const Document &document : m_documents)
        views += document.views;
    return views;
}

void LineDecorations::decorateInView()
{
    // a view being painted draws what is decorated here; one more paint would be wasted
    const BulkMarking bulk(allViews(), BulkMarking::Repaints::Kept);
    for (Document &document : m_documents) {
        for (QsciScintilla *view : std::as_const(document.views)) {
            const int top = int(view->SendScintilla(QsciScintillaBase::SCI_DOCLINEFROMVISIBLE,
                                                    static_cast<unsigned long>(view->firstVisibleLine())));
            const int screen = int(view->SendScintilla(QsciScintillaBase::SCI_LINESONSCREEN));
            decorateRange(document, top - screen, top + 2 * screen);
        }
    }
}

void LineDecorations::decorateSlice()
{
    // the lines in view are decorated already: repainting them would be wasted
    const BulkMarking bulk(allViews(), BulkMarking::Repaints::Kept);
    int budget = SliceLines;
    for (Document &document : m_documents) {
        for (; budget > 0 && document.next < document.lines.size(); ++document.next) {
            if (document.done.at(document.next))
                continue;
            document.done[document.next] = true;
            --document.left;
            --budget;
            document.decorate(document.next);
        }
    }
    if (isComplete())
        m_slices.stop();
}

void LineDecorations::decorateRange(Document &document, int first, int last)
{
    const auto from = std::lower_bound(document.lines.cbegin(), document.lines.cend(), first);
    for (auto index = from - document.lines.cbegin();
         index < document.lines.size() && document.lines.at(index) <= last; ++index) {
        if (document.done.at(index))
            continue;
        document.done[index] = true;
        --document.left;
        document.decorate(int(index));
    }
}
