#include "ScreenFit.h"

#include "WindowPlacement.h"

#include <QApplication>
#include <QEvent>
#include <QLayout>
#include <QScreen>
#include <QScrollArea>
#include <QVBoxLayout>
#include <QWidget>

namespace {

// a title bar and borders of common window managers, in pixels at scale 1 (less at larger scales)
const QMargins GuessedFrame(8, 40, 8, 8);

bool isFramed(const QWidget *window)
{
    return window->isVisible() && window->frameGeometry() != window->geometry();
}

QMargins frameOf(const QWidget *window)
{
    const QRect client = window->geometry();
    const QRect frame = window->frameGeometry();
    return {client.left() - frame.left(), client.top() - frame.top(), frame.right() - client.right(),
            frame.bottom() - client.bottom()};
}

// Moves the window's content into a scroll area that fills it; the window's own fill shows through.
void scrollContent(QWidget *window)
{
    auto *content = new QWidget;
    const bool laidOut = window->layout() != nullptr;
    if (QLayout *layout = window->layout()) {
        content->setLayout(layout); // takes the layout and its widgets over
    } else {
        content->setFixedSize(window->size());
        const QList<QWidget *> children = window->findChildren<QWidget *>(Qt::FindDirectChildrenOnly);
        for (QWidget *child : children) {
            if (child->isWindow())
                continue;
            const QRect geometry = child->geometry();
            const bool shown = !child->isHidden();
            child->setParent(content);
            child->setGeometry(geometry);
            child->setVisible(shown);
        }
    }
    auto *area = new QScrollArea;
    area->setObjectName(QStringLiteral("ScreenFitArea"));
    area->setFrameShape(QFrame::NoFrame);
    area->setWidgetResizable(laidOut);
    area->setStyleSheet(
        QStringLiteral("QScrollArea, QScrollArea > QWidget > QWidget { background: transparent; }"));
    area->setWidget(content);
    area->viewport()->setAutoFillBackground(false);
    auto *frameLayout = new QVBoxLayout(window);
    frameLayout->setContentsMargins(0, 0, 0, 0);
    frameLayout->addWidget(area);
}

// Watches a window until its frame is known, then keeps the frame within the free area and goes.
class FrameWatch : public QObject
{
public:
    explicit FrameWatch(QWidget *window)
        : QObject(window)
        , m_window(window)
    {
        setObjectName(QStringLiteral("FrameWatch"));
        window->installEventFilter(this);
    }

protected:
    bool eventFilter(QObject *watched, QEvent *event) override
    {
        const QEvent::Type type = event->type();
        if (watched == m_window && (type == QEvent::Move || type == QEvent::Resize || type == QEvent::Show) &&
            isFramed(m_window)) {
            const QRect frame = m_window->frameGeometry();
            const QRect kept = keptWithin(frame, availableArea(m_window));
            m_window->removeEventFilter(this);
            deleteLater();
            if (kept.topLeft() != frame.topLeft())
                m_window->move(kept.topLeft());
        }
        return false;
    }

private:
    QWidget *m_window;
};

} // namespace

void keepWithinOnceFramed(QWidget *window)
{
    if (!window->findChild<QObject *>(QStringLiteral("FrameWatch"), Qt::FindDirectChildrenOnly))
        new FrameWatch(window);
}

QMargins expectedFrame(const QWidget *window)
{
    if (isFramed(window))
        return frameOf(window);
    const QList<QWidget *> windows = QApplication::topLevelWidgets();
    for (const QWidget *other : windows) {
        if (other != window && other->windowType() == Qt::Window && isFramed(other))
            return frameOf(other);
    }
    return GuessedFrame;
}

QRect availableArea(const QWidget *window)
{
    const QScreen *screen = window->screen();
    if (!screen)
        screen = QGuiApplication::primaryScreen();
    return screen ? screen->availableGeometry() : QRect();
}

void fitOnScreen(QWidget *window)
{
    const QRect available = availableArea(window);
    if (available.isEmpty())
        return;
    const QMargins frame = expectedFrame(window);
    const QSize room = available.size().shrunkBy(frame);
    const QSize wanted = window->size().expandedTo(window->minimumSize());
    if (wanted.width() <= room.width() && wanted.height() <= room.height())
        return;
    const bool fixed = window->minimumSize() == window->maximumSize();
    const QSize smallest = window->layout() ? window->layout()->totalMinimumSize() : window->minimumSize();
    if (fixed || smallest.width() > room.width() || smallest.height() > room.height()) {
        if (!window->findChild<QScrollArea *>(QStringLiteral("ScreenFitArea"), Qt::FindDirectChildrenOnly))
            scrollContent(window);
        window->setMinimumSize(0, 0);
    } else {
        window->setMinimumSize(window->minimumSize().boundedTo(room));
    }
    const QSize fitted = wanted.boundedTo(room);
    if (fixed)
        window->setFixedSize(fitted);
    else
        window->resize(fitted);
}
