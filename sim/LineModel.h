#pragma once

#include <QByteArray>

namespace kdxsim {

// What a receiving UART makes of bytes sent at another rate: the sender's start,
// data and stop bits are laid out in time at the sender's rate and sampled in the
// middle of each bit at the receiver's rate, as a real receiver does. Equal rates
// pass the bytes unchanged. A character whose stop bit reads as a space is a
// framing error; the receiver decides what to make of it.
class LineModel
{
public:
    enum class FramingErrors {
        Drop,     // the display's UART throws such characters away
        AsZero,   // a Linux serial port in raw mode reads them as 0x00
    };

    static QByteArray transfer(const QByteArray &sent, int senderBaud, int receiverBaud,
                               FramingErrors onError);

    // A stand-in for a corrupting line at any rate: every byte comes out changed.
    static QByteArray corrupt(const QByteArray &sent);
};

} // namespace kdxsim
