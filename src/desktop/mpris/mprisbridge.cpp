#include "desktop/mpris/mprisbridge.h"

#include "core/settings/settings.h"
#include "services/httpq/httpqclient.h"
#include "services/httpq/playerline.h"
#include "windows/bar/frm_quendra.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QDBusObjectPath>
#include <QTimer>

#include <algorithm>
#include <limits>

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
    metadata.insert(QStringLiteral("xesam:title"), QString(title).remove(QChar(0)));
    if (lengthSeconds > 0)
        metadata.insert(QStringLiteral("mpris:length"), qint64(lengthSeconds) * 1'000'000);
    return metadata;
}

MprisBridge::MprisBridge(frm_Quendra &bar, const QDBusConnection &bus)
    : m_bar(&bar)
    , m_bus(bus)
    , m_metadata(mprisMetadata(bar.mLastTitle, 0, bar.mTrackLength))
{
    if (mprisPlaybackStatus(bar.mPlayState))
        m_playState = bar.mPlayState;
    connect(&bar, &frm_Quendra::songChanged, this, &MprisBridge::onSongChanged);
    connect(&bar, &frm_Quendra::playStateChanged, this, &MprisBridge::onPlayStateChanged);
    connect(&bar, &frm_Quendra::shuffleChanged, this, &MprisBridge::onShuffleChanged);
    connect(&bar, &frm_Quendra::repeatChanged, this, &MprisBridge::onRepeatChanged);
    connect(&bar, &frm_Quendra::trackLengthChanged, this, &MprisBridge::onTrackLengthChanged);
    connect(bar.playerLine(), &PlayerLine::reachableChanged, this, &MprisBridge::onPlayerReachableChanged);
    // After the handlers above, which take in what changed.
    connect(&bar, &frm_Quendra::songChanged, this, &MprisBridge::announceCanSeek);
    connect(&bar, &frm_Quendra::playStateChanged, this, &MprisBridge::announceCanSeek);
    connect(&bar, &frm_Quendra::trackLengthChanged, this, &MprisBridge::announceCanSeek);
    connect(bar.playerLine(), &PlayerLine::reachableChanged, this, &MprisBridge::announceCanSeek);
    m_canSeek = canSeek();
    bar.setPositionPolled(true);
}

MprisBridge::~MprisBridge()
{
    if (!m_service.isEmpty())
        m_bus.unregisterService(m_service);
    m_bus.unregisterObject(QString::fromUtf16(kObjectPath));
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
    QTimer::singleShot(0, this, [bar = m_bar, work = std::move(work)] {
        if (bar)
            work(*bar);
    });
}

void MprisBridge::transport(MprisMethod method)
{
    const std::optional<BarButton> button = mprisMethodButton(method, m_playState);
    if (!button)
        return;
    if (m_bar)
        m_bar->sendPlayerCommand(QString::fromUtf16(faceCommand(*button)));
}

async::Task<> MprisBridge::setShuffle(bool on)
{
    return switchMode(true, on);
}

async::Task<> MprisBridge::setRepeat(bool on)
{
    return switchMode(false, on);
}

async::Task<> MprisBridge::switchMode(bool shuffle, bool on)
{
    // As the SHUF and LOOP spots and their ON marks: one press, the command
    // then the check.
    if (!m_bar)
        co_return;
    const bool going = co_await m_bar->playerLine()->press();
    if (!going || !m_bar)
        co_return;
    co_await m_bar->NetworkConnection->Fetch(
        HttpqClient::BuildUrl(shuffle ? u"/shuffle?p=" : u"/repeat?p=", on ? u"&a=1" : u"&a=0"));
    if (!m_bar)
        co_return;
    if (shuffle)
        co_await m_bar->ShuffleCheck();
    else
        co_await m_bar->LoopCheck();
}

void MprisBridge::raise()
{
    later([](frm_Quendra &bar) { bar.my_frmSysTray_SysTrayMouseDown(1); });
}

void MprisBridge::quit()
{
    later([](frm_Quendra &bar) { bar.CloseApplication(); });
}

void MprisBridge::seek(qlonglong offsetUs)
{
    if (canSeek())
        jumpTo(mprisJumpMs(mprisSeekTarget(position(), offsetUs), m_bar->mTrackLength));
}

void MprisBridge::setPosition(const QString &trackId, qlonglong positionUs)
{
    if (canSeek() && trackId == m_metadata.value(QStringLiteral("mpris:trackid")).value<QDBusObjectPath>().path())
        jumpTo(mprisJumpMs(positionUs, m_bar->mTrackLength));
}

async::Task<> MprisBridge::jumpTo(qint64 ms)
{
    // In turn with the face's commands, as the transport's are. The desktop
    // hears of the seek only once the player has taken it.
    const bool took = co_await m_bar->sendPlayerCommand(QStringLiteral("/jumptotime?p="),
                                                        QStringLiteral("&a=%1").arg(ms));
    if (!took || !m_bar)
        co_return;
    m_bar->setPositionMs(ms);
    emit seeked(ms * 1000);
}

bool MprisBridge::canSeek() const
{
    return m_bar && m_bar->playerReachable() && mprisCanSeek(m_playState, m_bar->mTrackLength);
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
    return gShuffleState == 1;
}

bool MprisBridge::repeat() const
{
    return m_bar && m_bar->repeatOn();
}

QString MprisBridge::playbackStatus() const
{
    // A player that cannot be reached plays nothing here.
    if (m_bar && !m_bar->playerReachable())
        return mprisPlaybackStatus(0).value_or(QString());
    return mprisPlaybackStatus(m_playState).value_or(QString());
}

QVariantMap MprisBridge::metadata() const
{
    if (m_bar && !m_bar->playerReachable())
        return mprisMetadata({}, 0, 0);
    return m_metadata;
}

qlonglong MprisBridge::position() const
{
    if (!m_bar || !m_bar->playerReachable() || m_playState == 0)
        return 0;
    return std::min(m_bar->positionMs(), std::numeric_limits<qlonglong>::max() / 1000) * 1000;
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
    announceMetadata(mprisMetadata(m_metadata.value(QStringLiteral("xesam:title")).toString(),
                                   m_bar ? m_bar->listPosition() : 0, trackLength));
}

void MprisBridge::onPlayerReachableChanged(bool)
{
    // Both change together: gone, the player shows as stopped with no
    // track; back, as the polls last read it.
    propertiesChanged({{QStringLiteral("PlaybackStatus"), playbackStatus()}, {QStringLiteral("Metadata"), metadata()}});
}
