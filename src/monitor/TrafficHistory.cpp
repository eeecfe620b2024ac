#include "TrafficHistory.h"

#include <algorithm>

namespace monitor {

TrafficHistory::TrafficHistory(int cap)
    : m_recorder([this](std::vector<TrafficEvent> &&events) { keep(std::move(events)); })
    , m_cap(std::max(1, cap))
{
}

TrafficHistory &TrafficHistory::install()
{
    // Never destroyed: a port closed while the program ends still reports to it.
    static TrafficHistory *const history = new TrafficHistory;
    platform::TapSerialPort::setSink(history);
    return *history;
}

void TrafficHistory::tapped(const platform::TapEvent &event)
{
    m_recorder.tapped(event);
}

void TrafficHistory::keep(std::vector<TrafficEvent> &&events)
{
    for (TrafficEvent &e : events)
        m_events.push_back(std::move(e));
    trim();
}

void TrafficHistory::trim()
{
    if (m_events.size() <= size_t(m_cap))
        return;
    const size_t drop = m_events.size() - size_t(m_cap);
    m_events.erase(m_events.begin(), m_events.begin() + qsizetype(drop));
    m_dropped += qint64(drop);
}

void TrafficHistory::setCap(int cap)
{
    m_cap = std::max(1, cap);
    trim();
}

std::vector<TrafficEvent> TrafficHistory::take(qint64 nowUs, qint64 *dropped)
{
    m_recorder.expire(nowUs);
    std::vector<TrafficEvent> out(std::make_move_iterator(m_events.begin()), std::make_move_iterator(m_events.end()));
    m_events.clear();
    if (dropped)
        *dropped = m_dropped;
    m_dropped = 0;
    return out;
}

void TrafficHistory::clear()
{
    m_events.clear();
    m_dropped = 0;
}

} // namespace monitor
