#pragma once

class QPushButton;
class QWidget;

// The look shared by the windows: the diagonal gradient fill, rounded buttons and a fixed monospace face
// for "Consolas" on systems that lack it. It is drawn by the application's style rather than a style
// sheet, which would polish every widget of the first window again before it can be shown.
void applyWindowStyle(QWidget *window);

// Makes the look the application's style. applyWindowStyle does so for the first window it is given;
// done before any widget exists, it spares every widget built so far a second polish.
void useWindowLook();

// The grid's and the memo's face: "Consolas" at the given pixel size.
void useMonospaceFace(QWidget *widget, int pixelSize);

// A button of a styled window whose caption starts at its left edge rather than in its middle.
void alignButtonTextLeft(QPushButton *button);

// An item view that never draws the dotted frame around its current item.
void hideFocusFrame(QWidget *view);

// Moves a top-level window so that its frame is centred on the frame of another one, or on the
// available area of its screen when there is none, and lies within that area.
void centreWindow(QWidget *window, const QWidget *on = nullptr);
