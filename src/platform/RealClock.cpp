#include "RealClock.h"

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <chrono>
#include <thread>

namespace platform {

RealClock::RealClock()
{
    m_timer.start();
}

qint64 RealClock::nowMs() const
{
    return m_timer.elapsed();
}

void RealClock::processEvents(qint64 maxWaitMs)
{
    if (maxWaitMs < 0)
        maxWaitMs = 0;
    if (!QCoreApplication::instance()) {
        std::this_thread::sleep_for(std::chrono::milliseconds(maxWaitMs));
        return;
    }
    QCoreApplication::processEvents(QEventLoop::AllEvents);
    if (maxWaitMs == 0)
        return;
    // Sleep in a nested loop until the deadline; window events, timers and
    // repaints are handled meanwhile, and the CPU stays idle.
    QEventLoop loop;
    QTimer deadline;
    deadline.setSingleShot(true);
    deadline.setTimerType(Qt::PreciseTimer);
    QObject::connect(&deadline, &QTimer::timeout, &loop, &QEventLoop::quit);
    deadline.start(int(qMin<qint64>(maxWaitMs, 24 * 3600 * 1000)));
    loop.exec();
}

namespace {
Clock *g_clock = nullptr;
}

Clock &clock()
{
    static RealClock real;
    return g_clock ? *g_clock : real;
}

void setClock(Clock *c)
{
    g_clock = c;
}

} // namespace platform
