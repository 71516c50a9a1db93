#pragma once

#include <QMargins>
#include <QRect>
#include <QSize>

// Where windows go on a screen. Every rectangle here is in screen coordinates at the current scale;
// "frame" rectangles include the decorations (title bar, borders) that the window manager adds, and
// available is the screen's free area (panels left out).

// The client size a window gets: the wanted one where it fits with its frame, else as much of it as
// fits, never less than minimum.
QSize fittedClientSize(const QSize &wanted, const QSize &minimum, const QMargins &frame,
                       const QRect &available);

// The frame moved, and where it is larger shrunk, so that it lies within available.
QRect keptWithin(const QRect &frame, const QRect &available);

// A frame of the given size centred on another rectangle and kept within available.
QRect centredOn(const QSize &frameSize, const QRect &on, const QRect &available);

struct PairPlacement
{
    QRect first;  // the first window's frame, moved where that makes room for the second
    QRect second; // the second window's frame
};

// Where a second window goes so that it works beside the first instead of on top of it: to the right
// of the first where the screen has room for its preferred size, else to the left, else on the side
// with more room when that gives it the width its content needs; else the first window moves aside
// so that both fit; on a screen too narrow for both, the second takes the width it needs at one edge
// and the first moves to the other. Both always lie within available.
PairPlacement besideWindow(const QRect &firstFrame, const QRect &available, const QSize &preferred,
                           int neededWidth);
