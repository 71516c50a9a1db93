#include "PreviewMessages.h"

#include "FormatterRun.h"

namespace {

QString text(const char *utf8)
{
    return QString::fromUtf8(utf8);
}

// A style picked from the list changes many options at once; the summary names a few.
constexpr int NamedOptions = 4;

// The options of one list missing from the other, as many times as they are missing.
QStringList missingFrom(QStringList options, const QStringList &other)
{
    for (const QString &option : other)
        options.removeOne(option);
    return options;
}

} // namespace

QString countsText(const DiffCounts &counts)
{
    if (counts.removed == 0 && counts.added == 0)
        return text("没有改动");
    return text("%1 行 → %2 行").arg(counts.removed).arg(counts.added);
}

QStringList toggledOptions(const QString &before, const QString &after)
{
    const QStringList beforeOptions = formatterOptions(before);
    const QStringList afterOptions = formatterOptions(after);
    return missingFrom(afterOptions, beforeOptions) + missingFrom(beforeOptions, afterOptions);
}

QString toggleSummary(const QString &beforeParameterText, const QString &afterParameterText,
                      const DiffCounts &counts)
{
    const QStringList toggled = toggledOptions(beforeParameterText, afterParameterText);
    QString what;
    if (toggled.isEmpty())
        what = text("这次切换");
    else if (toggled.size() <= NamedOptions)
        what = text("切换 %1").arg(toggled.join(QLatin1Char(' ')));
    else
        what = text("切换 %1 等 %2 个选项")
                   .arg(toggled.mid(0, NamedOptions).join(QLatin1Char(' ')))
                   .arg(toggled.size());
    return what + text("：") + countsText(counts);
}

QString lineEndsText(LineEnds lineEnds)
{
    switch (lineEnds) {
    case LineEnds::None:
    case LineEnds::Lf:
        break;
    case LineEnds::CrLf:
        return text("CRLF 行尾");
    case LineEnds::Mixed:
        return text("混合行尾（CRLF 与 LF）");
    }
    return QString();
}

QString cppNotice(const QString &sign)
{
    return QString::fromUtf8(
               "这个文件看起来是 C++（%1）：indent 是 C 的格式化工具，模板、lambda 等会被排得很怪"
               "（如 std::vector < T >>），请检查结果。")
        .arg(sign);
}
