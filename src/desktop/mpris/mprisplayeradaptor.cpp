#include "desktop/mpris/mprisplayeradaptor.h"

#include "desktop/mpris/mprisbridge.h"

MprisPlayerAdaptor::MprisPlayerAdaptor(MprisBridge *bridge)
    : QDBusAbstractAdaptor(bridge)
    , m_bridge(bridge)
{
    connect(bridge, &MprisBridge::seeked, this, &MprisPlayerAdaptor::Seeked);
}

QString MprisPlayerAdaptor::playbackStatus() const
{
    return m_bridge->playbackStatus();
}

QString MprisPlayerAdaptor::loopStatus() const
{
    return mprisLoopStatus(m_bridge->repeat());
}

void MprisPlayerAdaptor::setLoopStatus(const QString &status)
{
    if (const std::optional<bool> repeat = mprisRepeatFor(status))
        m_bridge->setRepeat(*repeat);
}

void MprisPlayerAdaptor::setRate(double rate)
{
    if (rate == 0.0)
        m_bridge->transport(MprisMethod::Pause);
}

bool MprisPlayerAdaptor::shuffle() const
{
    return m_bridge->shuffle();
}

void MprisPlayerAdaptor::setShuffle(bool on)
{
    m_bridge->setShuffle(on);
}

double MprisPlayerAdaptor::volume() const
{
    return m_bridge->volume();
}

void MprisPlayerAdaptor::setVolume(double volume, const QDBusMessage &message)
{
    m_bridge->setVolume(volume, message);
}

bool MprisPlayerAdaptor::canPlay() const
{
    return m_bridge->canPlay();
}

qlonglong MprisPlayerAdaptor::position() const
{
    return m_bridge->position();
}

QVariantMap MprisPlayerAdaptor::metadata() const
{
    return m_bridge->metadata();
}

void MprisPlayerAdaptor::Next()
{
    m_bridge->transport(MprisMethod::Next);
}

void MprisPlayerAdaptor::Previous()
{
    m_bridge->transport(MprisMethod::Previous);
}

void MprisPlayerAdaptor::Pause()
{
    m_bridge->transport(MprisMethod::Pause);
}

void MprisPlayerAdaptor::PlayPause()
{
    m_bridge->transport(MprisMethod::PlayPause);
}

void MprisPlayerAdaptor::Stop()
{
    m_bridge->transport(MprisMethod::Stop);
}

void MprisPlayerAdaptor::Play()
{
    m_bridge->transport(MprisMethod::Play);
}

bool MprisPlayerAdaptor::canSeek() const
{
    return m_bridge->canSeek();
}

void MprisPlayerAdaptor::Seek(qlonglong Offset)
{
    m_bridge->seek(Offset);
}

void MprisPlayerAdaptor::SetPosition(const QDBusObjectPath &TrackId, qlonglong Position)
{
    m_bridge->setPosition(TrackId.path(), Position);
}

// No address can be opened: the player plays its own list.
void MprisPlayerAdaptor::OpenUri(const QString &) { }
