// Fitting windows into the screen they are shown on, frame included.
#pragma once

#include <QMargins>
#include <QSize>

class QScrollArea;
class QWidget;

// The largest size, no larger than `size`, whose window fits with its frame into `available`.
QSize sizeWithinScreen(const QSize &size, const QSize &available, const QMargins &frame);

// Shrinks a top-level window that would reach past the available area of its screen (for a
// dialog, the screen of the window it belongs to); returns whether it had to. A window that fits,
// or a maximized one, is left as it is.
bool shrinkIntoScreen(QWidget *window);

// Shrinks a window that does not fit and centres the shrunk window in the available area.
void fitIntoScreen(QWidget *window);

// Gives a top-level window the height `height`, or as much of it as fits with its frame into the
// available area of its screen.
void setHeightWithinScreen(QWidget *window, int height);

// The height, frame included, at which `area` shows all of its widget without scrolling when it
// is `width` wide.
int heightShowingAll(const QScrollArea *area, int width);
