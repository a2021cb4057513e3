#pragma once

#include "core/async/task.h"

#include <QString>
#include <QtGlobal>

#include <optional>

class MediaEvents;

// What the desktop's media controls need of the bar: its presses, in line
// with the face's, and what its polls last read of the player. The bar hands
// itself over as this, so that the media controls never include the bar's
// code. The bar says what changed through mediaEvents(), which goes with it.
class MediaHost
{
public:
    virtual MediaEvents *mediaEvents() = 0;

    // A command as the face sends it, as a press in line with the face's;
    // true when the player answered that it took it.
    virtual async::Task<bool> sendPlayerCommand(QString command, QString argument) = 0;
    // Shuffle (else repeat) on or off as one press: the command, then the
    // check that reads it back.
    virtual async::Task<> switchPlayerMode(bool shuffle, bool on) = 0;
    // The volume (0 to 255) as one press: the volume the player then has;
    // nothing when the press was dropped or the player did not take it.
    virtual async::Task<std::optional<qint16>> setPlayerVolume(qint16 level) = 0;
    // Brings the windows up, as a click on the tray icon does.
    virtual void showWindows() = 0;
    // Ends the program, as the tray menu's Close does.
    virtual void closeApplication() = 0;

    // While set, the status poll also reads the volume, and the position of
    // a playing song (with its length while that is unknown).
    virtual void setMediaPolled(bool polled) = 0;
    virtual bool playerReachable() const = 0;
    // As the polls last read them: the title, the play state (isplaying's
    // answer), the length in seconds, the list position, shuffle and repeat.
    virtual QString playerTitle() const = 0;
    virtual qint16 playState() const = 0;
    virtual qint16 trackLength() const = 0;
    virtual qint16 listPosition() const = 0;
    virtual bool shuffleOn() const = 0;
    virtual bool repeatOn() const = 0;
    // The volume (0 to 255) the player last answered or took; nothing until
    // it has.
    virtual std::optional<qint16> playerVolume() const = 0;
    // Where the song is, in milliseconds: the last reading, moved on by the
    // time since while it plays.
    virtual qint64 positionMs() const = 0;
    // Where a seek put the song, until the next reading.
    virtual void setPositionMs(qint64 ms) = 0;

protected:
    MediaHost() = default;
    ~MediaHost() = default;
    Q_DISABLE_COPY_MOVE(MediaHost)
};
