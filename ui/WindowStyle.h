#pragma once

class QWidget;

// The look shared by the three windows: the diagonal gradient fill, rounded buttons and a fixed
// monospace face for "Consolas" on systems that lack it.
void applyWindowStyle(QWidget *window);

// Moves a top-level window so that its frame is centred on the frame of another one, or on the
// available area of its screen when there is none, and lies within that area.
void centreWindow(QWidget *window, const QWidget *on = nullptr);
