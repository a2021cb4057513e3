#pragma once

#include "core/async/task.h"
#include "core/mpris/mpris_logic.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QObject>
#include <QPointer>
#include <QVariantMap>

#include <functional>
#include <memory>

class MediaEvents;
class MediaHost;

// xesam:title and xesam:artist (split from the player's title),
// mpris:length in microseconds when the length is known, and a track id that
// stays the same for a list position. An empty title is no track.
QVariantMap mprisMetadata(const QString &title, qint16 listPos, qint16 lengthSeconds);

// The desktop's media controls (media keys, media widgets, playerctl) over
// MPRIS on the session bus: methods become the face's commands, properties
// come from what the bar's polls last read.
class MprisBridge final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MprisBridge)

public:
    static constexpr auto kServiceName = u"org.mpris.MediaPlayer2.quendra";
    static constexpr auto kObjectPath = u"/org/mpris/MediaPlayer2";
    static constexpr auto kPlayerInterface = u"org.mpris.MediaPlayer2.Player";

    // Made by attachMediaControls, which gives it its adaptors first.
    MprisBridge(MediaHost &host, const QDBusConnection &bus);
    ~MprisBridge() override;
    // Exports the adaptors and takes the service name; false when the bus
    // refuses both the name and an instance name of its own.
    bool registerOnBus();

    QString serviceName() const { return m_service; }

    // The adaptors' methods answer at once: their requests wait their turn
    // behind the face's, as a press's do.
    void transport(MprisMethod method);
    async::Task<> setShuffle(bool on);
    async::Task<> setRepeat(bool on);
    // Answers `message` (a Set of Volume, whose reply waits) once the player
    // has taken the volume, or with an error when it did not.
    async::Task<> setVolume(double volume, QDBusMessage message);
    void raise();
    void quit();
    // "/jumptotime" to the position plus the offset (microseconds), or to
    // the position given for the track that plays, held within the song.
    void seek(qlonglong offsetUs);
    void setPosition(const QString &trackId, qlonglong positionUs);

    QString playbackStatus() const;
    QVariantMap metadata() const;
    // Microseconds into the song.
    qlonglong position() const;
    // Shuffle and repeat as the player last answered them.
    bool shuffle() const;
    bool repeat() const;
    // 0.0 to 1.0, as the player last said or took it; full until it has.
    double volume() const;
    // Play, pause and skip while the player answers.
    bool canPlay() const;
    bool canSeek() const;

Q_SIGNALS:
    // The player was sent to this position, in microseconds.
    void seeked(qlonglong positionUs);

private:
    // The bar while it is there.
    MediaHost *host() const;
    async::Task<> jumpTo(qint64 ms);
    // CanSeek follows the play state, the length and the player's reach.
    void announceCanSeek();
    using Work = std::function<void(MediaHost &host)>;
    // For the work that ends or shows windows: after the bus has its answer.
    void later(Work work);
    // The change message for the player's properties, one or several at once.
    void propertiesChanged(const QVariantMap &changed);
    // The track's details, announced when they differ from the last ones.
    void announceMetadata(QVariantMap metadata);

    void onSongChanged(const QString &title, qint16 listPos, qint16 trackLength);
    void onPlayStateChanged(qint16 playState);
    void onShuffleChanged(bool on);
    void onRepeatChanged(bool on);
    void onTrackLengthChanged(qint16 trackLength);
    void onVolumeChanged(qint16 level);
    void onPlayerReachableChanged(bool reachable);

    MediaHost *m_host;
    // Goes with the bar: while it is there, so is the host.
    QPointer<MediaEvents> m_events;
    QDBusConnection m_bus;
    QString m_service;
    // The last of stopped, playing and paused that the status poll read.
    qint16 m_playState = 0;
    // The title of the song the player last said, whole.
    QString m_title;
    QVariantMap m_metadata;
    bool m_canSeek = false;
};
