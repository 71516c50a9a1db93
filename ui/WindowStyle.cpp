#include "WindowStyle.h"

#include "ScreenFit.h"
#include "WindowPlacement.h"

#include <QApplication>
#include <QFont>
#include <QFontDatabase>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>
#include <QProxyStyle>
#include <QPushButton>
#include <QStyleFactory>
#include <QStyleOption>
#include <QWidget>

namespace {

// The colours of the look, and where the window's diagonal runs across it.
constexpr QRgb WindowTop = 0x263035;
constexpr QRgb WindowBottom = 0xffffff;
constexpr qreal WindowDiagonalStart = 0.3180148899555206;
constexpr qreal WindowDiagonalEnd = 0.6819851398468018;
constexpr QRgb ButtonBorder = 0x7d8a91;
constexpr QRgb ButtonFocusBorder = 0x2f80c8;
constexpr QRgb ButtonTop = 0xfdfdfd;
constexpr QRgb ButtonBottom = 0xe2e6e8;
constexpr QRgb HoveredButtonTop = 0xffffff;
constexpr QRgb HoveredButtonBottom = 0xd6e6f2;
constexpr QRgb PressedButton = 0xc4d8e6;
// A button's border, its corner radius and the padding between the border and its caption.
constexpr int ButtonBorderWidth = 1;
constexpr qreal ButtonRadius = 3;
constexpr int ButtonPaddingX = 6;
constexpr int ButtonPaddingY = 2;
constexpr QMargins ButtonMargins(ButtonBorderWidth + ButtonPaddingX, ButtonBorderWidth + ButtonPaddingY,
                                 ButtonBorderWidth + ButtonPaddingX, ButtonBorderWidth + ButtonPaddingY);

const char *const StyledWindowProperty = "zaboStyledWindow";
const char *const LeftAlignedProperty = "zaboTextLeft";
const char *const NoFocusFrameProperty = "zaboNoFocusFrame";
// The application style's name: the preview module holds its own copy of this code, and the style is
// installed once whichever copy comes first.
const char *const LookName = "zabo-window-look";

bool inStyledWindow(const QWidget *widget)
{
    return widget && widget->window()->property(StyledWindowProperty).toBool();
}

// A push button of a styled window with a caption alone: Fusion draws other controls (a combo box's
// face) with the same panel, and those keep Fusion's look.
bool isStyledButton(const QStyleOption *option, const QWidget *widget)
{
    const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
    return button && qobject_cast<const QPushButton *>(widget) && inStyledWindow(widget) &&
           button->icon.isNull() && !(button->features & QStyleOptionButton::HasMenu) &&
           !(button->features & QStyleOptionButton::Flat);
}

// The application's style with the windows' own fill and buttons; widgets of other windows (message boxes,
// file dialogs) keep its look.
class WindowLook : public QProxyStyle
{
public:
    // over a fresh instance of the style the application has (Fusion, or one chosen with -style)
    explicit WindowLook(QStyle *base)
        : QProxyStyle(base)
    {
        setObjectName(QString::fromLatin1(LookName));
    }

    void drawPrimitive(PrimitiveElement element, const QStyleOption *option, QPainter *painter,
                       const QWidget *widget) const override
    {
        if (element == PE_Widget && widget && widget->isWindow() && inStyledWindow(widget))
            return drawWindowFill(option->rect, painter);
        if (element == PE_PanelButtonCommand && isStyledButton(option, widget))
            return drawButtonPanel(*option, painter);
        if (element == PE_FrameFocusRect && widget && widget->property(NoFocusFrameProperty).toBool())
            return;
        QProxyStyle::drawPrimitive(element, option, painter, widget);
    }

    void drawControl(ControlElement element, const QStyleOption *option, QPainter *painter,
                     const QWidget *widget) const override
    {
        // a button with a style sheet of its own (a colour, a face) comes in parts, its caption already
        // within the padding
        const auto *button = qstyleoption_cast<const QStyleOptionButton *>(option);
        if (element == CE_PushButton && isStyledButton(option, widget))
            return drawButton(*button, painter, widget);
        if (element == CE_PushButtonLabel && isStyledButton(option, widget))
            return drawButtonCaption(*button, button->rect, painter, widget);
        QProxyStyle::drawControl(element, option, painter, widget);
    }

    QRect subElementRect(SubElement element, const QStyleOption *option, const QWidget *widget) const override
    {
        if ((element == SE_PushButtonContents || element == SE_PushButtonFocusRect) &&
            isStyledButton(option, widget))
            return option->rect - ButtonMargins;
        return QProxyStyle::subElementRect(element, option, widget);
    }

    QSize sizeFromContents(ContentsType type, const QStyleOption *option, const QSize &size,
                           const QWidget *widget) const override
    {
        // the caption, its padding and the border: no minimum width, as in the windows' designs
        if (type == CT_PushButton && isStyledButton(option, widget))
            return size.grownBy(ButtonMargins);
        return QProxyStyle::sizeFromContents(type, option, size, widget);
    }

private:
    static void drawWindowFill(const QRect &rect, QPainter *painter)
    {
        // in the window's own proportions, so that the diagonal runs from corner to corner at any size
        QLinearGradient fill(WindowDiagonalStart, 0, WindowDiagonalEnd, 1);
        fill.setCoordinateMode(QGradient::ObjectBoundingMode);
        fill.setColorAt(0, QColor(WindowTop));
        fill.setColorAt(1, QColor(WindowBottom));
        painter->fillRect(rect, fill);
    }

    static void drawButtonPanel(const QStyleOption &option, QPainter *painter)
    {
        // the border as the ring between the outer rounded edge and the inner one, the fill within
        const QRectF outer(option.rect);
        const QRectF inner =
            outer.adjusted(ButtonBorderWidth, ButtonBorderWidth, -ButtonBorderWidth, -ButtonBorderWidth);
        QPainterPath outerEdge;
        outerEdge.addRoundedRect(outer, ButtonRadius, ButtonRadius);
        QPainterPath innerEdge;
        innerEdge.addRoundedRect(inner, ButtonRadius - ButtonBorderWidth, ButtonRadius - ButtonBorderWidth);
        QBrush fill{QColor(PressedButton)};
        if (!(option.state & (State_Sunken | State_On))) {
            const bool hovered = (option.state & State_MouseOver) && (option.state & State_Enabled);
            QLinearGradient gradient(outer.topLeft() + QPointF(0, 0.5), outer.bottomLeft() - QPointF(0, 0.5));
            gradient.setColorAt(0, QColor(hovered ? HoveredButtonTop : ButtonTop));
            gradient.setColorAt(1, QColor(hovered ? HoveredButtonBottom : ButtonBottom));
            fill = QBrush(gradient);
        }
        painter->save();
        painter->setRenderHint(QPainter::Antialiasing);
        painter->fillPath(innerEdge, fill);
        painter->fillPath(outerEdge.subtracted(innerEdge),
                          QColor(option.state & State_HasFocus ? ButtonFocusBorder : ButtonBorder));
        painter->restore();
    }

    void drawButton(const QStyleOptionButton &button, QPainter *painter, const QWidget *widget) const
    {
        drawButtonPanel(button, painter);
        drawButtonCaption(button, button.rect - ButtonMargins, painter, widget);
        if (button.state & State_HasFocus) {
            QStyleOptionFocusRect focus;
            focus.QStyleOption::operator=(button);
            focus.rect = button.rect - ButtonMargins;
            proxy()->drawPrimitive(PE_FrameFocusRect, &focus, painter, widget);
        }
    }

    void drawButtonCaption(const QStyleOptionButton &button, const QRect &within, QPainter *painter,
                           const QWidget *widget) const
    {
        int alignment = Qt::AlignVCenter | Qt::TextShowMnemonic;
        alignment |= widget->property(LeftAlignedProperty).toBool() ? Qt::AlignLeft : Qt::AlignHCenter;
        if (!proxy()->styleHint(SH_UnderlineShortcut, &button, widget))
            alignment |= Qt::TextHideMnemonic;
        proxy()->drawItemText(painter, within, alignment, button.palette, button.state & State_Enabled,
                              button.text, QPalette::ButtonText);
    }
};

// The face that stands in for Consolas, which is rarely installed off Windows: the first of these that is,
// so that the texts stay monospaced rather than falling back to sans. One family rather than the whole
// list: Qt asks fontconfig for the fallbacks of every family a font names, for every script it draws.
QString monospaceFace()
{
    static const QString face = [] {
        for (const char *family : {"Consolas", "DejaVu Sans Mono", "Liberation Mono", "Noto Sans Mono"}) {
            if (QFontDatabase::hasFamily(QLatin1String(family)))
                return QString::fromLatin1(family);
        }
        return QStringLiteral("Monospace");
    }();
    return face;
}

void substituteConsolas()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    if (monospaceFace() != QLatin1String("Consolas"))
        QFont::insertSubstitution(QStringLiteral("Consolas"), monospaceFace());
}

} // namespace

void useWindowLook()
{
    if (QApplication::style()->objectName() != QLatin1String(LookName))
        QApplication::setStyle(new WindowLook(QStyleFactory::create(QApplication::style()->name())));
}

void applyWindowStyle(QWidget *window)
{
    substituteConsolas();
    useWindowLook();
    window->setProperty(StyledWindowProperty, true);
    window->setAttribute(Qt::WA_StyledBackground);
}

void useMonospaceFace(QWidget *widget, int pixelSize)
{
    substituteConsolas();
    QFont face = widget->font();
    face.setFamilies({monospaceFace()});
    face.setPixelSize(pixelSize);
    widget->setFont(face);
}

void alignButtonTextLeft(QPushButton *button)
{
    button->setProperty(LeftAlignedProperty, true);
}

void hideFocusFrame(QWidget *view)
{
    view->setProperty(NoFocusFrameProperty, true);
}

void centreWindow(QWidget *window, const QWidget *on)
{
    const QRect available = availableArea(on ? on : window);
    if (available.isEmpty())
        return;
    const QRect area = on && on->isVisible() ? on->frameGeometry() : available;
    const QSize frameSize = window->size().grownBy(expectedFrame(window));
    window->move(centredOn(frameSize, area, available).topLeft());
    keepWithinOnceFramed(window);
}
