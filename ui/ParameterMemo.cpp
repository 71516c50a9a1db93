#include "ParameterMemo.h"

#include <QMimeData>
#include <QTextDocumentFragment>

namespace {

constexpr QChar Hyphen = QLatin1Char('-');
constexpr QChar NonBreakingHyphen = QChar(0x2011);

} // namespace

ParameterMemo::ParameterMemo(QWidget *parent)
    : QPlainTextEdit(parent)
{
    setWordWrapMode(QTextOption::WordWrap);
}

void ParameterMemo::setParameterText(const QString &text)
{
    m_text = text;
    setPlainText(shownText(text));
}

QString ParameterMemo::exactText(const QString &shown)
{
    return QString(shown).replace(NonBreakingHyphen, Hyphen);
}

QString ParameterMemo::shownText(const QString &exact)
{
    return QString(exact).replace(Hyphen, NonBreakingHyphen);
}

QMimeData *ParameterMemo::createMimeDataFromSelection() const
{
    auto *mime = new QMimeData;
    mime->setText(exactText(textCursor().selection().toPlainText()));
    return mime;
}
