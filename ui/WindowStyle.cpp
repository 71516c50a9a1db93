#include "WindowStyle.h"

#include "ScreenFit.h"
#include "WindowPlacement.h"

#include <QFont>
#include <QWidget>

namespace {

const char *const WindowSheet = R"(
#%1 {
    background: qlineargradient(x1: 0.3180148899555206, y1: 0, x2: 0.6819851398468018, y2: 1,
                                stop: 0 #263035, stop: 1 #ffffff);
}
QPushButton {
    border: 1px solid #7d8a91;
    border-radius: 3px;
    background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #fdfdfd, stop: 1 #e2e6e8);
    padding: 2px 6px;
}
QPushButton:hover { background: qlineargradient(x1: 0, y1: 0, x2: 0, y2: 1, stop: 0 #ffffff, stop: 1 #d6e6f2); }
QPushButton:pressed { background: #c4d8e6; }
QPushButton:focus { border-color: #2f80c8; }
)";

void substituteConsolas()
{
    static bool done = false;
    if (done)
        return;
    done = true;
    // Consolas is rarely installed off Windows; keep the texts monospaced rather than falling back to sans
    QFont::insertSubstitutions(QStringLiteral("Consolas"),
                               {QStringLiteral("DejaVu Sans Mono"), QStringLiteral("Liberation Mono"),
                                QStringLiteral("Noto Sans Mono"), QStringLiteral("Monospace")});
}

} // namespace

void applyWindowStyle(QWidget *window)
{
    substituteConsolas();
    window->setAttribute(Qt::WA_StyledBackground);
    window->setStyleSheet(QString::fromLatin1(WindowSheet).arg(window->objectName()));
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
