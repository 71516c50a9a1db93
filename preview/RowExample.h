#pragma once

#include "PreviewRunner.h"
#include "StyleRecord.h"

#include <QByteArray>
#include <QHash>
#include <QList>
#include <QMetaType>
#include <QObject>
#include <QString>
#include <QVector>

// What one catalogue row does under a selection, shown on the smallest part of the example corpus whose
// formatted text changes with the row.
struct RowExample
{
    int row = -1;
    bool found = false; // some part changes
    QByteArray source;  // the part as written
    QByteArray before;  // formatted without the row
    QByteArray after;   // formatted with it
    QString reason;     // when nothing changes: why, in the grid's words
};

// The parts of the built-in example corpus (declarations, every statement, comments of each kind, long
// lines, preprocessor lines, casts, sizeof, pointers, labels, case ranges), smallest first.
QList<QByteArray> exampleParts();

// The selection as a parameter text, with the row ticked or not.
QString parameterTextWith(CheckStates checks, int row, bool ticked);

// Makes row examples with the preview's runner, one at a time and never blocking: the whole corpus
// without and with the row names the parts that change; those alone, smallest first, are formatted
// without and with the row until one differs. Answers are cached by the two
// parameter texts; a new request replaces one still running.
class RowExampleMaker : public QObject
{
    Q_OBJECT

public:
    explicit RowExampleMaker(const QString &formatterPath, QObject *parent = nullptr);

    // The answer comes through ready(), from the event loop, also when it was cached.
    void request(int row, const CheckStates &checks);

signals:
    void ready(const RowExample &example);

private:
    void formatNext();
    void partFormatted(const PreviewResult &result);
    void finish();

    PreviewRunner m_runner;
    QList<QByteArray> m_parts;
    QHash<QString, RowExample> m_cache;
    RowExample m_current;
    CheckStates m_checks{};
    QString m_key;
    QString m_without;
    QString m_with;
    bool m_wholeCorpus = true;
    bool m_fallBackToAll = false; // the whole corpus changed, but maybe no part alone among those named
    QVector<int> m_order;         // the parts to format alone, in this order
    int m_orderAt = 0;
    bool m_formattingWith = false;
    QByteArray m_withoutText;
    quint64 m_awaited = 0;
};
Q_DECLARE_METATYPE(RowExample)

// The changed characters of each side of an example, as (line, start, length) per side: lines both share
// at the start and the end are unchanged; in between, lines paired one to one are marked from their first
// to their last differing character, and lines without a partner whole.
struct ChangedSpan
{
    int line;
    int start;
    int length;
};
struct ExampleChanges
{
    QVector<ChangedSpan> before;
    QVector<ChangedSpan> after;
};
ExampleChanges exampleChanges(const QList<QByteArray> &before, const QList<QByteArray> &after);
