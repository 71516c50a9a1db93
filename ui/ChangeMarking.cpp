#include "ChangeMarking.h"

#include "PreviewViews.h"

#include <Qsci/qsciscintilla.h>

using namespace PreviewViews;

namespace {

constexpr int OldDocument = 0;
constexpr int NewDocument = 1;

} // namespace

ChangeMarking::ChangeMarking(const QList<QsciScintilla *> &oldViews, const QList<QsciScintilla *> &newViews,
                             QObject *parent)
    : LineDecorations({oldViews, newViews}, parent)
{}

void ChangeMarking::mark(const QVector<DiffLine> &lines)
{
    clear();
    QVector<int> removed;
    QVector<int> added;
    for (const DiffLine &line : lines) {
        if (line.kind == DiffLine::Kind::Removed)
            removed.append(line.oldLine - 1);
        else if (line.kind == DiffLine::Kind::Added)
            added.append(line.newLine - 1);
    }
    QsciScintilla *oldView = views(OldDocument).first();
    QsciScintilla *newView = views(NewDocument).first();
    setLines(OldDocument, removed, [oldView, removed](int index) {
        markLine(oldView, removed.at(index), RemovedLine, RemovedMargin);
    });
    setLines(NewDocument, added,
             [newView, added](int index) { markLine(newView, added.at(index), AddedLine, AddedMargin); });
    start();
}

void ChangeMarking::clear()
{
    dropPending();
    const BulkMarking bulk(views(OldDocument) + views(NewDocument));
    views(OldDocument).first()->markerDeleteAll();
    views(NewDocument).first()->markerDeleteAll();
}
