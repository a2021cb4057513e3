#pragma once

#include <QObject>

// What the bar's polls saw change, for the desktop's media controls: each is
// sent only when a reading differs from the one before. Owned by the bar and
// gone with it.
class MediaEvents final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(MediaEvents)

public:
    using QObject::QObject;

Q_SIGNALS:
    void songChanged(const QString &title, qint16 listPos, qint16 trackLength);
    // The status poll read a length for a song whose length was unknown.
    void trackLengthChanged(qint16 trackLength);
    void playStateChanged(qint16 playState);
    void shuffleChanged(bool on);
    void repeatChanged(bool on);
    // 0 to 255.
    void volumeChanged(qint16 level);
    // The player answers again, or has stopped answering.
    void reachableChanged(bool reachable);
};
