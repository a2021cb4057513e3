#include "core/face/bar_keys.h"

bool isStripButton(BarButton button)
{
    return button == BarButton::Settings || button == BarButton::Hide || button == BarButton::Close;
}

QRectF barButtonArea(BarButton button)
{
    // Face: the button row is Y 43 to 51, a button two columns of 5 units;
    // the volume rocker's halves share one cell pair of the middle row.
    auto row6 = [](double left, double width = 10) { return QRectF(left, 43, width, 8); };
    switch (button) {
    case BarButton::Previous: return row6(5);
    case BarButton::Play: return row6(15);
    case BarButton::Pause: return row6(25);
    case BarButton::Stop: return row6(35);
    case BarButton::FadeOutAndStop: return row6(45);
    case BarButton::Next: return row6(55);
    case BarButton::Shuffle: return row6(75);
    case BarButton::Repeat: return row6(90);
    case BarButton::Playlist: return row6(105);
    case BarButton::VolumeDown: return QRectF(25, 27, 5, 8);
    case BarButton::VolumeUp: return QRectF(30, 27, 5, 8);
    // Strip, in twips: the row 75 < Y < 150; the close button's area runs
    // past the bar's right edge at 4125.
    case BarButton::Settings: return QRectF(75, 75, 75, 75);
    case BarButton::Hide: return QRectF(3825, 75, 75, 75);
    case BarButton::Close: return QRectF(3945, 75, 4125 - 3945, 75);
    }
    return {};
}

QPointF barButtonCentre(BarButton button)
{
    return barButtonArea(button).center();
}

BarKey barKeyFor(int key, Qt::KeyboardModifiers modifiers)
{
    if (modifiers & (Qt::ControlModifier | Qt::AltModifier | Qt::MetaModifier))
        return {};
    const bool shift = modifiers & Qt::ShiftModifier;
    auto press = [](BarButton button) { return BarKey{BarKeyAction::Press, button}; };
    switch (key) {
    case Qt::Key_Z: return press(BarButton::Previous);
    case Qt::Key_X: return press(BarButton::Play);
    case Qt::Key_C: return press(BarButton::Pause);
    case Qt::Key_V: return press(shift ? BarButton::FadeOutAndStop : BarButton::Stop);
    case Qt::Key_B: return press(BarButton::Next);
    case Qt::Key_Up: return press(BarButton::VolumeUp);
    case Qt::Key_Down: return press(BarButton::VolumeDown);
    case Qt::Key_S: return press(BarButton::Shuffle);
    case Qt::Key_R: return press(BarButton::Repeat);
    case Qt::Key_Tab: return {shift ? BarKeyAction::MarkPrevious : BarKeyAction::MarkNext, BarButton::Previous};
    case Qt::Key_Backtab: return {BarKeyAction::MarkPrevious, BarButton::Previous};
    case Qt::Key_Space:
    case Qt::Key_Return:
    case Qt::Key_Enter: return {BarKeyAction::PressMarked, BarButton::Previous};
    default: return {};
    }
}
