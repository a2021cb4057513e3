#pragma once

// What the desktop's media controls ask of the player and read from it, in
// terms of the face's commands and the polls' answers. No bus needed.

#include "core/face/face_logic.h"

#include <QString>

#include <optional>

enum class MprisMethod { Play, Pause, PlayPause, Stop, Next, Previous };

// The face command a transport method sends, by the last known play state
// (isplaying: 0 stopped, 1 playing, 3 paused). The player's "/play" restarts
// the song and "/pause" toggles, so a paused song resumes with "/pause", and
// Play while playing or Pause while not playing sends nothing.
std::optional<BarButton> mprisMethodButton(MprisMethod method, qint16 playState);

// "Playing", "Paused" or "Stopped"; nothing for any other answer, which keeps
// the last status (as the bar's label does).
std::optional<QString> mprisPlaybackStatus(qint16 playState);

// The player repeats its whole list or nothing: "Playlist" or "None".
QString mprisLoopStatus(bool repeat);
// Repeat on for "Playlist" and "Track" (the nearest the player has), off for
// "None"; nothing for any other text.
std::optional<bool> mprisRepeatFor(QStringView loopStatus);

// Whether the player can seek: a song whose length is known is playing or
// paused.
bool mprisCanSeek(qint16 playState, qint16 lengthSeconds);
// Where a seek lands, in the milliseconds "/jumptotime" takes: the position
// asked for, in microseconds, held within the song (0 to its length).
qint64 mprisJumpMs(qint64 positionUs, qint16 lengthSeconds);
// The position plus the offset, in microseconds, held at the ends of the
// range rather than overflowing.
qint64 mprisSeekTarget(qint64 positionUs, qint64 offsetUs);

// The player's title as the desktop shows it: the artist before the first
// " - " and the title after it. Without a " - ", or with nothing on one side
// of it, the whole title is the title and there is no artist.
struct MprisTrackName
{
    QString artist;
    QString title;
};
MprisTrackName mprisSplitTitle(const QString &title);

// The player's volume runs from 0 to 255, the desktop's from 0.0 to 1.0.
// A volume outside the range is held at its end; one that is not a number
// has no level.
std::optional<qint16> mprisVolumeLevel(double volume);
double mprisVolume(qint16 level);

inline constexpr auto kMprisNoTrack = u"/org/mpris/MediaPlayer2/TrackList/NoTrack";
