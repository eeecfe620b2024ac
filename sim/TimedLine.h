#pragma once

#include <QByteArray>
#include <QList>
#include <QString>

#include <functional>

namespace kdxsim {

// One direction of a serial line with the time its characters take. A
// character is a start bit, its data bits, a parity bit when there is one and
// the stop bits, sent at the sender's rate; it reaches the receiver only once
// its last bit has, so bytes put on the line come out one by one, each at the
// end of its own character time. The line carries one character at a time:
// what is put on it while it is still busy waits its turn.
//
// This is the simulator's own model of the line, kept apart from anything the
// host's driver assumes about timing, so the two can be measured against each
// other. Without line time every byte comes out as soon as it is put on.
class TimedLine
{
public:
    // What the receiver makes of a message's bytes (garbled at another rate).
    // Asked once, when the message's first character has arrived, so that the
    // receiver's rate at that moment counts.
    using Receive = std::function<QByteArray(const QByteArray &sent, int senderBaud)>;

    explicit TimedLine(bool timed = true) : m_timed(timed) {}

    bool timed() const { return m_timed; }

    // Bytes that start to leave the sender at `now`, or once the line is free,
    // at senderBaud with bitsPerChar bits per character.
    void put(const QByteArray &sent, int senderBaud, int bitsPerChar, qint64 now);

    // Everything that has arrived by now, in order.
    QByteArray take(qint64 now, const Receive &receive);

    // When take() next has bytes to give, -1 for never.
    qint64 nextDue() const;
    bool idle() const { return m_messages.isEmpty(); }

    // Milliseconds a character of bitsPerChar bits takes at baud.
    static double characterMs(int baud, int bitsPerChar);
    // Bits of one character of a framing such as "N,8,1" or "E,7,1": start,
    // data, parity and stop bits.
    static int bitsPerCharacter(const QString &framing);

private:
    struct Message
    {
        QByteArray sent;
        int baud = 0;
        double start = 0;    // when its first bit leaves
        double duration = 0; // how long all of it takes on the line
        bool received = false;
        QByteArray bytes;    // what the receiver reads, once received
        int given = 0;       // of those, already taken
    };

    // When the n-th (from 1) of a message's received bytes has arrived.
    static qint64 dueOf(const Message &m, int n);

    bool m_timed = true;
    double m_freeAt = 0;
    QList<Message> m_messages;
};

} // namespace kdxsim
