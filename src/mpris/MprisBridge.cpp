#include "mpris/MprisBridge.h"

#include "bar/frm_Quendra.h"
#include "httpq/HttpqClient.h"
#include "mpris/MprisPlayerAdaptor.h"
#include "mpris/MprisRootAdaptor.h"
#include "platform/PictureBox.h"
#include "settings/Settings.h"

#include <QCoreApplication>
#include <QDBusConnectionInterface>
#include <QDBusMessage>
#include <QTimer>

std::unique_ptr<MprisBridge> MprisBridge::attachToSessionBus(frm_Quendra &bar)
{
    if (!IsDirectMode())
        return nullptr;
    return attach(bar, QDBusConnection::sessionBus());
}

std::unique_ptr<MprisBridge> MprisBridge::attach(frm_Quendra &bar, const QDBusConnection &bus)
{
    if (!IsDirectMode() || !bus.isConnected())
        return nullptr;
    std::unique_ptr<MprisBridge> bridge(new MprisBridge(bar, bus));
    if (!bridge->registerOnBus())
        return nullptr;
    return bridge;
}

MprisBridge::MprisBridge(frm_Quendra &bar, const QDBusConnection &bus)
    : m_bar(&bar)
    , m_bus(bus)
    , m_metadata(MprisMetadata(bar.mLastTitle, 0, bar.mTrackLength))
{
    if (MprisPlaybackStatus(bar.mPlayState))
        m_playState = bar.mPlayState;
    new MprisRootAdaptor(this);
    new MprisPlayerAdaptor(this);
    connect(&bar, &frm_Quendra::songChanged, this, &MprisBridge::onSongChanged);
    connect(&bar, &frm_Quendra::playStateChanged, this, &MprisBridge::onPlayStateChanged);
    connect(&bar, &frm_Quendra::shuffleChanged, this, &MprisBridge::onShuffleChanged);
    connect(&bar, &frm_Quendra::repeatChanged, this, &MprisBridge::onRepeatChanged);
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
    const QString instanceName = name + QStringLiteral(".instance") + QString::number(QCoreApplication::applicationPid());
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
    // The bus gets its answer first; the work may wait for the player in a
    // nested loop, and the bar may close meanwhile.
    QTimer::singleShot(0, this, [bar = m_bar, work = std::move(work)] {
        if (bar)
            work(*bar);
    });
}

void MprisBridge::transport(MprisMethod method)
{
    const FaceAction action = MprisMethodAction(method, m_playState);
    if (action == FaceAction::None)
        return;
    later([action](frm_Quendra &bar) { bar.SendPlayerCommand(FaceCommand(action)); });
}

void MprisBridge::setShuffle(bool on)
{
    // The SHUF spot and its ON mark: the command, then the check.
    later([on](frm_Quendra &bar) {
        if (bar.SendPlayerCommand(u"/shuffle?p=", on ? u"&a=1" : u"&a=0"))
            bar.ShuffleCheck();
    });
}

void MprisBridge::setRepeat(bool on)
{
    later([on](frm_Quendra &bar) {
        if (bar.SendPlayerCommand(u"/repeat?p=", on ? u"&a=1" : u"&a=0"))
            bar.LoopCheck();
    });
}

void MprisBridge::raise()
{
    later([](frm_Quendra &bar) { bar.my_frmSysTray_SysTrayMouseDown(1); });
}

void MprisBridge::quit()
{
    later([](frm_Quendra &bar) { bar.CloseApplication(); });
}

bool MprisBridge::shuffle() const
{
    return gShuffleState == 1;
}

bool MprisBridge::repeat() const
{
    return m_bar && !m_bar->picLoopStatus->isHidden();
}

QString MprisBridge::playbackStatus() const
{
    return MprisPlaybackStatus(m_playState).value_or(QString());
}

void MprisBridge::propertiesChanged(const QString &name, const QVariant &value)
{
    QDBusMessage signal = QDBusMessage::createSignal(QString::fromUtf16(kObjectPath),
                                                     QStringLiteral("org.freedesktop.DBus.Properties"),
                                                     QStringLiteral("PropertiesChanged"));
    signal << QString::fromUtf16(kPlayerInterface) << QVariantMap{{name, value}} << QStringList();
    m_bus.send(signal);
}

void MprisBridge::onSongChanged(const QString &title, qint16 listPos, qint16 trackLength)
{
    QVariantMap metadata = MprisMetadata(title, listPos, trackLength);
    if (metadata == m_metadata)
        return;
    m_metadata = std::move(metadata);
    propertiesChanged(QStringLiteral("Metadata"), m_metadata);
}

void MprisBridge::onPlayStateChanged(qint16 playState)
{
    const std::optional<QString> status = MprisPlaybackStatus(playState);
    if (!status || playState == m_playState)
        return;
    m_playState = playState;
    propertiesChanged(QStringLiteral("PlaybackStatus"), *status);
}

// The bar says when a mark changed; nothing here keeps a copy.
void MprisBridge::onShuffleChanged(bool on)
{
    propertiesChanged(QStringLiteral("Shuffle"), on);
}

void MprisBridge::onRepeatChanged(bool on)
{
    propertiesChanged(QStringLiteral("LoopStatus"), MprisLoopStatus(on));
}
