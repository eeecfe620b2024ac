#pragma once

#include "TapSerialPort.h"
#include "TrafficRecorder.h"

#include <QtGlobal>

#include <deque>
#include <vector>

namespace monitor {

// The program's record of its line, kept from the start whether or not the
// Traffic window is open: the tap's sink decodes every event into a ring of at
// most `cap` events (the oldest dropped and counted), so a window opened after
// a fault still shows what led to it. The window takes the events out as it
// shows them; the ring then holds only what it has not taken yet.
class TrafficHistory final : public platform::TrafficSink
{
public:
    // The same bound as the window's table.
    static constexpr int kDefaultCap = 100000;

    explicit TrafficHistory(int cap = kDefaultCap);

    // The program's one history, made the tap's sink on first use.
    static TrafficHistory &install();

    void tapped(const platform::TapEvent &event) override;

    // Closes what has been quiet by nowUs, then hands over every event held,
    // oldest first, and how many were dropped since the last take.
    std::vector<TrafficEvent> take(qint64 nowUs, qint64 *dropped = nullptr);
    // Forgets everything held (the window's Clear).
    void clear();

    int size() const { return int(m_events.size()); }
    int cap() const { return m_cap; }
    void setCap(int cap);

private:
    void keep(std::vector<TrafficEvent> &&events);
    void trim();

    TrafficRecorder m_recorder;
    std::deque<TrafficEvent> m_events;
    int m_cap;
    qint64 m_dropped = 0;
};

} // namespace monitor
