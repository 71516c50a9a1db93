#include "RowExampleText.h"

#include "OptionCatalogue.h"

namespace {

QString optionText(int row)
{
    return QString::fromUtf8(OptionCatalogue[size_t(row)].optionText);
}

// One side: its lines escaped, the spans of its changes on a coloured background.
QString sideHtml(const QList<QByteArray> &lines, const QVector<ChangedSpan> &spans, const char *colour)
{
    QString html;
    for (int line = 0; line < lines.size(); ++line) {
        const QString text = QString::fromUtf8(lines.at(line));
        int start = 0;
        int length = 0;
        for (const ChangedSpan &span : spans) {
            if (span.line == line) {
                start = span.start;
                length = std::max(span.length, 1); // a removed character still shows where it was
            }
        }
        if (length == 0 || text.isEmpty()) {
            html +=
                text.toHtmlEscaped() + (length ? QStringLiteral("<span style=\"background:%1\">&nbsp;</span>")
                                                     .arg(QLatin1String(colour))
                                               : QString());
        } else {
            html += text.left(start).toHtmlEscaped() +
                    QStringLiteral("<span style=\"background:%1\">%2</span>")
                        .arg(QLatin1String(colour), text.mid(start, length).toHtmlEscaped()) +
                    text.mid(start + length).toHtmlEscaped();
        }
        html += QLatin1Char('\n');
    }
    return QStringLiteral("<pre style=\"font-family:Consolas,monospace;margin:2px\">%1</pre>").arg(html);
}

QList<QByteArray> linesOf(const QByteArray &text)
{
    QList<QByteArray> lines = text.split('\n');
    if (!lines.isEmpty() && lines.last().isEmpty())
        lines.removeLast();
    return lines;
}

} // namespace

QString rowExampleHtml(const RowExample &example)
{
    const QString option = optionText(example.row);
    if (!example.found)
        return QString::fromUtf8("<b>%1</b>：%2").arg(option.toHtmlEscaped(), example.reason.toHtmlEscaped());
    const QList<QByteArray> before = linesOf(example.before);
    const QList<QByteArray> after = linesOf(example.after);
    const ExampleChanges changes = exampleChanges(before, after);
    return QString::fromUtf8("<b>不选 %1</b>%2<b>选中 %1</b>%3")
        .arg(option.toHtmlEscaped(), sideHtml(before, changes.before, "#f6c4c4"),
             sideHtml(after, changes.after, "#bfe8bf"));
}

QString rowExamplePendingText(int row)
{
    return QString::fromUtf8("正在生成 %1 的示例…").arg(optionText(row));
}
