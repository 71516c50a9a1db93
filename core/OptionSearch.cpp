#include "OptionSearch.h"

#include <QStringList>

#include <algorithm>

namespace {

// The search words of a text: lower case, each without the dashes or plus that begin an option.
QStringList searchWords(const QString &text)
{
    QStringList words = text.toLower().split(QLatin1Char(' '), Qt::SkipEmptyParts);
    for (QString &word : words) {
        qsizetype start = 0;
        while (start < word.size() && (word.at(start) == u'-' || word.at(start) == u'+'))
            ++start;
        word = word.mid(start);
    }
    words.removeAll(QString());
    return words;
}

// Built on the first search, not at start-up: everything a row can be found by, lower case.
const std::array<QString, OptionCount> &searchableTexts()
{
    static const std::array<QString, OptionCount> texts = [] {
        std::array<QString, OptionCount> all;
        for (int row = 0; row < OptionCount; ++row) {
            const IndentOption &option = indentOptionOfRow(row);
            QStringList parts{QString::fromUtf8(OptionCatalogue[size_t(row)].optionText),
                              QString::fromUtf8(OptionCatalogue[size_t(row)].descriptionText)};
            for (const QString &name : longNamesOf(option))
                parts.append(name + numberOfRow(row));
            all[size_t(row)] = parts.join(QLatin1Char('\n')).toLower();
        }
        return all;
    }();
    return texts;
}

} // namespace

RowVisibility matchingRows(const QString &text, std::optional<OptionTopic> topic)
{
    const QStringList words = searchWords(text);
    RowVisibility rows{};
    for (int row = 0; row < OptionCount; ++row) {
        if (topic && indentOptionOfRow(row).topic != *topic)
            continue;
        const QString &haystack = searchableTexts()[size_t(row)];
        rows[size_t(row)] = std::all_of(words.cbegin(), words.cend(),
                                        [&haystack](const QString &word) { return haystack.contains(word); });
    }
    return rows;
}

int visibleRowCount(const RowVisibility &rows)
{
    return int(std::count(rows.cbegin(), rows.cend(), true));
}

QVector<QPair<int, int>> matchedSpans(const QString &cellText, const QString &searchText)
{
    QVector<QPair<int, int>> spans;
    for (const QString &word : searchWords(searchText)) {
        for (qsizetype at = cellText.indexOf(word, 0, Qt::CaseInsensitive); at >= 0;
             at = cellText.indexOf(word, at + word.size(), Qt::CaseInsensitive))
            spans.append({int(at), int(word.size())});
    }
    std::sort(spans.begin(), spans.end());
    QVector<QPair<int, int>> merged;
    for (const auto &span : spans) {
        if (!merged.isEmpty() && span.first <= merged.last().first + merged.last().second)
            merged.last().second =
                std::max(merged.last().first + merged.last().second, span.first + span.second) -
                merged.last().first;
        else
            merged.append(span);
    }
    return merged;
}

std::array<int, OptionTopicCount> rowsPerTopic()
{
    std::array<int, OptionTopicCount> counts{};
    for (int row = 0; row < OptionCount; ++row)
        ++counts[size_t(indentOptionOfRow(row).topic)];
    return counts;
}
