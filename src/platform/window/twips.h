#pragma once

#include <QPoint>
#include <QWidget>

// Lengths are kept in twips; the windows are drawn in Qt's device-independent
// pixels, 15 twips each whatever the screen's resolution (Qt applies the
// screen's scale factor on top).
inline constexpr int kTwipsPerPixel = 15;

inline int TwipsToPixels(double twips)
{
    return qRound(twips / kTwipsPerPixel);
}

inline int PixelsToTwips(int pixels)
{
    return pixels * kTwipsPerPixel;
}

// A window's left and top in twips.
inline QPoint PositionTwips(const QWidget &window)
{
    return {PixelsToTwips(window.x()), PixelsToTwips(window.y())};
}
