#include "TrafficRecorder.h"

namespace monitor {

TrafficRecorder::TrafficRecorder(Output output)
    : m_output(std::move(output))
{
}

void TrafficRecorder::tapped(const platform::TapEvent &event)
{
    using Kind = platform::TapEvent::Kind;
    switch (event.kind) {
    case Kind::Write:
        m_decoder.feed(Direction::ToDisplay, event.timeUs, event.bytes);
        break;
    case Kind::Read:
        m_decoder.feed(Direction::FromDisplay, event.timeUs, event.bytes);
        break;
    case Kind::Open:
        m_decoder.portEvent(event.timeUs, QStringLiteral("open ") + event.text);
        break;
    case Kind::Close:
        m_decoder.portEvent(event.timeUs, QStringLiteral("close"));
        break;
    case Kind::Settings:
        m_decoder.portEvent(event.timeUs, QStringLiteral("settings ") + event.text);
        break;
    case Kind::Fault:
    case Kind::Note:
        m_decoder.portEvent(event.timeUs, event.text);
        break;
    }
    deliver();
}

void TrafficRecorder::expire(qint64 nowUs)
{
    m_decoder.expire(nowUs);
    deliver();
}

void TrafficRecorder::finish()
{
    m_decoder.finish();
    deliver();
}

void TrafficRecorder::deliver()
{
    if (m_decoder.hasEvents() && m_output)
        m_output(m_decoder.take());
}

void TraceLines::write(const std::vector<TrafficEvent> &events) const
{
    for (const TrafficEvent &e : events)
        m_writer(formatLine(e, m_baseUs).toUtf8() + '\n');
}

} // namespace monitor
