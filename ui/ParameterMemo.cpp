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
    setPlainText(QString(text).replace(Hyphen, NonBreakingHyphen));
}

QString ParameterMemo::exactText(const QString &shown)
{
    return QString(shown).replace(NonBreakingHyphen, Hyphen);
}

QMimeData *ParameterMemo::createMimeDataFromSelection() const
{
    auto *mime = new QMimeData;
    mime->setText(exactText(textCursor().selection().toPlainText()));
    return mime;
}
