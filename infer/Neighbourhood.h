#pragma once

#include "StyleRecord.h"

#include <QVector>

// The selections a search looks at around the one it stands on. Every change names the rows it
// toggles, so that changes touching different choices can be combined.
struct SelectionChange
{
    CheckStates checks{};
    QVector<int> rows;
};

// The exclusive choice a row belongs to (an index into exclusiveChoices()), or, for a row in none,
// OptionCount plus the row: two rows with the same number cannot both change in one step.
int choiceOf(int row);

// Each proposable row toggled.
QVector<SelectionChange> singleRowChanges(const CheckStates &checks);

// A ticked member of an exclusive choice replaced by another member: "-l80" by "-l100", "-kr" by "-gnu".
QVector<SelectionChange> choiceSwaps(const CheckStates &checks);

// A style preset ticked in place of the ticked rows that restate it, with a row for each setting the
// preset would change where one keeps the value the selection had: the same layout in fewer rows
// wherever the preset's other settings do no harm. Only changes that leave fewer rows ticked.
QVector<SelectionChange> presetCompactions(const CheckStates &checks);

// Every two proposable rows toggled together, in catalogue order of the first row, then the second.
QVector<SelectionChange> twoRowChanges(const CheckStates &checks);
