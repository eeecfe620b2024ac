#pragma once

#include "Clock.h"

#include <QMap>

#include <functional>
#include <map>

namespace kdxtest {

// A clock on which time only moves when someone waits: Delay advances it at once
// to the next thing that happens (a scheduled reply, a timer) or to its deadline.
// Installed on construction, removed on destruction.
class VirtualClock final : public platform::Clock
{
public:
    VirtualClock();
    ~VirtualClock() override;

    qint64 nowMs() const override { return m_now; }
    void processEvents(qint64 maxWaitMs) override;
    bool isVirtual() const override { return true; }
    void armTimer(platform::Timer *timer, qint64 dueMs) override;
    void disarmTimer(platform::Timer *timer) override;

    // Runs fn when the clock reaches atMs (in scheduling order for equal times).
    void schedule(qint64 atMs, std::function<void()> fn);

    // Lets ms milliseconds pass outside any Delay: scheduled work and timers run.
    void advance(qint64 ms);

    // Number of waits that advanced the clock (one per Delay poll step).
    int waits() const { return m_waits; }
    void resetWaits() { m_waits = 0; }

private:
    qint64 nextDue() const;
    void runDue();

    qint64 m_now = 1000000;
    quint64 m_seq = 0;
    int m_waits = 0;
    std::multimap<std::pair<qint64, quint64>, std::function<void()>> m_work;
    QMap<platform::Timer *, qint64> m_timers;
};

} // namespace kdxtest
