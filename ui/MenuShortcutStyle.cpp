#include "MenuShortcutStyle.h"

#include <QStyleOptionMenuItem>

QString menuItemText(const QString &itemText)
{
    const qsizetype tab = itemText.indexOf(QLatin1Char('\t'));
    if (tab < 0)
        return itemText;
    const QString caption = itemText.left(tab);
    const QString shortcut = itemText.mid(tab + 1);
    return caption.contains(QLatin1Char('(') + shortcut + QLatin1Char(')')) ? caption : itemText;
}

void MenuShortcutStyle::drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                                    const QWidget *widget) const
{
    if (element == CE_MenuItem) {
        if (const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option)) {
            QStyleOptionMenuItem shown = *item;
            shown.text = menuItemText(item->text);
            QProxyStyle::drawControl(element, &shown, painter, widget);
            return;
        }
    }
    QProxyStyle::drawControl(element, option, painter, widget);
}

QSize MenuShortcutStyle::sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                                          const QWidget *widget) const
{
    if (type == CT_MenuItem) {
        if (const auto *item = qstyleoption_cast<const QStyleOptionMenuItem *>(option)) {
            QStyleOptionMenuItem shown = *item;
            shown.text = menuItemText(item->text);
            return QProxyStyle::sizeFromContents(type, &shown, size, widget);
        }
    }
    return QProxyStyle::sizeFromContents(type, option, size, widget);
}
