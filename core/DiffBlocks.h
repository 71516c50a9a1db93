#pragma once

#include "LineDiff.h"

#include <QVector>

// One change of a line diff: oldCount lines of the old text from oldStart replaced by newCount lines
// of the new text from newStart. Lines count from 0; an empty side starts where its lines would go.
struct DiffBlock
{
    int oldStart = 0;
    int oldCount = 0;
    int newStart = 0;
    int newCount = 0;
};

QVector<DiffBlock> diffBlocks(const QVector<DiffLine> &lines);

// Blank rows shown after a line (afterLine -1: above the first line) so that two texts line up.
struct Filler
{
    int afterLine = 0;
    int count = 0;
};

// Two texts side by side as a diff tool shows them: the shorter side of each change is padded with
// filler rows, so every common line sits on the same row on both sides. blockRows holds the row each
// change begins on.
struct SideBySideLayout
{
    QVector<Filler> oldFillers;
    QVector<Filler> newFillers;
    QVector<int> blockRows;
};

SideBySideLayout sideBySideLayout(const QVector<DiffBlock> &blocks);
