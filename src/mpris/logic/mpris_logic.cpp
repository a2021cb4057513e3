#include "mpris_logic.h"


namespace {

constexpr qint16 kPlaying = 1;
constexpr qint16 kPaused = 3;

} // namespace

FaceAction MprisMethodAction(MprisMethod method, qint16 playState)
{
    switch (method) {
    case MprisMethod::Play:
        return playState == kPaused ? FaceAction::Pause
             : playState == kPlaying ? FaceAction::None
                                     : FaceAction::Play;
    case MprisMethod::Pause:
        return playState == kPlaying ? FaceAction::Pause : FaceAction::None;
    case MprisMethod::PlayPause:
        return playState == kPlaying || playState == kPaused ? FaceAction::Pause : FaceAction::Play;
    case MprisMethod::Stop: return FaceAction::Stop;
    case MprisMethod::Next: return FaceAction::Next;
    case MprisMethod::Previous: return FaceAction::Previous;
    }
    return FaceAction::None;
}

std::optional<QString> MprisPlaybackStatus(qint16 playState)
{
    switch (playState) {
    case 0: return QStringLiteral("Stopped");
    case kPlaying: return QStringLiteral("Playing");
    case kPaused: return QStringLiteral("Paused");
    default: return std::nullopt;
    }
}

QString MprisLoopStatus(bool repeat)
{
    return repeat ? QStringLiteral("Playlist") : QStringLiteral("None");
}

std::optional<bool> MprisRepeatFor(QStringView loopStatus)
{
    if (loopStatus == u"None")
        return false;
    if (loopStatus == u"Playlist" || loopStatus == u"Track")
        return true;
    return std::nullopt;
}
