#include "DiffBlocks.h"

#include <algorithm>

QVector<DiffBlock> diffBlocks(const QVector<DiffLine> &lines)
{
    QVector<DiffBlock> blocks;
    int oldNext = 0; // 0-based lines that the next change would start at
    int newNext = 0;
    bool inBlock = false;
    for (const DiffLine &line : lines) {
        if (line.kind == DiffLine::Kind::Common) {
            inBlock = false;
            oldNext = line.oldLine;
            newNext = line.newLine;
            continue;
        }
        if (!inBlock) {
            blocks.append({oldNext, 0, newNext, 0});
            inBlock = true;
        }
        if (line.kind == DiffLine::Kind::Removed) {
            ++blocks.last().oldCount;
            oldNext = line.oldLine;
        } else {
            ++blocks.last().newCount;
            newNext = line.newLine;
        }
    }
    return blocks;
}

SideBySideLayout sideBySideLayout(const QVector<DiffBlock> &blocks)
{
    SideBySideLayout layout;
    int oldPadding = 0; // filler rows above the current block on each side
    int newPadding = 0;
    for (const DiffBlock &block : blocks) {
        layout.blockRows.append(block.oldStart + oldPadding);
        const int rows = std::max(block.oldCount, block.newCount);
        if (block.oldCount < rows) {
            layout.oldFillers.append({block.oldStart + block.oldCount - 1, rows - block.oldCount});
            oldPadding += rows - block.oldCount;
        }
        if (block.newCount < rows) {
            layout.newFillers.append({block.newStart + block.newCount - 1, rows - block.newCount});
            newPadding += rows - block.newCount;
        }
    }
    return layout;
}
