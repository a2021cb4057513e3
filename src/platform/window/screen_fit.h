#pragma once

// Keeping windows where the user can reach them: the plain rule, over
// rectangles in the desktop's pixels, without any window.

#include <QList>
#include <QPoint>
#include <QRect>

#include <optional>

struct ScreenArea
{
    QRect geometry;
    // Without the panels; empty means the whole geometry.
    QRect available;
};

// Where a window (or a group of windows moving together, `window` their
// bounding box) must go so that each of its title strips shows whole on the
// screens: nothing when every strip already does (on one screen or across
// neighbouring ones). Otherwise the window goes onto the screen nearest to
// it, pulled in the shortest way to lie within that screen's free area; a
// window too large for it keeps its top left corner in the area.
std::optional<QPoint> placeOnScreens(const QRect &window, const QList<QRect> &strips, const QList<ScreenArea> &screens);
