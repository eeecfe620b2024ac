#pragma once

#include "CommandSet.h"

#include <QByteArray>

namespace kdxdisplay {

// The display's own command set: frames 04 01 letter parameters 17 answered with
// ACK (or NAK for a refused one), ESC "Z" n 00 to change sets, ESC "G" / ESC "S"
// for the printer pass-through, and plain text at the cursor.
class NativeCommandSet final : public CommandSet
{
public:
    using CommandSet::CommandSet;

    static constexpr quint8 kFrameStart1 = 0x04;
    static constexpr quint8 kFrameStart2 = 0x01;
    static constexpr quint8 kFrameEnd = 0x17;
    // A frame that stops arriving half-way is dropped after this long.
    static constexpr qint64 kFrameTimeoutMs = 1000;

    // Parameter bytes of a frame letter, -1 for a letter the display does not know.
    static int parameterCount(quint8 letter);

    void feed(quint8 byte, qint64 now) override;
    bool busy() const override { return m_state != State::Text; }
    void reset() override;
    void idleFor(qint64 ms) override;

private:
    enum class State { Text, FrameStart, Letter, Parameters, FrameEnd, Unknown, Escape, SwitchSet, SwitchEnd };

    void execute(qint64 now);

    State m_state = State::Text;
    quint8 m_letter = 0;
    QByteArray m_params;
    int m_needed = 0;
};

// Text and the cursor controls that both the native and the EPSON set obey:
// BS, HT, LF, VT (home), FF (clear), CR and CAN (clear line). False for other bytes.
bool applyCommonControl(VfdModel &display, quint8 byte);

} // namespace kdxdisplay
