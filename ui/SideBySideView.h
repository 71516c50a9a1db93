#pragma once

#include "DiffBlocks.h"

#include <QObject>
#include <QVector>

class QsciScintilla;

// Two code views side by side as a diff tool shows them: filler rows pad the shorter side of each
// change, so unchanged lines always sit on the same row, and the views scroll together, vertically
// and horizontally. The fillers are annotations, so the texts themselves stay as they are.
class SideBySideView : public QObject
{
    Q_OBJECT

public:
    // Rows kept above a change that goToChange scrolls to.
    static constexpr int ContextRows = 3;

    SideBySideView(QsciScintilla *oldView, QsciScintilla *newView, QObject *parent = nullptr);

    // Lines the views' texts up by their diff; the texts must be the diff's old and new text.
    void setDiff(const QVector<DiffLine> &lines);
    // Drops the fillers: the texts changed, and their diff is still to come.
    void clear();

    // Scrolls both views to the next (direction 1) or previous (-1) change after or before what is in
    // view; false when there is none that way.
    bool goToChange(int direction);
    int changeCount() const { return int(m_blockRows.size()); }

private:
    void replaceFillers(QsciScintilla *view, QVector<Filler> &shown, const QVector<Filler> &fillers);
    void sync(QsciScintilla *from, QsciScintilla *to, int updated);
    // The aligned row at the top of a view: its first display line plus the fillers above its text.
    int alignedTop(QsciScintilla *view) const;
    int topFillers(QsciScintilla *view) const;

    QsciScintilla *m_old;
    QsciScintilla *m_new;
    int m_fillerStyle;
    int m_oldTopFillers = 0;      // Scintilla shows annotations only below a line: rows above the first
    int m_newTopFillers = 0;      // line are kept as an offset between the two views instead
    QVector<Filler> m_oldFillers; // as shown now
    QVector<Filler> m_newFillers;
    QVector<int> m_blockRows;
    int m_current = -1;    // the change goToChange went to last
    int m_currentTop = -1; // and the aligned top row it left, to tell whether the view moved since
    bool m_syncing = false;
};

// The index of the first row after anchor (direction 1) or the last before it (-1); -1 when none.
int changeAfter(const QVector<int> &rows, int anchor, int direction);
