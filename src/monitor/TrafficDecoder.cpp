#include "TrafficDecoder.h"

#include <QStringDecoder>

#include <array>

namespace monitor {

QChar displayChar(quint8 code)
{
    // The display's upper half is code page 437.
    static const std::array<QChar, 128> high = [] {
        std::array<QChar, 128> t {};
        QByteArray codes(128, '\0');
        for (int i = 0; i < 128; ++i)
            codes[i] = char(0x80 + i);
        QStringDecoder decoder("IBM437");
        const QString s = decoder.isValid() ? decoder(codes) : QString();
        for (int i = 0; i < 128; ++i)
            t[i] = s.size() == 128 ? s[i] : QChar(0x80 + i);
        return t;
    }();
    return code >= 0x80 ? high[code - 0x80] : QChar(code);
}

QString displayText(const QByteArray &bytes)
{
    static const char digits[] = "0123456789ABCDEF";
    QString out;
    out.reserve(bytes.size());
    for (const char c : bytes) {
        const auto b = quint8(c);
        if (isText(b)) {
            out += displayChar(b);
        } else {
            out += QLatin1String("\\x");
            out += QLatin1Char(digits[b >> 4]);
            out += QLatin1Char(digits[b & 0x0F]);
        }
    }
    return out;
}

TrafficDecoder::TrafficDecoder()
{
    displayChar(0x80); // builds the table before the first event is timed
}

std::vector<TrafficEvent> TrafficDecoder::take()
{
    std::vector<TrafficEvent> out;
    out.swap(m_events);
    return out;
}

void TrafficDecoder::feed(Direction direction, qint64 timeUs, const QByteArray &bytes)
{
    if (bytes.isEmpty())
        return;
    expire(timeUs);
    if (direction == Direction::ToDisplay) {
        // The host speaks: whatever the display said before is complete.
        m_in.close();
        m_out.feed(bytes, timeUs);
    } else {
        m_out.close(false);
        m_in.feed(bytes, timeUs);
    }
}

void TrafficDecoder::portEvent(qint64 timeUs, const QString &text)
{
    finish();
    m_events.push_back(TrafficEvent {timeUs, Direction::Port, QByteArray(), text});
}

void TrafficDecoder::expire(qint64 nowUs)
{
    if (m_out.pending()) {
        const qint64 quiet = nowUs - m_out.lastUs();
        if (quiet > kStaleGapUs)
            m_out.close(true);
        else if (quiet > kRunGapUs)
            m_out.close(false);
    }
    if (m_in.pending() && nowUs - m_in.lastUs() > kRunGapUs)
        m_in.close();
}

void TrafficDecoder::finish()
{
    m_out.close(true);
    m_in.close();
}

void TrafficDecoder::token(Token &&token)
{
    QString meaning = m_labeller.label(token);
    m_events.push_back(TrafficEvent {token.timeUs, token.direction, std::move(token.bytes), std::move(meaning)});
}

} // namespace monitor
