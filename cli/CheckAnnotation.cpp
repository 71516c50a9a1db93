#include "CheckAnnotation.h"

#include "FormatReporter.h"

#include <algorithm>

int firstChangedLine(const QVector<DiffLine> &lines)
{
    int oldLines = 0;
    for (const DiffLine &line : lines)
        oldLines = std::max(oldLines, line.oldLine);
    int lastCommon = 0;
    for (const DiffLine &line : lines) {
        if (line.kind == DiffLine::Kind::Removed)
            return line.oldLine;
        if (line.kind == DiffLine::Kind::Added)
            return std::max(1, std::min(lastCommon + 1, oldLines));
        lastCommon = line.oldLine;
    }
    return 0;
}

QByteArray checkAnnotation(const QByteArray &path, const QByteArray &original, const QByteArray &result)
{
    const QVector<DiffLine> lines = diffLines(original, result);
    const int line = firstChangedLine(lines);
    const QByteArray where = terminalSafe(path) + ':' + QByteArray::number(std::max(line, 1)) + ": ";
    if (line == 0)
        return where + "would reformat: indent does not settle on this file\n";
    const DiffCounts counts = diffCounts(lines);
    return where + "would reformat (-" + QByteArray::number(counts.removed) + " +" +
           QByteArray::number(counts.added) + " lines)\n";
}
