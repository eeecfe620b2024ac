#pragma once

#include <QtGlobal>

namespace platform {

// The time source behind every wait of the driver. The real clock is monotonic and
// sleeps in the event loop; tests install a VirtualClock so that long protocol
// timeouts run instantly with exact poll counts.
class Clock
{
public:
    virtual ~Clock() = default;

    // Milliseconds on a monotonic scale; only differences are meaningful.
    virtual qint64 nowMs() const = 0;

    // Processes pending events and returns after at most maxWaitMs (sooner when
    // something happened). Never spins: the real clock sleeps in the event loop.
    virtual void processEvents(qint64 maxWaitMs) = 0;

    virtual bool isVirtual() const { return false; }

    // Only a virtual clock drives timers itself; the real one leaves them to Qt.
    virtual void armTimer(class Timer *timer, qint64 dueMs)
    {
        Q_UNUSED(timer);
        Q_UNUSED(dueMs);
    }
    virtual void disarmTimer(class Timer *timer) { Q_UNUSED(timer); }
};

// The clock in use. Defaults to the real monotonic clock.
Clock &clock();

// Installs another clock (a test's VirtualClock); nullptr restores the real one.
// The caller keeps ownership.
void setClock(Clock *c);

} // namespace platform
