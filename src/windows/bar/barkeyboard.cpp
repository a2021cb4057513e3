#include "windows/bar/barkeyboard.h"

#include "platform/widgets/key_actions.h"
#include "platform/widgets/picturebox.h"
#include "core/settings/settings.h"

#include <QFocusEvent>
#include <QKeyEvent>

namespace {

constexpr int kFirstStripButton = int(BarButton::Settings);
constexpr int kButtonCount = int(kBarButtons.size());

QString keyOf(BarButton button)
{
    switch (button) {
    case BarButton::Previous: return QStringLiteral("z");
    case BarButton::Play: return QStringLiteral("x");
    case BarButton::Pause: return QStringLiteral("c");
    case BarButton::Stop: return QStringLiteral("v");
    case BarButton::FadeOutAndStop: return QStringLiteral("Shift+v");
    case BarButton::Next: return QStringLiteral("b");
    case BarButton::VolumeDown: return QStringLiteral("Down");
    case BarButton::VolumeUp: return QStringLiteral("Up");
    case BarButton::Shuffle: return QStringLiteral("s");
    case BarButton::Repeat: return QStringLiteral("r");
    default: return {};
    }
}

} // namespace

BarKeyboard::BarKeyboard(const Bar &bar)
    : QObject(bar.window)
    , m_click(bar.click)
    , m_window(bar.window)
    , m_face(bar.face)
    , m_strip(bar.strip)
    , m_shuffleMark(bar.shuffleMark)
    , m_loopMark(bar.loopMark)
    , m_playlistMark(bar.playlistMark)
{
    QList<PictureBox::Spot> face;
    QList<PictureBox::Spot> strip;
    for (const BarButton button : kBarButtons) {
        PictureBox::Spot spot{
            buttonName(button), barButtonArea(button), [this, button] { press(button); }, {}, keyOf(button)};
        if (button == BarButton::Shuffle)
            spot.isOn = [this] { return m_shuffleMark && !m_shuffleMark->isHidden(); };
        else if (button == BarButton::Repeat)
            spot.isOn = [this] { return m_loopMark && !m_loopMark->isHidden(); };
        else if (button == BarButton::Playlist)
            spot.isOn = [] { return gPlaylistVisible != 0; };
        (isStripButton(button) ? strip : face).append(spot);
    }
    m_face->setSpots(face);
    m_face->setAccessibleName(tr("Player"));
    m_strip->setSpots(strip);
    m_strip->setAccessibleName(tr("Title strip"));

    // The bar takes the focus itself, when clicked anywhere on it or when
    // activated: its pictures take none.
    m_window->setFocusPolicy(Qt::StrongFocus);
    m_window->installEventFilter(this);
    takeFocusOnActivation(m_window, m_window);

    // The ON marks come and go with the switches' states.
    for (PictureBox *mark : {m_shuffleMark.data(), m_loopMark.data(), m_playlistMark.data()})
        mark->installEventFilter(this);
}

QString BarKeyboard::buttonName(BarButton button)
{
    switch (button) {
    case BarButton::Previous: return tr("Previous");
    case BarButton::Play: return tr("Play");
    case BarButton::Pause: return tr("Pause");
    case BarButton::Stop: return tr("Stop");
    case BarButton::FadeOutAndStop: return tr("Fade out and stop");
    case BarButton::Next: return tr("Next");
    case BarButton::VolumeDown: return tr("Volume down");
    case BarButton::VolumeUp: return tr("Volume up");
    case BarButton::Shuffle: return tr("Shuffle");
    case BarButton::Repeat: return tr("Repeat");
    case BarButton::Playlist: return tr("Playlist");
    case BarButton::Settings: return tr("Settings");
    case BarButton::Hide: return tr("Hide");
    case BarButton::Close: return tr("Close");
    }
    return {};
}

bool BarKeyboard::faceShown() const
{
    return m_face && !m_face->isHidden();
}

bool BarKeyboard::available(BarButton button) const
{
    return isStripButton(button) || faceShown();
}

void BarKeyboard::press(BarButton button)
{
    if (!available(button))
        return;
    m_click(button);
}

std::optional<BarButton> BarKeyboard::marked() const
{
    if (m_marked < 0 || !available(kBarButtons[m_marked]))
        return std::nullopt;
    return kBarButtons[m_marked];
}

bool BarKeyboard::hasFocusOn(BarButton button) const
{
    return m_window->hasFocus() && marked() == button;
}

PictureBox *BarKeyboard::pictureOf(BarButton button) const
{
    return isStripButton(button) ? m_strip : m_face;
}

qsizetype BarKeyboard::spotOf(BarButton button)
{
    return isStripButton(button) ? int(button) - kFirstStripButton : int(button);
}

bool BarKeyboard::moveMark(int step)
{
    int at = m_marked;
    if (at < 0)
        at = step > 0 ? -1 : kButtonCount;
    for (int tries = 0; tries < kButtonCount; ++tries) {
        at += step;
        if (at < 0 || at >= kButtonCount) {
            if (!faceShown()) {
                // Web-control mode: past the strip's buttons lies the page.
                m_marked = -1;
                showMark();
                return false;
            }
            at = (at + kButtonCount) % kButtonCount;
        }
        if (available(kBarButtons[at])) {
            m_marked = at;
            showMark();
            return true;
        }
    }
    return false;
}

void BarKeyboard::showMark()
{
    if (!m_face || !m_strip)
        return;
    const std::optional<BarButton> button = m_window->hasFocus() ? marked() : std::nullopt;
    QRect face;
    QRect strip;
    if (button) {
        PictureBox *picture = pictureOf(*button);
        QRect area = picture->spotRect(spotOf(*button));
        // The ON marks lie over their spots: the focus mark goes round them.
        const PictureBox *on = *button == BarButton::Shuffle ? m_shuffleMark.data()
            : *button == BarButton::Repeat                   ? m_loopMark.data()
            : *button == BarButton::Playlist                 ? m_playlistMark.data()
                                                             : nullptr;
        if (on)
            area = area.united(QRect(picture->mapFrom(m_window, on->pos()), on->size()));
        area.adjust(-2, -2, 2, 2);
        (isStripButton(*button) ? strip : face) = area;
    }
    m_face->setFocusMark(face, button && !isStripButton(*button) ? spotOf(*button) : -1);
    m_strip->setFocusMark(strip, button && isStripButton(*button) ? spotOf(*button) : -1);
}

void BarKeyboard::tellMarked()
{
    if (const std::optional<BarButton> button = marked(); button && m_window->hasFocus())
        notifySpotFocus(pictureOf(*button), spotOf(*button));
}

bool BarKeyboard::eventFilter(QObject *watched, QEvent *event)
{
    if (watched != m_window) {
        if (m_face && (event->type() == QEvent::ShowToParent || event->type() == QEvent::HideToParent)) {
            const BarButton button = watched == m_shuffleMark ? BarButton::Shuffle
                : watched == m_loopMark                       ? BarButton::Repeat
                                                              : BarButton::Playlist;
            notifySpotStateChanged(m_face, spotOf(button));
        }
        return false;
    }
    switch (event->type()) {
    case QEvent::FocusIn: {
        const Qt::FocusReason reason = static_cast<QFocusEvent *>(event)->reason();
        if (reason == Qt::TabFocusReason || reason == Qt::BacktabFocusReason) {
            m_marked = -1;
            moveMark(reason == Qt::TabFocusReason ? 1 : -1);
        }
        showMark();
        // Back in the bar, the reader is told of the marked button, after
        // Qt has told it of the window that took the focus.
        if (marked())
            QMetaObject::invokeMethod(this, &BarKeyboard::tellMarked, Qt::QueuedConnection);
        return false;
    }
    case QEvent::FocusOut: showMark(); return false;
    case QEvent::KeyPress: {
        auto *keyEvent = static_cast<QKeyEvent *>(event);
        // Only keys meant for the bar itself, not those a child let through.
        if (!m_window->hasFocus())
            return false;
        const BarKey key = barKeyFor(keyEvent->key(), keyEvent->modifiers());
        // A held key repeats only the volume.
        if (keyEvent->isAutoRepeat()
            && !(key.action == BarKeyAction::Press
                 && (key.button == BarButton::VolumeUp || key.button == BarButton::VolumeDown)))
            return key.action != BarKeyAction::None;
        switch (key.action) {
        case BarKeyAction::None: return false;
        case BarKeyAction::Press:
            if (!available(key.button))
                return false;
            // As a button's shortcut does, the key marks the button it
            // presses: the reader names it and then hears a switch change.
            m_marked = int(key.button);
            showMark();
            press(key.button);
            return true;
        case BarKeyAction::MarkNext: return moveMark(1);
        case BarKeyAction::MarkPrevious: return moveMark(-1);
        case BarKeyAction::PressMarked:
            if (const std::optional<BarButton> button = marked()) {
                press(*button);
                return true;
            }
            return false;
        }
        return false;
    }
    default: return false;
    }
}
