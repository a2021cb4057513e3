#include "platform/window/screen_fit.h"

#include <algorithm>
#include <limits>

namespace {

qint64 area(const QRect &rect)
{
    return rect.isEmpty() ? 0 : qint64(rect.width()) * rect.height();
}

// Screens that mirror each other cover the same pixels once.
bool shows(const QRect &strip, const QList<ScreenArea> &screens)
{
    QList<QRect> seen;
    qint64 covered = 0;
    for (const ScreenArea &screen : screens) {
        if (seen.contains(screen.geometry))
            continue;
        seen.append(screen.geometry);
        covered += area(strip & screen.geometry);
    }
    return covered >= area(strip);
}

// Squared distance between two rectangles; 0 when they meet or overlap.
qint64 distance(const QRect &a, const QRect &b)
{
    const qint64 dx = std::max<qint64>({0, qint64(b.left()) - a.right(), qint64(a.left()) - b.right()});
    const qint64 dy = std::max<qint64>({0, qint64(b.top()) - a.bottom(), qint64(a.top()) - b.bottom()});
    return dx * dx + dy * dy;
}

// The start of a span of `length` pulled the shortest way into [low, high].
int pullIn(int start, int length, int low, int high)
{
    return std::max(low, std::min(start, high - length + 1));
}

} // namespace

std::optional<QPoint> placeOnScreens(const QRect &window, const QList<QRect> &strips, const QList<ScreenArea> &screens)
{
    if (screens.isEmpty())
        return std::nullopt;
    if (std::all_of(strips.cbegin(), strips.cend(), [&screens](const QRect &strip) { return shows(strip, screens); }))
        return std::nullopt;

    // The nearest screen; of those the window overlaps, the one it overlaps most.
    const ScreenArea *nearest = nullptr;
    qint64 nearestDistance = std::numeric_limits<qint64>::max();
    qint64 nearestOverlap = -1;
    for (const ScreenArea &screen : screens) {
        const qint64 d = distance(window, screen.geometry);
        const qint64 overlap = area(window & screen.geometry);
        if (d < nearestDistance || (d == nearestDistance && overlap > nearestOverlap)) {
            nearest = &screen;
            nearestDistance = d;
            nearestOverlap = overlap;
        }
    }
    const QRect target = nearest->available.isEmpty() ? nearest->geometry : nearest->available;
    const QPoint place(pullIn(window.left(), window.width(), target.left(), target.right()),
                       pullIn(window.top(), window.height(), target.top(), target.bottom()));
    if (place == window.topLeft())
        return std::nullopt;
    return place;
}
