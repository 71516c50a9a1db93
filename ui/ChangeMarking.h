#pragma once

#include "LineDecorations.h"
#include "LineDiff.h"

// The change markers of the preview's source and result documents: removed lines red in the old
// text, added lines green in the new, the lines in view first (see LineDecorations).
class ChangeMarking : public LineDecorations
{
    Q_OBJECT

public:
    // oldViews show the document of the diff's old text, newViews the new text's.
    ChangeMarking(const QList<QsciScintilla *> &oldViews, const QList<QsciScintilla *> &newViews,
                  QObject *parent = nullptr);

    // Replaces every marker with the diff's. The documents must hold the diff's texts.
    void mark(const QVector<DiffLine> &lines);
    // Drops every marker, and those still to be set.
    void clear();
};
