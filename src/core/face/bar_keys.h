#pragma once

// The bar's buttons as the keyboard and assistive technologies reach them:
// where each one lies, and what a key does. No widgets, so tests can drive
// it directly.

#include <QRectF>
#include <Qt>

#include <array>

// Every button of the bar, in the order Tab visits them: the face's, then
// the title strip's.
enum class BarButton {
    Previous,
    Play,
    Pause,
    Stop,
    FadeOutAndStop,
    Next,
    VolumeDown,
    VolumeUp,
    Shuffle,
    Repeat,
    Playlist,
    Settings,
    Hide,
    Close,
};

inline constexpr std::array kBarButtons = {
    BarButton::Previous, BarButton::Play,       BarButton::Pause,    BarButton::Stop,    BarButton::FadeOutAndStop,
    BarButton::Next,     BarButton::VolumeDown, BarButton::VolumeUp, BarButton::Shuffle, BarButton::Repeat,
    BarButton::Playlist, BarButton::Settings,   BarButton::Hide,     BarButton::Close,
};

// True for the title strip's buttons, whose areas are in the strip's twips;
// the face's are in its 120 x 60 units.
bool isStripButton(BarButton button);

// The area that answers a press for the button: the face's grid cells, or
// the strip's button area (within the bar's width).
QRectF barButtonArea(BarButton button);

// The middle of that area: a press there does what the button does.
QPointF barButtonCentre(BarButton button);

enum class BarKeyAction {
    None,
    // Press the button that comes with it.
    Press,
    // Move the focus mark to the next or the previous button.
    MarkNext,
    MarkPrevious,
    // Press the marked button.
    PressMarked,
};

struct BarKey
{
    BarKeyAction action = BarKeyAction::None;
    BarButton button = BarButton::Previous;

    friend bool operator==(const BarKey &, const BarKey &) = default;
};

// The player's own keys: Z previous, X play, C pause, V stop, Shift+V fade
// out and stop, B next, Up and Down the volume, S shuffle, R repeat; Tab and
// Shift+Tab move the mark, Space and Return press the marked button. Keys
// held with Ctrl, Alt or Meta are left to others.
BarKey barKeyFor(int key, Qt::KeyboardModifiers modifiers);
