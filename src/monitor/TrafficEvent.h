#pragma once

#include <QByteArray>
#include <QString>
#include <QtGlobal>

namespace monitor {

// Which way the bytes went. The character is the one the text format shows.
enum class Direction : char {
    ToDisplay = '>',   // written by the program
    FromDisplay = '<', // read from the line
    Port = '-',        // the port itself: opened, closed, settings changed
};

// One thing a person can read: the bytes that belong together and what they mean
// in the protocol's own words. timeUs is the monotonic time of the first byte.
struct TrafficEvent
{
    qint64 timeUs = 0;
    Direction direction = Direction::Port;
    QByteArray bytes;
    QString meaning;
};

// "04 01 50 44 17"
QString hexBytes(const QByteArray &bytes);

// Seconds with six decimals: "0.051234".
QString formatSeconds(qint64 us);

// One line of the text format, without the line end:
// "  0.051234 > 04 01 50 44 17           SetPosition 20". The time is in seconds
// since baseUs; the bytes fill a column of eight and run on when there are more.
QString formatLine(const TrafficEvent &event, qint64 baseUs);

} // namespace monitor
