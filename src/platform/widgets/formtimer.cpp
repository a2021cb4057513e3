#include "platform/widgets/formtimer.h"

FormTimer::FormTimer(int interval, bool enabled, QObject *parent)
    : QObject(parent)
    , m_interval(qBound(0, interval, kMaxInterval))
    , m_enabled(enabled)
{
    connect(&m_timer, &QTimer::timeout, this, &FormTimer::timeout);
    update();
}

bool FormTimer::setInterval(int ms)
{
    if (ms < 0 || ms > kMaxInterval)
        return false;
    if (ms != m_interval) {
        m_interval = ms;
        update();
    }
    return true;
}

void FormTimer::setEnabled(bool enabled)
{
    if (enabled != m_enabled) {
        m_enabled = enabled;
        update();
    }
}

void FormTimer::update()
{
    if (m_enabled && m_interval > 0)
        m_timer.start(m_interval);
    else
        m_timer.stop();
}
