#pragma once

#include "LineDiff.h"
#include "PreviewViews.h"

#include <QList>
#include <QObject>
#include <QTimer>
#include <QVector>

class QsciScintilla;

// The change markers of the preview's source and result documents. A big file has tens of thousands
// of changed lines, and Scintilla takes a marker at a time: the lines in view (and a screen above and
// below) are marked at once, the rest in slices between events, and whatever a view scrolls to is
// marked as it is painted, before its lines are drawn. Marking never holds the window for long, and never
// delays what the user looks at.
class ChangeMarking : public QObject
{
    Q_OBJECT

public:
    // Marks slices of this many lines at a time, about a millisecond's work.
    static constexpr int SliceLines = 4000;

    // oldViews show the document of the diff's old text (their first is the one marked), newViews the
    // new text's.
    ChangeMarking(const QList<QsciScintilla *> &oldViews, const QList<QsciScintilla *> &newViews,
                  QObject *parent = nullptr);

    // Removed lines of lines in the old document, added ones in the new; replaces every marker. The
    // documents must hold the diff's texts.
    void mark(const QVector<DiffLine> &lines);
    // Drops every marker, and those still to be set.
    void clear();
    // No marker is still to be set.
    bool isComplete() const;

private:
    struct Side
    {
        QList<QsciScintilla *> views;
        PreviewViews::Marker background = PreviewViews::AddedLine;
        PreviewViews::Marker margin = PreviewViews::AddedMargin;
        QVector<int> lines; // ascending, 0-based
        QVector<bool> marked;
        int next = 0; // where the next slice starts looking
        int left = 0; // lines not marked yet
    };

    void dropPending();
    void markInView();
    void markSlice();
    static void markRange(Side &side, int first, int last);

    Side m_old;
    Side m_new;
    QTimer m_slices;
};
