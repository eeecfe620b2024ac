#include "Timer.h"

#include "Clock.h"

namespace platform {

Timer::Timer(QObject *parent)
    : QObject(parent)
{
    m_qtimer.setTimerType(Qt::PreciseTimer);
    connect(&m_qtimer, &QTimer::timeout, this, &Timer::fire);
}

Timer::~Timer()
{
    if (m_virtual)
        clock().disarmTimer(this);
}

void Timer::setInterval(int ms)
{
    m_interval = qMax(0, ms);
    if (m_enabled)
        arm();
}

void Timer::setEnabled(bool on)
{
    if (on == m_enabled)
        return;
    m_enabled = on;
    if (on) {
        arm();
    } else {
        m_qtimer.stop();
        if (m_virtual)
            clock().disarmTimer(this);
    }
}

void Timer::arm()
{
    // A timer with interval 0 never ticks, like a window timer.
    m_virtual = clock().isVirtual();
    if (m_interval <= 0) {
        m_qtimer.stop();
        if (m_virtual)
            clock().disarmTimer(this);
        return;
    }
    if (m_virtual)
        clock().armTimer(this, clock().nowMs() + m_interval);
    else
        m_qtimer.start(m_interval);
}

void Timer::fire()
{
    if (!m_enabled || m_inTick)
        return;
    m_inTick = true;
    emit timeout();
    m_inTick = false;
    if (m_enabled && m_virtual)
        clock().armTimer(this, clock().nowMs() + m_interval);
}

} // namespace platform
