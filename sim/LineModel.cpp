#include "LineModel.h"

#include <cmath>

namespace kdxsim {

namespace {

constexpr int kBitsPerChar = 10; // start, 8 data, stop

// Level of the line at time t (in sender bit times) for back-to-back characters:
// a mark (1) when idle or in a stop bit, a space (0) in a start bit.
int levelAt(const QByteArray &sent, double t)
{
    if (t < 0)
        return 1;
    const long bit = long(std::floor(t));
    const long ch = bit / kBitsPerChar;
    if (ch >= sent.size())
        return 1;
    const int pos = int(bit % kBitsPerChar);
    if (pos == 0)
        return 0;
    if (pos == 9)
        return 1;
    return (quint8(sent[int(ch)]) >> (pos - 1)) & 1;
}

} // namespace

QByteArray LineModel::transfer(const QByteArray &sent, int senderBaud, int receiverBaud,
                               FramingErrors onError)
{
    if (senderBaud == receiverBaud || senderBaud <= 0 || receiverBaud <= 0)
        return sent;
    // One receiver bit time measured in sender bit times.
    const double k = double(senderBaud) / double(receiverBaud);
    const double end = double(sent.size()) * kBitsPerChar;
    // Start bits begin on sender bit boundaries, so the receiver's edge search can
    // step from boundary to boundary.
    QByteArray out;
    double t = 0;
    while (t < end) {
        if (levelAt(sent, t) != 0) {
            t = std::floor(t) + 1;
            continue;
        }
        quint8 value = 0;
        for (int i = 0; i < 8; ++i) {
            if (levelAt(sent, t + (1.5 + i) * k))
                value |= quint8(1u << i);
        }
        const bool framed = levelAt(sent, t + 9.5 * k) == 1;
        if (framed)
            out.append(char(value));
        else if (onError == FramingErrors::AsZero)
            out.append('\0');
        // The receiver looks for the next start bit once its stop bit has been sampled.
        const double next = t + 9.5 * k;
        t = std::max(std::ceil(next), std::floor(t) + 1);
        if (!framed && levelAt(sent, next) == 0) {
            // A space where the stop bit should be: wait for the line to go back to mark.
            while (t < end && levelAt(sent, t) == 0)
                t += 1;
        }
    }
    return out;
}

QByteArray LineModel::corrupt(const QByteArray &sent)
{
    QByteArray out = sent;
    for (char &c : out)
        c = char(quint8(c) ^ 0x5A);
    return out;
}

} // namespace kdxsim
