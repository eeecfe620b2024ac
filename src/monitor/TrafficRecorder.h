#pragma once

#include "TapSerialPort.h"
#include "TrafficDecoder.h"

#include <functional>
#include <vector>

namespace monitor {

// The tap's sink: decodes what the port reports and hands the finished events
// on, oldest first.
class TrafficRecorder final : public platform::TrafficSink
{
public:
    using Output = std::function<void(std::vector<TrafficEvent> &&events)>;

    explicit TrafficRecorder(Output output);

    void tapped(const platform::TapEvent &event) override;
    // Closes what has been quiet long enough (see TrafficDecoder::expire).
    void expire(qint64 nowUs);
    void finish();

private:
    void deliver();

    TrafficDecoder m_decoder;
    Output m_output;
};

// Writes the events as lines of the text format, times counted from baseUs.
class TraceLines
{
public:
    using Writer = std::function<void(const QByteArray &line)>;

    TraceLines(qint64 baseUs, Writer writer)
        : m_baseUs(baseUs)
        , m_writer(std::move(writer))
    {
    }

    void write(const std::vector<TrafficEvent> &events) const;

private:
    qint64 m_baseUs;
    Writer m_writer;
};

} // namespace monitor
