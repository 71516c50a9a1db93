#pragma once

#include <QProxyStyle>

// Draws a menu item's shortcut only where its caption does not already name it: "Indent目录树(Ctrl+Shift+D)"
// keeps its caption, and its shortcut column stays empty.
class MenuShortcutStyle : public QProxyStyle
{
public:
    using QProxyStyle::QProxyStyle;

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget = nullptr) const override;
    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget = nullptr) const override;
};

// The text a menu item shows: its caption and, after a tab, its shortcut unless the caption names it.
QString menuItemText(const QString &itemText);
