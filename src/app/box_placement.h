#pragma once
// Where a box opens so that it hides none of the main window's fields, which
// its text may name: beside the window, then below or above it, wherever the
// screen has room for the whole box; on a screen too small for that, inside
// the window below the fields. Rectangles are the windows' frames, in screen
// coordinates.
#include <QPoint>
#include <QRect>
#include <QSize>

QPoint BoxPosition(const QRect &window, const QRect &fields, const QSize &box, const QRect &screen);
