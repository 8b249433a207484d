#include "app/box_placement.h"

#include <algorithm>

namespace {
constexpr int Gap = 8;
}

QPoint BoxPosition(const QRect &window, const QRect &fields, const QSize &box, const QRect &screen)
{
    // A box larger than the screen keeps its top left corner on it.
    const auto onScreenX = [&](int x) { return std::max(screen.left(), std::min(x, screen.right() + 1 - box.width())); };
    const auto onScreenY = [&](int y) { return std::max(screen.top(), std::min(y, screen.bottom() + 1 - box.height())); };
    const QPoint outside[] = {
        {window.right() + 1 + Gap, onScreenY(window.top())},
        {window.left() - Gap - box.width(), onScreenY(window.top())},
        {onScreenX(window.left()), window.bottom() + 1 + Gap},
        {onScreenX(window.left()), window.top() - Gap - box.height()},
    };
    for (const QPoint &at : outside) {
        if (screen.contains(QRect(at, box)))
            return at;
    }
    return {onScreenX(window.left() + (window.width() - box.width()) / 2), onScreenY(fields.bottom() + 1 + Gap)};
}
