#include "core/mpris/mpris_logic.h"

#include <QtNumeric>

#include <algorithm>
#include <cmath>
#include <limits>

namespace {

constexpr qint16 kPlaying = 1;
constexpr qint16 kPaused = 3;
constexpr qint16 kMaxLevel = 255;

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

bool mprisCanSeek(qint16 playState, qint16 lengthSeconds)
{
    return (playState == kPlaying || playState == kPaused) && lengthSeconds > 0;
}

qint64 mprisJumpMs(qint64 positionUs, qint16 lengthSeconds)
{
    return std::clamp<qint64>(positionUs / 1000, 0, std::max<qint64>(0, lengthSeconds) * 1000);
}

qint64 mprisSeekTarget(qint64 positionUs, qint64 offsetUs)
{
    qint64 target = 0;
    if (qAddOverflow(positionUs, offsetUs, &target))
        return offsetUs < 0 ? std::numeric_limits<qint64>::min() : std::numeric_limits<qint64>::max();
    return target;
}

MprisTrackName mprisSplitTitle(const QString &title)
{
    static const QString separator = QStringLiteral(" - ");
    const qsizetype at = title.indexOf(separator);
    if (at <= 0 || at + separator.size() == title.size())
        return {{}, title};
    return {title.left(at), title.mid(at + separator.size())};
}

std::optional<qint16> mprisVolumeLevel(double volume)
{
    if (std::isnan(volume))
        return std::nullopt;
    return qint16(std::lround(std::clamp(volume, 0.0, 1.0) * kMaxLevel));
}

double mprisVolume(qint16 level)
{
    return std::clamp<double>(level, 0, kMaxLevel) / kMaxLevel;
}
