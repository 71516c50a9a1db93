#pragma once

#include <QMargins>
#include <QRect>

class QWidget;

// Keeping top-level windows reachable on small or scaled screens: the widget side of WindowPlacement.

// The decorations a top-level window has or, before the window manager has framed it, is likely to
// get: those of another framed window of the program, else a generous guess, so that a title bar is
// never placed above the screen.
QMargins expectedFrame(const QWidget *window);

// The free area of the screen the window (or, before it is shown, the program) is on.
QRect availableArea(const QWidget *window);

// Makes a top-level window no larger, frame included, than the free area of its screen. A window whose
// content cannot shrink that far gets it in a scroll area, so that every control stays reachable.
void fitOnScreen(QWidget *window);

// Moves the window back within the free area of its screen once the window manager has framed it, where
// the real frame came out larger than the one expected when the window was placed (a wider title bar, a
// scale the guess did not foresee). Once per showing; a window already within is left where it is.
void keepWithinOnceFramed(QWidget *window);
