#pragma once

#include "LineDiff.h"

#include <QByteArray>

// The first line of the old text that a diff changes, counted from 1: the first removed line, or for
// lines only added, the line they come before (the last line when they end the text). 0 when nothing
// changes.
int firstChangedLine(const QVector<DiffLine> &lines);

// "path:line: message\n", the form compilers use, which editors and CI log viewers link to the line:
// where result first differs from original, and the lines removed and added in all, as diffstat
// counts them. A file whose text stays the same (one indent never settles) is named at line 1.
// Control characters in path are escaped.
QByteArray checkAnnotation(const QByteArray &path, const QByteArray &original, const QByteArray &result);
