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
    m_order.clear();
    m_orderAt = 0;
    m_wholeCorpus = true;
    m_fallBackToAll = false;
    m_formattingWith = false;
    // a row that the option effects prove idle needs no run (tst_optioneffectsproof checks them)
    if (rowNoteWith(m_checks, row).hasNoEffect()) {
        QTimer::singleShot(0, this, &RowExampleMaker::finish);
        return;
    }
    formatNext();
}

namespace {

// Stands between the parts when the whole corpus is formatted at once; indent keeps preprocessor lines.
const QByteArray PartSeparator = "#pragma zabo_example_part\n";

// The formatted corpus cut at its separators; empty when their number is not as written.
QList<QByteArray> formattedParts(const QByteArray &formatted, qsizetype count)
{
    QList<QByteArray> parts{QByteArray()};
    for (const QByteArray &line : formatted.split('\n')) {
        if (QByteArray(line).replace(' ', "").replace('\t', "") == "#pragmazabo_example_part")
            parts.append(QByteArray());
        else
            parts.last() += line + '\n';
    }
    return parts.size() == count ? parts : QList<QByteArray>();
}

} // namespace

// First both texts of the whole corpus, which name the parts that change in context; then, smallest first,
// those parts alone until one changes by itself (what is shown is always a part formatted alone), and all
// parts when none of them does.
void RowExampleMaker::formatNext()
{
    if (!m_wholeCorpus && m_orderAt >= m_order.size()) {
        finish();
        return;
    }
    PreviewRequest request;
    request.source = m_wholeCorpus ? m_parts.join(PartSeparator) : m_parts.at(m_order.at(m_orderAt));
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
    m_formattingWith = false;
    if (m_wholeCorpus) {
        m_wholeCorpus = false;
        const QList<QByteArray> without = formattedParts(m_withoutText, m_parts.size());
        const QList<QByteArray> with = formattedParts(text, m_parts.size());
        for (int part = 0; part < m_parts.size(); ++part) {
            if (without.isEmpty() || with.isEmpty() || without.at(part) != with.at(part))
                m_order.append(part);
        }
        if (text != m_withoutText)
            m_fallBackToAll = true;
        formatNext();
        return;
    }
    const int part = m_order.at(m_orderAt);
    if (text != m_withoutText) {
        m_current.found = true;
        m_current.source = m_parts.at(part);
        m_current.before = m_withoutText;
        m_current.after = text;
        finish();
        return;
    }
    if (++m_orderAt == m_order.size() && m_fallBackToAll && m_order.size() < m_parts.size()) {
        m_fallBackToAll = false;
        m_order.clear();
        m_orderAt = 0;
        for (int all = 0; all < m_parts.size(); ++all)
            m_order.append(all);
    }
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
