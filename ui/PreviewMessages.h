#pragma once

#include "LineDiff.h"
#include "LineEnds.h"
#include "SourceEncoding.h"

#include <QString>
#include <QStringList>

// The preview's texts about what changed, built from values so that they can be tested by rows.

// "12 行 → 24 行": removed lines of the old text became added lines of the new; "没有改动".
QString countsText(const DiffCounts &counts);

// The options whose presence differs between two parameter texts, those of after first.
QStringList toggledOptions(const QString &before, const QString &after);

// What the last change of the selection did: "切换 -br：12 行 → 24 行".
QString toggleSummary(const QString &beforeParameterText, const QString &afterParameterText,
                      const DiffCounts &counts);

// For the status line: "CRLF 行尾", "混合行尾（CRLF 与 LF）"; nothing for LF.
QString lineEndsText(LineEnds lineEnds);

// For the message pane when the source looks like C++ (sign: what gave it away, as cppSign says).
QString cppNotice(const QString &sign);
