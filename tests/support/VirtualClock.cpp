#include "VirtualClock.h"

#include "Timer.h"

#include <QCoreApplication>

#include <limits>

namespace kdxtest {

VirtualClock::VirtualClock()
{
    platform::setClock(this);
}

VirtualClock::~VirtualClock()
{
    platform::setClock(nullptr);
}

void VirtualClock::schedule(qint64 atMs, std::function<void()> fn)
{
    m_work.emplace(std::make_pair(atMs, m_seq++), std::move(fn));
}

void VirtualClock::armTimer(platform::Timer *timer, qint64 dueMs)
{
    m_timers.insert(timer, dueMs);
}

void VirtualClock::disarmTimer(platform::Timer *timer)
{
    m_timers.remove(timer);
}

qint64 VirtualClock::nextDue() const
{
    qint64 due = std::numeric_limits<qint64>::max();
    if (!m_work.empty())
        due = m_work.begin()->first.first;
    for (auto it = m_timers.cbegin(); it != m_timers.cend(); ++it)
        due = qMin(due, it.value());
    return due;
}

void VirtualClock::runDue()
{
    for (;;) {
        if (!m_work.empty() && m_work.begin()->first.first <= m_now) {
            auto fn = std::move(m_work.begin()->second);
            m_work.erase(m_work.begin());
            fn();
            continue;
        }
        platform::Timer *due = nullptr;
        for (auto it = m_timers.cbegin(); it != m_timers.cend(); ++it) {
            if (it.value() <= m_now) {
                due = it.key();
                break;
            }
        }
        if (!due)
            return;
        m_timers.remove(due);
        due->fire();
    }
}

void VirtualClock::processEvents(qint64 maxWaitMs)
{
    if (QCoreApplication::instance())
        QCoreApplication::processEvents();
    if (maxWaitMs <= 0) {
        runDue();
        return;
    }
    ++m_waits;
    const qint64 target = m_now + maxWaitMs;
    m_now = qMin(target, qMax(m_now, nextDue()));
    runDue();
}

void VirtualClock::advance(qint64 ms)
{
    const qint64 target = m_now + ms;
    while (m_now < target) {
        const qint64 next = qMin(target, qMax(m_now + 1, nextDue()));
        m_now = next;
        runDue();
        if (QCoreApplication::instance())
            QCoreApplication::processEvents();
    }
}

} // namespace kdxtest
