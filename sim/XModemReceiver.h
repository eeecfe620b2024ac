#pragma once

#include <QByteArray>
#include <QString>

#include <chrono>
#include <functional>

namespace kdxsim {

// The receiving end of an XModem transfer, driven by bytes and by the time:
// it asks for CRC blocks first ("C") and falls back to the checksum (NAK) when the
// sender does not start, accepts 128- and 1024-byte blocks with either block
// check, ACKs good blocks, NAKs bad ones, ACKs a repeated block without keeping it
// twice, cancels on a block out of sequence, and ACKs EOT.
class XModemReceiver
{
public:
    enum class State { Idle, Starting, Receiving, Done, Failed };
    enum class StartCheck { Auto, Crc, Checksum };

    static constexpr quint8 kSoh = 0x01;
    static constexpr quint8 kStx = 0x02;
    static constexpr quint8 kEot = 0x04;
    static constexpr quint8 kAck = 0x06;
    static constexpr quint8 kNak = 0x15;
    static constexpr quint8 kCan = 0x18;
    static constexpr quint8 kCrcRequest = 'C';

    static constexpr std::chrono::milliseconds kStartInterval {1000};
    static constexpr int kCrcRequests = 3;
    static constexpr int kStartRequests = 20;
    static constexpr std::chrono::milliseconds kCharTimeout {1000};
    static constexpr std::chrono::milliseconds kBlockTimeout {10000};
    static constexpr int kMaxErrors = 10;

    using Sender = std::function<void(const QByteArray &)>;

    explicit XModemReceiver(Sender send);

    void setStartCheck(StartCheck check) { m_startCheck = check; }
    // Test faults: answer block n with CAN, or refuse it once with NAK.
    void setCancelAtBlock(int n) { m_cancelAtBlock = n; }
    void setNakBlock(int n) { m_nakBlock = n; }

    void start(qint64 now);
    void feed(quint8 byte, qint64 now);
    void advance(qint64 now);
    // When advance() next has something to do, or -1.
    qint64 nextDeadline() const;

    State state() const { return m_state; }
    bool crcMode() const { return m_crc; }
    int blocksAccepted() const { return m_blocks; }
    int naksSent() const { return m_naks; }
    const QByteArray &image() const { return m_image; }
    QString failure() const { return m_failure; }

    static quint16 crc16(const char *data, int size);
    static quint8 checksum(const char *data, int size);

private:
    void request(qint64 now);
    void nak(qint64 now);
    void cancel(const QString &why);
    void judgeBlock(qint64 now);
    int blockLength() const;

    Sender m_send;
    StartCheck m_startCheck = StartCheck::Auto;
    int m_cancelAtBlock = 0;
    int m_nakBlock = 0;
    bool m_nakBlockDone = false;

    State m_state = State::Idle;
    bool m_crc = true;
    int m_requests = 0;
    int m_errors = 0;
    int m_naks = 0;
    int m_blocks = 0;
    int m_cans = 0;
    quint8 m_expected = 1;
    QByteArray m_block;
    QByteArray m_image;
    QString m_failure;
    qint64 m_deadline = -1;
};

} // namespace kdxsim
