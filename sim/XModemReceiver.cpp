#include "XModemReceiver.h"

namespace kdxsim {

XModemReceiver::XModemReceiver(Sender send)
    : m_send(std::move(send))
{
}

quint16 XModemReceiver::crc16(const char *data, int size)
{
    quint16 crc = 0;
    for (int i = 0; i < size; ++i) {
        crc ^= quint16(quint8(data[i]) << 8);
        for (int b = 0; b < 8; ++b)
            crc = (crc & 0x8000) ? quint16((crc << 1) ^ 0x1021) : quint16(crc << 1);
    }
    return crc;
}

quint8 XModemReceiver::checksum(const char *data, int size)
{
    quint8 sum = 0;
    for (int i = 0; i < size; ++i)
        sum = quint8(sum + quint8(data[i]));
    return sum;
}

void XModemReceiver::start(qint64 now)
{
    m_state = State::Starting;
    m_crc = m_startCheck != StartCheck::Checksum;
    m_requests = 0;
    m_errors = 0;
    m_naks = 0;
    m_blocks = 0;
    m_cans = 0;
    m_expected = 1;
    m_nakBlockDone = false;
    m_block.clear();
    m_image.clear();
    m_failure.clear();
    request(now);
}

void XModemReceiver::request(qint64 now)
{
    if (m_startCheck == StartCheck::Auto && m_requests >= kCrcRequests)
        m_crc = false;
    ++m_requests;
    if (m_crc) {
        m_send(QByteArray(1, char(kCrcRequest)));
    } else {
        ++m_naks;
        m_send(QByteArray(1, char(kNak)));
    }
    m_deadline = now + kStartInterval.count();
}

void XModemReceiver::nak(qint64 now)
{
    m_block.clear();
    if (++m_errors > kMaxErrors) {
        cancel(QStringLiteral("too many errors"));
        return;
    }
    ++m_naks;
    m_send(QByteArray(1, char(kNak)));
    m_deadline = now + kBlockTimeout.count();
}

void XModemReceiver::cancel(const QString &why)
{
    m_send(QByteArray(3, char(kCan)));
    m_state = State::Failed;
    m_failure = why;
    m_block.clear();
    m_deadline = -1;
}

int XModemReceiver::blockLength() const
{
    const int data = quint8(m_block[0]) == kStx ? 1024 : 128;
    return 3 + data + (m_crc ? 2 : 1);
}

void XModemReceiver::feed(quint8 byte, qint64 now)
{
    if (m_state != State::Starting && m_state != State::Receiving)
        return;
    if (m_block.isEmpty()) {
        switch (byte) {
        case kSoh:
        case kStx:
            m_state = State::Receiving;
            m_block.append(char(byte));
            m_deadline = now + kCharTimeout.count();
            return;
        case kEot:
            // Between blocks, or before the first one: a file of no blocks is
            // complete too.
            m_send(QByteArray(1, char(kAck)));
            m_state = State::Done;
            m_deadline = -1;
            return;
        case kCan:
            if (++m_cans >= 2) {
                m_state = State::Failed;
                m_failure = QStringLiteral("cancelled by the sender");
                m_deadline = -1;
            }
            return;
        default:
            // Line noise and leftovers of the loader dialogue between blocks.
            return;
        }
    }
    m_cans = 0;
    m_block.append(char(byte));
    m_deadline = now + kCharTimeout.count();
    if (m_block.size() == blockLength())
        judgeBlock(now);
}

void XModemReceiver::judgeBlock(qint64 now)
{
    const quint8 number = quint8(m_block[1]);
    const quint8 complement = quint8(m_block[2]);
    const int dataSize = blockLength() - 3 - (m_crc ? 2 : 1);
    const char *data = m_block.constData() + 3;
    bool sound = quint8(number + complement) == 0xFF;
    if (sound) {
        if (m_crc) {
            const quint16 got = quint16((quint8(m_block[3 + dataSize]) << 8) | quint8(m_block[4 + dataSize]));
            sound = got == crc16(data, dataSize);
        } else {
            sound = quint8(m_block[3 + dataSize]) == checksum(data, dataSize);
        }
    }
    if (!sound) {
        nak(now);
        return;
    }
    if (number == quint8(m_expected - 1) && m_blocks > 0) {
        // The sender missed our ACK and sent the block again.
        m_block.clear();
        m_send(QByteArray(1, char(kAck)));
        m_deadline = now + kBlockTimeout.count();
        return;
    }
    if (number != m_expected) {
        cancel(QStringLiteral("block %1 out of sequence, expected %2").arg(number).arg(m_expected));
        return;
    }
    const int ordinal = m_blocks + 1;
    if (m_cancelAtBlock == ordinal) {
        cancel(QStringLiteral("cancelled at block %1").arg(ordinal));
        return;
    }
    if (m_nakBlock == ordinal && !m_nakBlockDone) {
        m_nakBlockDone = true;
        nak(now);
        return;
    }
    m_image.append(data, dataSize);
    m_blocks = ordinal;
    m_errors = 0;
    ++m_expected;
    m_block.clear();
    m_send(QByteArray(1, char(kAck)));
    m_deadline = now + kBlockTimeout.count();
}

void XModemReceiver::advance(qint64 now)
{
    if (m_deadline < 0 || now < m_deadline)
        return;
    if (m_state == State::Starting) {
        if (m_requests >= kStartRequests) {
            m_state = State::Failed;
            m_failure = QStringLiteral("the sender never started");
            m_deadline = -1;
            return;
        }
        request(now);
        return;
    }
    if (m_state == State::Receiving)
        nak(now); // a block stalled half-way, or none came
}

qint64 XModemReceiver::nextDeadline() const
{
    return m_deadline;
}

} // namespace kdxsim
