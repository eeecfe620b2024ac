#include "TimedLine.h"

#include <QStringList>

#include <algorithm>
#include <cmath>

namespace kdxsim {

double TimedLine::characterMs(int baud, int bitsPerChar)
{
    return baud > 0 ? 1000.0 * bitsPerChar / baud : 0.0;
}

int TimedLine::bitsPerCharacter(const QString &framing)
{
    const QStringList f = framing.split(QLatin1Char(','));
    const bool parity = f.value(0).compare(QLatin1String("N"), Qt::CaseInsensitive) != 0;
    const int data = f.value(1).toInt();
    const int stop = f.value(2).toInt();
    return 1 + (data > 0 ? data : 8) + (parity ? 1 : 0) + (stop > 0 ? stop : 1);
}

void TimedLine::put(const QByteArray &sent, int senderBaud, int bitsPerChar, qint64 now)
{
    if (sent.isEmpty())
        return;
    Message m;
    m.sent = sent;
    m.baud = senderBaud;
    if (m_timed) {
        m.start = std::max(double(now), m_freeAt);
        m.duration = sent.size() * characterMs(senderBaud, bitsPerChar);
        m_freeAt = m.start + m.duration;
    } else {
        m.start = double(now);
    }
    m_messages.append(m);
}

qint64 TimedLine::dueOf(const Message &m, int n)
{
    // The received bytes share the message's time on the line: at equal rates
    // each ends where its character ends.
    const int count = m.received ? std::max<int>(1, int(m.bytes.size())) : int(m.sent.size());
    return qint64(std::ceil(m.start + m.duration * n / count));
}

QByteArray TimedLine::take(qint64 now, const Receive &receive)
{
    QByteArray out;
    while (!m_messages.isEmpty()) {
        Message &m = m_messages.first();
        if (!m.received) {
            // The first character is in: the receiver reads what the message became.
            if (now < dueOf(m, 1))
                break;
            m.bytes = receive ? receive(m.sent, m.baud) : m.sent;
            m.received = true;
        }
        while (m.given < m.bytes.size() && now >= dueOf(m, m.given + 1))
            out += m.bytes[m.given++];
        if (m.given < m.bytes.size())
            break;
        // The next message starts no sooner than this one's end.
        m_messages.removeFirst();
    }
    return out;
}

qint64 TimedLine::nextDue() const
{
    if (m_messages.isEmpty())
        return -1;
    const Message &m = m_messages.first();
    if (!m.received)
        return dueOf(m, 1);
    return dueOf(m, m.given + 1);
}

} // namespace kdxsim
