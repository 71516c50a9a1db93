#pragma once

#include <QRect>
#include <QSize>

// Where a second window goes so that it works beside the first instead of on top of it: to the
// right of the first where the screen has room for its preferred width, else to the left, else on
// the side with more room when that holds its minimum width, else as large as the screen allows.
// All rectangles are frames (decorations included) in screen coordinates; available is the screen's
// free area.
QRect besideWindow(const QRect &firstFrame, const QRect &available, const QSize &preferred,
                   const QSize &minimum);
