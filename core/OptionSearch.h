#pragma once

#include "IndentOptions.h"

#include <QString>
#include <QVector>

#include <array>
#include <optional>

using RowVisibility = std::array<bool, OptionCount>;

// Which catalogue rows a search shows. Every blank-separated word of the text must be found, case blind,
// in one of what the row carries: its option text ("-bap"; a leading dash or plus of a word is dropped, so
// "bap", "-bap" and "--blank-lines" all find their rows), the long names of its option (with the row's
// number, "--line-length80"), its description (any part of the Chinese text) or its number. A topic, when
// given, keeps only the rows whose option the manual groups under it. An empty text and no topic show
// every row.
RowVisibility matchingRows(const QString &text, std::optional<OptionTopic> topic = std::nullopt);

int visibleRowCount(const RowVisibility &rows);

// Where the words of the search text stand in one cell's text, for highlighting: (start, length) pairs,
// sorted and not overlapping.
QVector<QPair<int, int>> matchedSpans(const QString &cellText, const QString &searchText);

// The number of catalogue rows in each topic, in topic order.
std::array<int, OptionTopicCount> rowsPerTopic();
