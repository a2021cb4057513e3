#include "desktop/mpris/mprisbridge.h"

#include "windows/bar/media_events.h"
#include "windows/bar/media_host.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusError>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>

#include <algorithm>
#include <limits>
#include <utility>

namespace {

// The answer to a call whose reply waits: an error unless it was answered
// before it goes (the bar closed first, say).
class DelayedReply final
{
    Q_DISABLE_COPY_MOVE(DelayedReply)

public:
    DelayedReply(const QDBusConnection &bus, QDBusMessage message)
        : m_bus(bus)
        , m_message(std::move(message))
    { }
    ~DelayedReply() { fail(QDBusError::Failed, QCoreApplication::translate("MprisBridge", "Quendra closed before the player answered")); }
    void succeed() { send(m_message.createReply()); }
    void fail(QDBusError::ErrorType type, const QString &text) { send(m_message.createErrorReply(type, text)); }

private:
    void send(const QDBusMessage &reply)
    {
        if (!std::exchange(m_answered, true))
            m_bus.send(reply);
    }

    QDBusConnection m_bus;
    QDBusMessage m_message;
    bool m_answered = false;
};

} // namespace

QVariantMap mprisMetadata(const QString &title, qint16 listPos, qint16 lengthSeconds)
{
    const QDBusObjectPath noTrack(QString::fromUtf16(kMprisNoTrack));
    if (title.isEmpty())
        return {{QStringLiteral("mpris:trackid"), QVariant::fromValue(noTrack)}};
    // Object path elements take no minus sign.
    const QDBusObjectPath trackId = listPos < 0
        ? noTrack
        : QDBusObjectPath(QStringLiteral("/org/quendra/Quendra/Track/%1").arg(listPos));
    QVariantMap metadata;
    metadata.insert(QStringLiteral("mpris:trackid"), QVariant::fromValue(trackId));
    // A bus string ends at its first NUL; the player's title goes without them.
    const MprisTrackName name = mprisSplitTitle(QString(title).remove(QChar(0)));
    metadata.insert(QStringLiteral("xesam:title"), name.title);
    if (!name.artist.isEmpty())
        metadata.insert(QStringLiteral("xesam:artist"), QStringList{name.artist});
    if (lengthSeconds > 0)
        metadata.insert(QStringLiteral("mpris:length"), qint64(lengthSeconds) * 1'000'000);
    return metadata;
}

MprisBridge::MprisBridge(MediaHost &host, const QDBusConnection &bus)
    : m_host(&host)
    , m_events(host.mediaEvents())
    , m_bus(bus)
    , m_title(host.playerTitle())
    , m_metadata(mprisMetadata(m_title, 0, host.trackLength()))
{
    if (mprisPlaybackStatus(host.playState()))
        m_playState = host.playState();
    MediaEvents *events = host.mediaEvents();
    connect(events, &MediaEvents::songChanged, this, &MprisBridge::onSongChanged);
    connect(events, &MediaEvents::playStateChanged, this, &MprisBridge::onPlayStateChanged);
    connect(events, &MediaEvents::shuffleChanged, this, &MprisBridge::onShuffleChanged);
    connect(events, &MediaEvents::repeatChanged, this, &MprisBridge::onRepeatChanged);
    connect(events, &MediaEvents::trackLengthChanged, this, &MprisBridge::onTrackLengthChanged);
    connect(events, &MediaEvents::volumeChanged, this, &MprisBridge::onVolumeChanged);
    connect(events, &MediaEvents::reachableChanged, this, &MprisBridge::onPlayerReachableChanged);
    // After the handlers above, which take in what changed.
    connect(events, &MediaEvents::songChanged, this, &MprisBridge::announceCanSeek);
    connect(events, &MediaEvents::playStateChanged, this, &MprisBridge::announceCanSeek);
    connect(events, &MediaEvents::trackLengthChanged, this, &MprisBridge::announceCanSeek);
    connect(events, &MediaEvents::reachableChanged, this, &MprisBridge::announceCanSeek);
    m_canSeek = canSeek();
    host.setMediaPolled(true);
}

MprisBridge::~MprisBridge()
{
    if (!m_service.isEmpty())
        m_bus.unregisterService(m_service);
    m_bus.unregisterObject(QString::fromUtf16(kObjectPath));
}

MediaHost *MprisBridge::host() const
{
    return m_events ? m_host : nullptr;
}

bool MprisBridge::registerOnBus()
{
    if (!m_bus.registerObject(QString::fromUtf16(kObjectPath), this, QDBusConnection::ExportAdaptors))
        return false;
    // A second copy of the program takes an instance name of its own, as
    // the media controls expect.
    const QString name = QString::fromUtf16(kServiceName);
    const QString instanceName = name + QStringLiteral(".instance")
        + QString::number(QCoreApplication::applicationPid());
    for (const QString &candidate : {name, instanceName}) {
        if (m_bus.registerService(candidate)) {
            m_service = candidate;
            return true;
        }
    }
    m_bus.unregisterObject(QString::fromUtf16(kObjectPath));
    return false;
}

void MprisBridge::later(Work work)
{
    // The bus gets its answer first; the bar may close meanwhile.
    QTimer::singleShot(0, this, [this, work = std::move(work)] {
        if (MediaHost *bar = host())
            work(*bar);
    });
}

void MprisBridge::transport(MprisMethod method)
{
    const std::optional<BarButton> button = mprisMethodButton(method, m_playState);
    if (!button)
        return;
    if (MediaHost *bar = host())
        bar->sendPlayerCommand(QString::fromUtf16(faceCommand(*button)), QString());
}

async::Task<> MprisBridge::setShuffle(bool on)
{
    if (MediaHost *bar = host())
        co_await bar->switchPlayerMode(true, on);
}

async::Task<> MprisBridge::setRepeat(bool on)
{
    if (MediaHost *bar = host())
        co_await bar->switchPlayerMode(false, on);
}

async::Task<> MprisBridge::setVolume(double volume, QDBusMessage message)
{
    DelayedReply reply(m_bus, std::move(message));
    const std::optional<qint16> level = mprisVolumeLevel(volume);
    if (!level) {
        reply.fail(QDBusError::InvalidArgs, QCoreApplication::translate("MprisBridge", "Volume takes a number"));
        co_return;
    }
    MediaHost *bar = host();
    if (!bar)
        co_return;
    // A press like the face's volume buttons: in turn, and dropped when the
    // player is gone or it cannot go in time.
    const std::optional<qint16> took = co_await bar->setPlayerVolume(*level);
    if (!took) {
        reply.fail(QDBusError::Failed, QCoreApplication::translate("MprisBridge", "The player did not take the volume"));
        co_return;
    }
    reply.succeed();
}

void MprisBridge::raise()
{
    later([](MediaHost &bar) { bar.showWindows(); });
}

void MprisBridge::quit()
{
    later([](MediaHost &bar) { bar.closeApplication(); });
}

void MprisBridge::seek(qlonglong offsetUs)
{
    if (canSeek())
        jumpTo(mprisJumpMs(mprisSeekTarget(position(), offsetUs), host()->trackLength()));
}

void MprisBridge::setPosition(const QString &trackId, qlonglong positionUs)
{
    if (canSeek() && trackId == m_metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path())
        jumpTo(mprisJumpMs(positionUs, host()->trackLength()));
}

async::Task<> MprisBridge::jumpTo(qint64 ms)
{
    // In turn with the face's commands, as the transport's are. The desktop
    // hears of the seek only once the player has taken it.
    const bool took = co_await host()->sendPlayerCommand(QStringLiteral("/jumptotime?p="),
                                                         QStringLiteral("&a=%1").arg(ms));
    if (!took || !host())
        co_return;
    host()->setPositionMs(ms);
    emit seeked(ms * 1000);
}

bool MprisBridge::canPlay() const
{
    const MediaHost *bar = host();
    return bar && bar->playerReachable();
}

bool MprisBridge::canSeek() const
{
    return canPlay() && mprisCanSeek(m_playState, host()->trackLength());
}

void MprisBridge::announceCanSeek()
{
    const bool can = canSeek();
    if (can == m_canSeek)
        return;
    m_canSeek = can;
    propertiesChanged({{QStringLiteral("CanSeek"), can}});
}

bool MprisBridge::shuffle() const
{
    const MediaHost *bar = host();
    return bar && bar->shuffleOn();
}

bool MprisBridge::repeat() const
{
    const MediaHost *bar = host();
    return bar && bar->repeatOn();
}

double MprisBridge::volume() const
{
    const MediaHost *bar = host();
    const std::optional<qint16> level = bar ? bar->playerVolume() : std::nullopt;
    return level ? mprisVolume(*level) : 1.0;
}

QString MprisBridge::playbackStatus() const
{
    // A player that cannot be reached plays nothing here.
    if (!canPlay())
        return mprisPlaybackStatus(0).value_or(QString());
    return mprisPlaybackStatus(m_playState).value_or(QString());
}

QVariantMap MprisBridge::metadata() const
{
    if (!canPlay())
        return mprisMetadata({}, 0, 0);
    return m_metadata;
}

qlonglong MprisBridge::position() const
{
    if (!canPlay() || m_playState == 0)
        return 0;
    return std::min(host()->positionMs(), std::numeric_limits<qlonglong>::max() / 1000) * 1000;
}

void MprisBridge::propertiesChanged(const QVariantMap &changed)
{
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromUtf16(kObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromUtf16(kPlayerInterface) << changed << QStringList();
    m_bus.send(signal);
}

void MprisBridge::announceMetadata(QVariantMap metadata)
{
    if (metadata == m_metadata)
        return;
    m_metadata = std::move(metadata);
    propertiesChanged({{QStringLiteral("Metadata"), m_metadata}});
}

void MprisBridge::onSongChanged(const QString &title, qint16 listPos, qint16 trackLength)
{
    m_title = title;
    announceMetadata(mprisMetadata(title, listPos, trackLength));
}

void MprisBridge::onPlayStateChanged(qint16 playState)
{
    const std::optional<QString> status = mprisPlaybackStatus(playState);
    if (!status || playState == m_playState)
        return;
    m_playState = playState;
    propertiesChanged({{QStringLiteral("PlaybackStatus"), *status}});
}

// The bar says when the player's answer changed; nothing here keeps a copy.
void MprisBridge::onShuffleChanged(bool on)
{
    propertiesChanged({{QStringLiteral("Shuffle"), on}});
}

void MprisBridge::onRepeatChanged(bool on)
{
    propertiesChanged({{QStringLiteral("LoopStatus"), mprisLoopStatus(on)}});
}

void MprisBridge::onTrackLengthChanged(qint16 trackLength)
{
    if (const MediaHost *bar = host())
        announceMetadata(mprisMetadata(m_title, bar->listPosition(), trackLength));
}

void MprisBridge::onVolumeChanged(qint16 level)
{
    propertiesChanged({{QStringLiteral("Volume"), mprisVolume(level)}});
}

void MprisBridge::onPlayerReachableChanged(bool)
{
    // All change together: gone, the player shows as stopped with no track,
    // and nothing can be played, paused or skipped; back, as the polls last
    // read it.
    const bool can = canPlay();
    propertiesChanged({{QStringLiteral("PlaybackStatus"), playbackStatus()},
                       {QStringLiteral("Metadata"), metadata()},
                       {QStringLiteral("CanGoNext"), can},
                       {QStringLiteral("CanGoPrevious"), can},
                       {QStringLiteral("CanPlay"), can},
                       {QStringLiteral("CanPause"), can}});
}
