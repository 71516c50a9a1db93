#pragma once

#include <QList>
#include <QObject>
#include <QTimer>
#include <QVector>

#include <functional>

class QsciScintilla;

// Markers and margin texts for many lines of code views, set where the user looks first. Scintilla
// takes them a line at a time, and a big file's diff has tens of thousands of lines to decorate: the
// lines in view (and a screen above and below) are decorated at once, the rest in slices between
// events, and whatever a view is scrolled to as it is painted, before its lines are drawn. The window
// never waits for lines nobody sees yet.
class LineDecorations : public QObject
{
    Q_OBJECT

public:
    // Decorates slices of this many lines at a time, about a millisecond's work for markers.
    static constexpr int SliceLines = 4000;
    // Decorates lines.at(index) of the document.
    using Decorate = std::function<void(int index)>;

    // Each entry is the views of one document.
    explicit LineDecorations(const QList<QList<QsciScintilla *>> &documents, QObject *parent = nullptr);

    // The lines (ascending, 0-based) of a document to decorate, replacing those still to come. Nothing
    // is decorated before start().
    void setLines(int document, const QVector<int> &lines, const Decorate &decorate);
    // Decorates the lines in view now and the rest soon.
    void start();
    // Forgets the lines still to be decorated; those decorated stay as they are.
    void dropPending();
    // No line is still to be decorated.
    bool isComplete() const;

    // The views of a document; the first one's document is the one decorated.
    const QList<QsciScintilla *> &views(int document) const { return m_documents.at(document).views; }

private:
    struct Document
    {
        QList<QsciScintilla *> views;
        QVector<int> lines;
        QVector<bool> done;
        Decorate decorate;
        int next = 0; // where the next slice starts looking
        int left = 0; // lines not decorated yet
    };

    void decorateInView();
    void decorateSlice();
    static void decorateRange(Document &document, int first, int last);
    QList<QsciScintilla *> allViews() const;

    QVector<Document> m_documents;
    QTimer m_slices;
};
