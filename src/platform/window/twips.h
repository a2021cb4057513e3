#pragma once

#include <QLine>
#include <QPainter>
#include <QPoint>
#include <QWidget>

#include <span>

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

// A window's left and top in twips.
inline QPoint windowPositionTwips(const QWidget &window)
{
    return {pixelsToTwips(window.x()), pixelsToTwips(window.y())};
}

// Draws lines kept in twips (a window's border) with the painter's pen.
inline void drawTwipsLines(QPainter &painter, std::span<const QLine> lines)
{
    for (const QLine &line : lines)
        painter.drawLine(twipsToPixels(line.x1()), twipsToPixels(line.y1()), twipsToPixels(line.x2()),
                         twipsToPixels(line.y2()));
}
