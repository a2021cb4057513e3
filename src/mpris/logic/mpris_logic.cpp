#include "mpris_logic.h"

namespace {

constexpr qint16 kPlaying = 1;
constexpr qint16 kPaused = 3;

} // namespace

std::optional<BarButton> mprisMethodButton(MprisMethod method, qint16 playState)
{
    switch (method) {
    case MprisMethod::Play:
        if (playState == kPlaying)
            return std::nullopt;
        return playState == kPaused ? BarButton::Pause : BarButton::Play;
    case MprisMethod::Pause:
        if (playState != kPlaying)
            return std::nullopt;
        return BarButton::Pause;
    case MprisMethod::PlayPause:
        return playState == kPlaying || playState == kPaused ? BarButton::Pause : BarButton::Play;
    case MprisMethod::Stop: return BarButton::Stop;
    case MprisMethod::Next: return BarButton::Next;
    case MprisMethod::Previous: return BarButton::Previous;
    }
    return std::nullopt;
}

std::optional<QString> mprisPlaybackStatus(qint16 playState)
{
    switch (playState) {
    case 0: return QStringLiteral("Stopped");
    case kPlaying: return QStringLiteral("Playing");
    case kPaused: return QStringLiteral("Paused");
    default: return std::nullopt;
    }
}

QString mprisLoopStatus(bool repeat)
{
    return repeat ? QStringLiteral("Playlist") : QStringLiteral("None");
}

std::optional<bool> mprisRepeatFor(QStringView loopStatus)
{
    if (loopStatus == u"None")
        return false;
    if (loopStatus == u"Playlist" || loopStatus == u"Track")
        return true;
    return std::nullopt;
}
