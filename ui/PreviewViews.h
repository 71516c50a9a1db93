#pragma once

#include "LineDiff.h"
#include "SourceEncoding.h"

#include <QByteArray>
#include <QList>
#include <QVector>

class LineDecorations;
class QsciScintilla;

// The preview's code views: their set-up, change markers and the listing of one change's hunks.
namespace PreviewViews {

enum Marker { AddedLine = 0, RemovedLine = 1, HunkHeader = 2, AddedMargin = 3, RemovedMargin = 4 };

// Read only, C highlighting, line numbers (or, with numbersAsText, old and new numbers set line by
// line) and the markers above.
void setupCodeView(QsciScintilla *editor, bool numbersAsText = false);

// Replaces the text and keeps the part of it the user was looking at in view.
void setViewText(QsciScintilla *editor, const QByteArray &bytes, SourceEncoding encoding);

void markLine(QsciScintilla *editor, int line, Marker background, Marker margin);

// Holds back the views' notifications of marker and annotation changes, and unless told otherwise
// their repainting, while it lives. Marking a big file line by line otherwise repaints a margin strip
// and signals once per line. Repainting resumes with a repaint of the whole view, which is wasted when
// only lines out of view were marked.
class BulkMarking
{
public:
    enum class Repaints { Held, Kept };
    explicit BulkMarking(const QList<QsciScintilla *> &editors, Repaints repaints = Repaints::Held);
    ~BulkMarking();
    BulkMarking(const BulkMarking &) = delete;
    BulkMarking &operator=(const BulkMarking &) = delete;

private:
    struct Held
    {
        QsciScintilla *editor;
        long eventMask;
        bool updatesEnabled;
    };
    QVector<Held> m_held;
};

// Shows the hunks of a diff of before and after, each under its "@@" line, removed lines red and added
// ones green, with their old and new numbers in the margin, set through decorations (whose one
// document is the editor's). Returns the rows of the "@@" lines.
QVector<int> showHunks(QsciScintilla *editor, LineDecorations &decorations, const QVector<DiffLine> &diff,
                       const QByteArray &before, const QByteArray &after, SourceEncoding encoding);

} // namespace PreviewViews
