#pragma once

#include <QObject>
#include <QTimer>

// A window timer: it ticks only while enabled with an interval above 0, an
// interval it cannot take is refused, and setting the interval it already has
// does not restart its count (two polls with close periods keep drifting).
class FormTimer final : public QObject
{
    Q_OBJECT
    Q_DISABLE_COPY_MOVE(FormTimer)

public:
    static constexpr int kMaxInterval = 65535;

    FormTimer(int interval, bool enabled, QObject *parent = nullptr);

    // False, and the interval unchanged, for a value outside 0..65535.
    bool setInterval(int ms);
    int interval() const { return m_interval; }
    void setEnabled(bool enabled);
    bool isEnabled() const { return m_enabled; }
    bool isTicking() const { return m_timer.isActive(); }

Q_SIGNALS:
    void timeout();

private:
    void update();

    QTimer m_timer;
    int m_interval;
    bool m_enabled;
};
