#include "TrafficEvent.h"

namespace monitor {

namespace {
// Eight bytes, "xx " each, fit the column before the meaning.
constexpr int kBytesColumn = 8 * 3;
} // namespace

QString hexBytes(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size() * 3);
    for (int i = 0; i < bytes.size(); ++i) {
        if (i)
            out += QLatin1Char(' ');
        const auto b = quint8(bytes[i]);
        out += QLatin1Char(digits[b >> 4]);
        out += QLatin1Char(digits[b & 0x0F]);
    }
    return out;
}

QString formatSeconds(qint64 us)
{
    // Whole microseconds: no floating point, so a long trace keeps its last digit.
    const qint64 mag = us < 0 ? -us : us;
    QString time = QString::number(mag / 1000000) + QLatin1Char('.')
                   + QStringLiteral("%1").arg(mag % 1000000, 6, 10, QLatin1Char('0'));
    if (us < 0)
        time.prepend(QLatin1Char('-'));
    return time;
}

QString formatLine(const TrafficEvent &event, qint64 baseUs)
{
    QString line = formatSeconds(event.timeUs - baseUs).rightJustified(10, QLatin1Char(' '));
    line += QLatin1Char(' ');
    line += QLatin1Char(char(event.direction));
    line += QLatin1Char(' ');
    line += hexBytes(event.bytes).leftJustified(kBytesColumn, QLatin1Char(' '));
    line += QLatin1Char(' ');
    line += event.meaning;
    return line;
}

} // namespace monitor
