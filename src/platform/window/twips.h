#pragma once

#include <QPoint>
#include <QWidget>

#include <algorithm>
#include <limits>

// Lengths are kept in twips; the windows are drawn in Qt's device-independent
// pixels, 15 twips each whatever the screen's resolution (Qt applies the
// screen's scale factor on top).
inline constexpr int kTwipsPerPixel = 15;

inline int twipsToPixels(double twips)
{
    return qRound(twips / kTwipsPerPixel);
}

inline int pixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// Window arithmetic is held in signed 16 bits: a result beyond them stops at
// the nearer end.
inline qint16 clampToInt16(int value)
{
    return static_cast<qint16>(
        std::clamp<int>(value, std::numeric_limits<qint16>::min(), std::numeric_limits<qint16>::max()));
}

// A window's left and top in twips.
inline QPoint windowPositionTwips(const QWidget &window)
{
    return {pixelsToTwips(window.x()), pixelsToTwips(window.y())};
}
