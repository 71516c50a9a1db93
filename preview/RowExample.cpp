#include "RowExample.h"

#include "CellTable.h"
#include "OptionCatalogue.h"
#include "OptionEffects.h"

#include <QFile>
#include <QTimer>

#include <algorithm>

QList<QByteArray> exampleParts()
{
    QFile corpus(QStringLiteral(":/preview/examples.c"));
    if (!corpus.open(QIODevice::ReadOnly))
        return {};
    QList<QByteArray> parts;
    QByteArray current;
    const QList<QByteArray> lines = corpus.readAll().split('\n');
    for (const QByteArray &line : lines) {
        if (line == "//@@") {
            parts.append(current);
            current.clear();
        } else if (!line.isEmpty() || !current.isEmpty()) {
            current += line + '\n';
        }
    }
    if (!current.trimmed().isEmpty())
        parts.append(current);
    std::stable_sort(parts.begin(), parts.end(), [](const QByteArray &one, const QByteArray &other) {
        return one.size() < other.size();
    });
    return parts;
}

QString parameterTextWith(CheckStates checks, int row, bool ticked)
{
    checks[size_t(row)] = ticked;
    return ParameterTextFor(checks);
}

namespace {

RowNote rowNoteWith(CheckStates checks, int row)
{
    checks[size_t(row)] = true;
    return optionNotes(checks)[size_t(row)];
}

} // namespace

RowExampleMaker::RowExampleMaker(const QString &formatterPath, QObject *parent)
    : QObject(parent)
    , m_runner(formatterPath)
{
    connect(&m_runner, &PreviewRunner::finished, this, &RowExampleMaker::partFormatted);
}

void RowExampleMaker::request(int row, const CheckStates &checks)
{
    if (m_parts.isEmpty())
        m_parts = exampleParts(); // read on the first request, not at start-up
    m_runner.cancel();
    m_awaited = 0;
    m_checks = checks;
    m_without = parameterTextWith(checks, row, false);
    m_with = parameterTextWith(checks, row, true);
    m_key = m_without + QLatin1Char('|') + m_with;
    m_current = RowExample{};
    m_current.row = row;
    if (const auto cached = m_cache.constFind(m_key); cached != m_cache.cend()) {
        const RowExample example = *cached;
        QTimer::singleShot(0, this, [this, example] { emit ready(example); });
        return;
    }
    m_part = 0;
    m_formattingWith = false;
    // a row that the option effects prove idle needs no run (tst_optioneffectsproof checks them)
    if (rowNoteWith(m_checks, row).hasNoEffect()) {
        QTimer::singleShot(0, this, &RowExampleMaker::finish);
        return;
    }
    formatNext();
}

void RowExampleMaker::formatNext()
{
    if (m_part >= m_parts.size()) {
        finish();
        return;
    }
    PreviewRequest request;
    request.source = m_parts.at(m_part);
    request.fileName = QStringLiteral("example.c");
    request.parameterText = m_formattingWith ? m_with : m_without;
    m_awaited = m_runner.format(request);
}

void RowExampleMaker::partFormatted(const PreviewResult &result)
{
    if (result.id != m_awaited)
        return;
    // a run that fails shows as a difference only when the other fails otherwise
    const QByteArray text = result.hasOutput() ? result.formatted : QByteArray("\0", 1) + result.messages;
    if (!m_formattingWith) {
        m_withoutText = text;
        m_formattingWith = true;
        formatNext();
        return;
    }
    if (text != m_withoutText) {
        m_current.found = true;
        m_current.source = m_parts.at(m_part);
        m_current.before = m_withoutText;
        m_current.after = text;
        finish();
        return;
    }
    ++m_part;
    m_formattingWith = false;
    formatNext();
}

void RowExampleMaker::finish()
{
    m_awaited = 0;
    if (!m_current.found) {
        const RowNote note = rowNoteWith(m_checks, m_current.row);
        m_current.reason =
            note.hasNoEffect() ? rowNoteText(note) : QString::fromUtf8("在此选择下，示例代码没有任何变化");
    }
    m_cache.insert(m_key, m_current);
    emit ready(m_current);
}

ExampleChanges exampleChanges(const QList<QByteArray> &before, const QList<QByteArray> &after)
{
    qsizetype head = 0;
    while (head < before.size() && head < after.size() && before.at(head) == after.at(head))
        ++head;
    qsizetype tail = 0;
    while (tail < before.size() - head && tail < after.size() - head &&
           before.at(before.size() - 1 - tail) == after.at(after.size() - 1 - tail))
        ++tail;
    ExampleChanges changes;
    const qsizetype beforeEnd = before.size() - tail;
    const qsizetype afterEnd = after.size() - tail;
    const bool paired = beforeEnd - head == afterEnd - head;
    for (qsizetype line = head; line < std::max(beforeEnd, afterEnd); ++line) {
        const QByteArray one = line < beforeEnd ? before.at(line) : QByteArray();
        const QByteArray other = line < afterEnd ? after.at(line) : QByteArray();
        if (!paired) {
            if (line < beforeEnd)
                changes.before.append({int(line), 0, int(one.size())});
            if (line < afterEnd)
                changes.after.append({int(line), 0, int(other.size())});
            continue;
        }
        qsizetype start = 0;
        while (start < one.size() && start < other.size() && one.at(start) == other.at(start))
            ++start;
        qsizetype end = 0;
        while (end < one.size() - start && end < other.size() - start &&
               one.at(one.size() - 1 - end) == other.at(other.size() - 1 - end))
            ++end;
        changes.before.append({int(line), int(start), int(one.size() - start - end)});
        changes.after.append({int(line), int(start), int(other.size() - start - end)});
    }
    return changes;
}
